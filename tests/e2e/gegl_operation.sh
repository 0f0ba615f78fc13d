#!/usr/bin/env bash
# The GEGL operation glintor:light-shafts on the gegl command line: each
# row's RGB equals glintor-render's for the same light (GEGL's y grows
# downward from the extent's top, which may lie anywhere) and settings, the
# alpha passes through, and a picture the renderer refuses passes unchanged.
source "$(dirname "$0")/lib.sh"
if [ -z "${GLINTOR_GEGL_MODULE:-}" ]; then
  pass "skipped: the GEGL operation is not built (no libgegl-dev)"
  exit 0
fi
need_tools gegl stream convert
# GEGL_PATH replaces the system's folder, which holds the loaders and savers.
export GEGL_PATH=$(dirname "$GLINTOR_GEGL_MODULE"):$GLINTOR_GEGL_SYSTEM_FOLDER

"$GLINTOR_SCENE" --size 121x101 "$work/scene.bmp" && "$GLINTOR_SCENE" --size 99x100 "$work/narrow.bmp" &&
  convert "$work/scene.bmp" png24:"$work/plain.png" && convert "$work/narrow.bmp" png24:"$work/narrow.png" &&
  convert "$work/plain.png" -alpha set -channel A -fx 'i/w' +channel png32:"$work/alpha.png" ||
  fail "no test pictures"
bytes() { stream -map "$1" -storage-type char "$2" - 2>/dev/null; }

# picture | before the operation | its properties | glintor-render's options
# (odd sides, so that a centre rounded up differs)
take() {
  IFS='|' read -r picture before properties options <<<"$1"
  for field in picture before properties options; do read -r "$field" <<<"${!field}"; done
}
mapfile -t cases <<'EOF'
plain ||| 
plain || x=17.9 y=80.2 mode=uniform view=rays | --light 17,20 --mode uniform --view rays
plain || x=0 y=0 view=emission threshold=120 | --light 0,100 --view emission --threshold 120
plain || x=120.5 y=100.9 threshold=150 strength=250 tint=#FFC890 | --light 120,0 --threshold 150 --strength 250 --tint FFC890
plain || x=-30.5 y=140 mode=uniform | --light -31,-40 --mode uniform
plain || x=-1000 y=1000 | --light -121,-101
alpha || x=60 y=20 mode=uniform strength=300 | --light 60,80 --mode uniform --strength 300
plain | gegl:translate x=13 y=-7 | x=53 y=23 | --light 40,70
plain || x=90 y=30 threshold=140 softness=40 blend=screen | --light 90,70 --threshold 140 --softness 40 --blend screen
narrow || x=5 y=5 | 
EOF

# Each gegl loads every system module first: the cases run side by side,
# each with the steps' deadline, so that a hang fails.
for number in "${!cases[@]}"; do
  take "${cases[$number]}"
  # shellcheck disable=SC2086
  timeout -k 5 "$E2E_TIMEOUT" gegl "$work/$picture.png" -- $before glintor:light-shafts $properties \
    gegl:png-save path="$work/out-$number.png" bitdepth=8 >"$work/gegl-$number.log" 2>&1 &
done
for number in "${!cases[@]}"; do
  wait -n || fail "gegl failed: $(cat "$work"/gegl-*.log)"
done
for number in "${!cases[@]}"; do
  take "${cases[$number]}"
  row="$picture${before:+ after $before} with ${properties:-the defaults}"
  if [ "$picture" = narrow ]; then
    cp "$work/$picture.png" "$work/expected-$number.png"
    grep -qF "pictures must be 100 to 32768 pixels a side; this one is 99 x 100" "$work/gegl-$number.log" ||
      fail "$row: no warning: $(cat "$work/gegl-$number.log")"
  else
    # shellcheck disable=SC2086
    timeout -k 5 "$E2E_TIMEOUT" "$GLINTOR_RENDER" $options "$work/$picture.png" "$work/expected-$number.png" >/dev/null || fail "$row: glintor-render failed"
  fi
  cmp -s <(bytes rgb "$work/out-$number.png") <(bytes rgb "$work/expected-$number.png") ||
    fail "$row: not glintor-render's frame ($options)"
  cmp -s <(bytes a "$work/out-$number.png") <(bytes a "$work/$picture.png") || fail "$row: the alpha changed"
done
pass "${#cases[@]} frames through gegl: glintor-render's bytes, alpha kept; a 99-pixel side passes unchanged"
