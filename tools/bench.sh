#!/usr/bin/env bash
# The benchmarks: how close Setup's own work comes to what the platform allows.
# Builds the bench programs, brings Wine up, runs every row and prints a table:
# each figure beside a bare baseline measured in the same run on the same data,
# their ratio, the row's target and whether it was met. A slow row is reported,
# never a failure: the exit code is 0 whenever every row could be measured.
#
#   bash tools/bench.sh [GROUP...]
#
# GROUP picks rows (all of them without one): copy, check (the disc copy
# checked against a list of its files), image (the copy from a disc image and
# its pick), skip, tool, lines, startup, release (start-up and form memory at
# release size), size, unpack (writing the archives at release size), install.
#
# EV_BUILD_DIR        build tree to use (default build/windows-x64 with the preset;
#                     another folder is configured with the MinGW toolchain file)
# EV_BENCH_DISC_MB    synthetic disc of the copy, image and install rows, MiB (2048)
# EV_BENCH_TOOL_MB    tool output per line length, MiB (200)
# EV_BENCH_FILES      files of the reinstall skip pass (20000)
# EV_BENCH_PAYLOAD_MB placeholder tools of the release-size payload, MiB (300);
#                     packed once per build tree by tools/pack.sh (build tree
#                     EV_PACK_BUILD, default BUILD/bench-release/pack-build)
# EV_BENCH_REPS       turns of each timed row; the best turn counts (3)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
all_groups="copy check image skip tool lines unpack startup release size install"
groups=${*:-$all_groups}
for g in $groups; do
  case " $all_groups " in
    *" $g "*) ;;
    *) echo "bench: no row group \"$g\" (groups: $all_groups)" >&2; exit 2 ;;
  esac
done
want() { case " $groups " in *" $1 "*) return 0 ;; esac; return 1; }
bash tools/setup-machine.sh || exit 1

# configure [-DVAR=value...]: (re)configures the build tree.
if [ -n "${EV_BUILD_DIR:-}" ]; then
  build=$EV_BUILD_DIR
  configure() {
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  }
  build_targets() { cmake --build "$build" -j2 --target "$@"; }
else
  build=$root/build/windows-x64
  configure() { cmake --preset windows-x64 "$@" >/dev/null; }
  build_targets() { cmake --build --preset windows-x64 --target "$@"; }
fi
configure || exit 1
build_targets ev_bench_all || exit 1
build=$(cd "$build" && pwd)
native=$build/bench-native
if want lines; then
  cmake -S bench/native -B "$native" -DCMAKE_CXX_COMPILER=clang++ >/dev/null && cmake --build "$native" >/dev/null || exit 1
fi

disc_mb=${EV_BENCH_DISC_MB:-2048}
tool_mb=${EV_BENCH_TOOL_MB:-200}
files=${EV_BENCH_FILES:-20000}
payload_mb=${EV_BENCH_PAYLOAD_MB:-300}
h=$root/tests/harness/wine
out=$build/bench
log=$out/bench.log
rows=$out/rows.txt
: >"$log"
: >"$rows"
missing=""

winpath() { echo "Z:$1" | tr / '\\'; }

# The release-size payload, packed by the release packer from the demo
# programs of this tree; bench_unpack is then built to carry it.
release=$out/release
release_ok=0
if want release || want unpack; then
  echo "== release-size payload ($payload_mb MiB of tools)" | tee -a "$log"
  if [ ! -f "$out/release-programs.txt" ]; then
    missing="$missing; release-size rows (this build packs no demo payload: EMBERVEIL_PAYLOAD_DIR is set)"
  elif ! bash bench/release_payload.sh "$out/release-programs.txt" "$release" "$payload_mb" >>"$log" 2>&1; then
    missing="$missing; release-size rows (packing failed: see $log)"
  elif want unpack && ! { configure -DEV_BENCH_RELEASE_DIR="$release/out" &&
                          build_targets bench_unpack >>"$log" 2>&1; }; then
    missing="$missing; unpack rows (bench_unpack didn't build: see $log)"
  else
    release_ok=1
  fi
fi

# Runs one bench program under Wine; its output goes to the log, its rows to the table.
bench() {
  local what=$1
  shift
  echo "== $what" | tee -a "$log"
  if ! "$h" run "$build" "$@" >"$out/one.log" 2>&1; then
    missing="$missing; $what"
    echo "   (not measured: see $log)"
  fi
  grep -v '^ROW|' "$out/one.log" >>"$log"
  grep '^ROW|' "$out/one.log" | cut -d'|' -f2- >>"$rows"
}

# Room for the disc and one copy of it, with a tenth to spare.
room_mb() { df -Pm "$build" | awk 'NR == 2 { print $4 }'; }
need=$((disc_mb * 22 / 10 + 200))

"$h" up "$build" >>"$log" || exit 1
if want copy; then
  if [ "$(room_mb)" -ge "$need" ]; then
    bench "disc copy ($disc_mb MiB)" "$out/bench_files.exe" copy "$disc_mb"
  else
    missing="$missing; disc copy (needs $need MiB free, $(room_mb) MiB left)"
  fi
fi
if want check; then
  # Its image turn holds the image, the check's copy and the bare copy at once.
  if [ "$(room_mb)" -ge $((disc_mb * 33 / 10 + 200)) ]; then
    bench "disc copy with the check ($disc_mb MiB)" "$out/bench_files.exe" check "$disc_mb"
  else
    missing="$missing; disc copy with the check (needs $((disc_mb * 33 / 10 + 200)) MiB free, $(room_mb) MiB left)"
  fi
fi
if want image; then
  # The disc, its image and one copy at a time.
  if [ "$(room_mb)" -ge $((disc_mb * 33 / 10 + 200)) ]; then
    bench "image copy and pick ($disc_mb MiB)" "$out/bench_files.exe" image "$disc_mb"
  else
    missing="$missing; image copy (needs $((disc_mb * 33 / 10 + 200)) MiB free, $(room_mb) MiB left)"
  fi
fi
want skip && bench "reinstall skip pass ($files files)" "$out/bench_files.exe" skip "$files"
want tool && bench "tool output ($tool_mb MiB per line length)" "$out/bench_tool.exe" "$tool_mb"

if want lines; then
  echo "== line cutting alone (native)" | tee -a "$log"
  "$native/bench_lines" >"$out/one.log" 2>&1 || missing="$missing; line cutting"
  grep -v '^ROW|' "$out/one.log" >>"$log"
  grep '^ROW|' "$out/one.log" | cut -d'|' -f2- >>"$rows"
fi

if want unpack && [ $release_ok = 1 ]; then
  bench "writing the archives ($payload_mb MiB payload)" "$out/bench_unpack.exe"
fi

want startup && bench "start-up to first paint" "$out/bench_window.exe" startup "$(winpath "$build/EmberveilSetup.exe")"
if want release && [ $release_ok = 1 ]; then
  bench "release size: start-up and form memory" "$out/bench_window.exe" release \
        "$(winpath "$release/out/EmberveilSetup.exe")" "$(winpath "$build/EmberveilSetup.exe")"
fi

if want size; then
  # Size: Setup built with four empty payload files, beside the baseline window
  # linked the same way; the room by section and by origin from the link map.
  echo "== size" | tee -a "$log"
  exe=$out/setup_nopayload.exe
  bytes=$(stat -c %s "$exe")
  base=$(stat -c %s "$out/minwin.exe")
  icon=$(stat -c %s "$root/installer/emberveil.ico")
  sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '/^ +[0-9]+ / { print $2, $3 }')
  section() { echo "$sections" | awk -v s="$1" '$1 == s { print $2 }' | { read -r x && echo $((16#$x)) || echo 0; }; }
  rsrc=$(section .rsrc)
  text=$(section .text)
  rdata=$(section .rdata)
  idata=$(section .idata)
  origins=$(awk -f bench/mapsum.awk "$out/setup_nopayload.map")
  origin() { echo "$origins" | awk -v s="$1" -v c="$2" '$1 == s { print $c }'; }
  echo "$sections" >>"$log"
  echo "$origins" | sed 's/^/  section product runtime guids fill: /' >>"$log"
  ratio=$(awk -v a="$bytes" -v b="$base" 'BEGIN { printf "%.3f", a / b }')
  met=NO
  [ "$bytes" -le 65536 ] && met=yes
  {
    echo "exe size without payload (bytes)|$bytes|$base|$ratio|<= 65536|$met"
    echo "  shell icon, resource 1 (16 and 32 px bitmaps, 48 and 256 px PNG)|$icon|-|-|(info)|-"
    echo "  other resources (manifest, version)|$((rsrc - icon))|-|-|(info)|-"
    echo "  code: product / runtime|$(origin .text 2) / $(origin .text 3)|-|-|(info)|-"
    echo "  read-only data: product / runtime / COM GUIDs|$(origin .rdata 2) / $(origin .rdata 3) / $(origin .rdata 4)|-|-|(info)|-"
    echo "  import tables|$idata|-|-|(info)|-"
    echo "  headers, unwind tables, data, relocations|$((bytes - rsrc - text - rdata - idata))|-|-|(info)|-"
  } >>"$rows"
fi

if want install; then
  if [ "$(room_mb)" -ge "$need" ]; then
    # The Setup without a list of game files: the list would refuse this disc's big files.
    bench "whole install ($disc_mb MiB disc)" "$out/bench_window.exe" install \
          "$(winpath "$build/tests/install/setup_unlisted.exe")" "$disc_mb"
  else
    missing="$missing; whole install (needs $need MiB free)"
  fi
fi
"$h" down "$build" >>"$log"

echo
{
  echo "row|measured|baseline|ratio|target|met?"
  cat "$rows"
} | awk -F'|' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } n = NR }
  END {
    for (r = 1; r <= n; r++) {
      line = sprintf("%-" w[1] "s", cell[r, 1])
      for (i = 2; i <= 6; i++) line = line sprintf("  %" w[i] "s", cell[r, i])
      print line
    }
  }' | tee "$out/table.txt"
echo
echo "Ratios: throughput rows are Setup's rate over the baseline's (higher is better);"
echo "start-up, size and responsiveness are Setup over the baseline (lower is better)."
echo "Details of every turn: $log"
if [ -n "$missing" ]; then
  echo "Not measured:${missing#;}"
  exit 1
fi
exit 0
