#!/usr/bin/env bash
# Each program given needs no DLL beyond those every Windows system has;
# Wine has many more. Usage: system_dlls_only.sh PROGRAM.exe...
system='^(kernel32|user32|gdi32|msvcrt|advapi32|ntdll|ole32|shell32|windowscodecs)\.dll$'
for program in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ { print tolower($3) }')
  [ -n "$dlls" ] || { echo "FAIL: $program imports no DLL at all"; exit 1; }
  for dll in $dlls; do
    [[ "$dll" =~ $system ]] || { echo "FAIL: $program needs $dll"; exit 1; }
  done
done
