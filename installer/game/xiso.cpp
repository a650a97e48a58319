#include "xiso.h"
#include <stdlib.h>
#include <string.h>

enum {
    ENTRY_HEAD = 14,        // children, sector, size, attributes, name length
    ENTRY_MIN = 16,         // the head, a name of one byte, aligned to 4
    ATTR_DIR = 0x10,
    NAMES_MAX = 1 << 24,
    NODES_CAP = XISO_TABLE_MAX / ENTRY_MIN + 4,
};

static const char k_mark[] = "MICROSOFT*XBOX*MEDIA";
static const size_t MARK_LEN = sizeof k_mark - 1;

static uint32_t le16(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t le32(const unsigned char *p)
{
    return le16(p) | le16(p + 2) << 16;
}

// Windows folds the Latin-1 letters as well as the ASCII ones, and the names
// end up in its file system: two names it would take for one are one here too.
static unsigned fold8(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20u;
    return c;
}

static int name_cmp(const char *a, size_t an, const char *b, size_t bn)
{
    for (size_t i = 0; i < an && i < bn; i++) {
        unsigned x = fold8((unsigned char)a[i]), y = fold8((unsigned char)b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return an < bn ? -1 : an > bn ? 1 : 0;
}

int xiso_volume(const unsigned char *sector, XisoVolume *v)
{
    if (memcmp(sector, k_mark, MARK_LEN) != 0 || memcmp(sector + 0x7EC, k_mark, MARK_LEN) != 0)
        return 0;
    v->root_sector = le32(sector + 0x14);
    v->root_size = le32(sector + 0x18);
    v->time = (uint64_t)le32(sector + 0x1C) | (uint64_t)le32(sector + 0x20) << 32;
    return 1;
}

// A device name, whatever extension follows it ("con.txt" opens the console).
static int reserved(const unsigned char *name, size_t n)
{
    static const char *const k_devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    size_t base = 0;
    while (base < n && name[base] != '.')
        base++;
    while (base > 0 && name[base - 1] == ' ')
        base--;
    char low[8];
    if (base >= sizeof low)
        return 0;
    for (size_t i = 0; i < base; i++)
        low[i] = (char)fold8(name[i]);
    low[base] = 0;
    for (const char *d : k_devices)
        if (!strcmp(low, d))
            return 1;
    // COM0 to COM9 and LPT0 to LPT9, and with a superscript 1, 2 or 3.
    unsigned char digit = (unsigned char)low[3];
    return base == 4 && (!memcmp(low, "com", 3) || !memcmp(low, "lpt", 3)) &&
           ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

int xiso_name_ok(const unsigned char *name, size_t n)
{
    // A trailing dot also rules out "." and "..".
    if (n == 0 || name[n - 1] == '.' || name[n - 1] == ' ')
        return 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = name[i];
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || strchr("\\/:*?\"<>|", c))
            return 0;
    }
    return !reserved(name, n);
}

// A run of bytes of the partition that an entry names: inside the image and
// clear of the descriptor. An empty run reads nothing and is always fine.
static int run_ok(const XisoTree *t, uint32_t sector, uint32_t size)
{
    if (!size)
        return 1;
    uint64_t at = (uint64_t)sector * XISO_SECTOR, end = at + size;
    return end <= t->part_bytes && (end <= XISO_DESC || at >= XISO_DESC + XISO_SECTOR);
}

static int grow(void **block, uint32_t *cap, uint32_t need, size_t unit)
{
    if (need <= *cap)
        return 1;
    uint32_t more = *cap ? *cap : 64;
    while (more < need)
        more *= 2;
    void *p = realloc(*block, (size_t)more * unit);
    if (!p)
        return 0;
    *block = p;
    *cap = more;
    return 1;
}

int xiso_begin(XisoTree *t, const XisoVolume *v, uint64_t part_bytes)
{
    memset(t, 0, sizeof *t);
    t->part_bytes = part_bytes;
    t->root_sector = v->root_sector;
    t->root_size = v->root_size;
    if (v->root_size > XISO_TABLE_MAX || !run_ok(t, v->root_sector, v->root_size))
        return 0;
    t->nodes = (uint16_t *)malloc(NODES_CAP * sizeof *t->nodes);
    if (!t->nodes)
        return 0;
    // An empty root has no table to read.
    if (v->root_size) {
        if (!grow((void **)&t->todo, &t->todo_cap, 1, sizeof *t->todo))
            return 0;
        t->todo[t->todo_count++] = XISO_TOP;
    }
    return 1;
}

int xiso_next(const XisoTree *t, uint32_t *sector, uint32_t *size)
{
    if (!t->todo_count)
        return 0;
    uint32_t d = t->todo[t->todo_count - 1];
    *sector = d == XISO_TOP ? t->root_sector : t->entry[d].sector;
    *size = d == XISO_TOP ? t->root_size : t->entry[d].size;
    return 1;
}

// 1 when a folder's table is one of its own folder's or of a folder above:
// walking into it would never end.
static int leads_back(const XisoTree *t, uint32_t dir, uint32_t sector)
{
    for (uint32_t d = dir;; d = t->entry[d].parent) {
        if ((d == XISO_TOP ? t->root_sector : t->entry[d].sector) == sector)
            return 1;
        if (d == XISO_TOP)
            return 0;
    }
}

// Appends the entry that starts at byte at of the table of folder dir and
// gives its children's offsets; 0 when it is damaged.
static int add_entry(XisoTree *t, const unsigned char *table, uint32_t size, uint32_t at, uint32_t dir,
                     uint32_t *left, uint32_t *right)
{
    if (at + ENTRY_HEAD > size)
        return 0;
    const unsigned char *p = table + at;
    uint32_t n = p[13];
    // An entry never crosses a sector boundary.
    if (at + ENTRY_HEAD + n > size || at % XISO_SECTOR + ENTRY_HEAD + n > XISO_SECTOR || !xiso_name_ok(p + 14, n))
        return 0;
    XisoEntry e;
    memset(&e, 0, sizeof e);
    e.parent = dir;
    e.sector = le32(p + 4);
    e.size = le32(p + 8);
    e.dir = (p[12] & ATTR_DIR) != 0;
    e.name_len = (uint8_t)n;
    uint32_t depth = dir == XISO_TOP ? 1 : t->entry[dir].depth + 1u;
    if (depth > XISO_DEPTH_MAX || !run_ok(t, e.sector, e.size))
        return 0;
    e.depth = (uint8_t)depth;
    if (e.dir && (e.size > XISO_TABLE_MAX || (e.size && leads_back(t, dir, e.sector))))
        return 0;
    if (t->count >= XISO_ENTRIES_MAX || t->names_len + n > NAMES_MAX ||
        !grow((void **)&t->entry, &t->cap, t->count + 1, sizeof *t->entry) ||
        !grow((void **)&t->names, &t->names_cap, t->names_len + n, 1))
        return 0;
    e.name = t->names_len;
    memcpy(t->names + t->names_len, p + 14, n);
    t->names_len += n;
    if (!e.dir)
        t->file_bytes += e.size;
    t->entry[t->count++] = e;
    *left = le16(p);
    *right = le16(p + 2);
    return 1;
}

static int entry_cmp(const XisoTree *t, const XisoEntry *a, const XisoEntry *b)
{
    return name_cmp(t->names + a->name, a->name_len, t->names + b->name, b->name_len);
}

// Sorts a folder's run of entries by name (Shell's sort: no recursion, no
// extra memory); 0 when two names are one for Windows.
static int sort_run(XisoTree *t, uint32_t first, uint32_t count)
{
    XisoEntry *e = t->entry + first;
    for (uint32_t gap = count / 2; gap > 0; gap /= 2) {
        for (uint32_t i = gap; i < count; i++) {
            XisoEntry x = e[i];
            uint32_t j = i;
            for (; j >= gap && entry_cmp(t, &e[j - gap], &x) > 0; j -= gap)
                e[j] = e[j - gap];
            e[j] = x;
        }
    }
    for (uint32_t i = 1; i < count; i++)
        if (!entry_cmp(t, &e[i - 1], &e[i]))
            return 0;
    return 1;
}

int xiso_feed(XisoTree *t, const unsigned char *table, uint32_t size)
{
    uint32_t sector, want;
    if (!xiso_next(t, &sector, &want) || size != want)
        return 0;
    uint32_t dir = t->todo[--t->todo_count], first = t->count;
    // A table of 0xFF alone is an empty folder.
    static const unsigned char k_empty[ENTRY_HEAD] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (size < ENTRY_HEAD || memcmp(table, k_empty, ENTRY_HEAD) != 0) {
        // The tree can hang every entry off one side: thousands deep, so it is
        // walked with a stack of its own. No table holds more entries than
        // fit in it, so more visits mean the children lead in a circle.
        uint32_t visits = 0, limit = size / ENTRY_MIN + 1, top = 0;
        t->nodes[top++] = 0;
        while (top) {
            uint32_t at = (uint32_t)t->nodes[--top] * 4, left, right;
            if (++visits > limit || !add_entry(t, table, size, at, dir, &left, &right))
                return 0;
            if (right && right != 0xFFFF)
                t->nodes[top++] = (uint16_t)right;
            if (left && left != 0xFFFF)
                t->nodes[top++] = (uint16_t)left;
        }
    }
    uint32_t count = t->count - first;
    if (!sort_run(t, first, count))
        return 0;
    if (dir == XISO_TOP) {
        t->top_first = first;
        t->top_count = count;
    } else {
        t->entry[dir].first = first;
        t->entry[dir].count = count;
    }
    for (uint32_t i = first; i < t->count; i++) {
        if (!t->entry[i].dir || !t->entry[i].size)
            continue;
        if (!grow((void **)&t->todo, &t->todo_cap, t->todo_count + 1, sizeof *t->todo))
            return 0;
        t->todo[t->todo_count++] = i;
    }
    return 1;
}

void xiso_free(XisoTree *t)
{
    free(t->entry);
    free(t->names);
    free(t->todo);
    free(t->nodes);
    memset(t, 0, sizeof *t);
}

uint32_t xiso_child(const XisoTree *t, uint32_t dir, const char *name, size_t n)
{
    uint32_t lo, hi;
    if (dir == XISO_TOP) {
        lo = t->top_first;
        hi = lo + t->top_count;
    } else if (dir < t->count && t->entry[dir].dir) {
        lo = t->entry[dir].first;
        hi = lo + t->entry[dir].count;
    } else {
        return XISO_NONE;
    }
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const XisoEntry *e = &t->entry[mid];
        int c = name_cmp(name, n, t->names + e->name, e->name_len);
        if (!c)
            return mid;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return XISO_NONE;
}

uint32_t xiso_find(const XisoTree *t, const char *path)
{
    uint32_t at = XISO_TOP;
    for (const char *p = path;;) {
        const char *end = strchr(p, '\\');
        size_t n = end ? (size_t)(end - p) : strlen(p);
        at = xiso_child(t, at, p, n);
        if (at == XISO_NONE || !end)
            return at;
        p = end + 1;
    }
}
