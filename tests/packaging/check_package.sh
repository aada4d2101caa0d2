#!/usr/bin/env bash
# Builds the Debian package from a build directory and checks it as a user would meet it: its
# files, its declared dependencies against the libraries the programs link, the desktop entry,
# lintian, then the programs run from a scratch root the package is unpacked into.
# Usage: tests/packaging/check_package.sh [BUILD_DIR]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}

fail() {
  echo "package check: $*" >&2
  exit 1
}
trap 'echo "package check: a command failed at line $LINENO" >&2' ERR
# Pipes into readers that stop early (grep -q, head) would end their writers with SIGPIPE, which
# pipefail counts as a failure: whatever is searched is read into a file first.

deb=$(scripts/package.sh "$build" | tail -n 1)
[[ $(basename "$deb") =~ ^pellion_[0-9][0-9.]*_amd64\.deb$ ]] || fail "unexpected name $deb"
echo "built $deb ($(du -k "$deb" | cut -f1) KiB)"

root=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root/tree"
# One package name a line, without versions.
dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | awk '{print $1}' >"$root/depends"

for file in usr/bin/pellion usr/bin/pellion-cli usr/bin/pellion-sim \
  usr/share/applications/pellion.desktop usr/share/icons/hicolor/256x256/apps/pellion.png \
  usr/share/man/man1/pellion.1.gz usr/share/man/man1/pellion-cli.1.gz \
  usr/share/man/man1/pellion-sim.1.gz usr/lib/udev/rules.d/60-pellion.rules \
  usr/share/pellion/example.hex usr/share/doc/pellion/README.md \
  usr/share/doc/pellion/README.Debian usr/share/doc/pellion/copyright \
  usr/share/doc/pellion/changelog.gz usr/share/doc/pellion/docs/architecture.md; do
  [ -s "$root/tree/$file" ] || fail "$file is missing or empty"
done
grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$root/tree/usr/lib/udev/rules.d/60-pellion.rules" ||
  fail "the udev rule does not keep ModemManager away"
grep -q 'adduser "$USER" dialout' "$root/tree/usr/share/doc/pellion/README.Debian" ||
  fail "README.Debian does not say how to reach serial ports"
for page in pellion pellion-cli pellion-sim; do
  zcat "$root/tree/usr/share/man/man1/$page.1.gz" >"$root/$page.1"
  grep -q '^\.SH NAME' "$root/$page.1" || fail "$page.1 has no NAME"
done
grep -q '^\.SS program' "$root/pellion-cli.1" || fail "pellion-cli.1 lacks the program command"

# Every library a program links is declared through the package that ships it.
ldconfig -p >"$root/libraries"
for program in "$root"/tree/usr/bin/*; do
  for library in $(objdump -p "$program" | awk '/NEEDED/ {print $2}'); do
    path=$(awk -v lib="$library" '$1 == lib && /x86-64/ && !found {print $NF; found = 1}' \
      "$root/libraries")
    [ -n "$path" ] || fail "$(basename "$program") links $library, which is not installed"
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | awk -F: 'NR == 1 {print $1}') ||
      owner=$(dpkg -S "$path" | awk -F: 'NR == 1 {print $1}')
    grep -qxF "$owner" "$root/depends" ||
      fail "$(basename "$program") links $library from $owner, which Depends does not name"
  done
done
grep -qxF qt6-qpa-plugins "$root/depends" || fail "Depends lacks Qt's platform plugins"

desktop-file-validate "$root/tree/usr/share/applications/pellion.desktop"
# Errors fail; warnings are printed (none are known today).
lintian_status=0
lintian --fail-on error "$deb" >"$root/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$root/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

bin="$root/tree/usr/bin"
[[ $("$bin/pellion" --version) == "pellion "* ]] || fail "the installed window does not start"
"$bin/pellion-cli" demo --chips 2 --lang en >"$root/demo.log" || {
  cat "$root/demo.log"
  fail "the installed demo failed"
}
grep -q 'All 2 of 2 chips hold the image' "$root/demo.log" || fail "the demo did not say all is well"
# The demo read the installed example, not the one in the tree it was built from.
cp "$root/tree/usr/share/pellion/example.hex" "$root/example.hex"
echo "not a HEX file" >"$root/tree/usr/share/pellion/example.hex"
if "$bin/pellion-cli" demo --chips 1 >/dev/null 2>&1; then
  fail "the installed demo did not read its installed example firmware"
fi
cp "$root/example.hex" "$root/tree/usr/share/pellion/example.hex"

# The installed virtual chips, programmed through their links by the installed command line.
"$bin/pellion-sim" --chips 2 --link-dir "$root/chips" >"$root/sim.log" &
sim_pid=$!
for _ in $(seq 100); do
  [ -e "$root/chips/chip1" ] && break
  sleep 0.1
done
"$bin/pellion-cli" program --file "$root/example.hex" --port "$root/chips/chip0" \
  --port "$root/chips/chip1" --verify >"$root/program.log" || {
  cat "$root/program.log"
  fail "the installed pellion-cli could not program the installed pellion-sim's chips"
}
kill "$sim_pid"
wait "$sim_pid" || fail "pellion-sim did not end cleanly"
sim_pid=
echo "package check: all good"
