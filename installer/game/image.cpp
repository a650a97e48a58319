#include "image.h"
#include "xbe.h"

// Where a game partition starts: an image of the partition alone, or a whole
// disc with the video partition first.
static const unsigned long long k_parts[] = {0, XISO_WHOLE};

// ECMA-119 marks a disc image of any other kind: "CD001" in its first descriptor.
static const unsigned long long ECMA_MARK_AT = 0x8001;

// The texts of game_check (disc.cpp): an image is told about as a folder is.
static const wchar_t *const NO_XBE = L"There is no default.xbe in this folder.";
static const wchar_t *const NOT_GAME = L"This default.xbe is not Z93: Emberveil.";
static const wchar_t *const DAMAGED = L"This disc image is damaged. Make it again from your disc.";
static const wchar_t *const FOREIGN = L"This image is not an Xbox disc. Choose your Emberveil image.";

// 1 when size bytes at offset at of the file were read whole into buf.
static int image_read(HANDLE file, unsigned long long at, void *buf, DWORD size)
{
    OVERLAPPED where;
    ZeroMemory(&where, sizeof where);
    where.Offset = (DWORD)at;
    where.OffsetHigh = (DWORD)(at >> 32);
    DWORD got = 0;
    return ReadFile(file, buf, size, &got, &where) && got == size;
}

// Every table of the volume into img's index, one read each.
static int read_tree(Image *img, unsigned long long part_bytes)
{
    if (!xiso_begin(&img->tree, &img->volume, part_bytes))
        return 0;
    unsigned char *table = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, XISO_TABLE_MAX);
    int ok = table != NULL;
    uint32_t sector, size;
    while (ok && xiso_next(&img->tree, &sector, &size))
        ok = image_read(img->file, img->part + (unsigned long long)sector * XISO_SECTOR, table, size) &&
             xiso_feed(&img->tree, table, size);
    if (table)
        HeapFree(GetProcessHeap(), 0, table);
    return ok;
}

int image_open(const wchar_t *path, Image *img)
{
    ZeroMemory(img, sizeof *img);
    img->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (img->file == INVALID_HANDLE_VALUE)
        return IMAGE_NONE;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(img->file, &size))
        size.QuadPart = 0;
    unsigned long long bytes = (unsigned long long)size.QuadPart;
    unsigned char sector[XISO_SECTOR];
    int kind = IMAGE_NONE;
    for (size_t i = 0; i < sizeof k_parts / sizeof k_parts[0] && kind == IMAGE_NONE; i++) {
        unsigned long long at = k_parts[i] + XISO_DESC;
        if (bytes < at + XISO_SECTOR || !image_read(img->file, at, sector, XISO_SECTOR) ||
            !xiso_volume(sector, &img->volume))
            continue;
        img->part = k_parts[i];
        kind = read_tree(img, bytes - img->part) ? IMAGE_OK : IMAGE_DAMAGED;
    }
    if (kind == IMAGE_NONE && bytes > ECMA_MARK_AT + 5 && image_read(img->file, ECMA_MARK_AT, sector, 5) &&
        !memcmp(sector, "CD001", 5))
        kind = IMAGE_FOREIGN;
    if (kind != IMAGE_OK) {
        unsigned long long part = img->part;
        image_close(img);
        img->part = part;
    }
    return kind;
}

void image_close(Image *img)
{
    if (img->file != INVALID_HANDLE_VALUE && img->file)
        CloseHandle(img->file);
    xiso_free(&img->tree);
    ZeroMemory(img, sizeof *img);
    img->file = INVALID_HANDLE_VALUE;
}

int image_rel(const XisoTree *t, uint32_t i, wchar_t *out)
{
    size_t len = 0;
    for (uint32_t k = i; k != XISO_TOP; k = t->entry[k].parent)
        len += t->entry[k].name_len + (len ? 1u : 0u);
    if (len >= MAX_PATH)
        return 0;
    out[len] = 0;
    for (uint32_t k = i; k != XISO_TOP; k = t->entry[k].parent) {
        const XisoEntry *e = &t->entry[k];
        len -= e->name_len;
        for (unsigned j = 0; j < e->name_len; j++)
            out[len + j] = (wchar_t)(unsigned char)t->names[e->name + j];
        if (len)
            out[--len] = L'\\';
    }
    return 1;
}

// The path in the image's 8-bit names; 0 when a character can't be one.
static int narrow(const wchar_t *path, char *out, size_t cap)
{
    size_t i = 0;
    for (; path[i]; i++) {
        if (path[i] > 0xFF || i + 1 >= cap)
            return 0;
        out[i] = (char)path[i];
    }
    out[i] = 0;
    return 1;
}

static uint32_t find(const XisoTree *t, const wchar_t *path)
{
    char name[MAX_PATH];
    return narrow(path, name, sizeof name) ? xiso_find(t, name) : XISO_NONE;
}

int image_has_file(void *img, const wchar_t *rel)
{
    const XisoTree *t = &((const Image *)img)->tree;
    uint32_t i = find(t, rel);
    return i != XISO_NONE && !t->entry[i].dir;
}

// disc_missing of an image.
static const wchar_t *image_missing(const XisoTree *t)
{
    for (int i = 0; i < DISC_FILES; i++)
        if (find(t, k_disc_files[i]) == XISO_NONE)
            return k_disc_files[i];
    uint32_t v25 = find(t, L"corvane\\25_fps"), v30 = find(t, L"corvane\\30_fps");
    if (!(v25 != XISO_NONE && t->entry[v25].dir) && !(v30 != XISO_NONE && t->entry[v30].dir))
        return L"corvane\\25_fps (or 30_fps)";
    return NULL;
}

// xbe_read of the image's default.xbe, entry i: its first bytes only.
static int image_xbe(const Image *img, uint32_t i, DWORD *title_id, DWORD *region)
{
    const XisoEntry *e = &img->tree.entry[i];
    unsigned char head[XBE_READ];
    DWORD n = e->size < (uint32_t)XBE_READ ? e->size : (DWORD)XBE_READ;
    uint32_t t, r;
    if (e->dir || !image_read(img->file, img->part + (unsigned long long)e->sector * XISO_SECTOR, head, n) ||
        !xbe_parse(head, n, &t, &r))
        return 0;
    *title_id = t;
    *region = r;
    return 1;
}

int image_check(const wchar_t *path, Game *game, PickTexts *texts)
{
    Image img;
    int kind = image_open(path, &img);
    if (kind == IMAGE_NONE)
        return 0;
    game->image = 1;
    game->part = img.part;
    DWORD title = 0, region = 0;
    uint32_t xbe;
    const wchar_t *missing;
    if (kind == IMAGE_DAMAGED) {
        copy_cut(texts->note, MAX_PATH, DAMAGED);
    } else if (kind == IMAGE_FOREIGN) {
        copy_cut(texts->note, MAX_PATH, FOREIGN);
    } else if ((xbe = xiso_find(&img.tree, "default.xbe")) == XISO_NONE) {
        copy_cut(texts->note, MAX_PATH, NO_XBE);
    } else if (!image_xbe(&img, xbe, &title, &region) || title != EV_TITLE_ID) {
        copy_cut(texts->note, MAX_PATH, NOT_GAME);
    } else if ((missing = image_missing(&img.tree)) != NULL) {
        fmt(texts->note, 160, L"Incomplete copy of the disc: %s is missing.", missing);
    } else {
        wchar_t size[32];
        game->ok = 1;
        game->region = region;
        game->bytes = img.tree.file_bytes;
        gb(game->bytes, size, 32);
        fmt(texts->note, MAX_PATH, L"Z93: Emberveil, %s, %s", region_name(region), size);
    }
    image_close(&img);
    return 1;
}
