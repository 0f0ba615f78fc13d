#!/usr/bin/env bash
# The viewer in a real X server: window size and centred position, the
# timing title, and the window's pixels after each pointer move equal to
# glintor-render's frame for the same light sequence; SIGTERM ends it with 0.
# Usage: viewer_pixels.sh weighted|uniform WIDTHxHEIGHT
source "$(dirname "$0")/lib.sh"

start_viewer start_program "$GLINTOR_WEIGHTED" "$GLINTOR_UNIFORM" "$1" "$2"
find_main_window
[ "$(field 'Width')" = "$width" ] && [ "$(field 'Height')" = "$height" ] ||
  fail "window is $(field Width) x $(field Height), not $width x $height"
check_centred window
pass "window $width x $height at $expected_left,$expected_top"

check_first_frame
move_pointer_around

kill -TERM "$program_pid"
finish_program
[ "$exit_code" = 0 ] || fail "exit code $exit_code after SIGTERM"
[ ! -s "$dir/stderr" ] || fail "unexpected output on stderr: $(cat "$dir/stderr")"
pass "SIGTERM ends the viewer with exit code 0"
