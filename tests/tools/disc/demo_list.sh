#!/usr/bin/env bash
# The demo payload's list of known good game files,
# payload/project/game-files.sha256, made as a maintainer makes one: sha256sum
# over the extracted discs, here the generator's default disc (the European one
# tools/demo.sh installs) and its North-American twin. Of the files both hold,
# only the two executables differ (they carry the region): the North-American
# ones are their second versions. The video folders (25_fps in Europe, 30_fps
# in North America) aren't listed.
#   demo_list.sh BUILD_DIR          1 when the list is out of step with the generator
#   demo_list.sh BUILD_DIR --write  writes it afresh (after a change to the generator)
# Runs discgen.exe under Wine, in the build tree's prefix.
set -u
build=$(cd "${1:?build dir}" && pwd)
root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$root/tests/support/support.sh"
list=$root/payload/project/game-files.sha256
work=$build/tests/demo_list
rm -rf "$work"
mkdir -p "$work"

for disc in eu:4 na:1; do
  "$h" run "$build" "$build/tests/tools/discgen.exe" "$(win "$work/${disc%:*}")" /region "${disc#*:}" \
    >"$work/${disc%:*}.log" 2>&1 || { echo "FAILED: discgen: $(cat "$work/${disc%:*}.log")"; exit 1; }
done
sums() {
  (cd "$work/$1" && find . -type f ! -path './corvane/25_fps/*' ! -path './corvane/30_fps/*' -printf '%P\0' |
    LC_ALL=C sort -z | xargs -0 sha256sum)
}
sums eu >"$work/eu.sums" && sums na >"$work/na.sums" || { echo "FAILED: sha256sum over the discs"; exit 1; }
{
  echo "# The demo's synthetic disc (tests/tools/disc): the European disc, then the North-American"
  echo "# versions of the files that carry the region. Made by tests/tools/disc/demo_list.sh."
  cat "$work/eu.sums"
  grep -vxFf "$work/eu.sums" "$work/na.sums"
} >"$work/game-files.sha256"

if [ "${2:-}" = --write ]; then
  cp "$work/game-files.sha256" "$list" && echo "wrote $list" && exit 0
  exit 1
fi
if ! diff -u "$list" "$work/game-files.sha256"; then
  echo "FAILED: $list is out of step with the disc generator;"
  echo "        bash tests/tools/disc/demo_list.sh $build --write  makes it afresh"
  exit 1
fi
files=$(grep -vc '^#' "$list")
echo "ok: $list lists the generator's discs ($files lines)"
