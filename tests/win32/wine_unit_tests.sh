#!/usr/bin/env bash
# The Win32 backend's unit tests, run under Wine in a private X server.
source "$(dirname "$0")/wine_lib.sh"

use_wine_prefix
start_xvfb
(cd "$work" && wine "$GLINTOR_WIN32_TESTS_EXE" </dev/null) || fail "the Win32 unit tests failed"
pass "the Win32 unit tests passed"
