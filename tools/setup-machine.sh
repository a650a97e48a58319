#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when it is missing, and
# fetches the libarchive sources the tests build their tar.exe from.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
need="cmake make git python3 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
      googletest wine wine64 xvfb x11-utils imagemagick libarchive-tools clang libclang-rt-14-dev cppcheck
      osslsigncode openssl xz-utils"
missing=""
for p in $need; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# Windows' own tar.exe is libarchive's bsdtar: the tests build it from Debian's
# source package (tests/tools/bsdtar). The source entries are made from the
# machine's own Debian entries, in a list and a state folder of our own, so the
# machine's apt configuration stays as it is. Nothing here needs root.
deps=$root/build/deps/libarchive
if ! ls "$deps"/libarchive-*/CMakeLists.txt >/dev/null 2>&1; then
  apt=$root/build/deps/apt
  rm -rf "$apt" "$deps"
  mkdir -p "$apt/lists/partial" "$apt/cache" "$deps"
  python3 - "$apt/deb-src.sources" <<'EOF'
# Each "deb" entry of Debian's archive (one-line or deb822 form) becomes a
# "deb-src" stanza with the same URI, suites, components and signed-by. An
# entry is Debian's when it is signed by Debian's archive keyring, or, signed
# by no other keyring file, when its URI's path ends in a folder named debian
# or debian-security.
import glob, re, sys

def debians(uri, signed):
    if "debian-archive-keyring" in signed:
        return True
    if signed.startswith("/"):
        return False  # another keyring: someone else's archive
    path = re.sub(r"^[a-z+]+://[^/]*", "", uri).rstrip("/")
    return path.split("/")[-1] in ("debian", "debian-security")

def one_line(text):
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        m = re.match(r"^deb\s+(?:\[([^\]]*)\]\s+)?(\S+)\s+(\S+)\s*(.*)$", line)
        if not m:
            continue
        opts = dict(o.split("=", 1) for o in (m.group(1) or "").split() if "=" in o)
        yield [m.group(2)], [m.group(3)], m.group(4).split(), opts.get("signed-by", "")

def deb822(text):
    for stanza in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in stanza.splitlines():
            if line.startswith("#"):
                continue
            if line[:1] in (" ", "\t") and key:
                fields[key] += "\n" + line
            elif ":" in line:
                key, value = line.split(":", 1)
                key = key.strip().lower()
                fields[key] = value.strip()
        if "deb" not in fields.get("types", "").split():
            continue
        if fields.get("enabled", "yes").lower() == "no":
            continue
        yield (fields.get("uris", "").split(), fields.get("suites", "").split(),
               fields.get("components", "").split(), fields.get("signed-by", ""))

entries = []
for f in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        entries += one_line(open(f).read())
    except OSError:
        pass
for f in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    entries += deb822(open(f).read())

out = []
for uris, suites, comps, signed in entries:
    for uri in uris:
        if not suites or not debians(uri, signed):
            continue
        s = "Types: deb-src\nURIs: %s\nSuites: %s\n" % (uri, " ".join(suites))
        if comps:
            s += "Components: %s\n" % " ".join(comps)
        if signed:
            s += "Signed-By: %s\n" % signed
        out.append(s)
if not out:
    sys.exit("setup: no Debian archive among the machine's apt sources")
open(sys.argv[1], "w").write("\n".join(out))
EOF
  opts=(-o Dir::Etc::SourceList="$apt/deb-src.sources" -o Dir::Etc::SourceParts=-
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache")
  # As root apt downloads as its own user, who can't write into our folder.
  [ "$(id -u)" = 0 ] && opts+=(-o APT::Sandbox::User=root)
  echo "setup: fetching the libarchive sources"
  # A source entry that has no source index fails the update, not the rest.
  apt-get "${opts[@]}" -q update >"$apt/update.log" 2>&1 || echo "setup: apt-get update reported errors (see $apt/update.log)"
  (cd "$deps" && apt-get "${opts[@]}" -q source --download-only libarchive) >"$apt/source.log" 2>&1 ||
    { cat "$apt/source.log" >&2; exit 1; }
  tar -xf "$(ls "$deps"/libarchive_*.orig.tar.* | grep -v '\.asc$' | head -1)" -C "$deps"
  ls "$deps"/libarchive-*/CMakeLists.txt >/dev/null 2>&1 || { echo "setup: the libarchive sources didn't unpack" >&2; exit 1; }
  echo "setup: $(basename "$(ls -d "$deps"/libarchive-*/)") in $deps"
fi
