#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite: a plain build (with the end-to-end
# tests), one under AddressSanitizer and UndefinedBehaviorSanitizer, one under ThreadSanitizer,
# and a short run of each fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
SPARVIK_WITH_FUZZ=1 scripts/install-deps.sh
jobs=$(nproc)

scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs"

scripts/build.sh build-asan -DSPARVIK_SANITIZER=address,undefined -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE e2e

scripts/build.sh build-tsan -DSPARVIK_SANITIZER=thread -DCMAKE_BUILD_TYPE=Debug
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -LE e2e

if [[ -f fuzz/CMakeLists.txt ]]; then
  scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++-19 -DSPARVIK_BUILD_FUZZ=ON \
    -DSPARVIK_BUILD_TESTS=OFF -DSPARVIK_BUILD_BENCH=OFF
  for f in build-fuzz/fuzz/fuzz_*; do
    [[ -x "$f" ]] && "$f" -max_total_time="${SPARVIK_FUZZ_SECONDS:-30}" -print_final_stats=1
  done
fi
echo "all tests passed"
