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
for tool in xdotool xwininfo xdpyinfo import compare identify; do
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
  need_tools Xvfb xdotool xwininfo xdpyinfo import compare identify
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

# The viewer's title, and the timing format every frame writes into it.
title_pattern='^Glintor - [0-9]+\.[0-9]{3} msec \([0-9]+\.[0-9]{3}\+[0-9]+\.[0-9]{3}\) - ([0-9]+\.[0-9]{3}| *inf) fps$'
title() { xdotool getwindowname "$window"; }
title_is_timing() { [[ "$(title)" =~ $title_pattern ]]; }

# Renders the light sequence so far (lights, mode) with glintor-render and
# waits until the caller's window_shows_expected sees exactly that frame.
check_pixels() {
  local arguments=() light
  for light in "${lights[@]}"; do arguments+=(--light "$light"); done
  "$GLINTOR_RENDER" --mode "$mode" "${arguments[@]}" "$dir/source.bmp" "$work/expected.bmp" \
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
