#!/usr/bin/env bash
# Builds a release with the benchmarks and runs them all: the micro-benchmarks (each beside its baseline), the
# whole-process decryption against the standard-tools pipeline and with the tools linked statically, and key
# generation against openssl.
# Usage: bench/run.sh [DECRYPT_RUNS] [KEYGEN_RUNS]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

ensure_packages "${REVERIZ_PACKAGES[@]}" "${REVERIZ_TEST_PACKAGES[@]}" jq qpdf time
build="$REPO_ROOT/build/bench"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DREVERIZ_BUILD_TESTS=OFF -DREVERIZ_BUILD_BENCHMARKS=ON

say "micro-benchmarks"
"$build/bench/bench_encryption" --benchmark_min_time=1 2>/dev/null
say "keyutility decrypt against the standard-tools pipeline"
python3 "$REPO_ROOT/bench/decrypt_benchmark.py" "$build" --runs "${1:-9}"
say "keyutility decrypt: the shared library against the static one"
configure_and_build "$build-static" -DCMAKE_BUILD_TYPE=Release -DREVERIZ_BUILD_TESTS=OFF -DREVERIZ_STATIC_TOOLS=ON
python3 "$REPO_ROOT/bench/linkage_benchmark.py" "$build" "$build-static" --runs "${1:-9}"
say "keyutility decrypt: several logs, standard output, hostile logs"
python3 "$REPO_ROOT/bench/operator_benchmark.py" "$build" --runs "${1:-9}"
say "keyutility create against openssl genpkey"
python3 "$REPO_ROOT/bench/keygen_benchmark.py" "$build" --runs "${2:-30}"
