#!/usr/bin/env bash
# The tar.exe stand-in, run from the prefix's system folder the way Setup runs
# it: the option forms, what lands on disk (contents, nested and empty folders,
# overwritten files, times), and the refusal of hostile and damaged archives.
#   bash tar_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
h=$here/../../harness/wine
t=$build/tests/tar_test
pass=0 fail=0
check() { if [ "$1" = 0 ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAILED: $2"; fi; }
win() { local p=${1//\//\\}; echo "Z:$p"; }

# tar_run CWD ARGS...: @A and @D in ARGS stand for $t/$zip and $dst as Windows
# paths; the exit code goes to $rc, standard error to $t/err.
tar_run() {
  local cwd=$1 a args=()
  shift
  for a in "$@"; do
    a=${a//@A/"$(win "$t/$zip")"}
    args+=("${a//@D/"$(win "$dst")"}")
  done
  (cd "$cwd" && "$h" run "$build" 'C:\windows\system32\tar.exe' "${args[@]}" >"$t/out" 2>"$t/err")
  rc=$?
}

# Every file below $1 has a time within the second before $2 or later.
all_newer() { [ -z "$(find "$1" -type f ! -newermt "@$(($2 - 1))")" ]; }

rm -rf "$t"
mkdir -p "$t/src/a/b/c" "$t/src/empty"
seq 1 150000 >"$t/src/a/b/c/deep.txt"             # several inflate buffers' worth
head -c 300000 /dev/urandom >"$t/src/a/noise.bin" # does not deflate
printf 'top\r\n' >"$t/src/top.txt"
printf 'blank\r\n' >"$t/src/with blank.txt"
: >"$t/src/a/zero.txt"
find "$t/src" -exec touch -d "2001-01-01 00:00" {} +  # the archives carry old times
(cd "$t/src" && bsdtar --format zip -cf ../deflated.zip . &&
  bsdtar --format zip --options zip:compression=store -cf ../stored.zip a empty top.txt 'with blank.txt' &&
  bsdtar --format zip --options zip:zip64 -cf ../zip64.zip *)
python3 "$here/bad_zips.py" "$t" || exit 1
head -c "$(($(stat -c %s "$t/deflated.zip") / 2))" "$t/deflated.zip" >"$t/cut.zip"
printf 'not a zip archive\r\n' >"$t/notzip.zip"
mkdir -p "$t/nodirs/a/b/c"                        # what nodirs.zip holds
printf 'deep\r\n' >"$t/nodirs/a/b/c/deep.txt"
printf 'top\r\n' >"$t/nodirs/top.txt"

# Archives that extract: case | archive | tree it must give | arguments.
good=(
  "Setup's form, deflated|deflated.zip|src|-xmf @A -C @D"
  "separate options, stored|stored.zip|src|-x -m -f @A -C @D"
  "-C before the rest, zip64|zip64.zip|src|-C @D -xmf @A"
  "no -C, started in the target|deflated.zip|src|-xmf @A"
  "file entries only, parents made|nodirs.zip|nodirs|-xmf @A -C @D"
  "sizes and offsets in zip64 fields|nodirs64.zip|nodirs|-xmf @A -C @D"
)
for row in "${good[@]}"; do
  IFS='|' read -r what zip tree args <<<"$row"
  dst=$t/good/$zip.$pass
  mkdir -p "$dst"
  start=$(date +%s)
  tar_run "$dst" $args
  check $rc "$what: exit code $rc ($(head -c 300 "$t/err"))"
  diff -r "$t/$tree" "$dst" >"$t/diff" 2>&1
  check $? "$what: the tree differs: $(head -5 "$t/diff")"
  all_newer "$dst" "$start"
  check $? "$what: a file kept an entry's time instead of the extraction's"
done

# The empty archive: success, nothing made.
zip=empty.zip dst=$t/good/empty
mkdir -p "$dst"
tar_run "$t" -xmf @A -C @D
check $rc "empty archive: exit code $rc"
[ -z "$(ls -A "$dst")" ]
check $? "empty archive: something was made"

# Over an earlier install: files longer than the archive's are replaced whole,
# files the archive doesn't hold stay as they are.
dst=$t/over zip=deflated.zip
mkdir -p "$dst/a/b/c"
seq 1 200000 >"$dst/a/b/c/deep.txt"
printf 'an older top.txt, longer than the new one\r\n' >"$dst/top.txt"
printf 'mine\r\n' >"$dst/keep.txt"
touch -d '2001-01-01 00:00' "$dst/keep.txt"
tar_run "$dst" -xmf @A -C @D
check $rc "overwrite: exit code $rc ($(head -c 300 "$t/err"))"
diff -r -x keep.txt "$t/src" "$dst" >"$t/diff" 2>&1
check $? "overwrite: the tree differs: $(head -5 "$t/diff")"
[ "$(cat "$dst/keep.txt")" = $'mine\r' ]
check $? "overwrite: a file the archive doesn't hold was changed"

# Archives and command lines that must fail: case | archive | text the message
# must hold | arguments. Each runs into a target inside a folder of its own,
# which must hold nothing else afterwards.
bad=(
  "absolute path|abs.zip|ev_tar_abs.txt|-xmf @A -C @D"
  "drive letter|drive.zip|ev_tar_drive.txt|-xmf @A -C @D"
  "'..' first|dotdot.zip|escape.txt|-xmf @A -C @D"
  "'..' inside|inner.zip|escape.txt|-xmf @A -C @D"
  "'..' with a backslash|backslash.zip|escape.txt|-xmf @A -C @D"
  "missing archive|nothere.zip|nothere.zip|-xmf @A -C @D"
  "not a zip archive|notzip.zip|notzip.zip|-xmf @A -C @D"
  "truncated archive|cut.zip|cut.zip|-xmf @A -C @D"
  "damaged central directory|badcd.zip|badcd.zip|-xmf @A -C @D"
  "data shorter than the stream|short.zip|t.txt|-xmf @A -C @D"
  "CRC mismatch|badcrc.zip|c.txt|-xmf @A -C @D"
  "missing target folder|deflated.zip|nowhere|-xmf @A -C @D\\nowhere"
  "no archive named|deflated.zip||-xm -C @D"
  "a mode other than -x|deflated.zip||-tf @A"
)
rm -f /ev_tar_abs.txt "$build/wine/prefix/drive_c/ev_tar_abs.txt" "$build/wine/prefix/drive_c/ev_tar_drive.txt"
for row in "${bad[@]}"; do
  IFS='|' read -r what zip needle args <<<"$row"
  box=$t/bad/$zip.$pass
  dst=$box/target
  mkdir -p "$dst"
  tar_run "$dst" $args
  [ "$rc" != 0 ]
  check $? "$what: exit code 0"
  [ -s "$t/err" ] && grep -qF -- "$needle" "$t/err"
  check $? "$what: no message naming '$needle' ($(head -c 300 "$t/err"))"
  [ "$(ls -A "$box")" = target ]
  check $? "$what: something was written outside the target: $(ls -A "$box")"
done
[ ! -e /ev_tar_abs.txt ] && [ ! -e "$build/wine/prefix/drive_c/ev_tar_abs.txt" ] &&
  [ ! -e "$build/wine/prefix/drive_c/ev_tar_drive.txt" ]
check $? "an absolute entry reached a drive's root"

echo "tar stand-in: $pass passed, $fail failed"
[ $fail = 0 ]
