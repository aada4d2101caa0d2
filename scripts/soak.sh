#!/usr/bin/env bash
# A bounded fault soak against virtual chips (scripts/soak.py): rounds of `pellion-cli program`
# with faults on some chips, every dump compared with the image. Exits non-zero on a chip
# reported programmed whose flash differs, or on a round past its time bound.
#   scripts/soak.sh [--minutes N] [--seed S] [--round ROUND_SEED] [--build DIR] [--json FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/soak.py "$@"
