#!/usr/bin/env bash
# Makes or removes the Wine prefix that the Windows tests of one test run
# share, in a temporary folder. Usage: wine_prefix.sh setup|cleanup
# Writes "prefix PATH", or "skip REASON" when Wine cannot run here, to
# GLINTOR_WINE_STATE.
source "$(dirname "$0")/wine_lib.sh"

case "${1:-}" in
  setup)
    # A run that was cut short left its prefix behind.
    if [ -f "$GLINTOR_WINE_STATE" ] && grep -q '^prefix .*/glintor-wine\.' "$GLINTOR_WINE_STATE"; then
      rm -rf "$(sed 's/^prefix //' "$GLINTOR_WINE_STATE")"
    fi
    rm -f "$GLINTOR_WINE_STATE"
    reason=$(wine_missing)
    if [ -n "$reason" ]; then
      echo "skip $reason" >"$GLINTOR_WINE_STATE"
      skip "$reason"
    fi
    export WINEPREFIX
    WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/glintor-wine.XXXXXX")
    trap 'stop_wine; cleanup' EXIT
    start_xvfb
    echo "making the Wine prefix $WINEPREFIX"
    if ! timeout -k 10 300 wineboot --init </dev/null >"$work/wineboot.log" 2>&1 ||
      ! timeout -k 10 120 wineserver -w; then
      cat "$work/wineboot.log"
      rm -rf "$WINEPREFIX"
      echo "skip wineboot could not make a Wine prefix" >"$GLINTOR_WINE_STATE"
      skip "wineboot could not make a Wine prefix"
    fi
    echo "prefix $WINEPREFIX" >"$GLINTOR_WINE_STATE"
    pass "Wine prefix ready"
    ;;
  cleanup)
    if [ -f "$GLINTOR_WINE_STATE" ] && grep -q '^prefix ' "$GLINTOR_WINE_STATE"; then
      export WINEPREFIX
      WINEPREFIX=$(sed 's/^prefix //' "$GLINTOR_WINE_STATE")
      stop_wine
      rm -rf "$WINEPREFIX"
    fi
    rm -f "$GLINTOR_WINE_STATE"
    pass "Wine prefix removed"
    ;;
  *)
    echo "usage: wine_prefix.sh setup|cleanup" >&2
    exit 2
    ;;
esac
