#!/usr/bin/env bash
# Runs the libFuzzer targets: scripts/fuzz.sh [--merge] MINUTES [TARGET...]
#
# Builds the clang fuzz build in build/fuzz (the library and the targets instrumented for coverage, AddressSanitizer
# and UndefinedBehaviorSanitizer, leak detection on), then runs each target (all of fuzz/corpus/* without names)
# for MINUTES on a working copy of its seed corpus in build/fuzz/work/TARGET; fuzz/corpus is only read. Crashes,
# leaks and timeouts are kept in build/fuzz/findings/TARGET, each run's output in build/fuzz/logs/TARGET.log. With
# --merge, inputs of the working copy that add coverage are merged back into fuzz/corpus/TARGET afterwards.
# Targets run one after another; MINUTES 0 only runs each corpus once. Exits non-zero when any target had a finding.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

merge=0
if [ "${1:-}" = "--merge" ]; then
    merge=1
    shift
fi
[ $# -ge 1 ] && [[ $1 =~ ^[0-9]+$ ]] || die "usage: $0 [--merge] MINUTES [TARGET...]"
minutes=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for corpus in "$REPO_ROOT"/fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

ensure_packages "${REVERIZ_PACKAGES[@]}" "${REVERIZ_TEST_PACKAGES[@]}"
build="$REPO_ROOT/build/fuzz"
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
say "building ${targets[*]}"
CXX=clang++ cmake -S "$REPO_ROOT" -B "$build" -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DREVERIZ_BUILD_FUZZERS=ON -DREVERIZ_BUILD_TESTS=OFF "-DCMAKE_CXX_FLAGS=$instrument" >/dev/null \
    || die "configuring $build failed"
cmake --build "$build" --target "${targets[@]}" -- -j "$(nproc)" --quiet || die "building $build failed"

# Memory in proportion: no input (a few KiB) may need more than twice its size and 64 MiB, so no single allocation
# may reach 64 MiB, and the whole process, with the sanitizer's shadow and a 64 MiB quarantine of freed memory,
# stays under 512 MiB. An input that needs more is a finding.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:quarantine_size_mb=64
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Files the targets write go to memory when it can: the fuzzers write one per input.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

summary=()
status=0
for target in "${targets[@]}"; do
    [ -d "$REPO_ROOT/fuzz/corpus/$target" ] || die "no seed corpus fuzz/corpus/$target"
    work="$build/work/$target"
    findings="$build/findings/$target"
    log="$build/logs/$target.log"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    cp -n "$REPO_ROOT/fuzz/corpus/$target"/* "$work"/
    # The words of the system's JSON forms, for every target that reads JSON.
    dictionary=("-dict=$REPO_ROOT/fuzz/json.dict")
    case $target in fuzz_zlibinflater | fuzz_decryptdata) dictionary=() ;; esac

    before=$(find "$findings" -type f | wc -l)
    say "$target: $minutes min"
    started=$(date +%s)
    result=0
    duration=(-max_total_time=$((minutes * 60)))
    [ "$minutes" -eq 0 ] && duration=(-runs=0)
    "$build/fuzz/$target" "${duration[@]}" -timeout=30 -rss_limit_mb=512 -malloc_limit_mb=64 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${dictionary[@]}" "$work" >"$log" 2>&1 || result=$?
    elapsed=$(($(date +%s) - started))
    found=$(($(find "$findings" -type f | wc -l) - before))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cover=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 || true)
    line="$target: ${elapsed}s, ${runs:-?} inputs, ${cover:-cov: ?}, corpus $(find "$work" -type f | wc -l)"
    if [ "$result" -ne 0 ] || [ "$found" -gt 0 ]; then
        line+=", FINDING (exit $result, $found new in ${findings#"$REPO_ROOT"/}; see ${log#"$REPO_ROOT"/})"
        status=1
    fi
    summary+=("$line")

    if [ "$merge" -eq 1 ]; then
        "$build/fuzz/$target" -merge=1 "$REPO_ROOT/fuzz/corpus/$target" "$work" >>"$log" 2>&1 \
            || die "merging into fuzz/corpus/$target failed"
    fi
done

printf '\n'
for line in "${summary[@]}"; do say "$line"; done
exit "$status"
