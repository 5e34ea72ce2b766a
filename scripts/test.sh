#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite: a Release build (with the
# end-to-end tests and the benchmarks built), one under AddressSanitizer and
# UndefinedBehaviorSanitizer, one under ThreadSanitizer, and a short run of each fuzz target.
# Warnings are errors here. SPARVIK_TEST_JOBS caps the parallel tests (default: one per core),
# SPARVIK_FUZZ_SECONDS the time of each fuzz target (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
SPARVIK_WITH_FUZZ=1 scripts/install-deps.sh
jobs=${SPARVIK_TEST_JOBS:-$(nproc)}

# Every flavour states what it builds, so a cache left by scripts/run.sh (tests off) cannot turn
# the tests off, and a run that finds no tests fails.
suite=(-DSPARVIK_BUILD_TESTS=ON -DSPARVIK_BUILD_BENCH=ON -DSPARVIK_BUILD_FUZZ=OFF
  -DSPARVIK_WARNINGS_AS_ERRORS=ON)
run_ctest() { ctest --no-tests=error --output-on-failure -j "$jobs" --test-dir "$@"; }

scripts/build.sh build "${suite[@]}" -DSPARVIK_SANITIZER= -DCMAKE_BUILD_TYPE=Release
run_ctest build

scripts/build.sh build-asan "${suite[@]}" -DSPARVIK_SANITIZER=address,undefined \
  -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan -LE e2e

scripts/build.sh build-tsan "${suite[@]}" -DSPARVIK_SANITIZER=thread -DCMAKE_BUILD_TYPE=Debug
TSAN_OPTIONS=halt_on_error=1 run_ctest build-tsan -LE e2e

if [[ -f fuzz/CMakeLists.txt ]]; then
  scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++-19 -DSPARVIK_BUILD_FUZZ=ON \
    -DSPARVIK_BUILD_TESTS=OFF -DSPARVIK_BUILD_BENCH=OFF -DSPARVIK_WARNINGS_AS_ERRORS=ON
  fuzzed=0
  for f in build-fuzz/fuzz/fuzz_*; do
    if [[ -f "$f" && -x "$f" ]]; then
      "$f" -max_total_time="${SPARVIK_FUZZ_SECONDS:-30}" -print_final_stats=1 </dev/null
      fuzzed=$((fuzzed + 1))
    fi
  done
  if ((fuzzed == 0)); then
    echo "no fuzz target was built" >&2
    exit 1
  fi
fi
echo "all tests passed"
