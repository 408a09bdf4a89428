#!/usr/bin/env bash
# Builds the key utility and runs its main job on built-in sample data, in a scratch directory.
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

say "keyutility (no command: usage)"
"$keyutility"
