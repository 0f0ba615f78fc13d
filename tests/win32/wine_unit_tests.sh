#!/usr/bin/env bash
# The Win32 backend's unit tests, run under Wine in a private X server.
source "$(dirname "$0")/../e2e/lib.sh"
use_platform wine
start_xvfb
dir=$work
"$start" "$dir" "$GLINTOR_WIN32_TESTS_EXE"
finish_program
cat "$dir/stdout"
[ "$exit_code" = 0 ] || fail "the Win32 unit tests failed: $(said)"
