#!/usr/bin/env bash
# Pictures the viewer must refuse: the message in a box titled "Error" and
# on stderr, no main window, exit code 1 once the box is closed. Without a
# display the reason still reaches stderr; a usage error, a bad option
# among them, exits 2 before the picture is read.
# Usage: refusals.sh linux|wine
source "$(dirname "$0")/lib.sh"
use_platform "$1"
start_xvfb
not_found="The file source.bmp don't found, the application will be closed."

# make_folder NAME: a folder of its own; with a test picture when NAME says so.
make_folder() {
  dir=$work/$1
  mkdir -p "$dir"
  [ "$1" != picture ] || "$GLINTOR_SCENE" --size 120x100 "$dir/source.bmp" || fail "no test picture"
  [ "$1" != garbage ] || echo 'no picture' >"$dir/source.bmp"
  [ "$1" != small ] || "$GLINTOR_SCENE" --size 16x16 "$dir/source.bmp" || fail "no small picture"
  [ "$1" != webp ] || printf 'RIFF\x1a\0\0\0WEBPVP8 ' >"$dir/a.webp"
}

# boxed MESSAGE [windowless]: the viewer started shows MESSAGE in a box and on
# stderr, and exits 1 once the box is closed.
boxed() {
  wait_for "the error box" has_window_named '^Error$'
  [ -z "${2:-}" ] || ! has_window_named '^Glintor' || fail "a main window was opened"
  [ "$(said)" = "$1" ] || fail "stderr says '$(said)'"
  "$GLINTOR_CLOSE_WINDOW" "$(window_named '^Error$')" || fail "could not close the box"
  finish_program
  [ "$exit_code" = 1 ] || fail "exit code $exit_code, not 1"
}

make_folder missing
"$start" "$dir" "$weighted"
boxed "$not_found" windowless
pass "a missing picture is refused in a box, exit code 1"

# Memory that runs out once the picture is read and the window open: the
# frame buffers' largest (12 bytes a pixel) cannot be had. The sanitizers
# allocate for themselves, so plain builds only.
if [ "$1" = linux ] && [ "$GLINTOR_SANITIZED" = 0 ]; then
  make_folder picture
  LD_PRELOAD=$GLINTOR_FAIL_ALLOCATIONS GLINTOR_FAIL_ALLOCATIONS_OVER=100000 "$start" "$dir" "$weighted"
  boxed 'There is not enough memory for source.bmp, the application will be closed.'
  pass "frame buffers that cannot be had are refused in a box, exit code 1"
fi

# No display at all (a new wine server starts without it): FOLDER CODE
# FIRST-LINES-OF-STDERR (\n between lines) [ARGUMENT...]. Each message is
# one line, then what would have been read.
[ "$1" = linux ] || stop_wine
unset DISPLAY
while IFS='|' read -r folder code first arguments; do
  make_folder "$folder"
  "$start" "$dir" "$weighted" $arguments
  finish_program
  lines=$(printf '%b\n' "$first" | wc -l)
  [ "$exit_code" = "$code" ] && [ "$(said | head -n "$lines")" = "$(printf '%b' "$first")" ] ||
    fail "$folder $arguments: exit code $exit_code, stderr '$(said)'"
  pass "$folder $arguments without a display: exit code $code, $first"
done <<'CASES'
missing|1|The file source.bmp don't found, the application will be closed.
garbage|1|The file source.bmp don't found, the application will be closed.
small|1|The file source.bmp is invalid, or smaller.\nPictures must be at least 100 pixels a side; this one is 16 × 16.
webp|1|The format of a.webp is not supported.\nGlintor reads BMP, PNG and JPEG files.|a.webp
picture|1|The window could not be opened, the application will be closed.
picture|2|usage: glintor-weighted [OPTION VALUE]... [PICTURE]|a.png b.png
picture|2|glintor-weighted: --strength needs a per cent from 0 to 400|--strength 401 source.bmp
picture|1|The window could not be opened, the application will be closed.|--threshold=96 --view rays --strength=60% --softness=48 --blend screen source.bmp
picture|2|glintor-weighted: --blend needs add or screen|--blend=multiply source.bmp
picture|2|glintor-weighted: --tint needs a colour of six hexadecimal digits, RRGGBB, such as FFC890|--tint=FFC89 source.bmp
CASES
