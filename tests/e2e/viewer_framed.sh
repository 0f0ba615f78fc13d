#!/usr/bin/env bash
# Under a window manager (openbox) with a 30-row panel at the bottom of a
# 1920 x 1080 screen, a picture that does not fit with its frame, and a
# 24-megapixel photo: each is reduced until the whole framed window, title
# bar and borders as the manager tells them, fits the 1920 x 1050 left above
# the panel, centred there, and the picture's bottom row shows above it.
source "$(dirname "$0")/lib.sh"
use_platform linux
need_tools openbox xprop
SCREEN_WIDTH=1920 SCREEN_HEIGHT=1080 usable=1050
start_xvfb
# The manager's own settings, not the user's.
# The panel is there before the manager starts, which takes it in with the
# windows it finds: a panel mapped while the manager starts up may be missed.
"$GLINTOR_PANEL" $((SCREEN_HEIGHT - usable)) &
wait_for "the panel" eval 'xwininfo -root -tree | grep -q "1920x$((SCREEN_HEIGHT - usable))+0+$usable"'
XDG_CONFIG_HOME=$work openbox --sm-disable >"$work/openbox.log" 2>&1 &
wait_for "the panel's strut in the work area" eval 'xprop -root _NET_WORKAREA | grep -q "= 0, 0, 1920, $usable,"'
mkdir -p "$work/run"

# The sanitizers' builds, several times slower, leave the photo out.
sizes="1680x1050 6000x4000"
[ "${GLINTOR_SANITIZED:-0}" = 0 ] || sizes=1680x1050
for size in $sizes; do
  width=${size%x*} height=${size#*x} dir=$work/run
  "$GLINTOR_SCENE" --size "$size" "$dir/$size.bmp" || fail "could not make a $size picture"
  "$start" "$dir" "$weighted" "$size.bmp"
  wait_for "the $size picture's window" eval 'window=$(window_named "^Glintor") && [ -n "$window" ] && title_is_timing'
  read -r left top shown_width shown_height <<<"$(xwininfo -id "$window" | awk -F: '/Absolute upper-left|Width|Height/ { printf "%d ", $2 }')"
  IFS=', ' read -r frame_left frame_right frame_top frame_bottom <<<"$(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //')"
  at="the $size picture's ${shown_width}x$shown_height window at $left,$top, framed $frame_left,$frame_right,$frame_top,$frame_bottom"
  [ "${frame_top:-0}" -gt 0 ] || fail "$at: no title bar"
  [ $((left - frame_left)) -ge 0 ] && [ $((top - frame_top)) -ge 0 ] &&
    [ $((left + shown_width + frame_right)) -le $SCREEN_WIDTH ] && [ $((top + shown_height + frame_bottom)) -le $usable ] ||
    fail "$at: the frame is not within the screen above the panel"
  # The height limits: the frame takes the whole height, the width follows, rounded; centred.
  [ "$shown_height" = $((usable - frame_top - frame_bottom)) ] &&
    [ "$shown_width" = $(((2 * width * shown_height + height) / (2 * height))) ] &&
    off_centre=$((2 * (left - frame_left) + shown_width + frame_left + frame_right - SCREEN_WIDTH)) &&
    [ "${off_centre#-}" -le 1 ] ||
    fail "$at: not the largest framed window that fits, centred"
  # The bottom row as the screen shows it: no pixel of the panel (magenta).
  import -window root -depth 8 -crop "${shown_width}x1+$left+$((top + shown_height - 1))" "$work/row.txt" 2>/dev/null ||
    fail "could not take the screen's row"
  ! grep -q '#FF00FF' "$work/row.txt" || fail "$at: the panel covers the picture's bottom row"
  pass "$at, within the screen above the panel"
  end_with escape
done
