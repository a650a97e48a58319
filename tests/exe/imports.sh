#!/usr/bin/env bash
# Setup must start on any Windows 10 as it comes: a 64-bit GUI program whose
# every import is a DLL of the system's own. The GCC runtime, libstdc++ and
# winpthread must be linked in, never needed beside it.
#   imports.sh OBJDUMP EXE
set -u
objdump=$1 exe=$2
head=$("$objdump" -p "$exe") || { echo "imports: can't read $exe"; exit 1; }
bad=0
grep -q 'Magic.*020b' <<<"$head" || { echo "imports: not PE32+"; bad=1; }
grep -q 'Subsystem.*00000002' <<<"$head" || { echo "imports: not a GUI program"; bad=1; }
allowed=$(echo " kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll shlwapi.dll ole32.dll
  oleaut32.dll advapi32.dll msvcrt.dll uxtheme.dll msimg32.dll version.dll " | tr -s ' \n' '  ')
names=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$head" | tr 'A-Z' 'a-z')
[ -n "$names" ] || { echo "imports: no import table found"; bad=1; }
for n in $names; do
  case "$allowed" in
    *" $n "*) echo "imports: $n" ;;
    *) echo "imports: $n is not a system DLL"; bad=1 ;;
  esac
done
exit $bad
