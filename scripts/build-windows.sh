#!/usr/bin/env bash
# Cross-builds the core, pellion-cli and the core tests for 64-bit Windows into build-windows/
# with Debian's MinGW-w64 (static runtime; GoogleTest from Debian's sources, built for the
# target). Extra arguments go to the build step, e.g. `--target pellion-cli`. -O2 as on Linux:
# at -O3 MinGW's GCC 12 warns falsely (-Wrestrict) inside std::string.
# scripts/wine-tests.sh runs the result under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PELLION_WINDOWS_BUILD:-build-windows}

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPELLION_WITH_WINDOW=OFF -DPELLION_BENCH=OFF \
  -DPELLION_GTEST_SOURCE_DIR=/usr/src/googletest \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-run.sh" >/dev/null
cmake --build "$build" -j "${PELLION_JOBS:-$(nproc)}" "$@"
