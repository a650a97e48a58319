// Turns an entry's stored or deflated data into file contents, with the size
// and CRC the central directory promises.
#define ZLIB_CONST
#include <zlib.h>

#include <wchar.h>

#include "tar.h"

static const uint32_t k_io_chunk = 1u << 20;
static const uint32_t k_out_chunk = 256u * 1024u;
static const uint32_t k_in_chunk = 1u << 30;

// Writes all n bytes to h.
static int write_all(HANDLE h, const unsigned char *p, uint64_t n, const wchar_t *shown) {
  while (n > 0) {
    DWORD chunk = n > k_io_chunk ? k_io_chunk : (DWORD)n;
    DWORD done = 0;
    if (!WriteFile(h, p, chunk, &done, NULL) || done != chunk) {
      say(L"%ls: write failed (error %lu)", shown, GetLastError());
      return 0;
    }
    p += chunk;
    n -= chunk;
  }
  return 1;
}

// Copies a stored entry, computing its CRC on the way.
static int unpack_stored(const ZipEntry *e, HANDLE out, uLong *crc, const wchar_t *shown) {
  if (e->csize != e->usize) return damaged(shown, L"stored entry whose sizes differ");
  const unsigned char *p = e->data;
  uint64_t left = e->usize;
  while (left > 0) {
    uint32_t chunk = left > k_io_chunk ? k_io_chunk : (uint32_t)left;
    *crc = crc32(*crc, p, chunk);
    if (!write_all(out, p, chunk, shown)) return 0;
    p += chunk;
    left -= chunk;
  }
  return 1;
}

// Runs inflate over the entry's data until its stream ends.
static int inflate_all(const ZipEntry *e, z_stream *s, unsigned char *buf, HANDLE out, uLong *crc,
                       const wchar_t *shown) {
  const unsigned char *in = e->data;
  uint64_t left_in = e->csize, total = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (s->avail_in == 0 && left_in > 0) {
      uint32_t chunk = left_in > k_in_chunk ? k_in_chunk : (uint32_t)left_in;
      s->next_in = in;
      s->avail_in = chunk;
      in += chunk;
      left_in -= chunk;
    }
    s->next_out = buf;
    s->avail_out = k_out_chunk;
    rc = inflate(s, Z_NO_FLUSH);
    if (rc == Z_BUF_ERROR && s->avail_in == 0 && left_in == 0)
      return damaged(shown, L"deflate stream ends early (truncated data)");
    if (rc != Z_OK && rc != Z_STREAM_END) {
      wchar_t why[128] = L"";
      if (s->msg) MultiByteToWideChar(CP_ACP, 0, s->msg, -1, why, 127);
      wchar_t what[200];
      swprintf(what, 200, L"inflate error %d (%ls)", rc, why);
      return damaged(shown, what);
    }
    uint32_t got = k_out_chunk - s->avail_out;
    total += got;
    if (total > e->usize) return damaged(shown, L"entry inflates to more than its size");
    *crc = crc32(*crc, buf, got);
    if (!write_all(out, buf, got, shown)) return 0;
  }
  if (total != e->usize) return damaged(shown, L"entry inflates to less than its size");
  return 1;
}

// Inflates a deflated entry (raw deflate, no zlib header).
static int unpack_deflated(const ZipEntry *e, HANDLE out, uLong *crc, const wchar_t *shown) {
  z_stream s = {};
  if (inflateInit2(&s, -MAX_WBITS) != Z_OK) {
    say(L"%ls: cannot start inflate", shown);
    return 0;
  }
  unsigned char *buf = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, k_out_chunk);
  int ok = 0;
  if (buf) {
    ok = inflate_all(e, &s, buf, out, crc, shown);
    HeapFree(GetProcessHeap(), 0, buf);
  } else {
    say(L"%ls: out of memory", shown);
  }
  inflateEnd(&s);
  return ok;
}

int unpack_entry(const ZipEntry *e, HANDLE out, const wchar_t *shown) {
  uLong crc = crc32(0, NULL, 0);
  int ok = e->method == 0 ? unpack_stored(e, out, &crc, shown) : unpack_deflated(e, out, &crc, shown);
  if (ok && (uint32_t)crc != e->crc) return damaged(shown, L"CRC mismatch");
  return ok;
}
