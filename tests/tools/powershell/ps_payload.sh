# Sourced by ps_test.sh when it has a payload folder ($payload): the payload's
# two scripts, unpacked with a synthetic disc the way Setup leaves the install
# folder before its translation step, run through the stand-in as Setup runs
# them, with their line protocols, exit codes, files and test hooks checked.

inst="$t/Emberveil Games/Emberveil" # a blank in it, as under "Program Files"
mkdir -p "$inst"
for z in project toolkit toolchain; do
  bsdtar -xmf "$payload/$z.zip" -C "$inst"
  check $? "bsdtar could not unpack $payload/$z.zip"
done
"$h" run "$build" "$(win "$build/tests/tools/discgen.exe")" "$(win "$t/disc")" >"$t/out" 2>&1
check $? "discgen: $(head -c 300 "$t/out")"

# with VAR=VALUE... -- SCRIPT: runs scripts\SCRIPT.ps1 in the install folder
# with those variables set for it alone.
with() {
  local v vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  for v in "${vars[@]}"; do export "$v"; done
  ps_run "$inst" "$inst/scripts/$2.ps1"
  for v in "${vars[@]}"; do unset "${v%%=*}"; done
}

# The "main: " lines of the last run, each as a word: the tool's name as it
# starts, the name and "+" as it ends, "skipped" for the skip line. Any other
# line holding "main: " shows as "BAD".
protocol() {
  tr -d '\r' <"$t/out" | grep -a 'main: ' | sed -E \
    -e 's/^  main: tools\.(xbe_parser|disasm|func_id|abi_analysis|recomp)$/\1/' \
    -e 's/^  main: tools\.(xbe_parser|disasm|func_id|abi_analysis|recomp) done \([0-9.]+s\)$/\1+/' \
    -e 's|^  main: identify/abi/lift inputs unchanged, skipped$|skipped|' \
    -e '/^[a-z_]+\+?$/!s/.*/BAD/' | tr '\n' ' '
}
full="xbe_parser xbe_parser+ disasm disasm+ func_id func_id+ abi_analysis abi_analysis+ recomp recomp+ "
skip="xbe_parser xbe_parser+ disasm disasm+ skipped "

# Before the disc is there, and before anything is translated, both fail.
with -- build
[ "$rc" = 1 ] && grep -q 'must run first' "$t/out"
check $? "build.ps1 before the translation: exit code $rc, output $(head -c 300 "$t/out")"
with -- recompile
[ "$rc" = 1 ] && [ "$(protocol)" = "" ]
check $? "recompile.ps1 without game\\: exit code $rc, protocol '$(protocol)'"
cp -r "$t/disc" "$inst/game"

# Translations in a row: hooks | exit code | protocol. A changed EV_DEMO_INPUTS
# translates again; a failed run leaves no stamp, so the next one does too.
lifts=(
  "|0|$full"
  "|0|$skip"
  "EV_DEMO_INPUTS=other|0|$full"
  "EV_DEMO_INPUTS=other|0|$skip"
  "EV_DEMO_INPUTS=third EV_DEMO_FAIL_LIFT=1|1|$full"
  "EV_DEMO_INPUTS=third|0|$full"
  "EV_DEMO_INPUTS=third EV_DEMO_FAIL_LIFT=1|1|$skip"
)
n=0
for row in "${lifts[@]}"; do
  IFS='|' read -r vars code want <<<"$row"
  n=$((n + 1))
  with $vars -- recompile
  [ "$rc" = "$code" ] && [ "$(protocol)" = "$want" ]
  check $? "recompile.ps1 run $n ($vars): exit code $rc, protocol '$(protocol)', wanted $code '$want'"
done
main_c=$(find "$inst/src/recomp/main/gen" -maxdepth 1 -name '*.c' | wc -l)
driving_c=$(find "$inst/src/recomp/driving/gen" -maxdepth 1 -name '*.c' | wc -l)
[ "$main_c" -gt 0 ] && [ "$driving_c" -gt 0 ]
check $? "recompile.ps1 left $main_c and $driving_c C files in the two gen folders"

# hang PROGRAM VAR=1 SCRIPT: runs the script with the hook in the background
# until the toolchain's PROGRAM reports itself still running, ends that process
# by its id, and waits for the script; its exit code lands in $rc.
running_pid() {
  pid=$(grep -ao "for $1: still running, pid [0-9]*" "$t/out" 2>/dev/null | head -1 | grep -o '[0-9]*$')
  [ -n "$pid" ]
}
hang() {
  local pid=""
  (with "$2" -- "$3"; echo "$rc" >"$t/rc") &
  local bg=$!
  wait_for 30 running_pid "$1"
  [ -n "$pid" ] && "$h" run "$build" taskkill /F /PID "$pid" >/dev/null 2>&1
  [ -n "$pid" ] || kill $bg
  wait $bg
  rc=$(cat "$t/rc" 2>/dev/null || echo none)
}
hang python EV_DEMO_LIFT_HANG=1 recompile
[ "$rc" = 1 ] && grep -q 'disassembler was ended' "$t/out"
check $? "EV_DEMO_LIFT_HANG: exit code $rc, output $(tail -c 300 "$t/out")"

# The build names each C file it compiles on a line of its own: the demo's 21
# (the translation's 5 of default.xbe and 3 of Driving.xbe, the toolkit's 4,
# and 9 of the project's own sources), each line ending in ".c".
total=21
counted() { tr -d '\r' <"$t/out" | grep -ac '\.c$'; }
launcher="$inst/Emberveil Launcher.exe"

with -- build
[ "$rc" = 0 ] && [ "$(counted)" = "$total" ] && ! grep -aq ': error \|: fatal error ' "$t/out"
check $? "build.ps1: exit code $rc, $(counted) C file lines of $total expected"
cmp -s "$inst/bin/emberveil.exe" "$inst/build/Release/emberveil.exe" && cmp -s "$inst/bin/launcher.exe" "$launcher"
check $? "build.ps1: build\\Release\\emberveil.exe or the launcher not in place"

with EV_DEMO_BUILD_FAIL=1 -- build
first=$(grep -a ': error \|: fatal error ' "$t/out" | head -1 | tr -d '\r')
[ "$rc" = 1 ] && [ "$(grep -ac ': error ' "$t/out")" = 2 ] &&
  [ "$first" = "src\\game\\main.c(12): error C2065: 'x': undeclared identifier" ]
check $? "EV_DEMO_BUILD_FAIL: exit code $rc, first error '$first'"

with EV_DEMO_NO_LAUNCHER=1 -- build
[ "$rc" = 0 ] && [ ! -e "$launcher" ] && [ -f "$inst/build/Release/emberveil.exe" ]
check $? "EV_DEMO_NO_LAUNCHER: exit code $rc, launcher $(ls "$launcher" 2>&1)"

with EV_DEMO_LONG_LINE=1 -- build
long=$(tr -d '\r' <"$t/out" | LC_ALL=C awk 'length($0) == 1500 && /\.c$/ && substr($0, 1022, 2) != ".c"' | wc -l)
[ "$rc" = 0 ] && [ "$long" = 1 ]
check $? "EV_DEMO_LONG_LINE: exit code $rc, $long lines of 1500 bytes ending in .c"

with EV_DEMO_SPLIT_CRLF=1 -- build
[ "$rc" = 0 ] && grep -aq $'^  main.c\r$' "$t/out" && [ "$(counted)" = "$total" ]
check $? "EV_DEMO_SPLIT_CRLF: exit code $rc, $(counted) of $total C file lines"

with EV_DEMO_NO_EOL=1 -- build
[ "$rc" = 0 ] && [ "$(tail -c 13 "$t/out")" = $'\n  launcher.c' ] && [ -f "$launcher" ]
check $? "EV_DEMO_NO_EOL: exit code $rc, output ends $(tail -c 20 "$t/out" | od -c | head -2)"

# The build's hang starts ninja.exe in the background and waits for zig.exe;
# ending zig ends the script, and ninja is then ended by its id too.
hang zig EV_DEMO_BUILD_HANG=1 build
[ "$rc" = 1 ] && grep -q 'compiler was ended' "$t/out"
check $? "EV_DEMO_BUILD_HANG: exit code $rc, output $(tail -c 300 "$t/out")"
pid=$(grep -ao 'for ninja: still running, pid [0-9]*' "$t/out" | head -1 | grep -o '[0-9]*$')
[ -n "$pid" ]
check $? "EV_DEMO_BUILD_HANG: ninja.exe never ran"
[ -n "$pid" ] && "$h" run "$build" taskkill /F /PID "$pid" >/dev/null 2>&1
