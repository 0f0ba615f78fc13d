#!/usr/bin/env bash
# Replays realistic faults (tests/data/faults.txt) one at a time on a copy
# of the committed tree, and prints which tests catch each one, or MISSED.
# Usage: tests/faults/replay.sh [NUMBER...]   (all faults without numbers;
# each costs a rebuild and a test run, about two minutes)
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
copy=${FAULTS_COPY:-$top/build/faults}
rm -rf "$copy" && mkdir -p "$copy" && git -C "$top" archive HEAD | tar -x -C "$copy" || exit 1
cd "$copy" || exit 1
built=()
missed=0
while IFS='|' read -r number preset file change description; do
  [[ "$number" =~ ^[0-9]+$ ]] || continue
  [ $# -eq 0 ] || [[ " $* " == *" $number "* ]] || continue
  # The Windows tests need the Linux build's tools: without them they skip.
  if [ "$preset" = mingw ] && [[ " ${built[*]} " != *" release "* ]]; then
    { cmake --preset release && cmake --build --preset release; } >"$copy/build-release.log" 2>&1 ||
      { echo "release: the unchanged tree does not build"; exit 1; }
    built+=(release)
  fi
  if [[ " ${built[*]} " != *" $preset "* ]]; then
    # The Windows tests run the Linux build's tools, which still hold the last fault.
    for earlier in "${built[@]}"; do cmake --build --preset "$earlier" >"$copy/build.log" 2>&1; done
    { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$copy/build-$preset.log" 2>&1 ||
      { echo "$preset: the unchanged tree does not build"; exit 1; }
    # A test that fails anyway would make every fault look caught.
    ctest --preset "$preset" >"$copy/baseline-$preset.log" 2>&1 ||
      { echo "$preset: the unchanged tree fails its tests (see $copy/baseline-$preset.log)"; exit 1; }
    built+=("$preset")
  fi
  cp "$file" "$copy/original"
  sed -i -e "$change" "$file"
  if cmp -s "$file" "$copy/original"; then
    verdict="DOES NOT APPLY"
  elif ! cmake --build --preset "$preset" >"$copy/build.log" 2>&1; then
    verdict="DOES NOT BUILD"
  else
    # Failed tests by name, parameterised ones once, without their parameters.
    caught=$(ctest --preset "$preset" --timeout 300 2>&1 | grep -v '(Skipped)$' |
      sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' |
      sed 's/ *# GetParam.*//; s#^[^ ./]*/##; s#/.*##' | sort -u | paste -sd' ' -)
    verdict=${caught:-MISSED}
    [ -n "$caught" ] || missed=$((missed + 1))
  fi
  cp "$copy/original" "$file"
  touch "$file"
  printf '%3s  %s: %s\n' "$number" "$description" "$verdict"
done <"$top/tests/data/faults.txt"
[ "$missed" -eq 0 ]
