#!/usr/bin/env bash
# Runs one Windows program under Wine, bounded: headless, quiet, in the prefix the caller chose
# (WINEPREFIX; scripts/wine-tests.sh keeps it in a temporary directory).
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY
exec timeout -k 5 "${PELLION_WINE_TIMEOUT:-120}" wine "$@"
