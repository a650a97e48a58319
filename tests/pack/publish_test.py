#!/usr/bin/env python3
"""The packer's last steps on the release case's inputs (pack_test.py release
runs first): publishing into --out that fails on its last file, and the
manifest of a project without a remote.

  publish_test.py --source DIR --work DIR
"""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pack_test as P  # noqa: E402

# Runs the packer with shutil.copyfile failing as a full disk does once part of
# Setup is written: the last of the five files published.
FULL_DISK = r"""
import errno, os, runpy, shutil, sys
real = shutil.copyfile
def copyfile(src, dst, **kw):
    if os.path.basename(dst).startswith("EmberveilSetup.exe") and os.path.dirname(dst) == os.environ["EV_OUT"]:
        with open(src, "rb") as f, open(dst, "wb") as w:
            w.write(f.read(4096))
        raise OSError(errno.ENOSPC, "No space left on device", dst)
    return real(src, dst, **kw)
shutil.copyfile = copyfile
sys.argv = sys.argv[1:]
runpy.run_path(sys.argv[0], run_name="__main__")
"""


def main(argv):
    a = P.Args()
    a.source, a.work = (os.path.abspath(argv[i + 1]) for i in (0, 2))
    P.ENV["GIT_CEILING_DIRECTORIES"] = a.work
    inputs = project, toolkit, tools = tuple(os.path.join(a.work, "release/inputs", n)
                                             for n in ("project", "project/external/tidewright", "tools"))
    build = os.path.join(a.work, "build-a")
    if not P.T.check(os.path.isdir(project), "the release case's inputs are missing"):
        return 1

    out = os.path.join(a.work, "publish-out")
    P.seed_out(out)
    before = P.snapshot(out)
    env = dict(P.ENV, EV_PACK_BUILD=build, EV_PACK_JOBS="2", EV_OUT=out)
    r = subprocess.run([sys.executable, "-c", FULL_DISK, os.path.join(a.source, "tools/pack/pack.py"),
                        "--project", project, "--toolkit", toolkit, "--tools", tools, "--out", out],
                       env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    err = r.stderr.decode(errors="replace")
    print("full disk at the last file: exit code %d, %s" % (r.returncode, err.strip()[:300]))
    P.T.check(r.returncode == 1, "exit code %d, wanted 1" % r.returncode)
    P.T.check(len(err.splitlines()) == 1 and err.startswith("pack: ") and "--out" in err,
              "not one line naming --out: %r" % err)
    P.T.check(P.snapshot(out) == before, "--out changed: %s" % sorted(set(P.snapshot(out)) ^ set(before))[:4])

    # Without a remote, repo= is empty and the packer says so; a clone from a
    # folder of this computer counts as none.
    for what, remote in (("no remote", None), ("a remote that is a folder", project)):
        bare = os.path.join(a.work, "publish-repo")
        shutil.rmtree(bare, ignore_errors=True)
        P.git(a.work, "clone", "-q", "--recurse-submodules", project, bare)
        if remote is None:
            P.git(bare, "remote", "remove", "origin")
        out_r = os.path.join(a.work, "publish-out-repo")
        shutil.rmtree(out_r, ignore_errors=True)
        rc, stdout, stderr = P.pack(a.source, bare, os.path.join(bare, "external/tidewright"), tools, out_r, build)
        P.T.check(rc == 0, "%s: exit code %d: %s" % (what, rc, stderr.strip()))
        if rc == 0:
            lines = P.manifest_lines(out_r)
            P.T.check(lines[3] == "repo=", "%s: %r" % (what, lines[3]))
            P.T.check("no remote origin to update from" in stdout, "%s: no warning: %s" % (what, stdout))
        shutil.rmtree(bare, ignore_errors=True)
    print("pack publish: %d passed, %d failed" % (P.T.passed, P.T.count))
    return 1 if P.T.count else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
