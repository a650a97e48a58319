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
h=$(cd "$(dirname "$0")/../harness" && pwd)/wine
pass=0 fail=0
check() { if [ "$1" = 0 ]; then pass=$((pass + 1)); echo "ok: $2"; else fail=$((fail + 1)); echo "FAILED: $2"; fi; }

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

# Setup itself, shown with its whole window for a few seconds, then ended.
EV_EXTRA_OVERRIDES="$overrides" "$h" run "$build" "$winp\\EmberveilSetup.exe" /test >/dev/null 2>&1 &
runner=$!
sleep 8
eval "$("$h" env "$build")"
xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | grep -q '"Emberveil Setup"'
check $? "Setup's window came up beside the decoys"
pkill -f 'planted.EmberveilSetup.exe' 2>/dev/null
wait $runner 2>/dev/null
loaded=$(cd "$dir" && ls *.loaded 2>/dev/null | tr '\n' ' ')
[ -z "$loaded" ]
check $? "Setup beside the decoys loads none of them${loaded:+ (loaded: $loaded)}"
echo "$pass passed, $fail failed"
[ $fail = 0 ]
