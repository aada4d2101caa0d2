#!/usr/bin/env bash
# Installs every build, test and demo dependency on a fresh Debian 12 machine.
# Idempotent; runs as root without prompts (uses sudo when not root).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-dev            # libFuzzer and the sanitizers
  libgtest-dev libgmock-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  qt6-qpa-plugins                  # offscreen and xcb platforms
  qt6-l10n-tools qt6-tools-dev     # lupdate and lrelease for the window's English
  qt6-translations-l10n            # Qt's own Chinese: standard buttons, the file dialog
  xvfb xauth fonts-noto-cjk       # real window runs and screenshots with Chinese text
  libsqlite3-dev libpq-dev         # the records databases: SQLite and the PostgreSQL client
  nlohmann-json3-dev               # the records' JSON export
  postgresql                       # throw-away servers for the records tests and benchmark
  python3
  gcc-arm-none-eabi                # the RAM-resident helper the chips run
  libunicorn-dev                   # the virtual chip runs that helper's machine code
  dpkg-dev help2man                # the Debian package: shlibdeps, man pages from --help
  g++-mingw-w64-x86-64-posix       # the Windows build (scripts/build-windows.sh)
  wine wine64                      # runs it: the Windows tests and command line (scripts/wine-tests.sh)
  lintian desktop-file-utils       # checks of the built package
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update
  as_root apt-get install -y --no-install-recommends "${missing[@]}"
fi
