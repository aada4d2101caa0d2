#!/usr/bin/env bash
# Runs the Windows build (scripts/build-windows.sh) under Wine, headless and bounded:
#  1. the Windows core tests (ctest in build-windows/, Wine as the cross-compiling emulator),
#     the serial ones against a null-modem cable between two COM ports;
#  2. pellion-cli.exe programs four virtual chips of the Linux pellion-sim, each on a
#     pseudo-terminal mapped as a COM port, and every chip's flash must equal the image.
# Usage: scripts/wine-tests.sh [LINUX_BUILD_DIR]   (default build; needs its pellion-sim)
# The Wine prefix lives in a temporary directory under build-windows/ and goes at the end;
# wineserver is started once for all the programs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=${PELLION_WINDOWS_BUILD:-build-windows}
linux=${1:-build}
sim="$root/$linux/sim/pellion-sim"
cli="$root/$win/cli/pellion-cli.exe"
[ -x "$sim" ] || { echo "no $sim: build pellion-sim first" >&2; exit 1; }
[ -f "$cli" ] || { echo "no $cli: run scripts/build-windows.sh first" >&2; exit 1; }

work=$(mktemp -d "$root/$win/wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
children=()
finish() {
  for pid in "${children[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2>/dev/null || true; done
  timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo "== Wine prefix (bounded)"
mkdir -p "$WINEPREFIX"
timeout 60 wineserver -p 2>>"$work/wineserver.log"
timeout 300 wineboot -i >"$work/wineboot.log" 2>&1
mkdir -p "$WINEPREFIX/dosdevices"  # where COM ports are mapped

echo "== Windows core tests under Wine"
python3 tests/support/wine/null_modem.py "$WINEPREFIX/dosdevices/com31" \
  "$WINEPREFIX/dosdevices/com32" "$work/cut" >"$work/null_modem.log" 2>&1 &
children+=($!)
for _ in $(seq 1 50); do [ -L "$WINEPREFIX/dosdevices/com32" ] && break; sleep 0.1; done
PELLION_TEST_COM_PAIR=COM31,COM32 PELLION_TEST_COM_CUT="$(winpath "$work/cut")" \
  ctest --test-dir "$win" --output-on-failure --timeout 300

echo "== pellion-cli.exe programs 4 virtual chips under Wine"
chips=4
"$sim" --chips "$chips" --link-dir "$work/chips" --dump-dir "$work/dump" >"$work/sim.log" 2>&1 &
sim_pid=$!
children+=($sim_pid)
for _ in $(seq 1 100); do
  [ "$(ls "$work/chips" 2>/dev/null | wc -l)" -ge "$chips" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
  sleep 0.1
done
ports=()
for k in $(seq 0 $((chips - 1))); do
  ln -sfn "$(readlink -f "$work/chips/chip$k")" "$WINEPREFIX/dosdevices/com$((21 + k))"
  ports+=(--port "COM$((21 + k))")
done
"$root/$linux/cli/pellion-cli" image firmware/example.hex --output "$work/image.bin" >/dev/null
PELLION_WINE_TIMEOUT=300 scripts/wine-run.sh "$cli" program --file "$(winpath "$root/firmware/example.hex")" \
  "${ports[@]}" --baud 115200 --verify
kill -TERM "$sim_pid"
wait "$sim_pid" || true
size=$(stat -c %s "$work/image.bin")
for k in $(seq 0 $((chips - 1))); do
  cmp -n "$size" "$work/image.bin" "$work/dump/chip$k.flash.bin" ||
    { echo "chip$k's flash differs from the image" >&2; exit 1; }
done
echo "every chip's flash equals the image"
