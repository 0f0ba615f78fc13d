#!/usr/bin/env bash
# Pictures the viewer must refuse: the message in a box titled "Error" and
# on stderr, no main window, exit code 1 once the box is closed. Without a
# display the reason still reaches stderr; a usage error exits 2.
# Usage: refusals.sh linux|wine
source "$(dirname "$0")/lib.sh"
use_platform "$1"
start_xvfb
not_found=$'The file source.bmp don\'t found,\nthe application will be closed.'

# make_folder NAME: a folder of its own; with a test picture when NAME says so.
make_folder() {
  dir=$work/$1
  mkdir -p "$dir"
  [ "$1" != picture ] || "$GLINTOR_SCENE" --size 120x100 "$dir/source.bmp" || fail "no test picture"
  [ "$1" != garbage ] || echo 'no picture' >"$dir/source.bmp"
}

make_folder missing
"$start" "$dir" "$weighted"
wait_for "the error box" has_window_named '^Error$'
! has_window_named '^Glintor' || fail "a main window was opened"
[ "$(said)" = "$not_found" ] || fail "stderr says '$(said)'"
"$GLINTOR_CLOSE_WINDOW" "$(window_named '^Error$')" || fail "could not close the box"
finish_program
[ "$exit_code" = 1 ] || fail "exit code $exit_code, not 1"
pass "a missing picture is refused in a box, exit code 1"

# No display at all (a new wine server starts without it): FOLDER CODE
# FIRST-LINE-OF-STDERR [ARGUMENT...].
[ "$1" = linux ] || stop_wine
unset DISPLAY
while IFS='|' read -r folder code first arguments; do
  make_folder "$folder"
  "$start" "$dir" "$weighted" $arguments
  finish_program
  [ "$exit_code" = "$code" ] && [ "$(said | head -n 1)" = "$first" ] ||
    fail "$folder $arguments: exit code $exit_code, stderr '$(said)'"
  pass "$folder $arguments without a display: exit code $code, $first"
done <<'CASES'
missing|1|The file source.bmp don't found,
garbage|1|The file source.bmp don't found,
picture|1|The window could not be opened,
picture|2|usage: glintor-weighted [PICTURE]|a.png b.png
CASES
