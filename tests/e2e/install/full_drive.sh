#!/usr/bin/env bash
# A drive that really fills up, at the three moments that matter: just after the
# install opened its log (the settings files can't be set aside), while tar runs,
# and during the copy of the game files; and as the temporary folder of an
# install onto another drive. Each time Setup must fail with the texts
# of the step that failed and leave the player's two settings files on the drive,
# in place or as their ".kept" copy, byte for byte; an install after the space is
# back must give them back and leave no ".kept" or ".part".
#   full_drive.sh BUILD_DIR PAYLOAD_DIR [PYTHON3]
# It runs the Setup whose project has no list of known good game files (the
# list would refuse the big files of this disc); EV_SETUP_EXE names another.
#
# The drive: E: of the test prefix is a plain host folder, and a small tmpfs is
# mounted on its folder "fill"; the install goes to E:\fill\inst. Setup's space
# check reads the free space of the drive root, which is then the host disk's,
# so the install starts; the install folder itself lives on the tmpfs. (On
# Windows a volume mounted in a folder looks the same to that check.)
#
# Setup writes the kept copies microseconds after it opened its log, too soon for
# anything outside to fill the drive at the right instant. So the tmpfs is filled
# before Setup starts, down to a measured headroom, and Setup's own writing uses
# that up at the moment wanted. What the arithmetic rests on, measured with df
# and stat on tmpfs (Linux 6.x; the first three checked again on every run):
# folders and empty files take no pages; a file takes one page for every page
# its bytes start; a file shortened with truncate gives its whole pages back;
# the log's first write takes one page (checked in the first moment), and a
# failed run's log stays within it (under 1 KiB here, tar's messages included).
#
# Needs root, for the mount. Exits with 77 (reported as skipped) without root or
# where mounting a tmpfs isn't allowed.
set -u
SKIP=77
build=$(cd "${1:?build dir}" && pwd)
payload=$(cd "${2:?payload dir}" && pwd)
python=${3:-python3}
CHECK_SAY_OK=1
. "$(dirname "$0")/../../support/support.sh"
setup_exe=${EV_SETUP_EXE:-$build/tests/install/setup_unlisted.exe}

if [ "$(id -u)" != 0 ]; then
  echo "skipped: full_drive mounts a tmpfs as a drive that fills up and needs root for that"
  exit $SKIP
fi

eval "$("$h" env "$build")"
work=$build/tests/full_drive
edrive=$work/e    # what E: of the prefix is
mnt=$edrive/fill  # the tmpfs: E:\fill
inst=$mnt/inst    # E:\fill\inst
filler=$mnt/filler
link=$WINEPREFIX/dosdevices/e:
disc=$WINEPREFIX/drive_c/full_drive/disc
disc_win='C:\full_drive\disc'
player=$work/player # the player's settings, kept off the drive for comparing
page=$(getconf PAGESIZE)

mounted="" linked="" temp_set=""
reg_env() { "$h" run "$build" reg "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# The user's TEMP and TMP as the registry holds them, unexpanded.
reg_value() { reg_env query 'HKCU\Environment' /v "$1" | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
saved_temp=$(reg_value TEMP) saved_tmp=$(reg_value TMP)
put_back_temp() {
  local v
  for v in TEMP TMP; do
    local was=$saved_temp
    [ $v = TMP ] && was=$saved_tmp
    if [ -n "$was" ]; then reg_env add 'HKCU\Environment' /v $v /t REG_EXPAND_SZ /d "$was" /f >/dev/null
    else reg_env delete 'HKCU\Environment' /v $v /f >/dev/null; fi
  done
}
cleanup() {
  [ -n "$temp_set" ] && put_back_temp
  [ -n "$linked" ] && rm -f "$link"
  if [ -n "$mounted" ]; then
    umount "$mnt" 2>/dev/null || umount -l "$mnt"
  fi
  rm -rf "$edrive" "$WINEPREFIX/drive_c/full_drive" "$player" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# What a killed earlier run left: its Setup, its mount, its link. A Setup still
# running in this prefix would make every install here end at once as the
# second instance.
for pid in $(pgrep -f 'EmberveilSetup\.exe|setup_[a-z_]+\.exe'); do
  if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    echo "FAILED: a Setup still runs in this prefix (pid $pid); every install here would end at once"
    exit 1
  fi
done
mkdir -p "$mnt" "$work/logs" "$player"
if mountpoint -q "$mnt"; then
  umount "$mnt" 2>/dev/null || umount -l "$mnt"
  mountpoint -q "$mnt" && { echo "FAILED: $mnt is still mounted from an earlier run"; exit 1; }
fi
if [ -e "$link" ] || [ -L "$link" ]; then
  if [ "$(readlink "$link")" != "$edrive" ]; then
    echo "FAILED: the test prefix already has a drive E: ($link -> $(readlink "$link")); not touching it"
    exit 1
  fi
  rm -f "$link"
fi

# Mounted at once, small: where mounting isn't allowed (an unprivileged
# container refuses it), nothing else is done; any other failure is the test's.
if ! mount -t tmpfs -o size=1m,mode=0755 tmpfs "$mnt" 2>"$work/logs/mount.err"; then
  if grep -qiE 'permission denied|not permitted|must be superuser' "$work/logs/mount.err"; then
    echo "skipped: mounting a tmpfs isn't allowed here ($(head -1 "$work/logs/mount.err"))"
    exit $SKIP
  fi
  echo "FAILED: the tmpfs couldn't be mounted: $(head -1 "$work/logs/mount.err")"
  exit 1
fi
mounted=1

pages_of_size() { echo $((($1 + page - 1) / page)); }
free_pages() { df -B"$page" --output=avail "$mnt" | tail -1 | tr -d ' '; }
# A whole file's pages, from its size.
file_pages() { pages_of_size "$(stat -c %s "$1")"; }

# Every file the three archives hold, each rounded up to whole pages, and the
# project archive (the first one unpacked) alone.
zip_pages() {
  "$python" - "$page" "$@" <<'EOF'
import sys, zipfile
page = int(sys.argv[1])
print(sum(-(-e.file_size // page) for a in sys.argv[2:]
          for e in zipfile.ZipFile(a).infolist() if not e.is_dir()))
EOF
}
unpack_pages=$(zip_pages "$payload/project.zip" "$payload/toolkit.zip" "$payload/toolchain.zip") || exit 1
project_pages=$(zip_pages "$payload/project.zip") || exit 1

# The synthetic disc, on C: (the host disk).
rm -rf "$disc"
"$h" run "$build" "$build/tests/tools/discgen.exe" "$disc_win" /bytes 32M >"$work/logs/discgen.log" 2>&1 || {
  echo "FAILED: the synthetic disc couldn't be made"; cat "$work/logs/discgen.log"; exit 1; }
disc_pages=$(find "$disc" -type f -printf '%s\n' | awk -v p="$page" '{ n += int(($1 + p - 1) / p) } END { print n }')

# Room for a whole install with the filler gone, and some to spare.
size=$(((unpack_pages + disc_pages) * page + 16 * 1048576))
mount -o "remount,size=$size" "$mnt" || { echo "FAILED: couldn't size the tmpfs to $size bytes"; exit 1; }
ln -s "$edrive" "$link" && linked=1 || { echo "FAILED: couldn't link E: to $edrive"; exit 1; }

# The space check must see the host disk: it wants ~1.6 GB plus the disc.
host_free=$(df -B1M --output=avail "$edrive" | tail -1 | tr -d ' ')
if [ "$host_free" -lt 2048 ]; then
  echo "FAILED: the host disk of $edrive has only $host_free MB free; Setup's space check wants about 1.7 GB"
  exit 1
fi

# The page accounting the headroom arithmetic rests on, on this very tmpfs.
a=$(free_pages)
mkdir -p "$mnt/cal/sub" && : >"$mnt/cal/empty"
b=$(free_pages)
printf x >"$mnt/cal/byte"
c=$(free_pages)
head -c $((3 * page + 1)) /dev/zero >"$mnt/cal/four" && truncate -s $((2 * page)) "$mnt/cal/four"
d=$(free_pages)
rm -rf "$mnt/cal"
[ "$a" = "$b" ] && [ $((b - c)) = 1 ] && [ $((c - d)) = 2 ] && [ "$(free_pages)" = "$a" ]
check $? "tmpfs page accounting: folders and empty files 0 pages, 1 byte 1 page, 3 pages + 1 byte cut to 2 pages 2 pages (free: $a, $b, $c, $d)"
[ $fail = 0 ] || exit 1

# The player's own settings: bytes no payload carries, a NUL, no final line end.
printf '; mine\r\n[display]\r\nwidth=2560\r\nheight=1440\r\nname=Zo\xc3\xab\r\n' >"$player/emberveil.ini"
printf '[keys]\r\naccelerate=Up\r\nbrake=Down\r\n\x00\xff end' >"$player/mkb.ini"
kept_pages=$(($(file_pages "$player/emberveil.ini") + $(file_pages "$player/mkb.ini")))

# An earlier install: the settings, scripts\build.ps1 (so Setup takes the folder
# for one and asks nothing), and an old tool. The old tool is empty so that
# deleting the old toolchain\ gives no pages back to tar.
seed() {
  rm -rf "$inst" "$filler"
  mkdir -p "$inst/scripts" "$inst/toolchain/zig"
  cp "$player/emberveil.ini" "$player/mkb.ini" "$inst/"
  printf 'old build script\r\n' >"$inst/scripts/build.ps1"
  : >"$inst/toolchain/zig/zig.exe"
}

# The filler: written with plain writes straight into the tmpfs's pages until it
# refuses, by MiB and then by page, so the drive is full to the last page; then
# shortened by the headroom.
fill() {
  dd if=/dev/zero of="$filler" bs=1M status=none 2>/dev/null
  dd if=/dev/zero of="$filler" bs="$page" oflag=append conv=notrunc status=none 2>/dev/null
  local full; full=$(free_pages)
  truncate -s -$(($1 * page)) "$filler"
  [ "$full" = 0 ] && [ "$(free_pages)" = "$1" ]
  check $? "$2: drive filled to the last page ($full free), then $1 pages freed ($(free_pages) free)"
}

setup() {
  "$h" run "$build" "$setup_exe" /xbe "$disc_win\\default.xbe" /dir 'E:\fill\inst' /go /test \
    >"$work/logs/$1.out" 2>&1
  echo $?
}

# Where each settings file is after a failed run: "in place" or "kept" (its .kept
# copy is there: the next install takes the player's bytes from it), "LOST" when
# the one that counts isn't the player's bytes.
whereabouts() {
  local n out=""
  for n in emberveil.ini mkb.ini; do
    if [ -e "$inst/$n.kept" ]; then
      cmp -s "$inst/$n.kept" "$player/$n" && out="$out $n:kept" || out="$out $n:LOST"
    else
      cmp -s "$inst/$n" "$player/$n" && out="$out $n:in-place" || out="$out $n:LOST"
    fi
  done
  echo "${out# }"
}

unpack_msg="FAILED: The recompiler couldn't be unpacked. Check that the folder is writable and the drive has space, then try again."
copy_msg="FAILED: The game files couldn't be copied. Check that the drive has enough free space, then try again."

# The headroom of each moment, in pages:
#  log:  the one page the log's first write takes. The kept copies, written
#        next, find no room.
#  tar:  the log's page, the kept copies' pages, and 4 pages for tar, fewer than
#        the project archive's files take: tar runs out within the first archive.
#  copy: everything the unpacking writes (the archives' files in whole pages),
#        8 pages for the log, the kept copies, mkb.default.ini and the ".part"
#        of a settings file put back, and half the disc: the copy runs out
#        half-way. (The earlier install's files that the archives overwrite give
#        a few pages back; half the disc dwarfs that either way.)
tar_room=4
if [ "$tar_room" -ge "$project_pages" ]; then
  echo "FAILED: the project archive takes only $project_pages pages; tar would not run out within it"
  exit 1
fi
half_disc=$((disc_pages / 2))
echo "pages of $page bytes: archives' files $unpack_pages (project $project_pages), disc $disc_pages, kept copies $kept_pages, tmpfs $((size / page))"

# moment | headroom | failure line of the step that failed
moments=(
  "log|1|$unpack_msg"
  "tar|$((1 + kept_pages + tar_room))|$unpack_msg"
  "copy|$((unpack_pages + 8 + half_disc))|$copy_msg"
)

for row in "${moments[@]}"; do
  IFS='|' read -r moment headroom failed_line <<<"$row"
  seed
  fill "$headroom" "$moment"
  rc=$(setup "$moment-full")
  log=$work/logs/$moment-full.log
  cp "$inst/logs/install.log" "$log" 2>/dev/null || : >"$log"
  free_after=$(free_pages)
  [ "$rc" = 1 ]
  check $? "$moment: exit code $rc on the full drive (1 expected)"
  grep -qF "$failed_line" "$log"
  check $? "$moment: the log has \"$failed_line\""
  where=$(whereabouts)
  case "$where" in *LOST*) false ;; *) true ;; esac
  check $? "$moment: the player's settings are on the drive ($where)"

  # The log shares the full drive: its lines after the drive filled up reach it
  # only while it stays within the page it took at the start. A payload whose
  # project archive makes tar print more than that page holds would lose them.
  if [ "$moment" != copy ]; then
    [ "$(stat -c %s "$log")" -lt "$page" ]
    check $? "$moment: the log kept within its first page ($(stat -c %s "$log") bytes), so its last lines are there"
  fi

  # That it was the full drive, and at the moment meant.
  case $moment in
  log)
    # Nothing unpacked, not even the old tools removed; both files untouched in
    # place; the log took just the one planned page, and the drive is full.
    [ -e "$inst/toolchain/zig/zig.exe" ] && [ ! -e "$inst/scripts/recompile.ps1" ] && ! grep -q "Write failed" "$log"
    check $? "$moment: nothing unpacked (the old toolchain\\zig\\zig.exe still there, no tar output)"
    [ "$where" = "emberveil.ini:in-place mkb.ini:in-place" ] &&
      [ -z "$(find "$inst" -name '*.kept' -o -name '*.part')" ]
    check $? "$moment: both settings files untouched in place, no .kept or .part"
    [ "$(stat -c %b "$inst/logs/install.log")" = $((page / 512)) ] && [ "$free_after" = 0 ]
    check $? "$moment: the log took one page, the drive is full ($free_after pages free)"
    ;;
  tar)
    # tar started (the old tools were removed first), ran out of room and
    # stopped the step within the project archive: no toolkit.
    grep -q "Write failed: No space left on device" "$log"
    check $? "$moment: tar's own error in the log: $(grep -m1 "Write failed" "$log" | tr -d '\r')"
    [ ! -e "$inst/toolchain" ] && [ ! -e "$inst/external/tidewright" ] && [ "$free_after" = 0 ]
    check $? "$moment: failed within the project archive (old toolchain\\ gone, no external\\tidewright), drive full"
    ;;
  copy)
    # The unpacking was whole and put the settings back; the copy hit the full
    # drive: ERROR_DISK_FULL (112).
    grep -qE 'copy C:\\full_drive\\disc\\.+ failed \(112\)' "$log"
    check $? "$moment: the copy failed with 112: $(grep -m1 -E 'failed \(112\)' "$log" | tr -d '\r')"
    [ -e "$inst/scripts/recompile.ps1" ] && [ -e "$inst/toolchain/zig/zig.exe" ] &&
      [ "$where" = "emberveil.ini:in-place mkb.ini:in-place" ] && ! grep -qF "$unpack_msg" "$log"
    check $? "$moment: the unpacking was whole, the settings back in place"
    ;;
  esac

  # The space is back: the same install again.
  rm -f "$filler"
  rc=$(setup "$moment-again")
  cp "$inst/logs/install.log" "$work/logs/$moment-again.log" 2>/dev/null
  [ "$rc" = 0 ]
  check $? "$moment: exit code $rc once the filler is gone (0 expected)"
  cmp -s "$inst/emberveil.ini" "$player/emberveil.ini" && cmp -s "$inst/mkb.ini" "$player/mkb.ini"
  check $? "$moment: both settings files are the player's, byte for byte"
  left=$(cd "$inst" && find . -name '*.kept' -o -name '*.part' | tr '\n' ' ')
  [ -z "$left" ]
  check $? "$moment: no .kept or .part left in the folder${left:+ ($left)}"
done

# The temporary folder on the full drive, the install onto C:: the archives
# can't go into the temporary folder, so they go into the install folder, and
# the earlier install's tools are replaced, not lost.
cinst=$WINEPREFIX/drive_c/full_drive/inst
rm -rf "$cinst" "$filler" "$inst" && mkdir -p "$mnt/temp" "$cinst/scripts" "$cinst/toolchain/zig"
printf 'old build script\r\n' >"$cinst/scripts/build.ps1"
: >"$cinst/toolchain/zig/zig.exe"
cp "$player/emberveil.ini" "$player/mkb.ini" "$cinst/"
temp_set=1
reg_env add 'HKCU\Environment' /v TEMP /t REG_SZ /d 'E:\fill\temp' /f >/dev/null &&
  reg_env add 'HKCU\Environment' /v TMP /t REG_SZ /d 'E:\fill\temp' /f >/dev/null
check $? "temp: TEMP and TMP name E:\\fill\\temp"
fill 0 temp
"$h" run "$build" "$setup_exe" /xbe "$disc_win\\default.xbe" /dir 'C:\full_drive\inst' /go /test \
  >"$work/logs/temp-full.out" 2>&1
rc=$?
put_back_temp
temp_set=""
cp "$cinst/logs/install.log" "$work/logs/temp-full.log" 2>/dev/null || : >"$work/logs/temp-full.log"
[ "$rc" = 0 ]
check $? "temp: exit code $rc with the temporary folder on the full drive (0 expected)"
grep -qF "the temporary folder E:\\fill\\temp\\ can't take the archives: they go into the install folder" \
  "$work/logs/temp-full.log"
check $? "temp: the log says the archives went into the install folder"
[ -s "$cinst/toolchain/zig/zig.exe" ] && cmp -s "$cinst/emberveil.ini" "$player/emberveil.ini" &&
  [ -z "$(find "$cinst" -maxdepth 1 -name 'emberveil_setup_*')" ] && [ -z "$(ls -A "$mnt/temp")" ]
check $? "temp: the new tools unpacked, the settings kept, no archive left in either folder"
rm -rf "$WINEPREFIX/drive_c/full_drive/inst"

echo "logs of every run: $work/logs"
finish full_drive
