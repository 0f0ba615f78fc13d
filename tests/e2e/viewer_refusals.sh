#!/usr/bin/env bash
# Pictures the viewer must refuse: the message in a box titled "Error" and
# on stderr, no main window, exit code 1 once the box is closed. Without any
# display the message still reaches stderr.
source "$(dirname "$0")/lib.sh"
need_tools head dd

start_xvfb

# refused NAME MESSAGE: the viewer, started in $work/NAME, refuses with MESSAGE.
refused() {
  local name=$1 message=$2 dir="$work/$1"
  start_program "$dir" "$GLINTOR_WEIGHTED"
  wait_for "the error box ($name)" has_window_named '^Error$'
  ! has_window_named '^Glintor' || fail "$name: a main window was opened"
  printf '%s\n' "$message" | cmp -s - "$dir/stderr" ||
    fail "$name: stderr says '$(cat "$dir/stderr")', not '$message'"
  "$GLINTOR_CLOSE_WINDOW" "$(window_named '^Error$')" || fail "$name: could not close the box"
  finish_program
  [ "$exit_code" = 1 ] || fail "$name: exit code $exit_code, not 1"
  wait_for "the box to go ($name)" eval '! has_window_named "^Error$"'
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

# No display at all: the box cannot be shown, stderr still tells why.
picture headless --size 120x100
display=$DISPLAY
unset DISPLAY
for name in missing headless; do
  start_program "$work/$name" "$GLINTOR_WEIGHTED"
  finish_program
  [ "$exit_code" = 1 ] || fail "$name without a display: exit code $exit_code, not 1"
done
grep -q "^The file source.bmp don't found,$" "$work/missing/stderr" ||
  fail "missing without a display: stderr says '$(cat "$work/missing/stderr")'"
grep -q "^The window could not be opened,$" "$work/headless/stderr" ||
  fail "headless: stderr says '$(cat "$work/headless/stderr")'"
# Nor any video driver named: SDL would fall back to drawing into memory,
# where the window would run unseen for ever.
(
  unset SDL_VIDEODRIVER
  start_program "$work/headless" "$GLINTOR_WEIGHTED"
  finish_program
  [ "$exit_code" = 1 ] || fail "headless with no video driver named: exit code $exit_code, not 1"
  grep -q "^The window could not be opened,$" "$work/headless/stderr" ||
    fail "headless with no video driver named: stderr says '$(cat "$work/headless/stderr")'"
) || exit 1
export DISPLAY=$display
pass "without a display the reason goes to stderr, exit code 1"
