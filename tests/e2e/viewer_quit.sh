#!/usr/bin/env bash
# Ending the viewer: a WM_DELETE_WINDOW message (the close button) and
# SIGINT both end it with exit code 0. A burst of pointer moves leaves the
# light at the newest position.
source "$(dirname "$0")/lib.sh"

start_xvfb
dir="$work/run"
mkdir -p "$dir"
width=200
height=150
"$GLINTOR_SCENE" --size "${width}x${height}" "$dir/source.bmp" || fail "no test picture"

title_pattern='^Glintor - '
start_viewer() {
  start_program "$dir" "$GLINTOR_WEIGHTED"
  wait_for "the main window" eval 'has_window_named "$title_pattern"'
  window=$(window_named "$title_pattern")
}

start_viewer
"$GLINTOR_CLOSE_WINDOW" "$window" || fail "could not send WM_DELETE_WINDOW"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after WM_DELETE_WINDOW: $(cat "$dir/stderr")"
[ ! -s "$dir/stderr" ] || fail "unexpected output on stderr: $(cat "$dir/stderr")"
wait_for "the window to go" eval '! has_window_named "^Glintor"'
pass "closing the window ends the viewer with exit code 0"

start_viewer
moves=()
for step in $(seq 1 40); do
  moves+=(mousemove --window "$window" $((step * 4)) $((140 - step * 3)))
done
xdotool "${moves[@]}"
# The last move puts the light at (160, 150 - 20). Which of the earlier
# positions got a frame of their own only shows at the light's own pixel,
# which no ray passes and so keeps what an earlier frame left there.
"$GLINTOR_RENDER" --light 100,75 --light 160,130 "$dir/source.bmp" "$work/expected.bmp" >/dev/null
difference=unknown
shows_newest_light() {
  import -window "$window" -depth 8 "ppm:$work/shot.ppm" 2>/dev/null || return 1
  difference=$(compare -metric AE "$work/shot.ppm" "$work/expected.bmp" null: 2>&1)
  [[ "$difference" =~ ^[01]$ ]]
}
deadline=$((SECONDS + E2E_TIMEOUT))
until shows_newest_light; do
  [ "$SECONDS" -lt "$deadline" ] || fail "after a burst of moves $difference pixels differ"
  sleep 0.1
done
pass "after a burst of moves the light is at the newest position"

kill -INT "$program_pid"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after SIGINT"
pass "SIGINT ends the viewer with exit code 0"

# A window that another client destroys is gone when the viewer lets go of
# it: that must not turn an orderly end into an X error and exit code 1.
start_viewer
"$GLINTOR_CLOSE_WINDOW" --destroy "$window" || fail "could not destroy the window"
wait_for "the window to go" eval '! has_window_named "^Glintor"'
kill -TERM "$program_pid"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after SIGTERM without a window: $(cat "$dir/stderr")"
pass "a window destroyed by another client still lets the viewer end with exit code 0"
