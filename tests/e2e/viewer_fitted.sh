#!/usr/bin/env bash
# A picture larger than the screen (a 1700 x 1100 PNG on an 800 x 600
# screen): the window lies within the screen, centred, the picture reduced
# to it in its proportions. A move shows a preview, rendered from the
# reduced picture and marked in the title, and a rest the exact frame,
# reduced; the window's corners give the picture's corners; S saves the
# exact frame at full size, the bytes of the Linux glintor-render's PNG; holding Space shows the reduced picture without
# the light. T and K, pressed first, raise the threshold and the softness
# of both pictures: previews and exact frames. Nothing is looked for
# within a time: the previews are checked in a second viewer whose rest
# never comes, where S brings the exact frame.
# Usage: viewer_fitted.sh linux|wine
source "$(dirname "$0")/lib.sh"
use_platform "$1"
SCREEN_WIDTH=800 SCREEN_HEIGHT=600
start_viewer weighted 1700x1100 photo.png
picture_width=$width picture_height=$height
wait_for "the main window" eval 'window=$(window_named "^Glintor") && [ -n "$window" ] && title_is_timing'
read -r left top width height <<<"$(xwininfo -id "$window" | awk -F: '/Absolute upper-left|Width|Height/ { printf "%d ", $2 }')"

# The width limits: the height follows, rounded. Centred, but for a frame.
[ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ $((left + width)) -le 800 ] && [ $((top + height)) -le 600 ] &&
  [ "$width" -ge 760 ] && [ "$height" = $(((2 * width * 1100 + 1700) / 3400)) ] &&
  [ $((2 * left + width - 800)) -le 40 ] && [ $((800 - 2 * left - width)) -le 40 ] &&
  [ $((2 * top + height - 600)) -le 40 ] && [ $((600 - 2 * top - height)) -le 40 ] ||
  fail "window at $left,$top of $width x $height"
[ "$1" = wine ] || [ "$left $top $width $height" = "0 41 800 518" ] || fail "window at $left,$top of $width x $height"
pass "a $width x $height window within the screen, centred"

"$expected_reduce" "$picture_file" "$work/small.bmp" "$width" "$height" || fail "could not reduce the picture"
lights=("850,550") previews=()

# render EXPECTED PICTURE LIGHT...: the frame after these lights, as shown.
render() {
  local out=$1 input=$2 arguments=() light
  shift 2
  for light in "$@"; do arguments+=(--light "$light"); done
  "$expected_render" --mode weighted "${arguments[@]}" $(options) "$input" "$work/full.bmp" >/dev/null ||
    fail "glintor-render failed"
  if [ "$input" = "$picture_file" ]; then
    "$expected_reduce" "$work/full.bmp" "$out" "$width" "$height" || fail "could not reduce the frame"
  else
    cp "$work/full.bmp" "$out"
  fi
}
# shows FILE: the window shows exactly that picture.
shows() { cp "$1" "$work/expected.bmp" && window_shows_expected; }
# Waits until the window shows FILE.
wait_shows() { wait_for "$2 ($difference pixels differ)" shows "$1"; }

render "$work/exact.bmp" "$picture_file" "${lights[@]}"
difference=unknown
wait_shows "$work/exact.bmp" "the first frame, reduced"
pass "the first frame is the exact one, reduced"

# The preview after the keys has its light at the window's centre.
xdotool key --window "$window" t k
suffix=" - threshold 16, softness 8" previews=("$((width / 2)),$((height / 2))")
render "$work/exact.bmp" "$picture_file" "${lights[@]}"
wait_for "the title to end in '$suffix'" title_is_timing
wait_shows "$work/exact.bmp" "the exact frame after T"
pass "T and K render the exact frame again, threshold 16, softness 8"

# spread AT WINDOW PICTURE: window position AT spread over the picture,
# halves rounded up, rounded down for positions left of or above the window.
spread() {
  local numerator=$((2 * $1 * ($3 - 1) + $2 - 1)) denominator=$((2 * ($2 - 1)))
  echo $((numerator >= 0 ? numerator / denominator : -((denominator - 1 - numerator) / denominator)))
}

# move X Y [drag]: the pointer to window pixel X,Y, or dragged there with a
# button held, perhaps outside the window. The preview's light is that
# window pixel, rendered to preview.bmp as shown; the exact frame's light
# (`pending`) is the picture pixel it maps to: window pixels spread evenly
# over the picture's, corners on corners, rows from the bottom.
move() {
  local x=$1 y=$2
  previews+=("$x,$((height - 1 - y))")
  pending="$(spread "$x" "$width" "$picture_width"),$((picture_height - 1 - $(spread "$y" "$height" "$picture_height")))"
  render "$work/preview.bmp" "$work/small.bmp" "${previews[@]}"
  if [ "${3:-}" = drag ]; then
    xdotool mousedown 1 mousemove $((left + x)) $((top + y)) mouseup 1 || fail "could not drag the pointer"
  else
    xdotool mousemove --window "$window" "$x" "$y" || fail "could not move the pointer"
  fi
}
# The exact frame at the pending light, as shown, to exact.bmp; at full
# size to full.bmp.
render_exact() {
  lights+=("$pending")
  render "$work/exact.bmp" "$picture_file" "${lights[@]}"
}
# The title of a preview: the timing and settings, then the mark.
# The title of a preview: the timing and settings, then the mark, then what
# a save does (`saving`); unless one is named, a save that ended lately.
saving=
title_is_preview() {
  local text
  text=$(title)
  [[ "$text" == "Glintor - "*" fps$suffix$(at "$pending") (preview)$saving" ||
    (-z "$saving" && "$text" == "Glintor - "*" fps$suffix$(at "$pending") (preview) - saved "*) ]]
}

# The rest after a move brings the exact frame.
move $((width / 4)) $((height / 3))
render_exact
wait_shows "$work/exact.bmp" "the exact frame after a move"
wait_for "a title without the preview's mark" title_is_timing
pass "a rest after a move shows the exact frame, reduced"
end_with escape

# The previews, held: a second viewer, on the same screen, whose pointer
# never rests. After each move the title marks the preview; S saves the
# exact frame at full size and shows it.
# Its picture is in a folder of its own, which goes for one save.
export GLINTOR_REST_MILLISECONDS=2000000000
mkdir "$dir/album" && cp "$picture_file" "$dir/album/photo.png" || fail "could not copy the picture"
xdotool mousemove 0 0
# Its writes alone wait at the gate, not those of the expected frames.
GLINTOR_WRITE_GATE=$work/gate "$start" "$dir" "$weighted" $(options) album/photo.png
wait_for "the second main window" eval 'window=$(window_named "^Glintor") && [ -n "$window" ] && title_is_timing'
# The window shows a preview at its centre before the first exact frame.
lights=() previews=("$((width / 2)),$((height / 2))") pending=850,550
render_exact
wait_shows "$work/exact.bmp" "the second viewer's first frame"

# preview X Y [drag]: the preview at X,Y, held.
preview() {
  move "$@"
  wait_for "the title of a preview after moving to $1,$2" title_is_preview
  wait_shows "$work/preview.bmp" "the preview after moving to $1,$2"
}
# S during a preview: the file saved is the exact frame, and so is the window.
save_exact() {
  render_exact
  press s
  saved=$(tail -n 1 "$dir/stdout" | tr -d '\r')
  saved=album/${saved##*[/\\]}
  wait_shows "$work/exact.bmp" "the exact frame after S at ${lights[-1]}"
  wait_for "the title of the saved ${saved#album/} (no preview)" eval '[[ "$(title)" == *" fps$suffix$(at "${lights[-1]}") - saved ${saved#album/}" ]]'
  [ "$(compare -metric AE "$dir/$saved" "$work/full.bmp" null: 2>&1)" = 0 ] || fail "$saved is not the full-size frame"
  same_png_as_render "$dir/$saved"
}
preview $((width / 2)) $((height / 5))
preview $((width / 3)) $((height - 9))
pass "moves show previews of the reduced picture, marked in the title"
# A drag begins inside the window.
preview $((width / 2)) -30 drag
preview $((width / 3)) $((height - 9))
preview $((width - 40)) $((height + 25)) drag
save_exact
pass "drags past the window's edges show previews with the light beyond the picture; S the exact frame, saved"

# The corners, through the names of the frames saved there.
for corner in "0 0 0 1099" "$((width - 1)) 0 1699 1099" "0 $((height - 1)) 0 0" "$((width - 1)) $((height - 1)) 1699 0"; do
  read -r x y column row <<<"$corner"
  preview "$x" "$y"
  save_exact
  [ "$saved" = "album/photo-weighted-$column-$row.png" ] || fail "corner $x,$y saved $saved"
done
pass "the corners give the picture's corners"

# Space: the picture without the light; the pointer moved meanwhile leaves
# the light where it was, so the frame comes back as it was.
title_before=$(title)
xdotool keydown --window "$window" space
wait_shows "$work/small.bmp" "the picture without the light"
xdotool mousemove --window "$window" $((width / 2)) $((height / 2))
xdotool keyup --window "$window" space
wait_shows "$work/exact.bmp" "the frame again, at the same light"
[ "$(title)" = "$title_before" ] || fail "a move while Space was held rendered a frame: $(title)"
pass "Space shows the reduced picture without the light; the light stays"

# A save that fails, its folder gone: the title and a box say why, and the
# viewer goes on.
rm -r "$dir/album"
xdotool key --window "$window" s
wait_for "the box of the failed save" has_window_named '^Error$'
name=photo-weighted-${lights[-1]/,/-}.png
# The box has its own connection to the X server: the title may come after it.
wait_for "the title of the failed save" eval '[[ "$(title)" == *" - could not save $name: "* ]]'
[[ "$(said)" == "The frame could not be saved to album"[/\\]"$name: "*. ]] || fail "stderr says '$(said)'"
"$GLINTOR_CLOSE_WINDOW" "$(window_named '^Error$')" || fail "could not close the box"
mkdir "$dir/album"
pass "a save that fails says why in the title and in a box, and the viewer goes on"

# Saves held before they write (GLINTOR_WRITE_GATE): the window goes on, and
# the title tells what each save does. Escape, and the close button, during
# a save close the window once the file is whole.
held_save() {
  : >"$work/gate"
  render_exact
  xdotool key --window "$window" s
  name=photo-weighted-${lights[-1]/,/-}.png saving=
  wait_for "the title of the save of $name" eval '[[ "$(title)" == *" fps$suffix$(at "${lights[-1]}") - saving $name…" ]]'
  saving=" - saving $name…"
}
# check_held COUNT: the frame saved, whole and exact, one of COUNT files in
# the folder (no temporary left).
check_held() {
  same_png_as_render "$dir/album/$name"
  [ "$(ls "$dir/album" | wc -l)" = "$1" ] || fail "the folder holds $(ls "$dir/album" | tr '\n' ' ')"
}
held_save
preview $((width / 5)) $((height / 2))
rm "$work/gate"
saving=" - saved $name"
wait_for "the title of the frame saved" title_is_preview
check_held 1
pass "previews go on during a save, and the title tells of the save"
held_save
xdotool key --window "$window" Escape
wait_for "the close put off" eval '[[ "$(title)" == *"$saving (closing when saved)" ]]'
"$GLINTOR_CLOSE_WINDOW" "$window" || fail "could not ask the window to close"
end_with gate
check_held 2
pass "Escape and the close button during a save close the window once the frame is saved"
