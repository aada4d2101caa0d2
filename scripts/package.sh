#!/usr/bin/env bash
# Builds the Debian package pellion_<version>_amd64.deb: the three programs, their manual pages,
# the desktop entry, the udev rule and the documentation (cmake/Package.cmake says what goes in).
# Usage: scripts/package.sh [BUILD_DIR]   (default build/; configured here when it is not yet).
# An existing build directory is reused as it is: scripts/test.sh packages the build it tested.
# Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/setup.sh >/dev/null

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
else
  cmake -S . -B "$build" >/dev/null  # finds help2man if it came after the first configuration
fi
cmake --build "$build" -j "$(nproc)" --target pellion pellion-cli pellion-sim pellion_package_files
rm -rf "$build/package"
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then
  echo "$log" >&2
  exit 1
fi
ls "$build"/package/pellion_*_amd64.deb
