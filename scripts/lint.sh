#!/usr/bin/env bash
# Fails on unformatted files and on clang-tidy findings in the project's own code.
# Usage: scripts/lint.sh [--update | --all] [BUILD_DIR]   (BUILD_DIR gets compile_commands.json; default build/lint)
#
# clang-format reads every file. clang-tidy skips a translation unit whose key scripts/tidy-clean.txt lists: the
# key (scripts/tidykeys.py) covers everything its verdict depends on (the unit, every file of the repository it
# includes, its compile command, the versions of the packages whose headers it includes, .clang-tidy and
# clang-tidy itself), so a new or changed unit, or one whose headers changed, is always read again.
#   --update  once clang-tidy is clean, writes the keys of all units into scripts/tidy-clean.txt; commit the list
#             with the change that it follows
#   --all     reads every unit, whatever the list says
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

mode=check
case "${1:-}" in
--update | --all)
    mode=${1#--}
    shift
    ;;
esac
ensure_packages clang-format clang-tidy "${REVERIZ_PACKAGES[@]}" "${REVERIZ_TEST_PACKAGES[@]}"
cd "$REPO_ROOT"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
say "clang-format (${#sources[@]} files)"
clang-format --dry-run --Werror "${sources[@]}"

build=${1:-$REPO_ROOT/build/lint}
cmake -S "$REPO_ROOT" -B "$build" -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DREVERIZ_BUILD_FUZZERS=ON -DREVERIZ_BUILD_BENCHMARKS=ON >/dev/null

clean_list=scripts/tidy-clean.txt
mapfile -t all < <(git ls-files '*.cpp')
python3 scripts/tidykeys.py "$build" "${all[@]}" > "$build/tidy-keys.txt"
units=()
while read -r key unit; do
    if [ "$key" = - ]; then
        say "no compile command, not tidied: $unit"
    elif [ "$mode" = all ] || ! grep -qxF "$key $unit" "$clean_list" 2>/dev/null; then
        units+=("$unit")
    fi
done < "$build/tidy-keys.txt"

say "clang-tidy (${#units[@]} of ${#all[@]} translation units; the others are unchanged since $clean_list)"
# run-clang-tidy reads every unit of the database when given none.
if [ ${#units[@]} -gt 0 ]; then
    run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${units[@]/#/$REPO_ROOT/}" > "$build/clang-tidy.log" 2>&1 || {
        grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u
        die "clang-tidy reported findings (full log: $build/clang-tidy.log)"
    }
fi
if [ "$mode" = update ]; then
    {
        printf '# Translation units that clang-tidy found clean, by key (scripts/tidykeys.py); scripts/lint.sh --update\n'
        grep -v '^- ' "$build/tidy-keys.txt" || true
    } > "$clean_list"
    say "wrote $clean_list"
fi
say "lint clean"
