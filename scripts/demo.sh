#!/usr/bin/env bash
# Builds the tools and runs the key utility's main job in a scratch directory: creates the protocol key pair
# of a new server UUID, encrypts the shipped sample log for that pair as the server does, decrypts it back
# with the private key file and compares the bytes. Installs missing Debian packages first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages "${REVERIZ_PACKAGES[@]}"
build="$REPO_ROOT/build/release"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DREVERIZ_BUILD_TESTS=OFF
keyutility="$build/src/tools/keyutility/keyutility"
encryptlog="$build/src/tools/encryptlog/encryptlog"
sample="$REPO_ROOT/samples/server.log"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

server_uuid=$(cat /proc/sys/kernel/random/uuid)
say "keyutility create $server_uuid"
"$keyutility" create "$server_uuid"
ls -l
say "protocolkey-public.key"
cat protocolkey-public.key

say "encryptlog protocolkey-public.key server.log server.log.json"
cp "$sample" server.log
"$encryptlog" protocolkey-public.key server.log server.log.json
printf '%s bytes of plain log, %s bytes of encrypted log file: %.120s...\n' \
    "$(stat -c %s server.log)" "$(stat -c %s server.log.json)" "$(cat server.log.json)"

say "keyutility decrypt protocolkey-private.key server.log.json"
"$keyutility" decrypt protocolkey-private.key server.log.json
cmp server.log server.log.json.decrypted
say "server.log.json.decrypted equals the sample log byte for byte; its first lines:"
head -n 3 server.log.json.decrypted
