#!/usr/bin/env bash
# The viewer under a storm of input: 2,000 pointer moves sent as fast as the
# X server takes them, then a final move. The title keeps changing, the
# light reaches the final position within a second (longer in sanitizer
# builds), the window then equals glintor-render's frame for that light at
# every pixel a ray of the frame covers, the memory does not grow, and
# closing the window exits 0. Losing the X server ends the viewer with an
# error instead of a hang.
# Usage: viewer_storm.sh weighted|uniform WIDTHxHEIGHT
source "$(dirname "$0")/lib.sh"
need_tools awk date

# Sanitizer builds render many times slower.
if [ "${GLINTOR_SANITIZED:-0}" = 1 ]; then reach_limit_ms=10000; else reach_limit_ms=1000; fi

# AddressSanitizer sets freed blocks aside (256 MB of them) to catch late
# uses; here that would read as growth.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=0"

start_viewer start_program "$GLINTOR_WEIGHTED" "$GLINTOR_UNIFORM" "$1" "$2"
title_pattern='^Glintor - '
wait_for "the main window" eval 'has_window_named "$title_pattern"'
window=$(window_named "$title_pattern")
title() { xdotool getwindowname "$window" 2>/dev/null; }
now_ms() { date +%s%3N; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status"; }

# moves COUNT SEED: xdotool arguments for COUNT moves to pseudo-random
# places of the window, edges included.
moves() {
  awk -v count="$1" -v seed="$2" -v width="$width" -v height="$height" -v window="$window" 'BEGIN {
    srand(seed)
    for (i = 0; i < count; ++i) {
      x = int(rand() * width); y = int(rand() * height)
      if (i % 10 == 0) x = 0
      if (i % 10 == 5) y = height - 1
      printf "mousemove --window %s %d %d\n", window, x, y
    }
  }' | tr '\n' ' '
}

# final_move X Y: moves there and waits until every covered pixel shows
# glintor-render's frame for the light there; sets reached_ms, the time
# from the move to the first screenshot that shows it.
final_move() {
  local x=$1 y=$2 column=$1 row=$(($height - $2)) start difference=unknown
  [ "$row" -lt "$height" ] || row=0
  "$GLINTOR_RENDER" --mode "$mode" --light "$column,$row" "$dir/source.bmp" "$work/expected.bmp" \
    >/dev/null || fail "glintor-render failed"
  start=$(now_ms)
  xdotool mousemove --window "$window" "$x" "$y"
  local deadline=$((SECONDS + E2E_TIMEOUT))
  while :; do
    if import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null; then
      difference=$("$GLINTOR_COVERED_DIFFERENCE" "$work/shot.ppm" "$work/expected.bmp" "$column" "$row") ||
        fail "could not compare the screenshot"
      [ "${difference%% *}" = 0 ] && break
    fi
    [ "$SECONDS" -lt "$deadline" ] || fail "light $column,$row never shown: $difference (differing covered)"
  done
  reached_ms=$(($(now_ms) - start))
  covered=${difference#* }
}

# A first storm settles the allocator and the X connection's buffers.
xdotool $(moves 500 1) || fail "xdotool could not send the moves"
final_move 17 23
rss_before=$(rss_kb)

# The storm, with the title sampled while it lasts.
titles=("$(title)")
xdotool $(moves 2000 2) &
storm_pid=$!
storm_start=$(now_ms)
while kill -0 "$storm_pid" 2>/dev/null; do
  current=$(title)
  [ "$current" = "${titles[-1]}" ] || titles+=("$current")
done
wait "$storm_pid" || fail "xdotool could not send the storm"
storm_ms=$(($(now_ms) - storm_start))
final_x=$((width - 3))
final_y=$((height / 3))
final_move "$final_x" "$final_y"
titles+=("$(title)")
changes=$(printf '%s\n' "${titles[@]}" | uniq | wc -l)
[ "$changes" -ge 3 ] || fail "the title changed only $((changes - 1)) times during the storm"
pass "2000 moves sent in $storm_ms ms; the title changed $((changes - 1)) times (as sampled)"
[ "$reached_ms" -le "$reach_limit_ms" ] ||
  fail "the light reached the final position $reached_ms ms after the move, not within $reach_limit_ms ms"
pass "the light reached $final_x,$final_y $reached_ms ms after the final move; all $covered covered pixels equal glintor-render's"

# The sanitizers' runtimes keep growing books of their own (shadow memory,
# finished threads); a frame's buffers leaked per frame would still show.
rss_after=$(rss_kb)
if [ "${GLINTOR_SANITIZED:-0}" = 1 ]; then
  allowed=$((rss_before / 10 + 8192))
else
  allowed=$((rss_before / 50 + 2048))
fi
[ "$rss_after" -le $((rss_before + allowed)) ] ||
  fail "resident memory grew from $rss_before kB to $rss_after kB during the storm"
pass "resident memory $rss_before kB before the storm, $rss_after kB after"

"$GLINTOR_CLOSE_WINDOW" "$window" || fail "could not send WM_DELETE_WINDOW"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after closing; stderr: $(cat "$dir/stderr")"
pass "closing the window exits 0"

# The X server goes away under a running viewer.
start_program "$dir" "$viewer"
wait_for "the main window" eval 'has_window_named "$title_pattern"'
xdotool $(moves 2000 3) 2>/dev/null &
sleep 0.2
kill -KILL "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null
xvfb_pid=
finish_program
[ "$exit_code" != 0 ] || fail "the viewer exited 0 after losing its display"
# Xlib's own words, which depend on how the connection broke.
grep -Eq "X connection .* broken|XIO: +fatal IO error" "$dir/stderr" ||
  fail "the viewer gave no reason after losing its display: '$(cat "$dir/stderr")'"
pass "losing the display ends the viewer with exit code $exit_code: $(head -n 1 "$dir/stderr")"
