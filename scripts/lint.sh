#!/usr/bin/env bash
# Fails on unformatted files and on clang-tidy findings in the project's own code.
# Usage: scripts/lint.sh [BUILD_DIR]   (BUILD_DIR must hold compile_commands.json; default build/lint)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages clang-format clang-tidy "${REVERIZ_PACKAGES[@]}"
cd "$REPO_ROOT"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
say "clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}"

build=${1:-$REPO_ROOT/build/lint}
cmake -S "$REPO_ROOT" -B "$build" -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DREVERIZ_BUILD_FUZZERS=ON -DREVERIZ_BUILD_BENCHMARKS=ON >/dev/null
mapfile -t units < <(git ls-files '*.cpp')
say "clang-tidy (${#units[@]} translation units)"
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${units[@]/#/$REPO_ROOT/}" > "$build/clang-tidy.log" 2>&1 || {
    grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u
    die "clang-tidy reported findings (full log: $build/clang-tidy.log)"
}
say "lint clean"
