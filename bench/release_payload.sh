#!/usr/bin/env bash
# A payload of release size, packed by the release packer (tools/pack.sh) as a
# maintainer would pack one: throwaway git checkouts of the demo project and
# toolkit, and a tools folder whose five folders hold the demo's placeholder
# programs beside MB MiB of random bytes that no archive can shrink. Run by
# tools/bench.sh:
#
#   release_payload.sh PROGRAMS WORK MB
#
# PROGRAMS is the list the bench build writes (the demo game, launcher and the
# four tool placeholders, one "name=path" a line). WORK ends up holding
# inputs/ (the checkouts and the tools) and out/ (the packer's --out). Both are
# big and are kept: an earlier pack of the same size is used again, unless
# Setup was rebuilt since (then only the packing is done again). EV_PACK_BUILD
# picks the packer's build tree (default WORK/pack-build).
set -eu
programs=$1
work=$2
mb=$3
root=$(cd "$(dirname "$0")/.." && pwd)
inputs=$work/inputs
out=$work/out
prog() { sed -n "s/^$1=//p" "$programs"; }

# The checkouts as the packer's tests make them: no user or system git
# configuration, fixed names and times.
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null GIT_AUTHOR_NAME=Bench GIT_COMMITTER_NAME=Bench \
       GIT_AUTHOR_EMAIL=bench@example.invalid GIT_COMMITTER_EMAIL=bench@example.invalid \
       GIT_AUTHOR_DATE=2026-01-01T00:00:00Z GIT_COMMITTER_DATE=2026-01-01T00:00:00Z
commit() { git -C "$1" init -q -b main && git -C "$1" add -A && git -C "$1" commit -qm "$2"; }

# Random bytes, so that deflate gains nothing and the archive is as big as the tools.
noise() {
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

make_inputs() {
  rm -rf "$inputs"
  mkdir -p "$inputs"
  cp -r "$root/payload/project" "$inputs/project"
  mkdir -p "$inputs/project/bin"
  cp "$(prog game)" "$inputs/project/bin/emberveil.exe"
  cp "$(prog launcher)" "$inputs/project/bin/launcher.exe"
  commit "$inputs/project" project
  git -C "$inputs/project" remote add origin https://example.invalid/emberveil.git
  cp -r "$root/payload/toolkit/external/tidewright" "$inputs/toolkit"
  commit "$inputs/toolkit" toolkit

  local t=$inputs/tools b=$((mb << 20))
  mkdir -p "$t/zig" "$t/python" "$t/cmake/bin" "$t/ninja" "$t/licenses"
  cp "$(prog zig)" "$t/zig/zig.exe"
  cp "$(prog python)" "$t/python/python.exe"
  cp "$(prog cmake)" "$t/cmake/bin/cmake.exe"
  cp "$(prog ninja)" "$t/ninja/ninja.exe"
  cp "$root/payload/toolchain/toolchain/licenses/README.txt" "$t/licenses/README.txt"
  # Shared out roughly as the real tools share their room: Zig's libraries the
  # most, then Python's, CMake's modules, and a little for Ninja.
  noise "$t/zig/lib/libc.bin" $((b * 60 / 100))
  noise "$t/python/Lib/site-packages/capstone/lib.bin" $((b * 20 / 100))
  noise "$t/python/python311.zip" $((b * 5 / 100))
  noise "$t/cmake/share/modules.bin" $((b * 14 / 100))
  noise "$t/ninja/ninja.bin" $((b - b * 99 / 100))
  echo "$mb" >"$inputs/size"
}

if [ "$(cat "$inputs/size" 2>/dev/null)" != "$mb" ]; then
  echo "release payload: making $mb MiB of placeholder tools and the two checkouts in $inputs"
  make_inputs
  rm -rf "$out"
fi

# Packed again when Setup's code is newer than the packed Setup, so that the
# release-size rows measure the Setup of this tree.
setup=$(prog setup)
if [ -f "$out/EmberveilSetup.exe" ] && [ ! "$setup" -nt "$out/EmberveilSetup.exe" ] &&
   [ "$(cat "$out/size" 2>/dev/null)" = "$mb" ]; then
  echo "release payload: using the earlier pack in $out"
  exit 0
fi
export EV_PACK_BUILD=${EV_PACK_BUILD:-$work/pack-build}
export EV_PACK_JOBS=${EV_PACK_JOBS:-2}
echo "release payload: packing with tools/pack.sh (build tree $EV_PACK_BUILD)"
rm -f "$out/size"
bash "$root/tools/pack.sh" --project "$inputs/project" --toolkit "$inputs/toolkit" --tools "$inputs/tools" --out "$out"
echo "$mb" >"$out/size"
