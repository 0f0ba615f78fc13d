# Shared by the end-to-end tests: a private X server, waiting with a
# deadline, and the steps of the viewer scenarios, which the Linux viewers
# and, after `use_platform wine`, the Windows viewers under Wine both take.
# Tool paths come from CTest: GLINTOR_WEIGHTED, GLINTOR_UNIFORM,
# GLINTOR_RENDER, GLINTOR_SCENE, GLINTOR_CLOSE_WINDOW.

set -uo pipefail

# The expected frames come from the optimised build's glintor-render and
# reduction when CTest names that build (GLINTOR_ORACLE_BUILD, in the
# sanitizer builds, where the viewers are what is tested), else this build's.
expected_render=$GLINTOR_RENDER expected_reduce=${GLINTOR_REDUCE:-}
if [ -x "${GLINTOR_ORACLE_BUILD:-}/apps/glintor-render" ] &&
  [ -x "$GLINTOR_ORACLE_BUILD/tests/e2e/glintor-reduce-picture" ]; then
  expected_render=$GLINTOR_ORACLE_BUILD/apps/glintor-render
  expected_reduce=$GLINTOR_ORACLE_BUILD/tests/e2e/glintor-reduce-picture
fi

# Each step has its own deadline, generous, so that a hang fails fast
# whatever the length of the scenario: the sanitizers' builds and Wine run
# the programs several times slower.
E2E_TIMEOUT=${E2E_TIMEOUT:-$((${GLINTOR_SANITIZED:-0} == 1 ? 120 : 60))}
SCREEN_WIDTH=1280
SCREEN_HEIGHT=1024

work=$(mktemp -d "${TMPDIR:-/tmp}/glintor-e2e.XXXXXX")

# Only this shell's own jobs still running: the id of one that ended may
# already be another program's.
cleanup() {
  local pid
  for pid in $(jobs -p); do
    kill "$pid" 2>/dev/null || continue
    timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# No X client may hang a test: each call gets a deadline of its own.
for tool in xdotool xwininfo xdpyinfo import compare convert identify; do
  eval "$tool() { timeout -k 5 30 $tool \"\$@\"; }"
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

pass() { echo "ok: $*"; }

need_tools() {
  local tool
  for tool in "$@"; do
    type -P "$tool" >/dev/null || fail "$tool is missing; scripts/install-deps installs it"
  done
}

# wait_for DESCRIPTION COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local description=$1 deadline=$((SECONDS + E2E_TIMEOUT))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $description"
    sleep 0.1
  done
}

# use_platform linux|wine: start (the command that runs a program) and the
# viewers, weighted and uniform.
use_platform() {
  start=start_program weighted=$GLINTOR_WEIGHTED uniform=$GLINTOR_UNIFORM
  [ "$1" != wine ] || source "$(dirname "${BASH_SOURCE[0]}")/../win32/wine_lib.sh"
}

# Starts Xvfb on a free display, the pointer parked in the corner, outside
# any centred window.
start_xvfb() {
  need_tools Xvfb xdotool xwininfo xdpyinfo import compare convert identify
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${SCREEN_WIDTH}x${SCREEN_HEIGHT}x24" \
    3>"$work/display" 2>"$work/xvfb.log" &
  wait_for "Xvfb to start" grep -qs '^[0-9]' "$work/display"
  export DISPLAY=":$(head -n 1 "$work/display")" SDL_VIDEODRIVER=x11
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
}

# finish_program: waits for program_pid to end; sets exit_code.
finish_program() {
  wait_for "the program to end" eval '! kill -0 "$program_pid" 2>/dev/null'
  exit_code=0
  wait "$program_pid" || exit_code=$?
}

# Id of the top-level window whose name matches the extended regex, if any.
# The whole tree is read: under a window manager it outgrows a pipe, and a
# reader that stopped early would fail the pipe.
window_named() {
  xwininfo -root -tree 2>/dev/null |
    awk -v pattern="$1" '!found && match($0, /"[^"]*"/) && substr($0, RSTART + 1, RLENGTH - 2) ~ pattern { print $1; found = 1 }'
}
has_window_named() { [ -n "$(window_named "$1")" ]; }

# What the program said on stderr, without the CRs of Windows line ends.
said() { tr -d '\r' <"$dir/stderr"; }

# The settings that differ from the defaults, as the title names them
# (" - threshold 96, strength 60%"); as options they are --threshold 96
# --strength 60%, for the viewer and glintor-render alike.
suffix=
options() { sed 's/^ - /--/; s/, / --/g' <<<"$suffix"; }

# start_viewer MODE WIDTHxHEIGHT NAME: in a new X server, the viewer of MODE
# runs in $dir on a glintor-scene picture of that size converted to NAME (its
# extension says the format), the argument after the options of $suffix. No
# source.bmp beside it: a viewer that ignored its argument would show none.
start_viewer() {
  mode=$1 width=${2%x*} height=${2#*x} dir=$work/run picture_file=$work/run/$3
  viewer=$weighted
  [ "$mode" = weighted ] || viewer=$uniform
  start_xvfb
  mkdir -p "$dir"
  "$GLINTOR_SCENE" --size "$2" "$work/scene.bmp" && convert "$work/scene.bmp" "$picture_file" ||
    fail "could not make $3"
  "$start" "$dir" "$viewer" $(options) "$3"
}

# Waits for the main window: a client area of the picture's size, centred.
# (With no window manager the X window is the client area, under Wine too.)
find_main_window() {
  left=$(((SCREEN_WIDTH - width) / 2)) top=$(((SCREEN_HEIGHT - height) / 2)) shown=
  local deadline=$((SECONDS + E2E_TIMEOUT))
  until main_window_shown; do
    [ "$SECONDS" -lt "$deadline" ] ||
      fail "no main window at x y width height $left $top $width $height: '$shown'; stderr: $(said)"
    sleep 0.1
  done
}
main_window_shown() {
  window=$(window_named '^Glintor') && [ -n "$window" ] || return 1
  shown=$(xwininfo -id "$window" | awk -F: '/Absolute upper-left|Width|Height/ { printf "%d ", $2 }')
  [ "$shown" = "$left $top $width $height " ]
}

# The timing format every frame writes into the title, then the settings,
# the picture's name and the light.
title() { xdotool getwindowname "$window"; }
title_is_timing() {
  [[ "$(title)" =~ ^Glintor\ -\ [0-9]+\.[0-9]{3}\ msec\ \([0-9]+\.[0-9]{3}\+[0-9]+\.[0-9]{3}\)\ -\ ([0-9]+\.[0-9]{3}|\ *inf)\ fps"$suffix"\ -\ .+\ at\ -?[0-9]+,-?[0-9]+$ ]]
}
# at LIGHT: the end of the title of a frame at LIGHT.
at() { echo " - ${picture_file##*/} at $1"; }

# Whether the window shows exactly the frame check_pixels rendered;
# difference says how many pixels differ.
window_shows_expected() {
  import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || return 1
  difference=$(compare -metric AE "$work/shot.ppm" "$work/expected.bmp" null: 2>&1)
  [ "$difference" = 0 ]
}

# render_lights OUT: glintor-render's frame after the light sequence so far
# (lights), as OUT's extension says (.bmp or .png).
render_lights() {
  local arguments=() light
  for light in "${lights[@]}"; do arguments+=(--light "$light"); done
  "$expected_render" --mode "$mode" "${arguments[@]}" $(options) "$picture_file" "$1" >/dev/null ||
    fail "glintor-render failed"
}

# same_png_as_render FILE: a PNG the viewer saved has the very bytes of the
# Linux glintor-render's for the lights so far: one encoder, the same file
# on both platforms.
same_png_as_render() {
  render_lights "$work/expected.png"
  cmp -s "$1" "$work/expected.png" || fail "$1 has other bytes than glintor-render's PNG"
}

# Renders the light sequence so far with glintor-render and waits until the
# window shows exactly that frame.
check_pixels() {
  local deadline=$((SECONDS + E2E_TIMEOUT))
  render_lights "$work/expected.bmp"
  difference=unknown
  until window_shows_expected; do
    [ "$SECONDS" -lt "$deadline" ] || fail "after lights ${lights[*]}: $difference pixels differ from glintor-render"
    sleep 0.2
  done
  [[ "$(title)" == *"$(at "${lights[-1]}")" ]] || fail "after lights ${lights[*]} the title is $(title)"
  pass "pixels equal after lights ${lights[*]}$suffix"
}

# The first frame, the light in the middle of the picture.
check_first_frame() {
  wait_for "a timing title" title_is_timing
  lights=("$((width / 2)),$((height / 2))")
  check_pixels
}

# Moves the pointer to client (x, y), origin top-left, and checks the new
# frame. Rows count from the bottom: the top client row, which would be row
# `height`, becomes row 0.
move_pointer() {
  local before row=$((height - $2))
  before=$(title)
  xdotool mousemove --window "$window" "$1" "$2"
  wait_for "a new frame after moving to $1,$2" eval '[ "$(title)" != "$before" ]'
  [ "$row" -lt "$height" ] || row=0
  lights+=("$1,$row")
  check_pixels
}

# leave_through X Y: the pointer leaves the window to client (X, Y); the
# frame and the title stay as they were.
leave_through() {
  local before
  before=$(title)
  xdotool mousemove $((left + $1)) $((top + $2)) || fail "could not move the pointer out"
  sleep 1
  [ "$(title)" = "$before" ] || fail "leaving through $1,$2 rendered a frame: $(title)"
  check_pixels
}

# press KEY: the viewer saves the frame shown and prints the new file's name.
# A button held, the pointer taken to client position X,Y, perhaps outside
# the window, the button let go: the light follows to column X, row
# height - Y, kept within a picture's size beyond each edge, and stays.
# With "double", the button is held at the second press of a double click;
# with a number, that button is held (2 middle, 3 right, 8 and 9 the sides).
drag_to() {
  local before column row button=1
  before=$(title)
  [ "${3:-}" != double ] || xdotool click 1 || fail "could not click"
  [[ "${3:-}" != [0-9] ]] || button=$3
  xdotool mousedown $button mousemove $((left + $1)) $((top + $2)) mouseup $button || fail "could not drag the pointer"
  wait_for "a new frame after dragging to $1,$2" eval '[ "$(title)" != "$before" ]'
  column=$(($1 < -width ? -width : $1 > 2 * width - 1 ? 2 * width - 1 : $1))
  row=$((height - $2 < -height ? -height : height - $2 > 2 * height - 1 ? 2 * height - 1 : height - $2))
  lights+=("$column,$row")
  check_pixels
}

press() {
  local lines=$(($(wc -l <"$dir/stdout") + 1))
  xdotool key --window "$window" "$1"
  wait_for "the name of the frame saved by $1" eval '[ "$(wc -l <"$dir/stdout")" -ge "$lines" ]'
}

# end_with escape|close|term|gate: the viewer, ended so, exits 0; `gate`
# opens the gate of a save that holds up a close.
end_with() {
  case $1 in
    # To a focused window xdotool sends real key presses; the release then
    # finds the window gone, and a key held would end the next viewer.
    escape) xdotool key --window "$window" Escape 2>/dev/null; xdotool keyup Escape ;;
    close) "$GLINTOR_CLOSE_WINDOW" "$window" || fail "could not ask the window to close" ;;
    term) kill -TERM "$program_pid" ;;
    gate) rm "$work/gate" ;;
  esac
  finish_program
  [ "$exit_code" = 0 ] || fail "exit code $exit_code after $1: $(said)"
  # The X server lets go of a window only some time after its program ended.
  wait_for "the window to go" eval '! has_window_named "^Glintor"'
  pass "$1 ends the viewer with exit code 0"
}
