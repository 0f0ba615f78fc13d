#!/usr/bin/env bash
# The viewer in a real X server: window size and centred position, the
# timing title, and the window's pixels after each pointer move equal to
# glintor-render's frame for the same light sequence; SIGTERM ends it with 0.
# Usage: viewer_pixels.sh weighted|uniform WIDTHxHEIGHT
source "$(dirname "$0")/lib.sh"

mode=$1
width=${2%x*}
height=${2#*x}
viewer=$GLINTOR_WEIGHTED
[ "$mode" = uniform ] && viewer=$GLINTOR_UNIFORM

start_xvfb
dir="$work/run"
mkdir -p "$dir"
"$GLINTOR_SCENE" --size "${width}x${height}" "$dir/source.bmp" || fail "no test picture"
start_program "$dir" "$viewer"

wait_for "the main window" has_window_named '^Glintor'
window=$(window_named '^Glintor')
geometry=$(xwininfo -id "$window")
field() { awk -F: -v key="$1" '$1 ~ key { gsub(/ /, "", $2); print $2 }' <<<"$geometry"; }
expected_left=$(((SCREEN_WIDTH - width) / 2))
expected_top=$(((SCREEN_HEIGHT - height) / 2))
[ "$(field 'Width')" = "$width" ] && [ "$(field 'Height')" = "$height" ] ||
  fail "window is $(field Width) x $(field Height), not $width x $height"
[ "$(field 'Absolute upper-left X')" = "$expected_left" ] &&
  [ "$(field 'Absolute upper-left Y')" = "$expected_top" ] ||
  fail "window at $(field 'Absolute upper-left X'),$(field 'Absolute upper-left Y'), not centred at $expected_left,$expected_top"
pass "window $width x $height at $expected_left,$expected_top"

wait_for "a timing title" title_is_timing
pass "title: $(title)"

lights=("$((width / 2)),$((height / 2))")
difference=unknown
window_shows_expected() {
  import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || return 1
  difference=$(compare -metric AE "$work/shot.ppm" "$work/expected.bmp" null: 2>&1)
  [ "$difference" = 0 ]
}
check_pixels

move_pointer $((width / 4)) $((height / 3))
move_pointer $((width - 1)) $((height / 2))
move_pointer $((width / 2)) 0
move_pointer 3 $((height - 1))
move_pointer $((width - 2)) 1

kill -TERM "$program_pid"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after SIGTERM"
[ ! -s "$dir/stderr" ] || fail "unexpected output on stderr: $(cat "$dir/stderr")"
pass "SIGTERM ends the viewer with exit code 0"
