#!/usr/bin/env bash
# The Windows viewer under Wine: client area of the picture's size at the
# centred position, the timing title, and the client area after each pointer
# move equal, pixel for pixel, to the Linux glintor-render's frame for the
# same light sequence. Closing the window, by Alt+F4 or by a WM_CLOSE message,
# ends it with exit code 0.
# Usage: wine_viewer_pixels.sh weighted|uniform WIDTHxHEIGHT alt-f4|wm-close
source "$(dirname "$0")/wine_lib.sh"

closing=$3

use_wine_prefix
use_host_tools
start_viewer start_wine_program "$GLINTOR_WEIGHTED_EXE" "$GLINTOR_UNIFORM_EXE" "$1" "$2"

# With no window manager, Wine's X window of the main window is its client
# area.
find_main_window
client_width=$(field 'Width')
# The system may make the window of a narrow picture wider than asked (a
# title bar has a minimum width); the client area then grows to the right.
[ "$client_width" -ge "$width" ] && [ "$(field 'Height')" = "$height" ] ||
  fail "client area is $client_width x $(field Height), not $width x $height"
[ "$client_width" = "$width" ] || [ "$width" -lt 200 ] ||
  fail "client area is $client_width wide, not $width"
check_centred "client area"
pass "client area $client_width x $height at $expected_left,$expected_top for a $width x $height picture"

# Client area right of the picture, where there is some, shows the black
# background.
window_shows_expected() {
  picture_shows_expected || return 1
  if [ "$client_width" -gt "$width" ]; then
    local brightest
    brightest=$(convert "$work/shot.ppm" -crop "$((client_width - width))x${height}+${width}+0" \
      +repage -format '%[fx:maxima]' info:)
    difference="the background right of the picture is not black ($brightest)"
    [ "$brightest" = 0 ] || return 1
  fi
}
check_first_frame
move_pointer_around
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
