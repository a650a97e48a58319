// The copy step's route for a disc image: the image's tree, read again from
// its file, is the list of what to copy and the index that the prune asks.
#include "image.h"
#include "check.h"
#include "copy.h"
#include "span.h"
#include "walk.h"
#include "../engine/log.h"
#include <shlobj.h>

// What the copy and the prune share.
struct ImageRun {
    Image img;
    FILETIME time;      // every written file's time: the skip pass's proof
    unsigned char *fresh; // per folder entry: made by this copy, so nothing is in it yet
    int top_fresh;
};

// 1 when the query failed because nothing is at the path (or its folder is missing).
static int not_there(void)
{
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

// The volume's time; a volume without one (or with one SetFileTime can't set:
// 0 asks it to leave the time alone, the top bit is out of its range) gets a
// fixed time instead, so that the skip pass still knows the files again.
static FILETIME volume_time(const XisoVolume *v)
{
    unsigned long long t = v->time && v->time < (1ull << 63) ? v->time : 0x01C16D6877FA4000ull; // 15 Nov 2001
    FILETIME f;
    f.dwLowDateTime = (DWORD)t;
    f.dwHighDateTime = (DWORD)(t >> 32);
    return f;
}

static void failed(const wchar_t *rel, DWORD code)
{
    logw(L"copy %s\\%s failed (%lu)", s_game.dir, rel, code);
}

// The target's path of entry i into to; 0 (logged, and named in s_too_long)
// when it doesn't fit MAX_PATH.
static int target_of(const ImageRun *run, uint32_t i, const wchar_t *target, wchar_t *rel, wchar_t *to)
{
    if (image_rel(&run->img.tree, i, rel) && path_join(to, target, rel))
        return 1;
    failed(rel, ERROR_FILENAME_EXCED_RANGE);
    return too_long(to);
}

static int parent_fresh(const ImageRun *run, const XisoEntry *e)
{
    return e->parent == XISO_TOP ? run->top_fresh : run->fresh[e->parent];
}

// Every folder, each after the one that holds it (the index lists them so).
static int make_folders(ImageRun *run, const wchar_t *target)
{
    const XisoTree *t = &run->img.tree;
    wchar_t rel[MAX_PATH], to[MAX_PATH];
    for (uint32_t i = 0; i < t->count; i++) {
        const XisoEntry *e = &t->entry[i];
        if (!e->dir)
            continue;
        if (!target_of(run, i, target, rel, to))
            return 0;
        run->fresh[i] = parent_fresh(run, e) || (GetFileAttributesW(to) == INVALID_FILE_ATTRIBUTES && not_there());
        CreateDirectoryW(to, NULL);
    }
    return 1;
}

// *absent tells whether the target was found missing.
static int unchanged(const ImageRun *run, const XisoEntry *e, const wchar_t *to, int *absent)
{
    WIN32_FILE_ATTRIBUTE_DATA t;
    if (!GetFileAttributesExW(to, GetFileExInfoStandard, &t)) {
        *absent = not_there();
        return 0;
    }
    return !(t.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && t.nFileSizeHigh == 0 && t.nFileSizeLow == e->size &&
           CompareFileTime(&t.ftLastWriteTime, &run->time) == 0;
}

static int copy_file(ImageRun *run, uint32_t i, const wchar_t *target)
{
    const XisoEntry *e = &run->img.tree.entry[i];
    wchar_t rel[MAX_PATH], to[MAX_PATH];
    if (!target_of(run, i, target, rel, to))
        return 0;
    const KnownFile *listed = check_listed(rel);
    int fresh = parent_fresh(run, e), absent = fresh;
    int ok = !fresh && unchanged(run, e, to, &absent) && check_kept(listed);
    if (!ok) {
        if (!absent)
            SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL); // a read-only copy is overwritten all the same
        ok = copy_span(run->img.file, run->img.part + (unsigned long long)e->sector * XISO_SECTOR, e->size, to,
                       &run->time, listed);
        if (!ok && GetLastError() != SPAN_NO_MATCH) // the check has logged what didn't match
            failed(rel, GetLastError());
    }
    s_copy_done += e->size;
    return ok;
}

// The files in the order of their bytes in the image, so that it is read
// from start to end: no seeking back on a disc drive or a spinning disk.
static uint32_t *by_sector(const XisoTree *t, uint32_t *n)
{
    uint32_t *order = (uint32_t *)HeapAlloc(GetProcessHeap(), 0, (t->count + 1) * sizeof *order);
    *n = 0;
    if (!order)
        return NULL;
    for (uint32_t i = 0; i < t->count; i++)
        if (!t->entry[i].dir)
            order[(*n)++] = i;
    for (uint32_t gap = *n / 2; gap > 0; gap /= 2) {
        for (uint32_t i = gap; i < *n; i++) {
            uint32_t x = order[i], j = i;
            for (; j >= gap && t->entry[order[j - gap]].sector > t->entry[x].sector; j -= gap)
                order[j] = order[j - gap];
            order[j] = x;
        }
    }
    return order;
}

static int copy_all(ImageRun *run, const wchar_t *target)
{
    run->top_fresh = GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES && not_there();
    SHCreateDirectoryExW(NULL, target, NULL);
    if (!make_folders(run, target))
        return 0;
    uint32_t n;
    uint32_t *order = by_sector(&run->img.tree, &n);
    if (!order)
        return 0;
    int ok = 1;
    for (uint32_t k = 0; k < n && ok && !s_cancel; k++)
        ok = copy_file(run, order[k], target);
    HeapFree(GetProcessHeap(), 0, order);
    return ok && !s_cancel;
}

// prune_tree with the image's index in place of the disc folder: 0 when a
// listing broke off or a path is too long. A folder this copy made holds only
// what it wrote: it isn't listed.
static int prune(const ImageRun *run, const wchar_t *dst, uint32_t dir)
{
    if (dir == XISO_TOP ? run->top_fresh : run->fresh[dir])
        return 1;
    const XisoTree *t = &run->img.tree;
    wchar_t to[MAX_PATH];
    Listing l;
    int r = list_first(&l, dst), ok = r != LIST_BROKEN && r != LIST_TOO_LONG;
    for (; ok && r == LIST_ITEM; r = list_next(&l)) {
        const WIN32_FIND_DATAW *fd = &l.fd;
        if (!path_join(to, dst, fd->cFileName)) {
            ok = too_long(to);
            continue;
        }
        // The image itself, or a folder that holds it, is the player's: never removed.
        if (path_is_or_inside(s_game.dir, to))
            continue;
        char name[MAX_PATH];
        size_t n = 0;
        for (; fd->cFileName[n] && fd->cFileName[n] <= 0xFF; n++)
            name[n] = (char)fd->cFileName[n];
        uint32_t i = fd->cFileName[n] ? XISO_NONE : xiso_child(t, dir, name, n);
        int in_dir = i != XISO_NONE && t->entry[i].dir;
        if (fd->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link in the copy is never walked.
            if (in_dir && !is_link(fd->dwFileAttributes, fd->dwReserved0))
                ok = prune(run, to, i);
            else if (!in_dir && remove_tree(to))
                logw(L"removed %s (not on the disc)", to);
            else if (!in_dir && s_too_long[0])
                ok = 0; // the removal met a path too long to walk, which is no deletion failing
        } else if (i == XISO_NONE || in_dir) {
            SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileW(to))
                logw(L"removed %s (not on the disc)", to);
        }
    }
    if (ok && r == LIST_BROKEN) {
        logw(L"listing %s broke off (%lu)", dst, GetLastError());
        ok = 0;
    }
    list_close(&l);
    return ok;
}

int image_copy(const wchar_t *target)
{
    ImageRun run;
    ZeroMemory(&run, sizeof run);
    // Read again: the image may have changed since it was picked.
    if (image_open(s_game.dir, &run.img) != IMAGE_OK) {
        logw(L"copy %s failed (not a readable Xbox disc image)", s_game.dir);
        return 0;
    }
    run.time = volume_time(&run.img.volume);
    run.fresh = (unsigned char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, run.img.tree.count + 1);
    int ok = run.fresh && check_missing(image_has_file, &run.img) && copy_all(&run, target) &&
             prune(&run, target, XISO_TOP);
    if (run.fresh)
        HeapFree(GetProcessHeap(), 0, run.fresh);
    image_close(&run.img);
    return ok;
}
