#!/usr/bin/env bash
# The Windows viewer under Wine: client area of the picture's size at the
# centred position, the timing title, and the client area after each pointer
# move equal, pixel for pixel, to the Linux glintor-render's frame for the
# same light sequence. Closing the window, by Alt+F4 or by a WM_CLOSE message,
# ends it with exit code 0.
# Usage: wine_viewer_pixels.sh weighted|uniform WIDTHxHEIGHT alt-f4|wm-close
source "$(dirname "$0")/wine_lib.sh"

mode=$1
width=${2%x*}
height=${2#*x}
closing=$3
viewer=$GLINTOR_WEIGHTED_EXE
[ "$mode" = uniform ] && viewer=$GLINTOR_UNIFORM_EXE

use_wine_prefix
use_host_tools
start_xvfb
dir="$work/run"
mkdir -p "$dir"
"$GLINTOR_SCENE" --size "${width}x${height}" "$dir/source.bmp" || fail "no test picture"
start_wine_program "$dir" "$viewer"

# With no window manager, Wine's X window of the main window is its client
# area.
wait_for "the main window" has_window_named '^Glintor'
window=$(window_named '^Glintor')
geometry=$(xwininfo -id "$window")
field() { awk -F: -v key="$1" '$1 ~ key { gsub(/ /, "", $2); print $2 }' <<<"$geometry"; }
client_width=$(field 'Width')
expected_left=$(((SCREEN_WIDTH - width) / 2))
expected_top=$(((SCREEN_HEIGHT - height) / 2))
# The system may make the window of a narrow picture wider than asked (a
# title bar has a minimum width); the client area then grows to the right.
[ "$client_width" -ge "$width" ] && [ "$(field 'Height')" = "$height" ] ||
  fail "client area is $client_width x $(field Height), not $width x $height"
[ "$client_width" = "$width" ] || [ "$width" -lt 200 ] ||
  fail "client area is $client_width wide, not $width"
[ "$(field 'Absolute upper-left X')" = "$expected_left" ] &&
  [ "$(field 'Absolute upper-left Y')" = "$expected_top" ] ||
  fail "client area at $(field 'Absolute upper-left X'),$(field 'Absolute upper-left Y'), not centred at $expected_left,$expected_top"
pass "client area $client_width x $height at $expected_left,$expected_top for a $width x $height picture"

wait_for "a timing title" title_is_timing
pass "title: $(title)"

lights=("$((width / 2)),$((height / 2))")
difference=unknown
# The picture's part of the client area equals the expected frame; any part
# to its right shows the black background.
window_shows_expected() {
  import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || return 1
  convert "$work/shot.ppm" -crop "${width}x${height}+0+0" +repage "ppm:$work/picture.ppm" || return 1
  difference=$(compare -metric AE "$work/picture.ppm" "$work/expected.bmp" null: 2>&1)
  [ "$difference" = 0 ] || return 1
  if [ "$client_width" -gt "$width" ]; then
    local brightest
    brightest=$(convert "$work/shot.ppm" -crop "$((client_width - width))x${height}+${width}+0" \
      +repage -format '%[fx:maxima]' info:)
    difference="the background right of the picture is not black ($brightest)"
    [ "$brightest" = 0 ] || return 1
  fi
}
check_pixels

move_pointer $((width / 4)) $((height / 3))
move_pointer $((width - 1)) $((height / 2))
move_pointer $((width / 2)) 0
move_pointer 3 $((height - 1))
move_pointer $((width - 2)) 1
if [ "$client_width" -gt "$width" ]; then
  move_pointer $((client_width - 1)) $((height / 4))
fi

case "$closing" in
  alt-f4) xdotool key --window "$window" alt+F4 ;;
  wm-close) probe close-main ;;
esac
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after $closing"
wait_for "the window to go" eval '! has_window_named "^Glintor"'
pass "closing the window ends the viewer with exit code 0"
