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

# refused NAME MESSAGE: the viewer, started in $work/NAME, refuses with MESSAGE.
refused() {
  local name=$1 message=$2 dir="$work/$1"
  start_wine_program "$dir" "$GLINTOR_WEIGHTED_EXE"
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

# picture NAME ARGUMENTS...: a folder NAME whose source.bmp glintor-scene makes.
picture() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  "$GLINTOR_SCENE" "$@" "$work/$name/source.bmp" || fail "could not make the $name picture"
}

mkdir -p "$work/missing"
refused missing $'The file source.bmp don\'t found,\nthe application will be closed.'

picture narrow --size 99x500
refused narrow $'The file source.bmp is invalid,\nor smaller.'

picture palette --size 200x200 --depth 8
refused palette 'The format of source.bmp is not supported.'

picture high-colour --size 200x200 --depth 16
refused high-colour 'The format of source.bmp is not supported.'

picture tiny-palette --size 50x50 --depth 8
refused tiny-palette $'The file source.bmp is invalid,\nor smaller.'

picture too-wide --size 32769x100
refused too-wide $'The file source.bmp is too large,\nat most 32768 pixels a side.'

# Half of the pixel rows are missing.
picture truncated --size 300x200
head -c 90000 "$work/truncated/source.bmp" >"$work/truncated/cut.bmp"
mv "$work/truncated/cut.bmp" "$work/truncated/source.bmp"
refused truncated $'The file source.bmp don\'t found,\nthe application will be closed.'

# A header that claims 30000 x 30000 pixels in a 90 kB file.
picture lying --size 300x100
printf '\x30\x75\x00\x00\x30\x75\x00\x00' |
  dd of="$work/lying/source.bmp" bs=1 seek=18 conv=notrunc status=none
refused lying $'The file source.bmp don\'t found,\nthe application will be closed.'

# No display at all: no box can be shown, and stderr still tells why. A new
# wine server starts without the X server.
picture headless --size 120x100
stop_wine
display=$DISPLAY
unset DISPLAY
for name in missing headless; do
  start_wine_program "$work/$name" "$GLINTOR_WEIGHTED_EXE"
  finish_program
  [ "$exit_code" = 1 ] || fail "$name without a display: exit code $exit_code, not 1"
done
# Windows text output ends its lines with CR LF.
said() { tr -d '\r' <"$work/$1/stderr"; }
[ "$(said missing)" = $'The file source.bmp don\'t found,\nthe application will be closed.' ] ||
  fail "missing without a display: stderr says '$(said missing)'"
[ "$(said headless)" = $'The window could not be opened,\nthe application will be closed.' ] ||
  fail "headless: stderr says '$(said headless)'"
stop_wine
export DISPLAY=$display
pass "without a display the reason goes to stderr, exit code 1"
