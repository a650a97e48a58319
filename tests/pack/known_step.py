#!/usr/bin/env python3
"""Setup's parser of the list of known good game files (installer/game/known.cpp,
run as known_dump) and the release packer's check of it (known_line in
tools/pack/pack.py) judge the same lists alike: the fuzz seeds, the demo
payload's list, and lines made of every kind of hash field and path.

  known_step.py KNOWN_DUMP WORK
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools/pack"))
import pack  # noqa: E402

A = b"0123456789abcdef" * 4
HEADS = [A + b"  ", A + b" *", A.upper() + b"  ", A + b" ", A[:63] + b"  ", A + b"a  ", A[:63] + b"g  ", b"  ", b"#",
         b"", A]
PATHS = [b"default.xbe", b"./corvane/./x", b"a\\b", b"a/../b", b"..", b"/x", b"\\x", b"C:x", b"c:/x", b"a//b", b"a\\",
         b"a.", b"a ", b".", b"./.", b"...", b"a\0b", b"a\tb", b"a:b", b"a*b", b"caf\xe9", b"\xed\xa0\x80",
         b"\xc0\xaf", b"\xf4\x90\x80\x80", b"na\xc3\xafve", b"n" * 259, b"n" * 260, "\U0001F600".encode() * 129,
         "\U0001F600".encode() * 130, b" lead", b""]


def expected(path):
    with open(path, "rb") as f:
        got = pack.known_list(f.read())
    if got is None:
        return [path, "too big"]
    return [path] + ["%d: %s" % (n, why) for n, _, why in got[2]] + ["files %d versions %d" % got[:2]]


def main(dump, work):
    os.makedirs(work, exist_ok=True)
    made = []
    for name, end in (("lines-lf", b"\n"), ("lines-crlf", b"\r\n")):
        made.append(os.path.join(work, name))
        with open(made[-1], "wb") as f:
            f.write(b"\xef\xbb\xbf" + end.join(h + p for h in HEADS for p in PATHS))
    seeds = os.path.join(ROOT, "tests/fuzz/corpus/known")
    files = made + [os.path.join(seeds, n) for n in sorted(os.listdir(seeds))]
    files.append(os.path.join(ROOT, "payload/project", pack.KNOWN_LIST))
    out = subprocess.run([dump] + files, stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()
    want = [line for f in files for line in expected(f)]
    if out != want:
        for i, (a, b) in enumerate(zip(out + [""] * len(want), want + [""] * len(out))):
            if a != b:
                print("FAILED: at output line %d Setup's parser says %r, the packer %r" % (i + 1, a, b))
                break
        return 1
    print("known lists: Setup's parser and the packer agree on %d files, %d lines" % (len(files), len(out)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
