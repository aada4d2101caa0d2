#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the core under
# AddressSanitizer/UndefinedBehaviorSanitizer, the fuzzers for a bounded time, the full suite,
# a two-minute fault soak, then the Debian package made from the full suite's build, then the
# Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh

echo "== Core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DPELLION_SANITIZE=ON -DPELLION_WITH_WINDOW=OFF -DPELLION_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

if ls tests/fuzz/fuzz_*.cpp >/dev/null 2>&1; then
  echo "== Fuzzers (bounded)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DPELLION_FUZZ=ON -DPELLION_WITH_WINDOW=OFF \
    -DPELLION_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$jobs"
  tests/fuzz/run.sh build-fuzz
fi

echo "== Full suite"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== Fault soak (bounded: rounds start for 100 s, each within its own time bound)"
scripts/soak.sh --minutes 1.7 --build build

echo "== The Debian package (bounded): built from the full suite's build, checked, run unpacked"
timeout 900 tests/packaging/check_package.sh build

echo "== The Windows build under Wine (bounded): core tests, and pellion-cli.exe programming chips"
scripts/build-windows.sh
timeout 600 scripts/wine-tests.sh build
