#!/usr/bin/env bash
# The test command. Installs missing Debian packages first, then runs every check, goes on after a failed one,
# prints each check's result and time, and exits non-zero if any failed:
#   release   build with warnings as errors (each public header compiled on its own, the benchmarks compiled),
#             unit tests and the crash suite
#   install   cmake --install into a temporary prefix: exactly the public headers, each compiling on its own; the
#             shared library exports no internal name and its ABI is the baseline's; a consumer project built
#             against it with find_package, once shared and once static, wraps and unwraps a key
#   package   the three .debs: control fields, content (the bash completion and the API reference too), shlibs and
#             trigger, dependencies, an apt-get install simulation, lintian; unpacked, the tools, man pages and
#             completion, and the consumer built with pkg-config
#   man       the man pages render without warnings
#   docs      Doxygen writes the API reference from the public headers without a warning
#   sanitize  build, unit tests and fuzz corpus replays under AddressSanitizer and UndefinedBehaviorSanitizer
#   threads   the threaded tests under ThreadSanitizer
#   lint      clang-format and clang-tidy (scripts/lint.sh)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages "${REVERIZ_PACKAGES[@]}" "${REVERIZ_TEST_PACKAGES[@]}" "${REVERIZ_CHECK_PACKAGES[@]}"
release_dir="$REPO_ROOT/build/test-release"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
summary=()
passed=0
failed=0
declare -A verdict

# check NAME FUNCTION [ARG...]: runs one check in a subshell with errexit, and notes its result and time.
check() {
    local name=$1 start=$SECONDS result
    shift
    say "$name"
    set +e
    (
        set -e
        "$@"
    )
    result=$?
    set -e
    if [ "$result" -eq 0 ]; then
        verdict[$name]=passed
        passed=$((passed + 1))
    else
        verdict[$name]=FAILED
        failed=$((failed + 1))
    fi
    summary+=("$(printf '%-9s %-7s %5ds' "$name" "${verdict[$name]}" $((SECONDS - start)))")
}

# check_after EARLIER NAME FUNCTION [ARG...]: a check that needs the check EARLIER to have passed.
check_after() {
    local earlier=$1 name=$2
    shift 2
    if [ "${verdict[$earlier]}" = passed ]; then
        check "$name" "$@"
    else
        summary+=("$(printf '%-9s %-7s' "$name" skipped) (needs $earlier)")
        failed=$((failed + 1))
    fi
}

# suite BUILD_DIR [CMAKE_OPTION...]: an incremental build and its CTest run.
suite() {
    local dir=$1
    shift
    configure_and_build "$dir" "$@"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error --timeout 600 -j "$(nproc)" 2>&1 | tee "$dir/ctest.log"
}
# The CTest summary of the last run in BUILD_DIR, for the closing table.
ctest_summary() {
    { grep -E 'tests passed|tests failed' "$1/ctest.log" 2>/dev/null || true; } | tail -n 1
}

# Each build holds what its check needs: the fuzz corpora are replayed under the sanitizers only, the crash suite
# runs without them (see tests/CMakeLists.txt), and only the release build compiles each public header on its own
# and the benchmarks.
release() {
    # Installed under /usr, so that the package puts the library in Debian's multiarch directory.
    suite "$release_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DREVERIZ_WARNINGS_AS_ERRORS=ON -DREVERIZ_BUILD_FUZZERS=OFF -DREVERIZ_BUILD_BENCHMARKS=ON
}

sanitize() {
    export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    suite "$REPO_ROOT/build/test-sanitize" \
        -DCMAKE_BUILD_TYPE=Debug -DREVERIZ_WARNINGS_AS_ERRORS=ON -DREVERIZ_SANITIZE=ON -DREVERIZ_BUILD_FUZZERS=ON \
        -DREVERIZ_BUILD_BENCHMARKS=OFF -DREVERIZ_INSTALL=OFF
}

# The threaded tests alone (tests/CMakeLists.txt says which they are), halting on the first data race.
threads() {
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    suite "$REPO_ROOT/build/test-threads" \
        -DCMAKE_BUILD_TYPE=Debug -DREVERIZ_WARNINGS_AS_ERRORS=ON -DREVERIZ_SANITIZE_THREAD=ON \
        -DREVERIZ_BUILD_FUZZERS=OFF -DREVERIZ_BUILD_BENCHMARKS=OFF -DREVERIZ_INSTALL=OFF
}

install_and_consume() {
    local prefix="$scratch/prefix" consumer="$scratch/consumer" key="$REPO_ROOT/tests/data/keys/protocol-private.key"
    cmake --install "$release_dir" --prefix "$prefix" >/dev/null

    # The public headers are those outside an internal/ folder of src/common, and the generated export header.
    # Exactly they are installed, in the tree's layout, and each compiles on its own with the installed ones alone:
    # none needs an internal header.
    local installed
    installed=$(cd "$prefix/include/reveriz" && find . -type f -printf '%P\n' | sort)
    ! grep -q '\(^\|/\)internal/' <<<"$installed" || die "internal headers are installed: $installed"
    diff -u <( (cd "$REPO_ROOT/src" && find common -name '*.h' -not -path '*/internal/*' && echo common/reverizexport.h) |
        sort) - <<<"$installed" || die "the installed headers are not the public ones"
    # One compiler per core; xargs stops at the first header that fails.
    local flags
    flags="-I$prefix/include/reveriz $(pkg-config --cflags Qt6Core jsoncpp libcrypto)"
    # shellcheck disable=SC2016 # expanded by the inner shell
    xargs -P "$(nproc)" -I{} sh -c 'printf "#include \"%s\"\n" "$1" |
        c++ -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -x c++ - $2 ||
        { echo "$1 does not compile on its own" >&2; exit 255; }' header {} "$flags" <<<"$installed"

    # The shared library exports the public interface and nothing of the internals; its ABI is the baseline's.
    local library exported
    library=$(find "$prefix" -name 'libreveriz.so.0' -type l)
    [ -n "$library" ] || die "no libreveriz.so.0 installed"
    exported=$(nm -D --defined-only -C "$library")
    grep -q ' ReverizKey::createSessionKey' <<<"$exported" || die "$library does not export ReverizKey"
    ! grep 'Internal::' <<<"$exported" || die "$library exports internal names (above)"
    "$REPO_ROOT/scripts/abi.sh" "$prefix"

    # A consumer project finds the package and links the shared library, or the static one: the shared program
    # loads the installed libreveriz.so.0, the static one none.
    local linking found
    for linking in shared static; do
        cmake -S "$REPO_ROOT/tests/consumer" -B "$consumer-$linking" -G Ninja --log-level=WARNING \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
            -DCONSUMER_STATIC="$([ $linking = static ] && echo ON || echo OFF)" >/dev/null
        found=$(sed -n 's/^Reveriz_DIR:PATH=//p' "$consumer-$linking/CMakeCache.txt")
        [[ "$found" == "$prefix"/* ]] || die "find_package(Reveriz) found $found, not the package in $prefix"
        cmake --build "$consumer-$linking" -- --quiet
        "$consumer-$linking/app" "$key"
    done
    local loaded
    loaded=$(ldd "$consumer-shared/app")
    grep -q "libreveriz\.so\.0 => $library " <<<"$loaded" || die "the shared consumer does not load $library: $loaded"
    loaded=$(ldd "$consumer-static/app")
    ! grep libreveriz <<<"$loaded" || die "the static consumer loads the shared library"
}

package() {
    local out="$scratch/package" multiarch
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    cpack --config "$release_dir/CPackConfig.cmake" -B "$out" >"$scratch/cpack.log" 2>&1 \
        || { cat "$scratch/cpack.log"; die "cpack failed"; }
    local upstream version name
    upstream=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$release_dir/CMakeCache.txt")
    version=$upstream-1
    declare -A debs
    for name in libreveriz0 libreveriz-dev reveriz-tools; do
        debs[$name]=$(find "$out" -maxdepth 1 -name "${name}_${version}_*.deb")
        [ -f "${debs[$name]}" ] || die "cpack made no ${name}_${version}_*.deb"
        dpkg-deb -I "${debs[$name]}"
        dpkg-deb -c "${debs[$name]}" | tee "$scratch/$name.content"
    done
    local lib=${debs[libreveriz0]} dev=${debs[libreveriz-dev]} tools=${debs[reveriz-tools]}

    # The library package: the library, its shlibs file (libreveriz0 of this version or later) and ldconfig's
    # trigger. The development package: this very library and the development packages of what it needs. The
    # tools: the library and the run-time libraries, no development package.
    [ "$(dpkg-deb -f "$lib" Section)" = libs ] || die "libreveriz0 is not in section libs"
    grep -qx "libreveriz 0 libreveriz0 (>= $version)" <(dpkg-deb --ctrl-tarfile "$lib" | tar -xO ./shlibs) \
        || die "libreveriz0 has no shlibs line for libreveriz.so.0"
    grep -qx 'activate-noawait ldconfig' <(dpkg-deb --ctrl-tarfile "$lib" | tar -xO ./triggers) \
        || die "libreveriz0 does not trigger ldconfig"
    local depends library
    depends=$(dpkg-deb -f "$dev" Depends)
    for library in "libreveriz0 (= $version)" qt6-base-dev libssl-dev libjsoncpp-dev libisal-dev libdeflate-dev; do
        grep -qF "$library" <<<"$depends" || die "libreveriz-dev's Depends lacks $library: $depends"
    done
    depends=$(dpkg-deb -f "$lib" Depends)
    for library in libqt6core6 libssl3 libjsoncpp libisal2 libdeflate0 libc6 libstdc++6; do
        grep -qF "$library" <<<"$depends" || die "libreveriz0's Depends lacks $library: $depends"
    done
    # The tools reach OpenSSL, ISA-L and libdeflate through the library alone.
    depends=$(dpkg-deb -f "$tools" Depends)
    for library in "libreveriz0 (>= $version)" libqt6core6 libc6 libstdc++6; do
        grep -qF "$library" <<<"$depends" || die "reveriz-tools' Depends lacks $library: $depends"
    done
    ! grep -q -- '-dev\b' <<<"$depends" || die "reveriz-tools depends on development packages: $depends"
    local path
    check_content() {
        grep -q " \./$2\$" "$scratch/$1.content" || die "the package lacks /$2"
    }
    for path in "usr/lib/$multiarch/libreveriz.so.0 -> libreveriz.so.$upstream" \
        "usr/lib/$multiarch/libreveriz.so.$upstream" usr/share/doc/libreveriz0/copyright; do
        check_content libreveriz0 "$path"
    done
    for path in "usr/lib/$multiarch/libreveriz.so -> libreveriz.so.0" "usr/lib/$multiarch/libreveriz.a" \
        usr/include/reveriz/common/encryption/reverizkey.h usr/include/reveriz/common/reverizexport.h \
        "usr/lib/$multiarch/cmake/Reveriz/ReverizConfig.cmake" \
        "usr/lib/$multiarch/cmake/Reveriz/ReverizConfigVersion.cmake" \
        "usr/lib/$multiarch/cmake/Reveriz/ReverizTargets.cmake" \
        "usr/lib/$multiarch/pkgconfig/reveriz.pc" usr/share/doc/libreveriz-dev/copyright \
        usr/share/doc/libreveriz-dev/html/index.html usr/share/doc/libreveriz-dev/html/classReverizKey.html; do
        check_content libreveriz-dev "$path"
    done
    for path in usr/bin/keyutility usr/bin/encryptlog \
        usr/share/man/man1/keyutility.1.gz usr/share/man/man1/encryptlog.1.gz \
        usr/share/bash-completion/completions/keyutility usr/share/doc/reveriz-tools/copyright; do
        check_content reveriz-tools "$path"
    done

    # apt resolves their dependencies on this machine (nothing is installed).
    apt-get install --simulate --quiet "$lib" "$dev" "$tools"
    # Debian's policy checker finds no error. The warnings it gives are expected: no bug closed by a first upload, and
    # the ldconfig calls of the maintainer scripts that CPack writes beside the trigger.
    lintian --fail-on error --tag-display-limit 0 "$lib" "$dev" "$tools"

    # Unpacked into one root: the (stripped) tools, with no run path of their own, run with the environment's
    # LD_LIBRARY_PATH unset and the loader told the root's library directory, and those linked with the shared
    # library load the packaged one; the (compressed) man pages render; and the consumer program builds with the
    # pkg-config file against the (stripped) shared library and wraps and unwraps a key.
    local root="$scratch/package-root" libdir loader deb usage tool loaded
    libdir="$root/usr/lib/$multiarch"
    for deb in "$lib" "$dev" "$tools"; do dpkg-deb -x "$deb" "$root"; done
    loader=$(readelf -l "$root/usr/bin/keyutility" | sed -n 's/.*program interpreter: \(.*\)]$/\1/p')
    run_packaged() {
        env -u LD_LIBRARY_PATH "$loader" --library-path "$libdir" "$@"
    }
    local shared=0
    for tool in keyutility encryptlog; do
        ! readelf -d "$root/usr/bin/$tool" | grep -E 'R(UN)?PATH' || die "the packaged $tool has a run path"
        grep -q 'NEEDED.*\[libreveriz\.so\.0\]' <(readelf -d "$root/usr/bin/$tool") || continue
        loaded=$(run_packaged --list "$root/usr/bin/$tool")
        grep -q "libreveriz\.so\.0 => $libdir/libreveriz\.so\.0 " <<<"$loaded" \
            || die "the packaged $tool does not load the packaged libreveriz.so.0: $loaded"
        shared=$((shared + 1))
    done
    [ "$shared" -gt 0 ] || die "no packaged tool loads libreveriz.so.0"
    usage=$(run_packaged "$root/usr/bin/keyutility")
    [ "${usage%%$'\n'*}" = "USAGE:" ] || die "the packaged keyutility does not print its usage: $usage"
    render_man_pages "$root"/usr/share/man/man1/*.1.gz
    bash "$REPO_ROOT/tests/tools/keyutility/completion_test.sh" "$root/usr/share/bash-completion/completions/keyutility"
    grep -q -- '-lisal' <<<"$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --static --libs reveriz)" \
        || die "pkg-config --static does not give the static library's dependencies"
    # shellcheck disable=SC2046 # the flags are meant to be split into words
    c++ -std=c++17 -o "$scratch/app-pkgconfig" "$REPO_ROOT/tests/consumer/main.cpp" \
        $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs reveriz)
    run_packaged "$scratch/app-pkgconfig" "$REPO_ROOT/tests/data/keys/protocol-private.key"
}

# render_man_pages FILE...: fails on any warning of man-db or groff.
render_man_pages() {
    local page warnings
    for page in "$@"; do
        warnings=$( { MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1)
        warnings+=$( { zcat -f "$page" | groff -man -ww -z -Tutf8; } 2>&1)
        [ -z "$warnings" ] || die "$(basename "$page"): $warnings"
    done
}

man_pages() {
    render_man_pages "$REPO_ROOT"/man/*.1
    printf 'rendered without warnings: %s\n' "$(cd "$REPO_ROOT" && echo man/*.1)"
}

# The release build's API reference target; Doxygen's warnings fail it.
docs() {
    cmake --build "$release_dir" --target reveriz_docs
    [ -f "$release_dir/docs/html/index.html" ] || die "no API reference in $release_dir/docs/html"
}

check release release
summary[-1]+="  $(ctest_summary "$release_dir")"
check_after release install install_and_consume
check_after release package package
check man man_pages
check docs docs
check sanitize sanitize
summary[-1]+="  $(ctest_summary "$REPO_ROOT/build/test-sanitize")"
check threads threads
summary[-1]+="  $(ctest_summary "$REPO_ROOT/build/test-threads")"
check lint "$REPO_ROOT/scripts/lint.sh"

printf '\n'
for line in "${summary[@]}"; do say "$line"; done
printf 'checks: %d passed, %d failed\n' "$passed" "$failed"
exit $((failed > 0))
