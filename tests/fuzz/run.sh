#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build for a bounded time on its seed corpus; fails on the first
# finding, whose input is kept under BUILD_DIR/fuzz-artifacts/.
# usage: tests/fuzz/run.sh BUILD_DIR [SECONDS_PER_FUZZER]
set -euo pipefail
build=$(cd "${1:?usage: tests/fuzz/run.sh BUILD_DIR [SECONDS_PER_FUZZER]}" && pwd)
seconds=${2:-10}
here=$(cd "$(dirname "$0")" && pwd)
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

mapfile -t fuzzers < <(find "$build" -type f -name 'fuzz_*' -perm -u+x | sort)
if [ "${#fuzzers[@]}" -eq 0 ]; then
  echo "no fuzzers found in $build" >&2
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  seeds="$here/corpus/$name"
  # New inputs go to a scratch corpus, so the seed corpus in the repository stays as it is.
  mkdir -p "$scratch/$name"
  corpora=("$scratch/$name")
  [ -d "$seeds" ] && corpora+=("$seeds")
  options=()
  [ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")
  echo "== $name (${seconds}s)"
  if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$artifacts/$name-" -print_final_stats=1 "${options[@]}" "${corpora[@]}" \
      >"$scratch/$name.log" 2>&1; then
    cat "$scratch/$name.log"
    echo "$name found a fault; input kept in $artifacts" >&2
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|Done|stat::number_of_executed_units)' "$scratch/$name.log" || true
done
