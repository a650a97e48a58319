#!/usr/bin/env bash
# The main job, end to end: builds Setup, makes a synthetic game disc and runs a
# whole install with the real EmberveilSetup.exe under Wine, driven by its
# command line (/xbe ... /dir ... /test /go). With a display the window shows
# there; without one it runs under Xvfb and screenshots are taken meanwhile.
#
#   bash tools/demo.sh [folder|image|whole]
#
# Setup takes the disc as an extracted folder (folder, the default), as a disc
# image of the game partition (image) or as a whole-disc image (whole).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source=${1:-folder}
case "$source" in
  folder|image|whole) ;;
  *) echo "usage: bash tools/demo.sh [folder|image|whole]" >&2; exit 2 ;;
esac
bash tools/setup-machine.sh || exit 1
cmake --preset windows-x64 >/dev/null || exit 1
cmake --build --preset windows-x64 || exit 1

build=$root/build/windows-x64
h=$root/tests/harness/wine
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/shots"
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then export EV_HOST_DISPLAY=1; fi
"$h" up "$build" || exit 1
winpath() { echo "Z:$1" | tr / '\\'; }

disc=$demo/disc
game="$(winpath "$disc")\\default.xbe"
image=()
if [ "$source" != folder ]; then
  layout=game
  [ "$source" = whole ] && layout=whole
  game=$(winpath "$demo/disc.iso")
  image=(/image "$game" /layout "$layout")
fi
"$h" run "$build" "$build/tests/tools/discgen.exe" "$(winpath "$disc")" "${image[@]}" >"$demo/discgen.log" 2>&1 || {
  echo "demo: the synthetic disc couldn't be made"; cat "$demo/discgen.log"; exit 1; }
install='C:\Games\Emberveil'
host_install=$build/wine/prefix/drive_c/Games/Emberveil

"$h" run "$build" "$build/EmberveilSetup.exe" /xbe "$game" /dir "$install" /test /go \
  >"$demo/setup.log" 2>&1 &
pid=$!
n=0
if [ -z "${EV_HOST_DISPLAY:-}" ]; then
  eval "$("$h" env "$build")"
  while kill -0 $pid 2>/dev/null; do
    sleep 1
    n=$((n + 1))
    import -display "$DISPLAY" -window root -crop 640x720+0+0 "$demo/shots/$(printf %03d $n).png" 2>/dev/null
  done
fi
wait $pid
rc=$?
"$h" down "$build" >/dev/null
echo
echo "Setup's exit code: $rc (0 done, 1 failed, 2 cancelled)"
echo "Installed folder:  $host_install  (C:\\Games\\Emberveil in the Wine prefix)"
echo "Its log:           $host_install/logs/install.log"
[ -z "${EV_HOST_DISPLAY:-}" ] && echo "Screenshots:       $demo/shots/ ($n taken while it ran)"
exit $rc
