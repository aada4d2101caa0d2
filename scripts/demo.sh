#!/usr/bin/env bash
# The main job without hardware: installs what is missing, builds the command line and programs
# the bundled example firmware into virtual chips, checking every chip's flash afterwards.
# Extra arguments go to the demo, e.g. scripts/demo.sh --chips 16 --baud 57600, or
# scripts/demo.sh --boot-entry dtr-reset for chips that start in their application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLION_WITH_WINDOW=OFF \
  -DPELLION_TESTS=OFF -DPELLION_BENCH=OFF >/dev/null
cmake --build build-demo --target pellion-cli -j "$(nproc)"
exec build-demo/cli/pellion-cli demo "$@"
