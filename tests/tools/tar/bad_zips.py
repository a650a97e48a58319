# Writes the hostile and damaged zip archives of tar_test.sh into DIR, plus an
# empty archive and two without folder entries, one of them with its sizes and
# offsets in zip64 fields. bsdtar can't make these: it cleans the names it
# packs, writes only sound archives and keeps 32-bit fields while they fit.
#   python3 bad_zips.py DIR
import struct
import sys
import zipfile

out = sys.argv[1]
text = b"".join(b"line %d of a text that deflates well\r\n" % i for i in range(4000))


def write(name, entries, method=zipfile.ZIP_STORED):
    with zipfile.ZipFile(f"{out}/{name}", "w", method) as z:
        for entry, data in entries:
            info = zipfile.ZipInfo(entry, (2001, 1, 1, 0, 0, 0))
            info.compress_type = method
            z.writestr(info, data)


def patch(name, edit):
    path = f"{out}/{name}"
    with open(path, "rb") as f:
        data = bytearray(f.read())
    edit(data)
    with open(path, "wb") as f:
        f.write(data)


def cd_offset(data):
    # No archive comment here: the end record is the last 22 bytes.
    return struct.unpack_from("<I", data, len(data) - 6)[0]


# A sound first entry before the hostile one: the refusal must not depend on
# the bad name coming first.
for name, bad in [("abs.zip", "/ev_tar_abs.txt"), ("drive.zip", "C:/ev_tar_drive.txt"),
                  ("dotdot.zip", "../escape.txt"), ("inner.zip", "a/../../escape.txt"),
                  ("backslash.zip", "..\\escape.txt")]:
    write(name, [("ok.txt", b"fine\r\n"), (bad, b"outside\r\n")])

write("empty.zip", [])
nodirs = [("a/b/c/deep.txt", b"deep\r\n"), ("top.txt", b"top\r\n")]
write("nodirs.zip", nodirs)
# Every size and offset above 4 bytes goes into a zip64 field, its 32-bit one
# saturated, as an archive of more than 4 GiB has it.
limit = zipfile.ZIP64_LIMIT
zipfile.ZIP64_LIMIT = 4
write("nodirs64.zip", nodirs, zipfile.ZIP_DEFLATED)
zipfile.ZIP64_LIMIT = limit

# The central directory's first signature overwritten.
write("badcd.zip", [("a.txt", b"a\r\n"), ("b.txt", b"b\r\n")])
patch("badcd.zip", lambda d: d.__setitem__(slice(cd_offset(d), cd_offset(d) + 4), b"XXXX"))

# One data byte of a stored entry flipped: the CRC no longer matches.
write("badcrc.zip", [("c.txt", b"checked contents\r\n")])
patch("badcrc.zip", lambda d: d.__setitem__(30 + len("c.txt"), d[30 + len("c.txt")] ^ 0xFF))


def halve_csize(d):
    # The deflated entry's compressed size, in its local header and its
    # directory entry, claims half of what the stream needs.
    csize = struct.unpack_from("<I", d, 18)[0]
    struct.pack_into("<I", d, 18, csize // 2)
    struct.pack_into("<I", d, cd_offset(d) + 20, csize // 2)


write("short.zip", [("t.txt", text)], zipfile.ZIP_DEFLATED)
patch("short.zip", halve_csize)
