#include "zipdir.h"
#include <string.h>

static uint32_t u16(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t u32(const unsigned char *p)
{
    return u16(p) | u16(p + 2) << 16;
}

static uint64_t u64(const unsigned char *p)
{
    return (uint64_t)u32(p) | (uint64_t)u32(p + 4) << 32;
}

enum {
    END_SIG = 0x06054b50,
    END_SIZE = 22,
    LOCATOR_SIG = 0x07064b50,
    LOCATOR_SIZE = 20,
    END64_SIG = 0x06064b50,
    END64_SIZE = 56,
    ENTRY_SIG = 0x02014b50,
    ENTRY_SIZE = 46,
    COMMENT_MAX = 0xFFFF,
    ZIP64_EXTRA = 0x0001,
};

// The zip64 end record that the locator just before the end record points at.
static int open64(ZipDir *z, uint64_t end_at)
{
    if (end_at < LOCATOR_SIZE)
        return 0;
    const unsigned char *loc = z->base + end_at - LOCATOR_SIZE;
    if (u32(loc) != LOCATOR_SIG)
        return 0;
    uint64_t rec = u64(loc + 8);
    if (rec > end_at - LOCATOR_SIZE || end_at - LOCATOR_SIZE - rec < END64_SIZE)
        return 0;
    const unsigned char *e = z->base + rec;
    if (u32(e) != END64_SIG)
        return 0;
    z->left = u64(e + 32);
    uint64_t cd_size = u64(e + 40), cd_at = u64(e + 48);
    if (cd_at > rec || cd_size > rec - cd_at)
        return 0;
    z->at = cd_at;
    z->end = cd_at + cd_size;
    return 1;
}

int zip_dir_open(ZipDir *z, const void *bytes, uint64_t size)
{
    z->base = (const unsigned char *)bytes;
    z->size = size;
    z->at = z->end = z->left = z->unpacked = 0;
    z->crc = 0;
    if (!bytes || size < END_SIZE)
        return 0;
    // The end record sits behind the central directory, followed only by a
    // comment of at most 64 KiB: look for it from the end backwards.
    uint64_t lowest = size - END_SIZE > COMMENT_MAX ? size - END_SIZE - COMMENT_MAX : 0;
    for (uint64_t at = size - END_SIZE + 1; at-- > lowest;) {
        const unsigned char *e = z->base + at;
        if (u32(e) != END_SIG || at + END_SIZE + u16(e + 20) != size)
            continue;
        uint32_t count = u16(e + 10), cd_size = u32(e + 12), cd_at = u32(e + 16);
        if (count == 0xFFFF || cd_size == 0xFFFFFFFF || cd_at == 0xFFFFFFFF)
            return open64(z, at);
        if (cd_at > at || cd_size > at - cd_at)
            return 0;
        z->at = cd_at;
        z->end = (uint64_t)cd_at + cd_size;
        z->left = count;
        return 1;
    }
    return 0;
}

// The unpacked size of an entry whose 32-bit field is saturated: the first
// field of its zip64 extra block, which then holds it. UINT64_MAX without one.
static uint64_t size64(const unsigned char *extra, uint64_t n)
{
    for (uint64_t at = 0; n - at >= 4;) {
        uint64_t len = u16(extra + at + 2);
        if (u16(extra + at) == ZIP64_EXTRA && len >= 8 && n - at - 4 >= 8)
            return u64(extra + at + 4);
        at += 4 + len;
        if (at > n)
            break;
    }
    return UINT64_MAX;
}

int zip_dir_next(ZipDir *z, const char **name, size_t *n, unsigned *flags)
{
    if (!z->left || z->at > z->end || z->end - z->at < ENTRY_SIZE)
        return 0;
    const unsigned char *e = z->base + z->at;
    if (u32(e) != ENTRY_SIG)
        return 0;
    uint64_t name_len = u16(e + 28), whole = ENTRY_SIZE + name_len + u16(e + 30) + u16(e + 32);
    if (z->end - z->at < whole)
        return 0;
    *name = (const char *)e + ENTRY_SIZE;
    *n = (size_t)name_len;
    *flags = u16(e + 8);
    z->crc = u32(e + 16);
    z->unpacked = u32(e + 24);
    if (z->unpacked == 0xFFFFFFFF)
        z->unpacked = size64(e + ENTRY_SIZE + name_len, u16(e + 30));
    z->at += whole;
    z->left--;
    return 1;
}

size_t zip_name_units(const char *name, size_t n, unsigned flags)
{
    if (n && name[n - 1] == '/')
        n--;
    if (!(flags & ZIP_UTF8))
        return n; // code page 437: one character a byte
    size_t units = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = (unsigned char)name[i];
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1, k = 1;
        while (k < len && i + k < n && ((unsigned char)name[i + k] & 0xC0) == 0x80)
            k++;
        // A whole sequence is one character, two units beyond the Basic
        // Multilingual Plane; a byte that starts none stands for one.
        if (len > 1 && k == len) {
            units += len == 4 ? 2 : 1;
            i += len;
        } else {
            units++;
            i++;
        }
    }
    return units;
}

uint32_t zip_crc32(const void *bytes, size_t n)
{
    const unsigned char *p = (const unsigned char *)bytes;
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static char fold_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

int zip_dir_find(ZipDir *z, const void *bytes, uint64_t size, const char *name)
{
    if (!zip_dir_open(z, bytes, size))
        return 0;
    size_t want = strlen(name);
    const char *got;
    size_t n;
    unsigned flags;
    while (zip_dir_next(z, &got, &n, &flags)) {
        size_t i = 0;
        while (i < n && i < want && fold_ascii(got[i]) == fold_ascii(name[i]))
            i++;
        if (i == n && n == want)
            return 1;
    }
    return 0;
}
