#!/usr/bin/env bash
# The ABI check of the shared library: compares the ABI of an installed libreveriz.so.<N>, as far as the public
# headers declare it, with the baseline abi/libreveriz.so.<N>.abi.
#   scripts/abi.sh [--update] [BUILD_DIR | PREFIX]
# BUILD_DIR (default build/test-release) is installed into a temporary prefix first; a PREFIX is an install prefix
# already filled (scripts/test.sh's install check passes its own).
# An incompatible change (a removed or changed function, a public class that changed its size or layout) fails the
# check; an addition is reported and passes. A new SONAME has no baseline yet, so its changes pass: --update writes
# its baseline (and removes the one of the old SONAME), which is committed with the change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

update=false
if [ "${1-}" = --update ]; then
    update=true
    shift
fi
from=${1:-$REPO_ROOT/build/test-release}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ -f "$from/CMakeCache.txt" ]; then
    prefix="$scratch/prefix"
    cmake --install "$from" --prefix "$prefix" >/dev/null
else
    prefix=$from
fi

library=$(find "$prefix" -name 'libreveriz.so.*.*' -type f | head -n 1)
[ -n "$library" ] || die "no libreveriz.so.<N>.<minor>.<patch> under $prefix"
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ -n "$soname" ] || die "$library has no SONAME"
headers="$prefix/include/reveriz"
baseline="$REPO_ROOT/abi/$soname.abi"

# The public headers decide what is public, so internal types and symbols are left out. The baseline keeps the file
# names of the declarations, which is how abidiff tells the public headers' types from others, and no path of the
# tree it was made in.
abi_of() {
    abidw --headers-dir "$headers" --header-file "$headers/common/reverizexport.h" --drop-private-types \
        --drop-undefined-syms --no-corpus-path --no-comp-dir-path --short-locs --no-parameter-names --type-id-style hash \
        --out-file "$2" "$1"
}

if $update; then
    mkdir -p "$REPO_ROOT/abi"
    abi_of "$library" "$scratch/new.abi"
    find "$REPO_ROOT/abi" -name 'libreveriz.so.*.abi' -not -name "$soname.abi" -delete
    mv "$scratch/new.abi" "$baseline"
    say "wrote ${baseline#"$REPO_ROOT"/}"
    exit 0
fi

if [ ! -f "$baseline" ]; then
    old=$(cd "$REPO_ROOT/abi" && find . -name 'libreveriz.so.*.abi' -printf '%f\n' | head -n 1)
    [ -n "$old" ] || die "no ABI baseline in abi/: make one with scripts/abi.sh --update"
    say "the SONAME is now $soname (the baseline is ${old%.abi}): a new ABI, so nothing is compared." \
        "Commit its baseline: scripts/abi.sh --update"
    exit 0
fi

set +e
abidiff --headers-dir2 "$headers" --header-file2 "$headers/common/reverizexport.h" --drop-private-types \
    --no-show-locs "$baseline" "$library" >"$scratch/report"
status=$?
set -e
cat "$scratch/report"
# abidiff's status is a bit set: 1 an error, 2 a usage error, 4 a change, 8 an incompatible change. It sets 8 for
# removed symbols only; a changed function or variable (a public class that grew a member, a parameter that changed
# its type) sets 4 as additions do, so the summary lines tell them apart.
if ((status & 3)); then
    die "abidiff failed (status $status)"
elif ((status & 8)) || grep -Eq '\b[1-9][0-9]* (Removed|Changed)\b' "$scratch/report"; then
    die "$soname changed incompatibly (above): keep the old interface, or raise the SONAME (REVERIZ_SOVERSION in" \
        "src/common/CMakeLists.txt) and commit the new baseline (scripts/abi.sh --update)"
elif ((status & 4)); then
    say "$soname: compatible changes (above); scripts/abi.sh --update records them in the baseline"
else
    say "$soname: the ABI is the baseline's"
fi
