#!/usr/bin/env bash
# Installs what is missing, checks the formatting and the layering of the sources, then builds
# and runs every test twice: a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --fuzz
jobs=$(nproc)

echo "== source checks"
tools/check-format.sh
tools/check-layers.sh

# Every option a suite depends on is stated, so a build folder configured otherwise (the demo's,
# say) cannot silently drop the tests; ctest fails when it finds none.
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DSORVANI_TESTS=ON -DSORVANI_FUZZ=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$jobs"
}

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANI_SANITIZE=OFF
echo "== sanitizer build (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DSORVANI_SANITIZE=ON
echo "== benchmark smoke run (committed fixtures, one run each)"
bench/run.sh --smoke --sorvani "$PWD/build/cli/sorvani"
echo "== fuzz smoke runs (libFuzzer, clang)"
tools/fuzz-smoke.sh 15
echo "== desktop program suites (ctest -L gui, normal build)"
ctest --test-dir build -L gui --output-on-failure --no-tests=error
