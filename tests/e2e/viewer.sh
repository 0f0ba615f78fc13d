#!/usr/bin/env bash
# The viewer on a PNG named on its command line, beyond ASCII: a centred
# window of the picture's size with the timing title, showing what
# glintor-render computes for the same pointer moves; leaving the window
# changes nothing, unless a button is held, any of them: then the light
# follows the pointer past the edges, to the ends of its range; S, held down,
# and Ctrl+S save the frame shown beside the picture as two new PNGs, with
# the very bytes of the Linux glintor-render's PNG; ENDING
# ends it with exit code 0. On Linux a save that can make no file, or meets
# a file-size limit, shows a box and leaves it running, and SIGTERM ends it
# with 0.
# Usage: viewer.sh linux|wine weighted|uniform WIDTHxHEIGHT escape|close
source "$(dirname "$0")/lib.sh"
use_platform "$1"

start_viewer "$2" "$3" 'bild-ü-λ.png'
find_main_window
check_first_frame
move_pointer $((width / 4)) $((height / 3))
move_pointer $((width - 1)) 0
move_pointer 3 $((height - 1))
leave_through $((width / 2)) -20
leave_through $((width + 20)) $((height / 2))
move_pointer $((width / 2)) $((height / 2))
drag_to -40 $((height / 3))
move_pointer 5 5
drag_to $((-width - 30)) $((height + 9)) double
while read -r x y to_x to_y button; do
  move_pointer $((x)) $((y))
  drag_to $((to_x)) $((to_y)) "$button"
done <<'DRAGS'
width/2 3 width+30 height/4 3
width-4 height/2 width/3 -25 2
width/5 height-6 2*width+40 height-2 8
9 height/2 7 height+30 9
DRAGS

light=${lights[-1]}
saved=bild-ü-λ-$mode-${light%,*}-${light#*,}
# S held down repeats, as real key presses (to the focused window) do; it
# saves once. The viewer, once ended, has handled every repeat.
xdotool windowfocus --sync "$window"
xdotool keydown --window "$window" s
wait_for "the name of the frame saved by S" eval '[ -s "$dir/stdout" ]'
sleep 1  # past the keyboard's delay before repeating
xdotool keyup --window "$window" s
press ctrl+s
end_with "$4"
[ "$(tr -d '\r' <"$dir/stdout")" = "$saved.png"$'\n'"$saved-2.png" ] ||
  fail "stdout says '$(cat "$dir/stdout")', not $saved.png and $saved-2.png"
for file in "$saved.png" "$saved-2.png"; do
  [ "$(compare -metric AE "$dir/$file" "$work/expected.bmp" null: 2>&1)" = 0 ] || fail "$file is not the frame shown"
  [ "$(identify -format '%[channels] %z' "$dir/$file")" = "srgb 8" ] || fail "$file is not 24-bit RGB"
  same_png_as_render "$dir/$file"
done
pass "S, held, and Ctrl+S save the frame shown once each"
[ "$1" = linux ] || exit 0

# A save that can make no file (none can be made in /dev/fd, not even by
# root), or that a file-size limit cuts short, leaves nothing behind, says
# why on stderr and in a box, and leaves the viewer running.
files=$(ls "$dir")
while IFS='|' read -r limit picture reason; do
  start_program "$dir" bash -c 'ulimit -f "$1" && exec "$2" "$3" 3<"$4"' - "$limit" "$viewer" "$picture" "$picture_file"
  find_main_window
  wait_for "a timing title" title_is_timing
  xdotool key --window "$window" s
  wait_for "the message" eval '[ -s "$dir/stderr" ]'
  [[ "$(said)" == "The frame could not be saved to ${picture%.png}-$mode-"*".png: $reason." ]] ||
    fail "unexpected message: $(said)"
  [ "$(ls "$dir")" = "$files" ] || fail "a failed save left files: $(ls "$dir")"
  wait_for "the box of the failed save" has_window_named '^Error$'
  "$GLINTOR_CLOSE_WINDOW" "$(window_named '^Error$')" || fail "could not close the box"
  end_with term
done <<ROWS
unlimited|/dev/fd/3|No such file or directory
8|$picture_file|File too large
ROWS
