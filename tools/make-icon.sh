#!/usr/bin/env bash
# Redraws installer/emberveil.ico (the file's icon in the shell) from the
# window icon's own drawing, under Wine. Run after changing make_icon, then commit the .ico.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows-x64}
cmake --build "$build" --target ev_make_icon
"$root/tests/harness/wine" up "$build" >/dev/null
"$root/tests/harness/wine" run "$build" "$build/tools/make_icon.exe" 'Z:'"$(echo "$root/installer/emberveil.ico" | tr / '\\')"
"$root/tests/harness/wine" down "$build" >/dev/null
echo "wrote $root/installer/emberveil.ico"
