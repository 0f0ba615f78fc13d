#!/usr/bin/env bash
# The viewer on a PNG named on its command line: it shows what glintor-render
# computes for the same picture; leaving the window changes nothing; S and
# Ctrl+S save the frame shown as new PNGs beside the picture, and a folder
# that cannot be written to leaves the viewer running with nothing written;
# Escape ends it with exit code 0.
# Usage: viewer_own_picture.sh weighted|uniform WIDTHxHEIGHT
source "$(dirname "$0")/lib.sh"

mode=$1 width=${2%x*} height=${2#*x}
viewer=$GLINTOR_WEIGHTED
[ "$mode" = uniform ] && viewer=$GLINTOR_UNIFORM
start_xvfb
dir="$work/run"
pictures="$work/my pictures"
mkdir -p "$dir" "$pictures"
"$GLINTOR_SCENE" --size "$2" "$work/scene.bmp" || fail "no test picture"
picture_file="$pictures/evening sky.png"
convert "$work/scene.bmp" "$picture_file" || fail "could not make the PNG"

start_program "$dir" "$viewer" "$picture_file"
find_main_window
check_centred window
check_first_frame
move_pointer $((width / 3)) $((height / 4))

# leave_through X Y: moves the pointer out of the window to client (X, Y);
# the frame and title stay as they were.
leave_through() {
  local before
  before=$(title)
  xdotool mousemove $((expected_left + $1)) $((expected_top + $2))
  sleep 1
  [ "$(title)" = "$before" ] || fail "leaving through $1,$2 rendered a frame: $(title)"
  check_pixels
}
leave_through $((width / 2)) -20
move_pointer $((width - 5)) $((height / 2))
leave_through $((width + 20)) $((height / 2))
pass "leaving the window changes nothing"

# press KEY: the viewer saves the frame; its stdout gets one more line.
saved=0
press() {
  xdotool key --window "$window" "$1"
  saved=$((saved + 1))
  wait_for "a saved frame's path" eval '[ "$(wc -l <"$dir/stdout")" -ge "$saved" ]'
}
light=${lights[-1]}
base="$pictures/evening sky-$mode-${light%,*}-${light#*,}"
press s
press ctrl+s
[ "$(cat "$dir/stdout")" = "$base.png"$'\n'"$base-2.png" ] ||
  fail "saved as $(cat "$dir/stdout"), not $base.png and $base-2.png"
for file in "$base.png" "$base-2.png"; do
  [ "$(compare -metric AE "$file" "$work/expected.bmp" null: 2>&1)" = 0 ] ||
    fail "$file is not the frame shown"
  [ "$(identify -format '%[channels] %z' "$file")" = "srgb 8" ] || fail "$file is not 24-bit RGB"
done
pass "S and Ctrl+S save the frame shown, the second time with -2"

# No file can be made in /dev/fd, not even by root.
kill -TERM "$program_pid"
finish_program
start_program "$dir" "$viewer" /dev/fd/3 3<"$picture_file"
find_main_window
wait_for "a timing title" title_is_timing
xdotool key --window "$window" s
wait_for "the message" eval '[ -s "$dir/stderr" ]'
grep -q "^The frame could not be saved to /dev/fd/3-$mode-" "$dir/stderr" ||
  fail "unexpected message: $(cat "$dir/stderr")"
kill -0 "$program_pid" 2>/dev/null || fail "the viewer ended after a failed save"
[ -z "$(find "$pictures" "$dir" -newer "$base-2.png" -type f ! -name 'std*')" ] ||
  fail "a failed save left files behind"
pass "a failed save is reported and the viewer keeps running"

xdotool key --window "$window" Escape
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after Escape"
pass "Escape ends the viewer with exit code 0"
