#!/usr/bin/env python3
"""The release packer, run by tools/pack.sh:

  pack.sh --project DIR --toolkit DIR --tools DIR --out DIR
          [--sign PFX --sign-pass-file FILE] [--timestamp URL]

Packs the project's and the toolkit's tracked files and the five tool folders
into the three zip archives Setup carries, writes the manifest from git,
builds EmberveilSetup.exe with them in a build tree of its own, signs it when
asked, and puts the five files into --out, all of them or none. Every check
runs before anything is written to --out; a refusal, or a failure to write
--out, is one line on standard error and exit code 1 (2 for a wrong command
line), with --out as it was. EV_PACK_BUILD names the build tree (default
build/pack of this checkout), EV_PACK_JOBS the build's parallel jobs;
SOURCE_DATE_EPOCH fixes the manifest's packing time and the signing time, so
that two packs can be compared byte for byte.
"""

import fcntl
import hashlib
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
USAGE = ("usage: bash tools/pack.sh --project DIR --toolkit DIR --tools DIR --out DIR "
         "[--sign PFX --sign-pass-file FILE] [--timestamp URL]")
OPTIONS = ("--project", "--toolkit", "--tools", "--out", "--sign", "--sign-pass-file", "--timestamp")

PAYLOAD = ("project.zip", "toolkit.zip", "manifest.txt", "toolchain.zip")
SETUP = "EmberveilSetup.exe"
TOOLKIT_PREFIX = "external/tidewright/"
TOOLCHAIN_PREFIX = "toolchain/"
TOOL_FOLDERS = ("zig", "python", "cmake", "ninja", "licenses")
# What Setup's steps and the scripts open by name after unpacking.
PROJECT_NEEDS = ("scripts/recompile.ps1", "scripts/build.ps1", "emberveil.ini", "mkb.ini")
TOOLS_NEED = ("zig/zig.exe", "python/python.exe", "cmake/bin/cmake.exe", "ninja/ninja.exe",
              "licenses/README.txt")
TOOL_NAMES = ("Zig", "Python", "CMake", "Ninja")
SCRIPT_TYPES = (".PS1", ".PSM1", ".PSD1")

# A path is at most MAX_PATH (260) units with its terminator; the install
# folder may be up to 100 characters, and a backslash joins the two. Setup
# holds the other side of this rule (installer/game/dest.cpp, dest_max): it
# takes any install folder that leaves room for the payload's longest entry,
# so every payload packed here installs into every folder Setup takes.
INSTALL_DIR_MAX = 100
ENTRY_MAX = 260 - 1 - INSTALL_DIR_MAX - 1
# The four files become resources of one PE image, which Windows loads only
# below 2 GiB; the rest of Setup is a few hundred KB.
PAYLOAD_MAX = 3 << 29  # 1.5 GiB
# The list of known good game files at the project's root: Setup checks the
# disc against it, and reads it with installer/game/known.cpp, whose rules
# known_line follows (a change to either is a change to both).
KNOWN_LIST = "game-files.sha256"
KNOWN_MAX_BYTES = 4 << 20
KNOWN_PATH_MAX = 259
HEX_DIGITS = b"0123456789abcdefABCDEF"
ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
RESERVED = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | \
    {p + d for p in ("COM", "LPT") for d in "123456789\u00b9\u00b2\u00b3"}
FORBIDDEN = set('<>:"|?*') | {chr(c) for c in range(32)}


class Refusal(Exception):
    """A reason not to pack, told as one line."""


def say(line):
    print("pack: " + line, flush=True)


def run(cmd, cwd=None, log=None, env=None):
    """Runs cmd; its output goes to the file log (appended) or is returned."""
    if log:
        with open(log, "ab") as f:
            f.write(("$ " + " ".join(cmd) + "\n").encode())
            f.flush()
            return subprocess.run(cmd, cwd=cwd, stdout=f, stderr=subprocess.STDOUT, env=env).returncode, ""
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    return r.returncode, r.stdout


# ---------------------------------------------------------------------------
# The command line


def parse(argv):
    opts = {}
    i = 0
    while i < len(argv):
        arg = argv[i]
        name, eq, value = arg.partition("=")
        if name not in OPTIONS:
            raise Refusal("unknown argument %s (%s)" % (arg, USAGE))
        if not eq:
            if i + 1 >= len(argv):
                raise Refusal("%s needs a value (%s)" % (name, USAGE))
            i += 1
            value = argv[i]
        if name in opts:
            raise Refusal("%s is given twice" % name)
        if value == "":
            raise Refusal("%s is empty" % name)
        opts[name] = value
        i += 1
    for need in OPTIONS[:4]:
        if need not in opts:
            raise Refusal("%s is missing (%s)" % (need, USAGE))
    if ("--sign" in opts) != ("--sign-pass-file" in opts):
        raise Refusal("--sign and --sign-pass-file go together")
    if "--timestamp" in opts and "--sign" not in opts:
        raise Refusal("--timestamp needs --sign")
    for o in ("--project", "--toolkit", "--tools"):
        if not os.path.isdir(opts[o]):
            raise Refusal("%s %s is not a folder" % (o, opts[o]))
    for o in ("--sign", "--sign-pass-file"):
        if o in opts and not os.path.isfile(opts[o]):
            raise Refusal("%s %s is not a file" % (o, opts[o]))
    if os.path.exists(opts["--out"]) and not os.path.isdir(opts["--out"]):
        raise Refusal("--out %s is not a folder" % opts["--out"])
    return {k[2:].replace("-", "_"): (os.path.realpath(v) if k != "--timestamp" else v) for k, v in opts.items()}


def inside(path, folder):
    return path == folder or path.startswith(folder.rstrip("/") + "/")


# ---------------------------------------------------------------------------
# What goes into each archive: (name in the archive, file on disk, label for
# messages). A file on disk of None is a folder entry.


def tracked(folder, label):
    """The files git tracks under folder (submodules included), as paths
    relative to it; files deleted from the work tree are skipped later, as
    uncommitted edits. Files a sparse checkout leaves out are refused: they
    would be missing from the payload without a word."""
    rc, out = run(["git", "-C", folder, "ls-files", "-z", "-s", "-t", "--recurse-submodules"])
    if rc != 0:
        raise Refusal("the %s folder %s is not in a git checkout" % (label, folder))
    files, sparse = [], []
    for rec in out.split(b"\0"):
        if not rec:
            continue
        meta, _, raw = rec.partition(b"\t")
        try:
            path = raw.decode("utf-8")
        except UnicodeDecodeError:
            raise Refusal("%s file %r has a name that is not UTF-8" % (label, raw))
        tag, mode = meta.split()[:2]
        if tag == b"S":  # skip-worktree: not checked out
            sparse.append(path)
        elif mode == b"160000":  # a submodule that is not checked out
            files.append((path, None))
        else:
            files.append((path, mode))
    if sparse:
        raise Refusal("%d tracked files of the %s are not checked out (a sparse checkout), the first %s; "
                      "check them out (git sparse-checkout disable)" % (len(sparse), label, sparse[0]))
    return files


def linked_folder(folder, rel, seen):
    """The first folder on the way to rel (relative to folder) that is a
    symbolic link, or None; seen caches the answers by folder."""
    parts = rel.split("/")[:-1]
    for i in range(len(parts)):
        key = "/".join(parts[:i + 1])
        if key not in seen:
            seen[key] = os.path.islink(os.path.join(folder, key))
        if seen[key]:
            return key
    return None


def check_path(folder, rel, label, seen):
    """Refuses a tracked file reached through a symbolic link: it would be
    packed from wherever the link points."""
    link = linked_folder(folder, rel, seen)
    if link:
        raise Refusal("%s folder %s is a symbolic link; the files git tracks under it would be packed from "
                      "wherever it points" % (label, link))


def regular(path, label, rel):
    """True for a regular file, False when it is gone; refuses anything else."""
    try:
        st = os.lstat(path)
    except FileNotFoundError:
        return False
    if stat.S_ISREG(st.st_mode):
        return True
    if stat.S_ISLNK(st.st_mode):
        raise Refusal("%s file %s is a symbolic link, which Setup's unpacking can't make" % (label, rel))
    if stat.S_ISDIR(st.st_mode):
        return False  # a tracked file replaced by a folder: git status reports it
    raise Refusal("%s file %s is not a regular file" % (label, rel))


def project_entries(project, toolkit):
    """The project's files, without the toolkit's: a toolkit inside the project
    goes only into the toolkit archive, and whatever else the project holds
    under external/tidewright would mix with the toolkit there. Also gives how
    many files of the latter kind were left out, and the folders left out."""
    own = [TOOLKIT_PREFIX.rstrip("/")]
    toolkit_rel = None
    if inside(toolkit, project) and toolkit != project:
        toolkit_rel = os.path.relpath(toolkit, project)
        if upper(toolkit_rel) != upper(own[0]):
            own.append(toolkit_rel)
    under = lambda rel, folder: upper(rel + "/").startswith(upper(folder + "/"))
    entries, left_out, seen = [], 0, {}
    for rel, mode in tracked(project, "project"):
        if any(under(rel, f) for f in own):
            if not (toolkit_rel and under(rel, toolkit_rel)):
                left_out += 1
            continue
        if mode is None:
            raise Refusal("project submodule %s is not checked out (git submodule update --init)" % rel)
        check_path(project, rel, "project", seen)
        src = os.path.join(project, rel)
        if regular(src, "project", rel):
            entries.append((rel, src, "project"))
    return entries, left_out, own


def toolkit_entries(toolkit):
    entries, seen = [], {}
    for rel, mode in tracked(toolkit, "toolkit"):
        if mode is None:
            raise Refusal("toolkit submodule %s is not checked out (git submodule update --init)" % rel)
        check_path(toolkit, rel, "toolkit", seen)
        src = os.path.join(toolkit, rel)
        if regular(src, "toolkit", rel):
            entries.append((TOOLKIT_PREFIX + rel, src, "toolkit"))
    return entries


def tools_entries(tools):
    """The five folders as they are, empty folders included; anything else at
    the top of tools is left out and named."""
    entries = []
    others = sorted(n for n in os.listdir(tools) if n not in TOOL_FOLDERS)
    for top in TOOL_FOLDERS:
        base = os.path.join(tools, top)
        if not os.path.isdir(base):
            continue  # the check of the tools' files names what is missing
        for dirpath, dirnames, filenames in os.walk(base):
            dirnames.sort()
            rel_dir = os.path.relpath(dirpath, tools).replace(os.sep, "/")
            for d in list(dirnames):
                if os.path.islink(os.path.join(dirpath, d)):
                    raise Refusal("tools folder %s/%s is a symbolic link, which Setup's unpacking can't make"
                                  % (rel_dir, d))
            if not dirnames and not filenames:
                entries.append((TOOLCHAIN_PREFIX + rel_dir + "/", None, "tools"))
            for f in sorted(filenames):
                rel = rel_dir + "/" + f
                src = os.path.join(dirpath, f)
                if not regular(src, "tools", rel):
                    raise Refusal("tools file %s vanished while it was listed" % rel)
                entries.append((TOOLCHAIN_PREFIX + rel, src, "tools"))
    return entries, others


def source_name(entry):
    """The entry as the maintainer knows it: label and path in its checkout."""
    name, _, label = entry
    for prefix in ((TOOLKIT_PREFIX,) if label == "toolkit" else (TOOLCHAIN_PREFIX,) if label == "tools" else ()):
        name = name[len(prefix):]
    shown = "".join(c if c >= " " else "\\x%02x" % ord(c) for c in name.rstrip("/"))
    return "%s %s %s" % (label, "folder" if name.endswith("/") else "file", shown)


# ---------------------------------------------------------------------------
# The checks


def upper(s):
    # Windows compares names by upper-casing each character on its own (no
    # "SS" for the sharp s), as NTFS's upcase table does.
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in s)


def first_of(bad):
    """Refuses with the first of the (entry, why) pairs and how many more there are."""
    if bad:
        more = " (and %d more)" % (len(bad) - 1) if len(bad) > 1 else ""
        raise Refusal("%s %s%s" % (source_name(bad[0][0]), bad[0][1], more))


def check_needs(project, toolkit, tools):
    have = {upper(e[0]) for e in project}
    for n in PROJECT_NEEDS:
        if upper(n) not in have:
            raise Refusal("the project has no %s (tracked by git); Setup runs the install from it" % n)
    if not any(upper(e[0]).startswith(upper(TOOLKIT_PREFIX + "src/")) for e in toolkit):
        raise Refusal("the toolkit has no src folder (tracked by git); the build compiles it")
    have = {upper(e[0]) for e in tools}
    for n in TOOLS_NEED:
        if upper(TOOLCHAIN_PREFIX + n) not in have:
            raise Refusal("the tools have no %s" % n)
    readme = [e[1] for e in tools if upper(e[0]) == upper(TOOLCHAIN_PREFIX + TOOLS_NEED[-1])][0]
    with open(readme, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    for t in TOOL_NAMES:
        if not re.search(r"(?<![A-Za-z])%s(?![A-Za-z])" % t, text, re.I):
            raise Refusal("the tools' licenses/README.txt does not name %s; it names each tool, "
                          "its version and its SHA-256" % t)


def c_literals(text):
    return [re.sub(r"\\(.)", r"\1", s) for s in re.findall(r'L"((?:[^"\\]|\\.)*)"', text)]


def disc_items():
    """The disc's files and its video folders as the disc check knows them,
    read from its source so that the two lists can't drift apart; each as a
    list of upper-case components."""
    try:
        with open(os.path.join(ROOT, "installer/game/disc.cpp"), encoding="utf-8") as f:
            src = f.read()
        with open(os.path.join(ROOT, "installer/game/disc.h"), encoding="utf-8") as f:
            count = int(re.search(r"DISC_FILES\s*=\s*(\d+)", f.read()).group(1))
        table = re.search(r"k_disc_files\s*\[[^\]]*\]\s*=\s*\{(.*?)\};", src, re.S).group(1)
        body = re.search(r"disc_missing\s*\([^)]*\)\s*\{(.*?)\n\}", src, re.S).group(1)
    except (OSError, AttributeError, ValueError):
        raise Refusal("the disc's file list can't be read from installer/game/disc.cpp")
    files = c_literals(table)
    # The folders are the paths it joins; its message text has a blank.
    folders = [s for s in c_literals(body) if "\\" in s and " " not in s]
    if len(files) != count or not folders:
        raise Refusal("the disc's file list can't be read from installer/game/disc.cpp")
    split = lambda s: upper(s).split("\\")
    return [(split(s), s) for s in files], [(split(s), s) for s in folders]


def has_run(parts, run_):
    n = len(run_)
    return any(parts[i:i + n] == run_ for i in range(len(parts) - n + 1))


def game_data(entries):
    """Entries that are game data or generated code, each with why."""
    disc_files, disc_folders = disc_items()
    bad = []
    for e in entries:
        parts = upper(e[0].rstrip("/")).split("/")
        folders = parts if e[1] is None else parts[:-1]
        why = None
        if e[1] is not None and parts[-1].endswith(".XBE"):
            why = "is game data (an .xbe)"
        for comps, shown in disc_files:
            if not why and e[1] is not None and parts[-len(comps):] == comps:
                why = "is game data (the disc's %s)" % shown
        for comps, shown in disc_folders:
            if not why and has_run(folders, comps):
                why = "is game data (in the disc's folder %s)" % shown
        for i in range(len(folders) - 3):
            if not why and folders[i:i + 2] == ["SRC", "RECOMP"] and folders[i + 3] == "GEN":
                why = "is generated code (src/recomp/*/gen), made on the player's PC"
        if why:
            bad.append((e, why))
    return bad


def script_problems(entries):
    """Payload scripts that Windows PowerShell 5.1 would misread: without a
    byte-order mark it reads a script in the ANSI code page."""
    bad = []
    for e in entries:
        if e[1] is None or not upper(e[0]).endswith(SCRIPT_TYPES):
            continue
        with open(e[1], "rb") as f:
            data = f.read()
        bom = data.startswith(b"\xef\xbb\xbf")
        try:
            data.decode("utf-8")
            utf8 = True
        except UnicodeDecodeError:
            utf8 = False
        if bom and not utf8:
            bad.append((e, "has a UTF-8 byte-order mark but is not UTF-8"))
        elif not bom and utf8 and any(b >= 0x80 for b in data):
            bad.append((e, "is UTF-8 without a byte-order mark; Windows PowerShell 5.1 would read it as ANSI"))
        elif not bom and not utf8:
            bad.append((e, "is neither plain ASCII nor UTF-8 with a byte-order mark"))
    return bad


def name_problem(name):
    """Why Windows can't create the entry name (forward slashes, a trailing one
    for a folder), or None."""
    parts = name.rstrip("/").split("/")
    for p in parts:
        bad = sorted(set(p) & FORBIDDEN)
        if "\\" in p:
            return "has a backslash in a name"
        if bad:
            c = bad[0]
            return "has a character Windows forbids in names (%s)" % ("'%s'" % c if c >= " " else "code %d" % ord(c))
        if p.endswith(".") or p.endswith(" "):
            return "has a name ending in a dot or blank (%r), which Windows drops" % p
        base = upper(p.split(".")[0]).rstrip(" ")
        if base in RESERVED:
            return "has a name Windows reserves for a device (%s)" % p
    units = len(name.rstrip("/").encode("utf-16-le")) // 2
    if units > ENTRY_MAX:
        return ("is %d characters long; below a %d-character install folder a path has room for %d"
                % (units, INSTALL_DIR_MAX, ENTRY_MAX))
    return None


def check_names(entries):
    first_of([(e, why) for e in entries for why in [name_problem(e[0])] if why])
    # Windows' names ignore letter case: two entries that differ only in it are
    # one file, and a file can't also be a folder.
    seen, folders = {}, {}
    for e in entries:
        key = upper(e[0].rstrip("/"))
        if key in seen and not (e[1] is None and seen[key][1] is None):
            raise Refusal("%s and %s are the same file on Windows (letter case)" % (source_name(seen[key]),
                                                                                    source_name(e)))
        seen[key] = e
        parts = key.split("/")
        for i in range(1, len(parts)):
            folders.setdefault("/".join(parts[:i]), e)
    for key, e in seen.items():
        if e[1] is not None and key in folders:
            raise Refusal("%s has the name of the folder holding %s (on Windows, letter case aside)"
                          % (source_name(e), source_name(folders[key])))


def known_line(raw):
    """One line of the list, without its line end: None for a comment, the
    entry's (path with ASCII letters folded, hash) for an entry, or why it is
    malformed, in Setup's words."""
    if not raw.strip(b" \t") or raw.startswith(b"#"):
        return None
    digits = raw.split(b" ", 1)[0]
    if not digits:
        return "no hash"
    if any(c not in HEX_DIGITS for c in digits):
        return "hash not hexadecimal"
    if len(digits) != 64:
        return "hash not 64 digits"
    if len(raw) < 66:
        return "no path"
    if raw[65:66] not in (b" ", b"*"):
        return "no blank or * before the path"
    if len(raw) == 66:
        return "no path"
    try:
        path = raw[66:].decode("utf-8")
    except UnicodeDecodeError:
        return "not UTF-8"
    if "\0" in path:
        return "character Windows forbids in names"
    if path[0] in "/\\":
        return "absolute path"
    if re.match(r"[A-Za-z]:", path):
        return "drive letter"
    if any(c in FORBIDDEN for c in path):
        return "character Windows forbids in names"
    parts = []
    for part in re.split(r"[/\\]", path):
        if part == "":
            return "empty part in the path"
        if part == "..":
            return "leads out of the disc (..)"
        if part == ".":
            continue  # "./default.xbe", as find lists files
        if part[-1] in ". ":
            return "name ending in a dot or blank"
        parts.append(part)
    if not parts:
        return "names no file"
    path = "\\".join(parts)
    if len(path.encode("utf-16-le")) // 2 > KNOWN_PATH_MAX:
        return "path too long"
    return path.translate(ASCII_LOWER), digits.lower()


def known_list(data):
    """The list's files and versions (distinct ones), and its malformed lines
    as (number, bytes, why); None when it is too big for Setup."""
    if len(data) > KNOWN_MAX_BYTES:
        return None
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    versions, bad = set(), []
    for number, raw in enumerate(data.split(b"\n"), 1):
        if raw.endswith(b"\r"):
            raw = raw[:-1]
        got = known_line(raw)
        if isinstance(got, str):
            bad.append((number, raw, got))
        elif got:
            versions.add(got)
    return len({path for path, _ in versions}), len(versions), bad


def check_known(project):
    """The counts of the project's list of known good game files, or None
    when it has none; refuses a list Setup would not take whole."""
    found = [e for e in project if upper(e[0]) == upper(KNOWN_LIST)]
    if not found:
        return None
    with open(found[0][1], "rb") as f:
        data = f.read()
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        raise Refusal("%s is UTF-16; Setup reads it as UTF-8 (Out-File -Encoding utf8 writes that)"
                      % source_name(found[0]))
    counts = known_list(data)
    if counts is None:
        raise Refusal("%s is %.1f MiB; Setup reads lists of up to %d MiB"
                      % (source_name(found[0]), len(data) / 2**20, KNOWN_MAX_BYTES >> 20))
    bad = counts[2]
    if bad:
        number, raw, why = bad[0]
        more = " (and %d more)" % (len(bad) - 1) if len(bad) > 1 else ""
        raise Refusal("%s line %d is malformed (%s): %s%s"
                      % (source_name(found[0]), number, why, raw.decode("utf-8", "backslashreplace"), more))
    return counts[:2]


# ---------------------------------------------------------------------------
# Packing


class Progress:
    """A line that counts the bytes packed, on a terminal only."""

    def __init__(self, total):
        self.total, self.done, self.shown = max(total, 1), 0, 0.0
        self.tty = sys.stdout.isatty()

    def add(self, n, name):
        self.done += n
        now = time.monotonic()
        if self.tty and now - self.shown > 0.1:
            self.shown = now
            sys.stdout.write("\rpack: packing %-13s %3d%%  %8.1f of %.1f MB " % (
                name, 100 * self.done // self.total, self.done / 1e6, self.total / 1e6))
            sys.stdout.flush()

    def end(self):
        if self.tty:
            sys.stdout.write("\r" + " " * 70 + "\r")
            sys.stdout.flush()


def write_zip(path, entries, progress):
    """Entries sorted by name, every time 1980-01-01 00:00, one mode for files
    and one for folders, no extra fields, no comment: the same files give the
    same bytes. Files are streamed from disk."""
    tmp = path + ".part"
    name = os.path.basename(path)
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, allowZip64=True) as z:
        for arcname, src, _ in sorted(entries, key=lambda e: e[0]):
            info = zipfile.ZipInfo(arcname, date_time=(1980, 1, 1, 0, 0, 0))
            info.create_system = 3
            if src is None:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
                continue
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            info.file_size = os.path.getsize(src)
            with open(src, "rb") as f, z.open(info, "w", force_zip64=info.file_size > 0x7FFFFFFF) as w:
                while True:
                    block = f.read(1 << 20)
                    if not block:
                        break
                    w.write(block)
                    progress.add(len(block), name)
    os.replace(tmp, path)


def make_manifest(stage, project, toolkit, excluded):
    out = os.path.join(stage, "manifest.txt")
    if os.path.exists(out):
        os.remove(out)
    cmd = ["cmake", "-DGIT=" + shutil.which("git"), "-DREPO_DIR=" + project, "-DTOOLKIT_DIR=" + toolkit,
           "-DOUT_DIR=" + stage, "-DTRACKED_ONLY=ON", "-DREMOTE_ONLY=ON", "-DPROJECT_EXCLUDE=" + ";".join(excluded),
           "-P", os.path.join(ROOT, "payload/manifest.cmake")]
    rc, _ = run(cmd)
    if rc != 0 or not os.path.isfile(out):
        raise Refusal("the manifest could not be made (payload/manifest.cmake failed)")
    with open(out, "rb") as f:
        return f.read().decode("ascii", "replace")


# ---------------------------------------------------------------------------
# Setup: built, signed, verified


def build_setup(build, stage):
    log = os.path.join(build, "pack-build.log")
    with open(log, "wb"):
        pass
    configure = ["cmake", "-S", ROOT, "-B", build,
                 "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake/mingw-w64-x86_64.cmake"),
                 "-DCMAKE_BUILD_TYPE=Release", "-DEMBERVEIL_PAYLOAD_DIR=" + stage]
    jobs = os.environ.get("EV_PACK_JOBS") or str(os.cpu_count() or 2)
    if run(configure, log=log)[0] != 0:
        raise Refusal("configuring Setup's build failed; its log: %s" % log)
    if run(["cmake", "--build", build, "--target", "EmberveilSetup", "-j", jobs], log=log)[0] != 0:
        raise Refusal("building Setup failed; its log: %s" % log)
    return os.path.join(build, SETUP)


def pfx_certificates(pfx, pass_file, out):
    """The PFX's own certificates as PEM in out: the signer's and any chain it carries."""
    for extra in ([], ["-legacy"]):
        cmd = ["openssl", "pkcs12", "-in", pfx, "-passin", "file:" + pass_file, "-nokeys", "-out", out] + extra
        if run(cmd)[0] == 0 and os.path.getsize(out) > 0:
            return
    raise Refusal("%s can't be opened with the password in %s" % (pfx, pass_file))


def sign(exe, signed, opts, bundle):
    log = signed + ".log"
    if os.path.exists(signed):
        os.remove(signed)
    # Only options that both Debian 12's osslsigncode 2.5 and the later ones take.
    cmd = ["osslsigncode", "sign", "-pkcs12", opts["sign"], "-readpass", opts["sign_pass_file"],
           "-h", "sha256", "-n", "Emberveil Setup"]
    if "timestamp" in opts:
        cmd += ["-ts", opts["timestamp"]]
    if os.environ.get("SOURCE_DATE_EPOCH"):
        cmd += ["-time", os.environ["SOURCE_DATE_EPOCH"]]
    with open(log, "wb"):
        pass
    if run(cmd + ["-in", exe, "-out", signed], log=log)[0] != 0:
        raise Refusal("signing failed: %s (log: %s)" % (last_error(log), log))
    # The chain is checked against the system's authorities and the PFX's own
    # certificates, so that a self-signed test certificate verifies too.
    verify = ["osslsigncode", "verify", "-in", signed, "-CAfile", bundle, "-TSA-CAfile", bundle]
    if run(verify, log=log)[0] != 0:
        raise Refusal("the signed Setup does not verify: %s (log: %s)" % (last_error(log), log))


def last_error(log):
    with open(log, "rb") as f:
        lines = [l.strip() for l in f.read().decode("utf-8", "replace").splitlines() if l.strip()]
    for l in reversed(lines):
        if re.search(r"error|fail|mismatch|unable|cannot|can't", l, re.I) and l not in ("Failed",):
            return l
    return lines[-1] if lines else "no output"


def ca_bundle(certs, out):
    with open(out, "wb") as w:
        for f in ("/etc/ssl/certs/ca-certificates.crt", certs):
            if os.path.isfile(f):
                with open(f, "rb") as r:
                    w.write(r.read() + b"\n")


# ---------------------------------------------------------------------------


def main(argv):
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # a reader that stops early ends us quietly
    try:
        opts = parse(argv)
    except Refusal as r:
        print("pack: %s" % r, file=sys.stderr)
        return 2
    try:
        return pack(opts)
    except Refusal as r:
        print("pack: %s" % r, file=sys.stderr)
        return 1


def pack(opts):
    needs = ["git", "cmake", "x86_64-w64-mingw32-g++-posix", "x86_64-w64-mingw32-windres"]
    if "sign" in opts:
        needs += ["osslsigncode", "openssl"]
    for tool in needs:
        if not shutil.which(tool):
            raise Refusal("%s is missing; bash tools/setup-machine.sh installs it" % tool)
    if not re.fullmatch(r"\d*", os.environ.get("SOURCE_DATE_EPOCH", "")):
        raise Refusal("SOURCE_DATE_EPOCH is not a number of seconds")
    out, build = opts["out"], os.path.realpath(os.environ.get("EV_PACK_BUILD") or os.path.join(ROOT, "build/pack"))
    if inside(out, opts["tools"]):
        raise Refusal("--out %s is inside --tools; the toolchain would pack the release" % out)
    if inside(out, build) or inside(build, out):
        raise Refusal("--out %s and the packer's build tree %s overlap" % (out, build))
    if opts["toolkit"] == opts["project"]:
        raise Refusal("--toolkit is the project's own folder; the toolkit is a folder of its own")

    project, left_out, excluded = project_entries(opts["project"], opts["toolkit"])
    toolkit = toolkit_entries(opts["toolkit"])
    tools, others = tools_entries(opts["tools"])
    check_needs(project, toolkit, tools)
    everything = project + toolkit + tools
    first_of(game_data(everything))
    first_of(script_problems(everything))
    check_names(everything)
    known = check_known(project)

    os.makedirs(build, exist_ok=True)
    lock = open(os.path.join(build, ".pack-lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        raise Refusal("another pack is using the build tree %s" % build)
    work = os.path.join(build, "release")
    stage = os.path.join(work, "payload")
    os.makedirs(stage, exist_ok=True)
    if "sign" in opts:
        certs, bundle = os.path.join(work, "pfx-certs.pem"), os.path.join(work, "ca-bundle.pem")
        pfx_certificates(opts["sign"], opts["sign_pass_file"], certs)
        ca_bundle(certs, bundle)

    if left_out:
        say("left out of the project: %d files under %s, which the toolkit archive fills" % (left_out, TOOLKIT_PREFIX))
    if others:
        say("left out of the toolchain: %s (only %s are packed)" % (", ".join(others), ", ".join(TOOL_FOLDERS)))
    archives = (("project.zip", project), ("toolkit.zip", toolkit), ("toolchain.zip", tools))
    progress = Progress(sum(os.path.getsize(e[1]) for _, es in archives for e in es if e[1]))
    for name, entries in archives:
        write_zip(os.path.join(stage, name), entries, progress)
    progress.end()
    manifest = make_manifest(stage, opts["project"], opts["toolkit"], excluded)
    if re.search(r"^branch=\r?$", manifest, re.M):
        say("warning: the project's HEAD is not on a branch; branch= stays empty")
    if re.search(r"^repo=\r?$", manifest, re.M):
        say("warning: the project has no remote origin to update from; repo= stays empty")

    limit = int(os.environ.get("EV_PACK_MAX_BYTES") or PAYLOAD_MAX)  # tests lower it
    size = sum(os.path.getsize(os.path.join(stage, n)) for n in PAYLOAD)
    if size > limit:
        raise Refusal("the payload is %.1f MiB, over the %.1f MiB an executable can carry; Setup is not built"
                      % (size / 2**20, limit / 2**20))

    say("building Setup in %s" % build)
    exe = build_setup(build, stage)
    if "sign" in opts:
        signed = os.path.join(work, "signed", SETUP)
        os.makedirs(os.path.dirname(signed), exist_ok=True)
        sign(exe, signed, opts, bundle)
        exe = signed

    publish(out, [os.path.join(stage, n) for n in PAYLOAD] + [exe])
    summary(out, archives, manifest, opts, known)
    return 0


def publish(out, files):
    """Puts the files into out all together or not at all: each is written
    beside its final name first, and only once all are written are they
    renamed into place, the earlier ones moved aside meanwhile. Any failure
    (a full disk, an interrupt) leaves out exactly as it was."""
    made = not os.path.isdir(out)
    moves = [(os.path.join(out, os.path.basename(f)), f) for f in files]
    parts, aside, placed = [], [], []
    try:
        if made:
            os.makedirs(out)
        for dst, src in moves:
            parts.append(dst + ".part")
            shutil.copyfile(src, dst + ".part")
        for dst, _ in moves:
            if os.path.lexists(dst):
                os.replace(dst, dst + ".part-old")
                aside.append(dst)
            os.replace(dst + ".part", dst)
            placed.append(dst)
    except (OSError, KeyboardInterrupt) as e:
        for dst in placed:
            os.remove(dst)
        for dst in aside:
            os.replace(dst + ".part-old", dst)
        for p in parts:
            if os.path.lexists(p):
                os.remove(p)
        if made:
            shutil.rmtree(out, ignore_errors=True)
        why = "interrupted" if isinstance(e, KeyboardInterrupt) else (e.strerror or str(e))
        raise Refusal("writing into --out %s failed (%s); it is left as it was" % (out, why))
    for dst in aside:
        os.remove(dst + ".part-old")


def summary(out, archives, manifest, opts, known):
    say("done: %s" % out)
    for name, entries in archives:
        print("  %-19s %12d bytes  %6d entries" % (name, os.path.getsize(os.path.join(out, name)), len(entries)))
    if known:
        print("  %-19s %12d files  %6d versions" % (KNOWN_LIST, known[0], known[1]))
    else:
        print("  %-19s none in the project" % KNOWN_LIST)
    print("  manifest.txt")
    for line in manifest.splitlines():
        print("    " + line)
    exe = os.path.join(out, SETUP)
    h = hashlib.sha256()
    with open(exe, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    print("  %-19s %12d bytes  SHA-256 %s" % (SETUP, os.path.getsize(exe), h.hexdigest()))
    if "sign" not in opts:
        print("  not signed")
    elif "timestamp" in opts:
        print("  signed (SHA-256), time stamp from %s, verified" % opts["timestamp"])
    else:
        print("  signed (SHA-256), verified")
        say("warning: the signature carries no time stamp; it stops being valid when the certificate "
            "expires (--timestamp URL adds one)")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
