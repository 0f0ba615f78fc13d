# Shared by the tests that run the Windows programs under Wine: the X server
# helpers of the Linux end-to-end tests, plus a Wine prefix of the test run's
# own (made by wine_prefix.sh). Paths come from CTest: GLINTOR_WINE_STATE,
# GLINTOR_WEIGHTED_EXE, GLINTOR_UNIFORM_EXE, GLINTOR_PROBE_EXE,
# GLINTOR_HOST_BUILD (the Linux build with glintor-render and glintor-scene).

source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

export WINEDEBUG=-all
# Wine reads the programs' arguments, file names among them, in the
# locale's encoding: in the C locale a name beyond ASCII is lost.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Starting a Windows program and the wine server takes a while.
E2E_TIMEOUT=${E2E_TIMEOUT:-90}

# Exit code CTest reads as "skipped".
SKIPPED=77

# skip REASON: the test cannot run here. In CI it must run, so there it fails.
skip() {
  if [ "${CI:-}" = true ]; then
    fail "cannot run under CI: $*"
  fi
  echo "SKIPPED: $*"
  exit $SKIPPED
}

# Why Wine cannot run the programs here, if it cannot.
wine_missing() {
  local tool
  for tool in wine wineboot wineserver; do
    type -P "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps installs it)"; return; }
  done
  [ -x /usr/lib/wine/wine64 ] || type -P wine64 >/dev/null ||
    echo "64-bit Wine (wine64) is not installed (scripts/install-deps installs it)"
}

# Points WINEPREFIX at the prefix that wine_prefix.sh made, or skips.
use_wine_prefix() {
  [ -f "$GLINTOR_WINE_STATE" ] || skip "no Wine prefix was made (the setup test did not run)"
  local state
  state=$(cat "$GLINTOR_WINE_STATE")
  case "$state" in
    prefix\ *) export WINEPREFIX=${state#prefix } ;;
    *) skip "${state#skip }" ;;
  esac
  [ -d "$WINEPREFIX" ] || skip "the Wine prefix $WINEPREFIX is gone"
  # A wine server left from an earlier test would hold the old display.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  trap 'stop_wine; cleanup' EXIT
}

stop_wine() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  timeout -k 5 30 wineserver -k 2>/dev/null
  timeout -k 5 30 wineserver -w 2>/dev/null
  return 0
}

# The Linux tools that draw test pictures and render the expected frames.
use_host_tools() {
  GLINTOR_RENDER=$GLINTOR_HOST_BUILD/apps/glintor-render
  GLINTOR_SCENE=$GLINTOR_HOST_BUILD/apps/glintor-scene
  local tool
  for tool in "$GLINTOR_RENDER" "$GLINTOR_SCENE"; do
    [ -x "$tool" ] || skip "$tool is missing: build the release preset first"
  done
}

# start_wine_program DIR EXE [ARGUMENT...]: runs the Windows program in DIR
# under Wine.
start_wine_program() {
  start_program "$1" wine "${@:2}"
}

# probe COMMAND: glintor-window-probe's answer on stdout (see window_probe.cpp).
probe() {
  (cd "$work" && timeout -k 5 60 wine "$GLINTOR_PROBE_EXE" "$1" </dev/null 2>"$work/probe-errors") ||
    fail "glintor-window-probe $1: $(cat "$work/probe-errors")"
}
