#!/usr/bin/env bash
# Runs the loader's fuzz target for a bounded time, seeded with the BMP
# suite, every kind of BMP and PNG of our own, small JPEGs and every input
# found before; the inputs it finds interesting are kept in WORK/corpus for
# the next run. Any
# finding fails the run and leaves its input in WORK/artifacts, to be kept in
# tests/fuzz/regressions.
# Usage: fuzz.sh FUZZER KINDS_TOOL SUITE_DIR REGRESSIONS_DIR WORK SECONDS
set -uo pipefail
fuzzer=$1 kinds=$2 suite=$3 regressions=$4 work=$5 seconds=$6

seeds=$work/seeds
corpus=$work/corpus
artifacts=$work/artifacts
log=$work/fuzz.log
rm -rf "$seeds" "$artifacts"
mkdir -p "$seeds" "$corpus" "$artifacts"
for folder in g q b; do
  for file in "$suite/$folder"/*.bmp; do cp "$file" "$seeds/$folder-$(basename "$file")"; done
done
"$kinds" "$seeds" || exit 1
rm -f "$seeds/expected.txt"
# Small JPEGs: baseline, progressive, grey, and subsampled colour.
convert -size 24x16 gradient:red-blue "$seeds/colour.ppm" || exit 1
convert "$seeds/colour.ppm" -quality 90 -sampling-factor 1x1 "$seeds/baseline.jpg" &&
  convert "$seeds/colour.ppm" -interlace plane "$seeds/progressive.jpg" &&
  convert "$seeds/colour.ppm" -colorspace gray "$seeds/grey.jpg" &&
  convert "$seeds/colour.ppm" -sampling-factor 2x2 "$seeds/subsampled.jpg" || exit 1
rm -f "$seeds/colour.ppm"
for file in "$regressions"/*; do
  [ "$(basename "$file")" = README.md ] || cp "$file" "$seeds/regression-$(basename "$file")"
done
echo "seeds: $(find "$seeds" -type f | wc -l) files; corpus kept from earlier runs: $(find "$corpus" -type f | wc -l)"

# One input may take at most 10 s and, like the whole run, 2 GB; a single
# allocation of 1 GB is a finding of its own.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$log" 2>&1
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
