#!/usr/bin/env bash
# The Windows viewer under Wine: client area of the picture's size at the
# centred position, the timing title, and the client area after each pointer
# move equal, pixel for pixel, to the Linux glintor-render's frame for the
# same light sequence. With NAME the picture is that file, given as the
# argument (PNG or JPEG by its extension), and S then Ctrl+S save the frame
# shown beside it, as two files. Closing the window, by Alt+F4, by a
# WM_CLOSE message or by Escape, ends it with exit code 0.
# Usage: wine_viewer_pixels.sh weighted|uniform WIDTHxHEIGHT alt-f4|wm-close|escape [NAME]
source "$(dirname "$0")/wine_lib.sh"

closing=$3 name=${4:-}

use_wine_prefix
use_host_tools
start_viewer start_wine_program "$GLINTOR_WEIGHTED_EXE" "$GLINTOR_UNIFORM_EXE" "$1" "$2" "$name"

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

# save KEY FILE: KEY saves the frame shown, the expected one, as FILE.
save() {
  xdotool key --window "$window" "$1"
  wait_for "$2" test -e "$dir/$2"
  difference=$(compare -metric AE "$dir/$2" "$work/expected.bmp" null: 2>&1)
  [ "$difference" = 0 ] || fail "$2 differs from the frame shown in $difference pixels"
  [ "$(identify -format '%[channels] %z' "$dir/$2")" = "srgb 8" ] || fail "$2 is not 24-bit RGB"
}
if [ -n "$name" ]; then
  light=${lights[-1]}
  saved=${name%.*}-$mode-${light%,*}-${light#*,}
  save s "$saved.png"
  save ctrl+s "$saved-2.png"
  # Windows text output ends its lines with CR LF.
  [ "$(tr -d '\r' <"$dir/stdout")" = "$saved.png"$'\n'"$saved-2.png" ] ||
    fail "stdout says '$(cat "$dir/stdout")', not the two files"
  ! ls "$dir" | grep -q partial || fail "temporary files left: $(ls "$dir")"
  pass "S and Ctrl+S save the frame shown as $saved.png and $saved-2.png"
fi

case "$closing" in
  alt-f4) xdotool key --window "$window" alt+F4 ;;
  wm-close) probe close-main ;;
  escape) xdotool key --window "$window" Escape ;;
esac
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after $closing"
wait_for "the window to go" eval '! has_window_named "^Glintor"'
pass "closing the window ends the viewer with exit code 0"
