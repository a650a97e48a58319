#include "xbe.h"
#include <string.h>

static uint32_t le32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int xbe_parse(const unsigned char *bytes, size_t n, uint32_t *title_id, uint32_t *region)
{
    if (n < 0x120 || memcmp(bytes, "XBEH", 4) != 0)
        return 0;
    uint32_t base = le32(bytes + 0x104);
    uint32_t cert = le32(bytes + 0x118);
    if (cert < base)
        return 0;
    // In 64 bits, so that a certificate far above the base can't wrap back into range.
    uint64_t at = (uint64_t)(cert - base);
    if (at + 0xA4 > (uint64_t)n)
        return 0;
    *title_id = le32(bytes + at + 0x08);
    *region = le32(bytes + at + 0xA0);
    return 1;
}
