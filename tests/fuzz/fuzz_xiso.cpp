// The disc image reader on any bytes. The input's first 12 bytes give the
// root table's sector and size and the image's length; the rest is what every
// sector holds, over and over, so that short inputs reach tables anywhere.
// Whatever it accepts is an index whose every entry is sound.
#include "game/xiso.h"
#include <stdlib.h>
#include <string.h>

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void check(const XisoTree *t)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < t->count; i++) {
        const XisoEntry *e = &t->entry[i];
        uint64_t at = (uint64_t)e->sector * XISO_SECTOR, end = at + e->size;
        if (e->size && (end > t->part_bytes || (end > XISO_DESC && at < XISO_DESC + XISO_SECTOR)))
            abort();
        if (!xiso_name_ok((const unsigned char *)t->names + e->name, e->name_len))
            abort();
        if (e->parent != XISO_TOP && (e->parent >= i || !t->entry[e->parent].dir))
            abort();
        if (e->depth > XISO_DEPTH_MAX || (e->dir && e->size > XISO_TABLE_MAX))
            abort();
        if (xiso_child(t, e->parent, t->names + e->name, e->name_len) != i)
            abort();
        if (!e->dir)
            sum += e->size;
    }
    if (sum != t->file_bytes)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 13)
        return 0;
    unsigned char desc[XISO_SECTOR];
    memset(desc, 0, sizeof desc);
    memcpy(desc, "MICROSOFT*XBOX*MEDIA", 20);
    memcpy(desc + 0x7EC, "MICROSOFT*XBOX*MEDIA", 20);
    memcpy(desc + 0x14, data, 8);
    XisoVolume v;
    if (!xiso_volume(desc, &v))
        abort();
    const uint8_t *body = data + 12;
    size_t body_len = size - 12;
    XisoTree t;
    int ok = xiso_begin(&t, &v, get32(data + 8));
    uint32_t sector, n, tables = 0;
    while (ok && xiso_next(&t, &sector, &n)) {
        if (n > XISO_TABLE_MAX || ++tables > t.count + 1)
            abort(); // every table read is a folder's, and each is read once
        // A heap block of exactly the table, so that AddressSanitizer sees any overread.
        unsigned char *table = (unsigned char *)malloc(n);
        for (uint32_t k = 0; k < n; k++)
            table[k] = body[((uint64_t)sector * XISO_SECTOR + k) % body_len];
        ok = xiso_feed(&t, table, n);
        free(table);
    }
    if (ok)
        check(&t);
    xiso_free(&t);
    return 0;
}
