# The Windows viewers under Wine, for the scenarios of ../e2e/lib.sh, which
# sources this for `use_platform wine`. The Linux build's tools (paths from
# CTest) draw the pictures, render the expected frames and close windows.
# The Wine prefix is the build's own, GLINTOR_WINE_PREFIX, made on first use.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine reads the arguments, file names among them, in the locale's encoding:
# in the C locale a name beyond ASCII is lost.
export LC_ALL=C.UTF-8 WINEPREFIX=${GLINTOR_WINE_PREFIX:?}
E2E_TIMEOUT=90
start=start_wine_program

# skip REASON: CTest reads exit code 77 as skipped; in CI the test must run.
skip() {
  [ "${CI:-}" != true ] || fail "cannot run under CI: $*"
  echo "SKIPPED: $*"
  exit 77
}
for tool in wine wineserver wineboot "$GLINTOR_RENDER" "$GLINTOR_SCENE" "$GLINTOR_CLOSE_WINDOW"; do
  type -P "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps; the release preset built first)"
done
[ -x /usr/lib/wine/wine64 ] || type -P wine64 >/dev/null || skip "64-bit Wine (wine64) is not installed"

# A wine server serves one display: one left by an earlier test would hold
# that test's X server.
stop_wine() {
  timeout -k 5 30 wineserver -k 2>/dev/null
  timeout -k 5 30 wineserver -w 2>/dev/null
  return 0
}
stop_wine
trap 'stop_wine; cleanup' EXIT

# start_wine_program DIR EXE [ARGUMENT...]: start_program for a Windows
# program. The prefix is made once, in an X server; a prefix that was cut
# short has no mark and is made again.
start_wine_program() {
  if [ ! -e "$WINEPREFIX/made" ]; then
    rm -rf "$WINEPREFIX"
    timeout -k 10 300 wineboot --init </dev/null >"$work/wineboot.log" 2>&1 && stop_wine ||
      fail "wineboot could not make a Wine prefix: $(cat "$work/wineboot.log")"
    touch "$WINEPREFIX/made"
  fi
  start_program "$1" wine "${@:2}"
}
