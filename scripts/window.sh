#!/usr/bin/env bash
# Starts the window with virtual chips as its ports: pellion-sim serves N chips on
# pseudo-terminals and links them as chip0, chip1, ... in a directory that PELLION_PORT_DIR
# names; the window lists them after the machine's own serial ports. Closing the window stops
# the chips and writes their flash to the dump directory.
#
#   scripts/window.sh [N] [pellion-sim options...]     e.g. scripts/window.sh 8 --baud 115200
set -euo pipefail
cd "$(dirname "$0")/.."

chips=${1:-4}
shift || true
build=${PELLION_BUILD_DIR:-build}

if [ ! -x "$build/app/pellion" ] || [ ! -x "$build/sim/pellion-sim" ]; then
  scripts/setup.sh
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" --target pellion pellion-sim -j "$(nproc)"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellion-window.XXXXXX")
"$build/sim/pellion-sim" --chips "$chips" --link-dir "$work/ports" --dump-dir "$work/dump" "$@" \
  >"$work/sim.log" 2>&1 &
sim=$!
stop_sim() {
  kill -TERM "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  echo "chip dumps: $work/dump"
}
trap stop_sim EXIT

# Wait for the links of every chip.
for _ in $(seq 1 100); do
  [ "$(ls "$work/ports" 2>/dev/null | wc -l)" -ge "$chips" ] && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
  sleep 0.1
done

PELLION_PORT_DIR="$work/ports" "$build/app/pellion"
