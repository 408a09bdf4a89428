#!/usr/bin/env bash
# Builds and runs every test: once as a normal build with warnings as errors, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Installs missing Debian packages first. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages "${REVERIZ_PACKAGES[@]}"
jobs=$(nproc)
summary=()
status=0

# run_suite NAME BUILD_DIR [CMAKE_OPTION...]
run_suite() {
    local name=$1 dir=$2
    shift 2
    say "$name build"
    configure_and_build "$dir" "$@"
    say "$name tests"
    local log="$dir/ctest.log" result=0
    ctest --test-dir "$dir" --output-on-failure --timeout 600 -j "$jobs" 2>&1 | tee "$log" || result=1
    summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
    [ "$result" -eq 0 ] || status=1
}

run_suite release "$REPO_ROOT/build/test-release" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREVERIZ_WARNINGS_AS_ERRORS=ON -DREVERIZ_BUILD_FUZZERS=ON -DREVERIZ_BUILD_BENCHMARKS=ON

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_suite sanitize "$REPO_ROOT/build/test-sanitize" \
    -DCMAKE_BUILD_TYPE=Debug -DREVERIZ_WARNINGS_AS_ERRORS=ON -DREVERIZ_SANITIZE=ON -DREVERIZ_BUILD_FUZZERS=ON

printf '\n'
for line in "${summary[@]}"; do say "$line"; done
[ "$status" -eq 0 ] && say "all suites passed" || say "FAILURES (see above)"
exit "$status"
