#!/usr/bin/env bash
# Runs the loader's fuzz target for a bounded time, seeded with every picture
# of tests/data and every input found before; the inputs it finds
# interesting are kept in WORK/corpus for the next run. Any finding fails the
# run and leaves its input in WORK/artifacts, to be kept in
# tests/fuzz/regressions.
# Usage: fuzz.sh FUZZER DATA_DIR REGRESSIONS_DIR WORK SECONDS
set -uo pipefail
fuzzer=$1 data=$2 regressions=$3 work=$4 seconds=$5

corpus=$work/corpus
artifacts=$work/artifacts
log=$work/fuzz.log
rm -rf "$artifacts"
mkdir -p "$corpus" "$artifacts"

# One input may take at most 10 s and, like the whole run, 2 GB; a single
# allocation of 1 GB is a finding of its own.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$regressions" \
  "$data"/bmpsuite/{g,q,b} "$data"/pictures/{bmp,png,jpeg} >"$log" 2>&1
code=$?

grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log"
grep -E '^stat::' "$log"
if [ "$code" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
  tail -n 60 "$log"
  echo "FAIL: the fuzz target found a problem (exit code $code); keep the input as a regression case:"
  ls "$artifacts"/* 2>/dev/null | sed 's|^|  cp |; s|$| tests/fuzz/regressions/|'
  exit 1
fi
echo "ok: no finding in $seconds s"
