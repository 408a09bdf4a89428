# Shared by the set-up scripts: package installation and the CMake builds.
# shellcheck shell=bash

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian 12 packages that building the library and the tools needs, and running the tools: all the demo installs.
REVERIZ_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libssl-dev openssl libjsoncpp-dev rapidjson-dev libisal-dev libdeflate-dev
)
# What the tests, the fuzz targets and the benchmarks need besides: clang and its sanitizer and fuzzer run-time, the
# zlib reference, GoogleTest, Google Benchmark, and Python for the peer and the scripted tests.
REVERIZ_TEST_PACKAGES=(
    clang libclang-rt-14-dev
    zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
    python3
)
# What the test command needs besides: the lint, the Debian packages, their dependencies and lintian, the ABI
# check, the man pages, the docs.
REVERIZ_CHECK_PACKAGES=(
    clang-format clang-tidy
    strace
    dpkg-dev file lintian
    abigail-tools
    man-db groff-base
    pkg-config
    doxygen
    gdb
)

say() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Installs whatever of the given packages is missing; prints nothing when all are present.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || die "missing packages (run as root to install them): ${missing[*]}"
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq || die "apt-get update failed"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || die "apt-get install failed for: ${missing[*]}"
}

# configure_and_build BUILD_DIR [CMAKE_OPTION...]: an incremental Ninja build in BUILD_DIR.
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$REPO_ROOT" -B "$dir" -G Ninja --log-level=WARNING "$@" >/dev/null || die "configuring $dir failed"
    cmake --build "$dir" --parallel "$(nproc)" -- --quiet || die "building $dir failed"
}
