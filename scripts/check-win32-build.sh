#!/usr/bin/env bash
# Checks the 32-bit applier, which cannot run on these machines: a 32-bit GUI PE
# that imports nothing but DLLs every Windows has (everything else linked in).
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
header=$("$objdump" -f "$exe")
details=$("$objdump" -p "$exe")
grep -q 'file format pei-i386' <<<"$header" || { echo "$exe: not a 32-bit PE"; exit 1; }
grep -q 'Subsystem.*Windows GUI' <<<"$details" || { echo "$exe: not a GUI program"; exit 1; }
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|COMDLG32|COMCTL32|msvcrt)\.dll$'
bad=$(awk '/DLL Name:/ {print $3}' <<<"$details" | grep -v -i -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$exe imports DLLs that Windows does not provide: $bad"
  exit 1
fi
echo "$exe: 32-bit GUI PE, system DLLs only"
