// The names a zip archive's central directory lists, read from its bytes in
// memory: what tar.exe will write, so that Setup can clear the way for it and
// knows how long a path it makes, and which bytes a settings file has as the
// payload carries it. Needs nothing of the platform; every offset is checked
// against the size.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct ZipDir {
    const unsigned char *base;
    uint64_t size;
    uint64_t at;   // the next central directory entry
    uint64_t end;  // the end of the central directory
    uint64_t left; // entries the end record promises still
    // Of the entry zip_dir_next gave last:
    uint32_t crc;      // the CRC-32 of its bytes
    uint64_t unpacked; // its length unpacked (from its zip64 field when it has one)
};

// ZIP_UTF8: the entry's name is UTF-8 (general purpose flag bit 11); without
// it the name is in code page 437, as zip tools of old wrote.
enum { ZIP_UTF8 = 0x800 };

// 1 when bytes (size of them) end in a zip archive's end record, zip64 ones
// included, whose central directory lies inside them; z is then set to walk it.
int zip_dir_open(ZipDir *z, const void *bytes, uint64_t size);
// The next entry: its name (not terminated; a folder's ends in '/') and its
// length, and its general purpose flags. 0 at the end, or where an entry is
// damaged: what comes after it can't be trusted.
int zip_dir_next(ZipDir *z, const char **name, size_t *n, unsigned *flags);
// The length of an entry's name in UTF-16 units, as Windows will name the
// file: a folder's closing '/' left out, a UTF-8 character beyond the Basic
// Multilingual Plane counted twice, a byte that starts no whole UTF-8 character once.
size_t zip_name_units(const char *name, size_t n, unsigned flags);
// The zip checksum (CRC-32, the polynomial 0xEDB88320 reflected) of n bytes.
uint32_t zip_crc32(const void *bytes, size_t n);
// 1 and z's crc and unpacked set when the archive lists the file name (ASCII
// letters folded, as Windows compares them); else 0.
int zip_dir_find(ZipDir *z, const void *bytes, uint64_t size, const char *name);
