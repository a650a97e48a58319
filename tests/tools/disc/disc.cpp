// The synthetic disc generator. One walk over the disc's layout serves both
// counting (disc_total) and writing (disc_make), so the two never disagree.
#include "disc.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

const wchar_t *const k_gen_files[DISC_NFILES] = {
    L"Driving.xbe",
    L"corvane\\filesys.d00",  L"corvane\\filesys.d01",  L"corvane\\filesys.d02",
    L"corvane\\filesys.d03",  L"corvane\\filesys.d04",  L"corvane\\filesys.d05",
    L"corvane\\filesys.d06",  L"corvane\\filesys.d07",  L"corvane\\filesys.d08",
    L"corvane\\filesys.d09",  L"corvane\\filesys.d10",
    L"driving\\halden.dat",   L"driving\\debug.xfn",    L"driving\\misc.viv",
    L"driving\\race.viv",
    L"driving\\mis01.mus",    L"driving\\mis01.viv",    L"driving\\mis01en.spe",
    L"driving\\mis11.mus",    L"driving\\mis11.viv",    L"driving\\mis11en.spe",
    L"driving\\mis13a.mus",   L"driving\\mis13a.viv",   L"driving\\mis13aen.spe",
    L"driving\\mis13b.mus",   L"driving\\mis13b.viv",   L"driving\\mis13ben.spe",
    L"driving\\mis13c.mus",   L"driving\\mis13c.viv",   L"driving\\mis13cen.spe",
    L"driving\\mis3.mus",     L"driving\\mis3.viv",     L"driving\\mis3en.spe",
    L"driving\\mis4.mus",     L"driving\\mis4.viv",     L"driving\\mis4en.spe",
};

// Big files are written from one buffer of this size, over and over.
#define CHUNK (1u << 20)
#define EXTRA_PER_DIR 256
#define FILL_MAX_BIG 8

// One walk: where it writes, whether it writes at all, and what it has done.
struct Walk {
    const wchar_t *dir;
    unsigned char *buf;   // CHUNK bytes while writing, null while counting
    uint64_t total;
    int ok;
};

// Fills plan with a complete European disc of 1 KiB files.
void disc_default(DiscPlan *plan)
{
    memset(plan, 0, sizeof *plan);
    plan->title_id = DISC_TITLE_ID;
    plan->region = 4;
    plan->video = DISC_VIDEO_AUTO;
    plan->video_files = 1;
    plan->base = DISC_BASE;
    plan->cert = DISC_BASE + DISC_CERT_OFF;
    plan->xbe_bytes = DISC_XBE_BYTES;
    plan->xbe_magic = 1;
    plan->file_bytes = 1024;
}

// Marks one table entry as missing.
void disc_omit(DiscPlan *plan, int index)
{
    if (index >= 0 && index < DISC_NFILES)
        plan->omit |= (uint64_t)1 << index;
}

// Spreads what the small files leave of total over up to 8 big table files.
void disc_fill(DiscPlan *plan, uint64_t total)
{
    plan->big_files = 0;
    plan->big_bytes = 0;
    uint64_t small = disc_total(plan);
    if (total <= small)
        return;
    uint64_t rest = total - small;
    int n = FILL_MAX_BIG;
    plan->big_files = n;
    // Each big file replaces one ordinary file of file_bytes.
    plan->big_bytes = rest / (uint64_t)n + plan->file_bytes;
}

// Makes path and every missing parent folder; 1 when path is a folder then.
static int mk_tree(const wchar_t *path)
{
    wchar_t p[MAX_PATH];
    if (wcslen(path) >= MAX_PATH)
        return 0;
    wcscpy(p, path);
    for (wchar_t *c = p + 1; *c; c++) {
        if (*c != L'\\' && *c != L'/')
            continue;
        wchar_t keep = *c;
        *c = 0;
        CreateDirectoryW(p, NULL);
        *c = keep;
    }
    CreateDirectoryW(p, NULL);
    DWORD a = GetFileAttributesW(p);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Joins the disc folder and a relative path; 0 when it does not fit.
static int full(const Walk *w, const wchar_t *rel, wchar_t *out)
{
    int n = swprintf(out, MAX_PATH, L"%ls\\%ls", w->dir, rel);
    return n > 0 && n < MAX_PATH;
}

// Makes a folder of the disc (nothing while counting).
static void put_dir(Walk *w, const wchar_t *rel)
{
    wchar_t p[MAX_PATH];
    if (!w->buf || !w->ok)
        return;
    if (!full(w, rel, p) || !mk_tree(p))
        w->ok = 0;
}

// Makes the folder that will hold rel.
static void put_parent(Walk *w, const wchar_t *rel)
{
    wchar_t r[MAX_PATH];
    wcsncpy(r, rel, MAX_PATH - 1);
    r[MAX_PATH - 1] = 0;
    wchar_t *cut = wcsrchr(r, L'\\');
    if (!cut)
        return;
    *cut = 0;
    put_dir(w, r);
}

// Stamps the offset of each chunk into its first bytes, so that a copy that
// repeats or swaps chunks of a big file does not compare equal.
static void stamp_chunk(unsigned char *buf, uint64_t offset)
{
    memcpy(buf, &offset, sizeof offset);
}

// Writes len bytes as the whole of file p, data repeated CHUNK bytes at a time.
static int write_file(const wchar_t *p, unsigned char *data, uint64_t len, int stamp)
{
    HANDLE h = CreateFileW(p, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int ok = 1;
    uint64_t done = 0;
    while (ok && done < len) {
        DWORD part = (DWORD)(len - done < CHUNK ? len - done : CHUNK);
        if (stamp)
            stamp_chunk(data, done);
        DWORD wrote = 0;
        if (!WriteFile(h, data, part, &wrote, NULL) || wrote != part)
            ok = 0;
        done += part;
    }
    if (!CloseHandle(h))
        ok = 0;
    return ok;
}

// The pattern of one file: a line naming it, then bytes that depend on seed.
static void pattern(unsigned char *buf, uint32_t len, const wchar_t *rel, int seed)
{
    for (uint32_t j = 0; j < len; j++)
        buf[j] = (unsigned char)(j * 131u + (uint32_t)seed * 29u + 7u);
    char line[MAX_PATH + 32];
    int n = snprintf(line, sizeof line, "synthetic test disc: %ls\n", rel);
    if (n > 0 && len > 8) {
        uint32_t room = len - 8;
        memcpy(buf + 8, line, (uint32_t)n < room ? (uint32_t)n : room);
    }
}

// Adds one data file of size bytes to the disc.
static void put_data(Walk *w, const wchar_t *rel, uint64_t size, int seed)
{
    wchar_t p[MAX_PATH];
    if (!w->ok)
        return;
    w->total += size;
    if (!w->buf)
        return;
    put_parent(w, rel);
    if (!w->ok || !full(w, rel, p)) {
        w->ok = 0;
        return;
    }
    pattern(w->buf, size < CHUNK ? (uint32_t)size : CHUNK, rel, seed);
    if (!write_file(p, w->buf, size, size > CHUNK))
        w->ok = 0;
}

// Stores v little-endian at off when all four bytes lie inside len.
static void put32(unsigned char *img, uint32_t len, uint64_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        if (off + (uint64_t)i < len)
            img[off + (uint64_t)i] = (unsigned char)(v >> (8 * i));
}

void xbe_header(unsigned char *img, uint32_t len, const char *magic, uint32_t base, uint32_t cert, uint32_t title,
                uint32_t region)
{
    if (magic && len >= 4)
        memcpy(img, magic, 4);
    put32(img, len, 0x104, base);
    put32(img, len, 0x118, cert);
    if (cert < base)
        return;
    uint64_t c = (uint64_t)cert - base;
    put32(img, len, c + 0x08, title);
    put32(img, len, c + 0xA0, region);
}

// Lays out an XBE image of len bytes with only the fields a disc check reads.
static void xbe_image(unsigned char *img, uint32_t len, const DiscPlan *x, const char *text)
{
    memset(img, 0, len);
    size_t t = strlen(text);
    if (0x10 < len)
        memcpy(img + 0x10, text, 0x10 + t <= len ? t : len - 0x10);
    xbe_header(img, len, x->xbe_magic ? "XBEH" : NULL, x->base, x->cert, x->title_id, x->region);
}

// Adds an XBE made from x's fields to the disc.
static void put_xbe(Walk *w, const wchar_t *rel, const DiscPlan *x, const char *text)
{
    wchar_t p[MAX_PATH];
    if (!w->ok)
        return;
    w->total += x->xbe_bytes;
    if (!w->buf)
        return;
    if (!full(w, rel, p)) {
        w->ok = 0;
        return;
    }
    unsigned char *img = (unsigned char *)HeapAlloc(GetProcessHeap(), 0,
                                                    x->xbe_bytes ? x->xbe_bytes : 1);
    if (!img) {
        w->ok = 0;
        return;
    }
    xbe_image(img, x->xbe_bytes, x, text);
    if (!write_file(p, img, x->xbe_bytes, 0))
        w->ok = 0;
    HeapFree(GetProcessHeap(), 0, img);
}

// Adds a video folder with its files.
static void put_video(Walk *w, const DiscPlan *plan, const wchar_t *folder, int seed)
{
    wchar_t rel[MAX_PATH];
    put_dir(w, folder);
    for (int i = 0; i < plan->video_files; i++) {
        swprintf(rel, MAX_PATH, L"%ls\\clip%02d.bin", folder, i);
        put_data(w, rel, plan->file_bytes, seed + i);
    }
}

// Adds the 37 table files; Driving.xbe is always a small synthetic XBE.
static void put_table(Walk *w, const DiscPlan *plan)
{
    DiscPlan drive;
    disc_default(&drive);
    drive.title_id = plan->title_id;
    drive.region = plan->region;
    for (int i = 0; i < DISC_NFILES; i++) {
        if (plan->omit & ((uint64_t)1 << i))
            continue;
        if (i == 0) {
            put_xbe(w, k_gen_files[0], &drive, "synthetic test disc (second program)");
            continue;
        }
        int big = i <= plan->big_files;
        put_data(w, k_gen_files[i], big ? plan->big_bytes : plan->file_bytes, i);
    }
}

// Adds the video folders the plan asks for.
static void put_videos(Walk *w, const DiscPlan *plan)
{
    int v = plan->video;
    if (v == DISC_VIDEO_AUTO)
        v = plan->region == 1 ? DISC_VIDEO_30 : DISC_VIDEO_25;
    if (v == DISC_VIDEO_25 || v == DISC_VIDEO_BOTH)
        put_video(w, plan, L"corvane\\25_fps", 100);
    if (v == DISC_VIDEO_30 || v == DISC_VIDEO_BOTH)
        put_video(w, plan, L"corvane\\30_fps", 200);
    if (v == DISC_VIDEO_25_FILE)
        put_data(w, L"corvane\\25_fps", plan->file_bytes, 100);
}

// Adds the extra small files, a few hundred to a folder.
static void put_extra(Walk *w, const DiscPlan *plan)
{
    wchar_t rel[MAX_PATH];
    for (int i = 0; i < plan->extra_files && w->ok; i++) {
        swprintf(rel, MAX_PATH, L"extra\\d%03d\\f%05d.bin", i / EXTRA_PER_DIR, i);
        put_data(w, rel, plan->file_bytes, 1000 + i);
    }
}

// Walks the whole disc: the top folder, default.xbe, the table, video, extras.
static void walk_disc(Walk *w, const DiscPlan *plan)
{
    if (!plan->xbe_omit)
        put_xbe(w, L"default.xbe", plan, "synthetic test disc");
    put_table(w, plan);
    put_videos(w, plan);
    put_extra(w, plan);
}

// Counts the bytes of every file the plan makes.
uint64_t disc_total(const DiscPlan *plan)
{
    DiscPlan d;
    if (!plan) {
        disc_default(&d);
        plan = &d;
    }
    Walk w = {L"", NULL, 0, 1};
    walk_disc(&w, plan);
    return w.total;
}

// Makes the disc in dir.
int disc_make(const wchar_t *dir, const DiscPlan *plan)
{
    DiscPlan d;
    if (!plan) {
        disc_default(&d);
        plan = &d;
    }
    if (!mk_tree(dir))
        return 0;
    unsigned char *buf = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, CHUNK);
    if (!buf)
        return 0;
    Walk w = {dir, buf, 0, 1};
    walk_disc(&w, plan);
    HeapFree(GetProcessHeap(), 0, buf);
    return w.ok;
}
