#!/usr/bin/env bash
# Builds the key utility and runs its main job in a scratch directory: creates the protocol key pair of a new
# server UUID and shows the two key files.
# Installs missing Debian packages first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages "${REVERIZ_PACKAGES[@]}"
build="$REPO_ROOT/build/release"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DREVERIZ_BUILD_TESTS=OFF
keyutility="$build/src/tools/keyutility/keyutility"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

server_uuid=$(cat /proc/sys/kernel/random/uuid)
say "keyutility create $server_uuid"
"$keyutility" create "$server_uuid"

say "ls -l"
ls -l

say "protocolkey-public.key"
cat protocolkey-public.key
