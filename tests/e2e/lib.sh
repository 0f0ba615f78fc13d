# Shared by the end-to-end tests: a private X server, waiting with a
# deadline, starting and stopping the programs. Tool paths come from CTest:
# GLINTOR_WEIGHTED, GLINTOR_UNIFORM, GLINTOR_RENDER, GLINTOR_SCENE,
# GLINTOR_CLOSE_WINDOW.

set -uo pipefail

# Generous: sanitizer builds run the programs many times slower.
E2E_TIMEOUT=${E2E_TIMEOUT:-60}
SCREEN_WIDTH=1280
SCREEN_HEIGHT=1024

work=$(mktemp -d "${TMPDIR:-/tmp}/glintor-e2e.XXXXXX")
xvfb_pid=
started_pids=()

cleanup() {
  local pid
  for pid in "${started_pids[@]}" $xvfb_pid; do
    kill "$pid" 2>/dev/null || continue
    timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}

# No X client may hang a test: each call gets a deadline of its own.
for tool in xdotool xwininfo xdpyinfo import compare convert identify; do
  eval "$tool() { timeout -k 5 30 $tool \"\$@\"; }"
done
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

pass() {
  echo "ok: $*"
}

need_tools() {
  local tool
  for tool in "$@"; do
    type -P "$tool" >/dev/null || fail "$tool is missing; scripts/install-deps installs it"
  done
}

# wait_for DESCRIPTION COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local description=$1
  shift
  local deadline=$((SECONDS + E2E_TIMEOUT))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $description"
    sleep 0.1
  done
}

# Starts Xvfb on a free display and points DISPLAY and SDL at it, with the
# pointer parked in the corner, outside any centred window.
start_xvfb() {
  need_tools Xvfb xdotool xwininfo xdpyinfo import compare convert identify
  local display_file="$work/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp \
    -screen 0 "${SCREEN_WIDTH}x${SCREEN_HEIGHT}x24" 3>"$display_file" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for "Xvfb to start" grep -q '^[0-9]' "$display_file"
  export DISPLAY=":$(head -n 1 "$display_file")"
  export SDL_VIDEODRIVER=x11
  wait_for "the X server to answer" eval 'xdpyinfo >/dev/null 2>&1'
  xdotool mousemove 0 0
}

# start_program DIR COMMAND...: runs COMMAND in DIR with no input, output in
# DIR/stdout and DIR/stderr; sets program_pid.
start_program() {
  local dir=$1
  shift
  (cd "$dir" && exec "$@" </dev/null >"$dir/stdout" 2>"$dir/stderr") &
  program_pid=$!
  started_pids+=("$program_pid")
}

# finish_program: waits for program_pid to end; sets exit_code.
finish_program() {
  wait_for "the program to end" eval '! kill -0 "$program_pid" 2>/dev/null'
  exit_code=0
  wait "$program_pid" || exit_code=$?
  local kept=() pid
  for pid in "${started_pids[@]}"; do
    [ "$pid" = "$program_pid" ] || kept+=("$pid")
  done
  started_pids=("${kept[@]+"${kept[@]}"}")
}

# Id of the top-level window whose name matches the extended regex, if any.
window_named() {
  xwininfo -root -tree 2>/dev/null |
    awk -v pattern="$1" 'match($0, /"[^"]*"/) {
      name = substr($0, RSTART + 1, RLENGTH - 2)
      if (name ~ pattern) { print $1; exit }
    }'
}

has_window_named() {
  [ -n "$(window_named "$1")" ]
}

# start_viewer START WEIGHTED UNIFORM MODE WIDTHxHEIGHT [NAME]: sets mode,
# width, height and dir; in a new X server, START (start_program or
# start_wine_program) runs the viewer of the mode, WEIGHTED or UNIFORM (set
# in viewer), in $dir on a glintor-scene picture of that size: source.bmp,
# or with NAME that picture converted by ImageMagick to NAME (its extension
# says the format), set in picture_file and given as the argument.
start_viewer() {
  local start=$1 name=${6:-}
  viewer=$2 mode=$4 width=${5%x*} height=${5#*x}
  [ "$mode" = uniform ] && viewer=$3
  start_xvfb
  dir="$work/run"
  mkdir -p "$dir"
  "$GLINTOR_SCENE" --size "${width}x${height}" "$dir/source.bmp" || fail "no test picture"
  if [ -z "$name" ]; then
    "$start" "$dir" "$viewer"
    return
  fi
  # No source.bmp beside it: a viewer that ignored its argument would show that.
  picture_file=$dir/$name
  convert "$dir/source.bmp" "$picture_file" && rm "$dir/source.bmp" || fail "could not make $name"
  "$start" "$dir" "$viewer" "$name"
}

# Waits for the main window; sets window, its xwininfo geometry, and the
# centred place it must stand at, expected_left and expected_top.
find_main_window() {
  wait_for "the main window" has_window_named '^Glintor'
  window=$(window_named '^Glintor')
  geometry=$(xwininfo -id "$window")
  expected_left=$(((SCREEN_WIDTH - width) / 2))
  expected_top=$(((SCREEN_HEIGHT - height) / 2))
}

# field NAME: the value of a line of the window's geometry.
field() { awk -F: -v key="$1" '$1 ~ key { gsub(/ /, "", $2); print $2 }' <<<"$geometry"; }

# check_centred WHAT: fails unless the window stands at the centred place.
check_centred() {
  local left top
  left=$(field 'Absolute upper-left X')
  top=$(field 'Absolute upper-left Y')
  [ "$left" = "$expected_left" ] && [ "$top" = "$expected_top" ] ||
    fail "$1 at $left,$top, not centred at $expected_left,$expected_top"
}

# The viewer's title, and the timing format every frame writes into it.
title_pattern='^Glintor - [0-9]+\.[0-9]{3} msec \([0-9]+\.[0-9]{3}\+[0-9]+\.[0-9]{3}\) - ([0-9]+\.[0-9]{3}| *inf) fps$'
title() { xdotool getwindowname "$window"; }
title_is_timing() { [[ "$(title)" =~ $title_pattern ]]; }

# Whether the window's top-left width x height pixels are the frame that
# check_pixels rendered; difference says how many differ. A script may
# define its own window_shows_expected on top of it.
picture_shows_expected() {
  import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || return 1
  convert "$work/shot.ppm" -crop "${width}x${height}+0+0" +repage "ppm:$work/picture.ppm" || return 1
  difference=$(compare -metric AE "$work/picture.ppm" "$work/expected.bmp" null: 2>&1)
  [ "$difference" = 0 ]
}
window_shows_expected() { picture_shows_expected; }

# Waits for a timing title, then checks the first frame's pixels: the light
# starts in the middle of the picture.
check_first_frame() {
  wait_for "a timing title" title_is_timing
  pass "title: $(title)"
  lights=("$((width / 2)),$((height / 2))")
  difference=unknown
  check_pixels
}

# Renders the light sequence so far (lights, mode) on the picture shown
# (picture_file, by default source.bmp in $dir) with glintor-render and
# waits until the caller's window_shows_expected sees exactly that frame.
check_pixels() {
  local arguments=() light
  for light in "${lights[@]}"; do arguments+=(--light "$light"); done
  "$GLINTOR_RENDER" --mode "$mode" "${arguments[@]}" "${picture_file:-$dir/source.bmp}" "$work/expected.bmp" \
    >/dev/null || fail "glintor-render failed"
  local deadline=$((SECONDS + E2E_TIMEOUT))
  until window_shows_expected; do
    [ "$SECONDS" -lt "$deadline" ] ||
      fail "after lights ${lights[*]}: $difference pixels differ from glintor-render"
    sleep 0.2
  done
  pass "pixels equal after lights ${lights[*]}"
}

# Moves the pointer to client (x, y), origin top-left, waits for the frame
# and checks its pixels. Rows count from the bottom: the top client row,
# which would be row `height`, becomes row 0, and a column right of the
# picture becomes column 0.
move_pointer() {
  local x=$1 y=$2 before
  before=$(title)
  xdotool mousemove --window "$window" "$x" "$y"
  wait_for "a new frame after moving to $x,$y" eval '[ "$(title)" != "$before" ]'
  local column=$x row=$((height - y))
  [ "$row" -lt "$height" ] || row=0
  [ "$column" -lt "$width" ] || column=0
  lights+=("$column,$row")
  check_pixels
}

# Moves to the picture's middle parts and to its edges, checking each frame.
move_pointer_around() {
  move_pointer $((width / 4)) $((height / 3))
  move_pointer $((width - 1)) $((height / 2))
  move_pointer $((width / 2)) 0
  move_pointer 3 $((height - 1))
  move_pointer $((width - 2)) 1
}

# picture NAME ARGUMENTS...: a folder NAME whose source.bmp glintor-scene makes.
picture() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  "$GLINTOR_SCENE" "$@" "$work/$name/source.bmp" || fail "could not make the $name picture"
}

# The bad pictures both viewers must refuse, with their messages: each goes
# to the calling script's own `refused NAME MESSAGE`, which runs the viewer
# in $work/NAME and checks how it refuses.
refuse_bad_pictures() {
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
}

# refuse_without_display START VIEWER: with DISPLAY unset (it stays so, the
# old value in display), VIEWER run by START in $work/missing and on a good
# picture in $work/headless exits with code 1 each time.
refuse_without_display() {
  local name
  picture headless --size 120x100
  display=$DISPLAY
  unset DISPLAY
  for name in missing headless; do
    "$1" "$work/$name" "$2"
    finish_program
    [ "$exit_code" = 1 ] || fail "$name without a display: exit code $exit_code, not 1"
  done
}
