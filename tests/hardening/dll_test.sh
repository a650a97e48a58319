#!/usr/bin/env bash
# Setup run from a folder full of planted DLLs loads none of them. Under Wine a
# DLL in the program's folder is only preferred when an override asks for the
# native one first, so every decoy gets "name=n,b": without Setup's hardening,
# the control program shows that a decoy then loads. Wine's own user32 imports
# version.dll under any program, so version.dll is left out here (Windows'
# user32 does not import it).
set -u
build=$(cd "$1" && pwd)
decoys=${2//;/ } # a CMake list
CHECK_SAY_OK=1
. "$(dirname "$0")/../support/support.sh"

dir=$build/tests/planted
rm -rf "$dir"
mkdir -p "$dir"
cp "$build"/tests/decoys/*.dll "$build/tests/decoys/plain.exe" "$build/EmberveilSetup.exe" "$dir/"
overrides=""
for d in $decoys; do overrides="$overrides${overrides:+;}$d=n,b"; done
winp="Z:$(echo "$dir" | tr / '\\')"

# The control: the decoy test can fail.
EV_EXTRA_OVERRIDES="$overrides" "$h" run "$build" "$winp\\plain.exe" >/dev/null 2>&1
ls "$dir"/*.loaded >/dev/null 2>&1
check $? "a plain program beside the decoys loads one ($(cd "$dir" && ls *.loaded 2>/dev/null | tr '\n' ' '))"
rm -f "$dir"/*.loaded

# Setup itself, up to its whole window (everything it loads at start-up is
# loaded then), then ended.
EV_EXTRA_OVERRIDES="$overrides" "$h" run "$build" "$winp\\EmberveilSetup.exe" /test >/dev/null 2>&1 &
runner=$!
eval "$("$h" env "$build")"
window_up() { xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | grep -q '"Emberveil Setup"'; }
wait_for 60 window_up
check $? "Setup's window came up beside the decoys"
"$h" run "$build" taskkill /F /IM EmberveilSetup.exe >/dev/null 2>&1
wait $runner 2>/dev/null
loaded=$(cd "$dir" && ls *.loaded 2>/dev/null | tr '\n' ' ')
[ -z "$loaded" ]
check $? "Setup beside the decoys loads none of them${loaded:+ (loaded: $loaded)}"
finish dll_planting
