#!/usr/bin/env bash
# The bash completion of keyutility: for each command line, with the cursor at its end, the words offered.
# Usage: completion_test.sh COMPLETION_FILE
set -euo pipefail
export LC_ALL=C
# shellcheck source=/dev/null
source "$1"
directory=$(mktemp -d)
trap 'rm -rf "$directory"' EXIT
cd "$directory"
touch key.key log.json
mkdir logs

failures=0
# offers LINE EXPECTED: LINE ending in a space completes an empty word; EXPECTED is the sorted offer.
offers() {
    local line=$1 expected=$2 offered
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _keyutility || true # compopt fails outside a completion
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [ "$offered" != "$expected" ]; then
        printf 'keyutility completion of "%s": offered "%s", expected "%s"\n' "$line" "$offered" "$expected"
        failures=$((failures + 1))
    fi
}

offers 'keyutility ' '--help --version -h create decrypt help rewrap show'
offers 'keyutility create ' ''
offers 'keyutility decrypt -' '-- --passphrase-file -j -o'
offers 'keyutility decrypt -o ' '- key.key log.json logs'
offers 'keyutility decrypt -j ' ''
offers 'keyutility decrypt -j 2 -' '-- --passphrase-file -j -o'
offers 'keyutility decrypt key.key -' ''
offers 'keyutility decrypt -- -' ''
offers 'keyutility decrypt key.key l' 'log.json logs'
offers 'keyutility show -' '-- --json'
offers 'keyutility show --json ' 'key.key log.json logs'
offers 'keyutility rewrap -' '-- --passphrase-file'
offers 'keyutility rewrap --passphrase-file k' 'key.key'
offers 'keyutility rewrap key.key ' 'key.key log.json logs'
[ "$failures" -eq 0 ]
