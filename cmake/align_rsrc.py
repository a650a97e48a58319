#!/usr/bin/env python3
"""Moves the resource section of a linked PE image to a page boundary of the
file, after the link and before any signing:

  align_rsrc.py EXE

The linker lays sections out at 512-byte steps of the file. Windows pages an
image in on demand either way, but Wine maps a section straight from the file
only when its data starts on a page boundary; otherwise it reads the whole
section into memory when the process starts. With the payload in the resources
that is a few hundred MB read, and held, before Setup's first paint. Up to
4 KiB of zeros in front of the section avoid it, so only a section of at
least 64 KiB is moved. The image is otherwise unchanged: the same addresses,
the later sections' file offsets moved by the same amount, and the header
checksum computed again. The same input gives the same output.
"""

import os
import shutil
import struct
import sys

PAGE = 4096
MIN_SECTION = 64 << 10
CHUNK = 1 << 20


class Bad(Exception):
    pass


def checksum(path, skip):
    """The PE header checksum of the file: its 16-bit words summed with the
    carries folded back in (the checksum field itself as zero), plus its length.
    2^16 is 1 modulo 0xFFFF, so each chunk's words sum to the chunk read as one
    little-endian number, modulo 0xFFFF."""
    total, nonzero, size = 0, False, 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(CHUNK)
            if not chunk:
                break
            if size <= skip < size + len(chunk):
                i = skip - size
                chunk = chunk[:i] + b"\0\0\0\0" + chunk[i + 4:]
            n = int.from_bytes(chunk, "little")
            nonzero = nonzero or n != 0
            total = (total + n) % 0xFFFF
            size += len(chunk)
    folded = total if total or not nonzero else 0xFFFF
    return (folded + size) & 0xFFFFFFFF


def align(path):
    with open(path, "rb") as f:
        head = bytearray(f.read(PAGE))
    if head[:2] != b"MZ":
        raise Bad("not an executable")
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[pe:pe + 4] != b"PE\0\0":
        raise Bad("not a PE image")
    sections, symbols = struct.unpack_from("<H", head, pe + 6)[0], struct.unpack_from("<I", head, pe + 12)[0]
    opt_size = struct.unpack_from("<H", head, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", head, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    ndirs = struct.unpack_from("<I", head, dirs - 4)[0]
    directory = lambda i: struct.unpack_from("<II", head, dirs + 8 * i) if i < ndirs else (0, 0)
    table = opt + opt_size
    if table + 40 * sections > len(head):
        raise Bad("section table beyond the first page")
    rows = [list(struct.unpack_from("<8sIIIIIIHHI", head, table + 40 * i)) for i in range(sections)]
    res_rva = directory(2)[0]
    rsrc = next((r for r in rows if res_rva and r[2] <= res_rva < r[2] + max(r[1], r[3])), None)
    if rsrc is None or rsrc[3] < MIN_SECTION or rsrc[4] % PAGE == 0:
        return 0
    # File offsets this step doesn't move: a signature (signing comes after
    # it) and a debug directory's data; the linker writes neither.
    if directory(4)[1] or directory(6)[1]:
        raise Bad("has a signature or a debug directory; align it right after the link")
    start = rsrc[4]
    pad = -start % PAGE
    if symbols >= start:  # an unstripped link's symbol table, at the end
        struct.pack_into("<I", head, pe + 12, symbols + pad)
    for i, r in enumerate(rows):
        if r[3] and r[4] >= start:
            r[4] += pad
        struct.pack_into("<8sIIIIIIHHI", head, table + 40 * i, *r)
    tmp = path + ".align"
    with open(path, "rb") as src, open(tmp, "wb") as dst:
        first = min(len(head), start)
        dst.write(head[:first])
        src.seek(first)
        left = start - first
        while left > 0:
            block = src.read(min(CHUNK, left))
            if not block:
                raise Bad("ends before its resource section")
            dst.write(block)
            left -= len(block)
        dst.write(b"\0" * pad)
        while True:
            block = src.read(CHUNK)
            if not block:
                break
            dst.write(block)
    field = opt + 64
    with open(tmp, "r+b") as f:
        f.seek(field)
        f.write(struct.pack("<I", checksum(tmp, field)))
    shutil.copymode(path, tmp)
    os.replace(tmp, path)
    return pad


def main(argv):
    if len(argv) != 1:
        print("usage: align_rsrc.py EXE", file=sys.stderr)
        return 2
    try:
        align(argv[0])
    except (Bad, OSError, struct.error) as e:
        print("align_rsrc: %s: %s" % (argv[0], e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
