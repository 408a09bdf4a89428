#!/usr/bin/env bash
# Decrypts an encrypted log file with the standard tools a user would otherwise string together: jq for the
# JSON members, openssl pkeyutl for the wrapped key, base64 -d, openssl enc -d, tail to drop the 4-byte length,
# zlib-flate to inflate.
# Usage: pipeline_decrypt.sh KEYFILE LOGFILE OUTFILE
set -euo pipefail
keyfile=$1 log=$2 out=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

jq -r .privatekey "$keyfile" > "$tmp/key.pem"
plainkey=$(jq -r .key.data "$log" | base64 -d \
    | openssl pkeyutl -decrypt -inkey "$tmp/key.pem" -pkeyopt rsa_padding_mode:oaep -pkeyopt rsa_oaep_md:sha1)
keyhex=$(printf '%s' "$plainkey" | jq -r .key | base64 -d | od -An -tx1 | tr -d ' \n')
jq -r .logData "$log" | base64 -d > "$tmp/data"
ivhex=$(head -c 16 "$tmp/data" | od -An -tx1 | tr -d ' \n')
tail -c +17 "$tmp/data" | openssl enc -d -aes-128-cbc -K "$keyhex" -iv "$ivhex" | tail -c +5 | zlib-flate -uncompress \
    > "$out"
