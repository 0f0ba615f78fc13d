#!/usr/bin/env bash
# Pictures the Windows viewer must refuse, under Wine: a message box titled
# "Error" with the error icon, an OK button and the exact text, closed by a
# key press; no main window; exit code 1. Without a display, the reason
# goes to stderr.
source "$(dirname "$0")/wine_lib.sh"
need_tools head dd

use_wine_prefix
use_host_tools
start_xvfb

# refused NAME MESSAGE [ARGUMENT]: the viewer, started in $work/NAME, refuses
# with MESSAGE.
refused() {
  local name=$1 message=$2 dir="$work/$1"
  start_wine_program "$dir" "$GLINTOR_WEIGHTED_EXE" ${3:+"$3"}
  wait_for "the error box ($name)" has_window_named '^Error$'
  ! has_window_named '^Glintor' || fail "$name: a main window was opened"
  probe read-box >"$dir/box"
  printf 'buttons: OK\nicons: 1\n%s\n' "$message" | cmp -s - "$dir/box" ||
    fail "$name: the box holds '$(cat "$dir/box")', not '$message'"
  # The error icon is the only red thing in the box.
  local box red
  box=$(window_named '^Error$')
  import -window "$box" -depth 8 "ppm:$dir/box.ppm" 2>/dev/null || fail "$name: no picture of the box"
  red=$(convert "$dir/box.ppm" -fx 'r > 0.6 && g < 0.3 && b < 0.3' -format '%[fx:round(mean*w*h)]' info:)
  [ "$red" -ge 50 ] || fail "$name: the box shows no error icon ($red red pixels)"
  xdotool key --window "$box" Return
  finish_program
  [ "$exit_code" = 1 ] || fail "$name: exit code $exit_code, not 1"
  wait_for "the box to go ($name)" eval '! has_window_named "^Error$"'
  ! has_window_named '^Glintor' || fail "$name: a main window was opened"
  pass "$name refused with exit code 1"
}

# Every bad picture, each checked by this script's refused.
refuse_bad_pictures

# A PNG with a sound header and damaged pixel data, named beyond the
# system's code page: the decoder's failure is told with the name as given.
picture damaged --size 200x200
png="$work/damaged/bild-ü-λ.png"
convert "$work/damaged/source.bmp" "$png" && rm "$work/damaged/source.bmp" || fail "no PNG"
head -c 64 /dev/zero | dd of="$png" bs=1 seek=$(($(stat -c %s "$png") / 2)) conv=notrunc status=none
refused damaged $'The file bild-ü-λ.png don\'t found,\nthe application will be closed.' "${png##*/}"

# No display at all: no box can be shown, and stderr still tells why. A new
# wine server starts without the X server.
stop_wine
refuse_without_display start_wine_program "$GLINTOR_WEIGHTED_EXE"
# Windows text output ends its lines with CR LF.
said() { tr -d '\r' <"$work/$1/stderr"; }
[ "$(said missing)" = $'The file source.bmp don\'t found,\nthe application will be closed.' ] ||
  fail "missing without a display: stderr says '$(said missing)'"
[ "$(said headless)" = $'The window could not be opened,\nthe application will be closed.' ] ||
  fail "headless: stderr says '$(said headless)'"
stop_wine
export DISPLAY=$display
pass "without a display the reason goes to stderr, exit code 1"
