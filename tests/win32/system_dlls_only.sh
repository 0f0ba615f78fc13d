#!/usr/bin/env bash
# Each program given needs no DLL beyond those every Windows system has.
# Usage: system_dlls_only.sh PROGRAM.exe...
set -uo pipefail
objdump=x86_64-w64-mingw32-objdump
if ! type -P "$objdump" >/dev/null; then
  echo "SKIPPED: $objdump is not installed (scripts/install-deps installs it)"
  exit 77
fi
system='^(kernel32|user32|gdi32|msvcrt|advapi32|ntdll|ole32|shell32|windowscodecs)\.dll$'
status=0
for program in "$@"; do
  dlls=$("$objdump" -p "$program" | awk '/DLL Name:/ { print tolower($3) }')
  [ -n "$dlls" ] || { echo "FAIL: $program imports no DLL at all?"; status=1; continue; }
  for dll in $dlls; do
    [[ "$dll" =~ $system ]] || { echo "FAIL: $program needs $dll"; status=1; }
  done
  echo "$(basename "$program"): $(echo $dlls)"
done
exit $status
