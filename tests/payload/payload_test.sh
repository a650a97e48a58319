#!/usr/bin/env bash
# The three archives and the manifest of a packed payload folder: each archive
# extracts with bsdtar -xmf, holds only relative names with forward slashes
# under its own top folder, and carries the paths the install relies on; the
# manifest has its six CR LF lines.
#   bash payload_test.sh PAYLOAD_DIR SCRATCH_DIR [BSDTAR]
set -u
payload=$(cd "$1" && pwd)
t=$2
bsdtar=${3:-bsdtar}
. "$(dirname "$0")/../support/support.sh"

# archive | the folder every entry is under (empty: the root) | paths it must hold
archives=(
  "project.zip||scripts/recompile.ps1 scripts/build.ps1 emberveil.ini mkb.ini"
  "toolkit.zip|external/tidewright/|external/tidewright/src/"
  "toolchain.zip|toolchain/|toolchain/zig/zig.exe toolchain/python/python.exe toolchain/cmake/bin/cmake.exe toolchain/ninja/ninja.exe toolchain/licenses/README.txt"
)
rm -rf "$t"
for row in "${archives[@]}"; do
  IFS='|' read -r zip top paths <<<"$row"
  dst=$t/${zip%.zip}
  mkdir -p "$dst"
  "$bsdtar" -xmf "$payload/$zip" -C "$dst" 2>"$t/err"
  check $? "$zip: bsdtar -xmf failed: $(head -c 300 "$t/err")"
  # The names as stored: bsdtar's listing turns backslashes into slashes.
  python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' \
    "$payload/$zip" >"$t/names" 2>"$t/err"
  check $? "$zip: its names could not be read: $(head -c 300 "$t/err")"
  [ -s "$t/names" ]
  check $? "$zip: no entries"
  # Absolute, drive-letter, backslash and ".." names; then names outside $top
  # other than the folders leading to it.
  bad=$(grep -E '^/|^[A-Za-z]:|\\|(^|/)\.\.(/|$)' "$t/names" | head -3)
  [ -z "$bad" ]
  check $? "$zip: names that are not relative with forward slashes: $bad"
  if [ -n "$top" ]; then
    bad=$(grep -v "^$top" "$t/names" | while read -r n; do case $top in "$n"*) ;; *) echo "$n" ;; esac; done | head -3)
    [ -z "$bad" ]
    check $? "$zip: entries outside $top: $bad"
  fi
  for p in $paths; do
    [ -e "$dst/$p" ]
    check $? "$zip: $p missing after extraction"
  done
done

# The manifest: six lines, each ending in CR LF, no byte-order mark.
m=$payload/manifest.txt
[ "$(tail -c 2 "$m" | od -An -c | tr -d ' ')" = '\r\n' ] && [ "$(grep -c $'\r$' "$m")" = 6 ] &&
  [ "$(wc -l <"$m")" = 6 ] && [ "$(grep -c $'\r.' "$m")" = 0 ]
check $? "manifest.txt: not six CR LF lines: $(od -c "$m" | head -4)"
mapfile -t lines < <(tr -d '\r' <"$m")
# line | what it must match
want=(
  '^\[install\]$'
  '^project=[0-9a-f]{7,40}(\+modified)?$'
  '^toolkit=[0-9a-f]{7}(\+modified)?$'
  '^repo=.'
  '^branch=[^ ]*$'
  '^packed=[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}$'
)
for i in "${!want[@]}"; do
  printf '%s\n' "${lines[$i]:-}" | grep -qE -- "${want[$i]}"
  check $? "manifest.txt line $((i + 1)) is '${lines[$i]:-}', wanted ${want[$i]}"
done
packed=${lines[5]#packed=}
date -d "$packed" >/dev/null 2>&1
check $? "manifest.txt: packed= is no real date and time: $packed"
# A user name or password: "scheme://user@host..." or "user@host:path".
repo=${lines[3]#repo=}
! printf '%s\n' "$repo" | grep -qE '^[A-Za-z][A-Za-z0-9+.-]*://[^/]*@|^[^/:]+@[^/:]+:'
check $? "manifest.txt: the address carries a user name or password: $repo"

finish payload
