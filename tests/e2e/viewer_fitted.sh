#!/usr/bin/env bash
# A picture larger than the screen (a 1700 x 1100 PNG on an 800 x 600
# screen): the window lies within the screen, centred, the picture reduced
# to it in its proportions. A move shows a preview, rendered from the
# reduced picture, and a rest the exact frame, reduced; the window's
# corners give the picture's corners; S saves the exact frame at full size;
# holding Space shows the reduced picture without the light. T, pressed
# first, raises the threshold of both pictures: previews and exact frames.
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

"$GLINTOR_REDUCE" "$picture_file" "$work/small.bmp" "$width" "$height" || fail "could not reduce the picture"
lights=("850,550") previews=()

# render EXPECTED PICTURE LIGHT...: the frame after these lights, as shown.
render() {
  local out=$1 input=$2 arguments=() light
  shift 2
  for light in "$@"; do arguments+=(--light "$light"); done
  "$GLINTOR_RENDER" --mode weighted "${arguments[@]}" $(options) "$input" "$work/full.bmp" >/dev/null ||
    fail "glintor-render failed"
  if [ "$input" = "$picture_file" ]; then
    "$GLINTOR_REDUCE" "$work/full.bmp" "$out" "$width" "$height" || fail "could not reduce the frame"
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

# The preview after a key has its light at the window's centre.
xdotool key --window "$window" t
suffix=" - threshold 16" previews=("$((width / 2)),$((height / 2))")
render "$work/exact.bmp" "$picture_file" "${lights[@]}"
wait_for "the title to end in '$suffix'" title_is_timing
wait_shows "$work/exact.bmp" "the exact frame after T"
pass "T renders the exact frame again, threshold 16"

# spread AT WINDOW PICTURE: window position AT spread over the picture,
# halves rounded up, rounded down for positions left of or above the window.
spread() {
  local numerator=$((2 * $1 * ($3 - 1) + $2 - 1)) denominator=$((2 * ($2 - 1)))
  echo $((numerator >= 0 ? numerator / denominator : -((denominator - 1 - numerator) / denominator)))
}

# move X Y [drag]: a preview, then once the pointer rests the exact frame
# for the picture pixel the window pixel maps to: window pixels spread
# evenly over the picture's, corners on corners, rows from the bottom.
# Dragged with a button held, the pointer may leave the window.
move() {
  local x=$1 y=$2 seen=0 deadline=$((SECONDS + E2E_TIMEOUT))
  previews+=("$x,$((height - 1 - y))")
  lights+=("$(spread "$x" "$width" "$picture_width"),$((picture_height - 1 - $(spread "$y" "$height" "$picture_height")))")
  render "$work/preview.bmp" "$work/small.bmp" "${previews[@]}"
  render "$work/exact.bmp" "$picture_file" "${lights[@]}"
  if [ "${3:-}" = drag ]; then
    xdotool mousedown 1 mousemove $((left + x)) $((top + y)) mouseup 1
  else
    xdotool mousemove --window "$window" "$x" "$y"
  fi
  until shows "$work/exact.bmp"; do
    shows "$work/preview.bmp" && seen=1
    [ "$SECONDS" -lt "$deadline" ] || fail "after moving to $x,$y: $difference pixels differ from the exact frame"
  done
  previews_seen=$((previews_seen + seen))
}
previews_seen=0
move $((width / 4)) $((height / 3))
move $((width / 2)) $((height / 5))
move $((width / 3)) $((height - 9))
[ "$previews_seen" -gt 0 ] || fail "no preview was seen while the pointer moved"
pass "moves show previews of the reduced picture, then the exact frame"
move $((width / 2)) -30 drag
move $((width / 3)) $((height - 9))
pass "a drag above the window puts the light above the picture"

# The corners, through the names of the frames saved there, S pressed
# while the preview is shown; the last saved file is the full-size frame.
for corner in "0 0 0 1099" "$((width - 1)) 0 1699 1099" "0 $((height - 1)) 0 0" "$((width - 1)) $((height - 1)) 1699 0"; do
  read -r x y column row <<<"$corner"
  previews+=("$x,$((height - 1 - y))") lights+=("$column,$row")
  render "$work/exact.bmp" "$picture_file" "${lights[@]}"
  xdotool mousemove --window "$window" "$x" "$y"
  press s
  saved=photo-weighted-$column-$row.png
  [ "$(tail -n 1 "$dir/stdout" | tr -d '\r')" = "$saved" ] || fail "corner $x,$y saved $(tail -n 1 "$dir/stdout")"
done
[ "$(compare -metric AE "$dir/$saved" "$work/full.bmp" null: 2>&1)" = 0 ] || fail "$saved is not the full-size frame"
pass "the corners give the picture's corners; S saves the full-size exact frame"

xdotool keydown --window "$window" space
wait_shows "$work/small.bmp" "the picture without the light"
xdotool keyup --window "$window" space
wait_shows "$work/exact.bmp" "the frame again"
pass "Space shows the reduced picture without the light"
end_with escape
