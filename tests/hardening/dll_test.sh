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

# The control: the decoy test can fail, for the DLL the window loads and the
# one the copy step loads.
EV_EXTRA_OVERRIDES="$overrides" "$h" run "$build" "$winp\\plain.exe" >/dev/null 2>&1
# (The marker is named as the importer spells the DLL: "COMCTL32.dll".)
marks=$(cd "$dir" && ls *.loaded 2>/dev/null | tr 'A-Z\n' 'a-z ')
has() { case " $marks" in *" $1 "*) return 0 ;; esac; return 1; }
has comctl32.dll.loaded && has bcrypt.dll.loaded
check $? "a plain program beside the decoys loads comctl32's and bcrypt's ($marks)"
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

# A whole install beside them: the copy step checks the game files against the
# demo payload's list with bcrypt, which Setup loads only then.
"$h" run "$build" "$build/tests/tools/discgen.exe" "$winp\\disc" >"$dir/discgen.log" 2>&1
inst="$WINEPREFIX/drive_c/ev-planted"
rm -rf "$inst"
EV_EXTRA_OVERRIDES="$overrides" "$h" run "$build" "$winp\\EmberveilSetup.exe" /xbe "$winp\\disc\\default.xbe" \
  /dir 'C:\ev-planted' /test /go >/dev/null 2>&1
rc=$?
grep -q "checked .* against game-files.sha256" "$inst/logs/install.log" 2>/dev/null
check $((rc + $?)) "an install beside the decoys checks the game files and ends well (exit code $rc)"
loaded=$(cd "$dir" && ls *.loaded 2>/dev/null | tr '\n' ' ')
[ -z "$loaded" ]
check $? "that install loads none of them${loaded:+ (loaded: $loaded)}"
rm -rf "$inst"
finish dll_planting
