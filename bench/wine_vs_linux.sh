#!/usr/bin/env bash
# Programming time of the Windows build under Wine against the Linux build, in the same run:
# four virtual chips (timing on), a 64 KiB image at 115200 baud with read-back, programmed
# first by the Linux pellion-cli, then by pellion-cli.exe on the same chips mapped as COM ports.
# A fresh chip takes each socket after every run (a programmed chip runs its application, and
# Wine cannot reset it into its bootloader: no modem lines on a pseudo-terminal). Prints each
# run's wallMs from its report and the ratio, then where the Windows build's time per answer
# goes: one more run under a wineserver that logs its requests (bench/wine_requests.py counts
# them per exchange, a written command and its answer).
# Usage: bench/wine_vs_linux.sh [LINUX_BUILD_DIR] [ROUNDS]   (after scripts/build-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux=${1:-build}
rounds=${2:-3}
win=${PELLION_WINDOWS_BUILD:-build-windows}
work=$(mktemp -d "$root/$win/bench.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sim_pid=
finish() {
  [ -n "$sim_pid" ] && { kill -TERM "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  timeout 30 wineserver -k 2>/dev/null || true
  [ -n "${PELLION_KEEP_WORK:-}" ] || rm -rf "$work"
}
trap finish EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$WINEPREFIX"
timeout 60 wineserver -p 2>>"$work/wineserver.log"
timeout 300 wineboot -i >"$work/wineboot.log" 2>&1
mkdir -p "$WINEPREFIX/dosdevices"  # where COM ports are mapped
head -c 65536 /dev/urandom >"$work/image.bin"

"$root/$linux/sim/pellion-sim" --chips 4 --replace-after-go 50 --link-dir "$work/chips" --dump-dir "$work/dump" \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do [ "$(ls "$work/chips" 2>/dev/null | wc -l)" -ge 4 ] && break; sleep 0.1; done
linux_ports=() win_ports=()
for k in 0 1 2 3; do
  linux_ports+=(--port "$work/chips/chip$k")
  ln -sfn "$(readlink -f "$work/chips/chip$k")" "$WINEPREFIX/dosdevices/com$((21 + k))"
  win_ports+=(--port "COM$((21 + k))")
done
wall() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["wallMs"])' "$1"; }

windows_run() {
  for k in 0 1 2 3; do stty -F "$(readlink -f "$work/chips/chip$k")" 115200; done
  PELLION_WINE_TIMEOUT=300 scripts/wine-run.sh "$root/$win/cli/pellion-cli.exe" program \
    --file "$(winpath "$work/image.bin")" "${win_ports[@]}" --baud 115200 \
    --json "$(winpath "$work/windows.json")" | tail -1
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$rounds"); do
  "$root/$linux/cli/pellion-cli" program --file "$work/image.bin" "${linux_ports[@]}" \
    --baud 115200 --json "$work/linux.json" | tail -1
  # Wine 8 reads a line's speed only as a standard Bxxx value, and the Linux build leaves the
  # terminal at a plain number (termios2): put it back before Windows opens it.
  windows_run
  l=$(wall "$work/linux.json") w=$(wall "$work/windows.json")
  echo "round $round: Linux ${l} ms, Windows under Wine ${w} ms, ratio $(python3 -c "print(f'{$w / $l:.3f}')")"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# The same Windows run once more, under a wineserver that logs every request.
timeout 30 wineserver -k 2>/dev/null || true
timeout 300 wineserver -f -d1 2>"$work/requests.log" &
server_pid=$!
sleep 1
windows_run >/dev/null
timeout 30 wineserver -k 2>/dev/null || true
wait "$server_pid" || true
python3 bench/wine_requests.py "$work/requests.log"
