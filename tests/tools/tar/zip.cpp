// Walks a zip archive through its end record, central directory and local
// headers. The archive is untrusted: nothing is read outside [base, base+size).
#include "tar.h"

static const uint32_t k_sig_local = 0x04034b50;
static const uint32_t k_sig_central = 0x02014b50;
static const uint32_t k_sig_end = 0x06054b50;
static const uint32_t k_sig_end64 = 0x06064b50;
static const uint32_t k_sig_locator64 = 0x07064b50;
static const uint32_t k_sat32 = 0xFFFFFFFFu;

static uint32_t rd16(const unsigned char *p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

static uint32_t rd32(const unsigned char *p) { return rd16(p) | rd16(p + 2) << 16; }

static uint64_t rd64(const unsigned char *p) { return rd32(p) | (uint64_t)rd32(p + 4) << 32; }

// True when [off, off+len) lies inside the first `limit` bytes.
static int fits(uint64_t off, uint64_t len, uint64_t limit) {
  return off <= limit && len <= limit - off;
}

// Finds the end of central directory record, searching back over a comment.
static int find_end(const ZipArchive *z, uint64_t *at) {
  if (z->size < 22) return 0;
  uint64_t last = z->size - 22;
  uint64_t first = last > 0xFFFF ? last - 0xFFFF : 0;
  for (uint64_t p = last;; p--) {
    if (rd32(z->base + p) == k_sig_end && fits(p + 22, rd16(z->base + p + 20), z->size)) {
      *at = p;
      return 1;
    }
    if (p == first) return 0;
  }
}

// Reads the zip64 end record the locator just before the end record points to.
static int read_end64(ZipArchive *z, uint64_t locator) {
  uint64_t at = rd64(z->base + locator + 8);
  if (!fits(at, 56, locator) || rd32(z->base + at) != k_sig_end64)
    return damaged(NULL, L"bad zip64 end of central directory record");
  if (rd32(z->base + at + 16) != 0 || rd32(z->base + at + 20) != 0)
    return damaged(NULL, L"multi-volume archives are not supported");
  z->count = rd64(z->base + at + 32);
  z->cd_size = rd64(z->base + at + 40);
  z->cd_off = rd64(z->base + at + 48);
  return 1;
}

// Locates the central directory; 0 (after a message) when it is not sound.
int zip_open_directory(ZipArchive *z) {
  uint64_t end;
  if (!find_end(z, &end)) return damaged(NULL, L"no end of central directory record (not a zip archive, or truncated)");
  const unsigned char *p = z->base + end;
  uint64_t limit = end;
  if (end >= 20 && rd32(p - 20) == k_sig_locator64) {
    limit = end - 20;
    if (!read_end64(z, limit)) return 0;
  } else {
    if (rd16(p + 4) != 0 || rd16(p + 6) != 0)
      return damaged(NULL, L"multi-volume archives are not supported");
    z->count = rd16(p + 10);
    z->cd_size = rd32(p + 12);
    z->cd_off = rd32(p + 16);
  }
  if (!fits(z->cd_off, z->cd_size, limit)) return damaged(NULL, L"central directory is out of bounds");
  if (z->count > z->cd_size / 46) return damaged(NULL, L"central directory is too small for its entry count");
  return 1;
}

// Replaces saturated 32-bit fields with the values of a zip64 extra field.
static int read_zip64_extra(const unsigned char *x, uint32_t len, ZipEntry *e) {
  while (len >= 4) {
    uint32_t id = rd16(x), sz = rd16(x + 2);
    if (sz > len - 4) return damaged(NULL, L"extra field is out of bounds");
    if (id == 1) {
      uint64_t *fields[3] = {&e->usize, &e->csize, &e->local_off};
      uint32_t used = 0;
      for (int i = 0; i < 3; i++) {
        if (*fields[i] != k_sat32) continue;
        if (used + 8 > sz) return damaged(NULL, L"zip64 extra field is too short");
        *fields[i] = rd64(x + 4 + used);
        used += 8;
      }
    }
    x += 4 + sz;
    len -= 4 + sz;
  }
  return 1;
}

// Reads the central directory entry at *pos and advances *pos past it.
int zip_next_entry(const ZipArchive *z, uint64_t *pos, ZipEntry *e) {
  uint64_t end = z->cd_off + z->cd_size;
  if (!fits(*pos, 46, end) || rd32(z->base + *pos) != k_sig_central)
    return damaged(NULL, L"bad central directory entry");
  const unsigned char *p = z->base + *pos;
  uint32_t n = rd16(p + 28), x = rd16(p + 30), c = rd16(p + 32);
  if (!fits(*pos + 46, (uint64_t)n + x + c, end)) return damaged(NULL, L"central directory entry is out of bounds");
  e->made_by = rd16(p + 4);
  e->flags = rd16(p + 8);
  e->method = rd16(p + 10);
  e->crc = rd32(p + 16);
  e->csize = rd32(p + 20);
  e->usize = rd32(p + 24);
  e->ext_attr = rd32(p + 38);
  e->local_off = rd32(p + 42);
  e->name = p + 46;
  e->name_len = n;
  e->data = NULL;
  if (!read_zip64_extra(p + 46 + n, x, e)) return 0;
  *pos += 46 + (uint64_t)n + x + c;
  return 1;
}

// Finds the entry's data behind its local header; sizes come from the central
// directory, so entries written with data descriptors need nothing more.
int zip_locate_data(const ZipArchive *z, ZipEntry *e) {
  if (!fits(e->local_off, 30, z->cd_off) || rd32(z->base + e->local_off) != k_sig_local)
    return damaged(NULL, L"bad local file header");
  const unsigned char *p = z->base + e->local_off;
  uint64_t data = e->local_off + 30 + rd16(p + 26) + rd16(p + 28);
  if (!fits(data, e->csize, z->cd_off)) return damaged(NULL, L"entry data is out of bounds (truncated archive)");
  e->data = z->base + data;
  return 1;
}
