// Shared declarations of the tar.exe stand-in (a test tool, never shipped).
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

// A zip archive mapped into memory, with its central directory located.
struct ZipArchive {
  const unsigned char *base;
  uint64_t size;
  uint64_t cd_off;
  uint64_t cd_size;
  uint64_t count;
};

// One central directory entry; data is set by zip_locate_data.
struct ZipEntry {
  const unsigned char *name;
  unsigned name_len;
  unsigned made_by;
  unsigned flags;
  unsigned method;
  uint32_t crc;
  uint32_t ext_attr;
  uint64_t csize;
  uint64_t usize;
  uint64_t local_off;
  const unsigned char *data;
};

// zip.cpp: header walking; every offset is checked against the file size.
int zip_open_directory(ZipArchive *z);
int zip_next_entry(const ZipArchive *z, uint64_t *pos, ZipEntry *e);
int zip_locate_data(const ZipArchive *z, ZipEntry *e);

// unpack.cpp: writes the entry's contents to out, checking size and CRC.
int unpack_entry(const ZipEntry *e, HANDLE out, const wchar_t *shown);

// names.cpp: the entry name for messages, and its relative Windows path;
// 0 (after a message) when the name would reach outside the target folder.
int entry_paths(const ZipEntry *e, wchar_t *shown, size_t shown_cap, wchar_t *rel,
                size_t rel_cap, int *is_dir);

// tar.cpp: messages on stderr, prefixed like the real tool's.
void say(const wchar_t *fmt, ...);
// Reports a damaged archive (entry may be NULL) and returns 0.
int damaged(const wchar_t *entry, const wchar_t *what);
