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

# Every bad picture, each checked by this script's refused.
refuse_bad_pictures

# No display at all: the box cannot be shown, stderr still tells why.
refuse_without_display start_program "$GLINTOR_WEIGHTED"
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
