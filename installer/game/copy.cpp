#include "copy.h"
#include "check.h"
#include "disc.h"
#include "image.h"
#include "span.h"
#include "walk.h"
#include "../engine/log.h"
#include <shellapi.h>
#include <shlobj.h>

unsigned long long s_copy_done, s_copy_total;

DWORD CALLBACK copy_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER stream_total,
                             LARGE_INTEGER stream_done, DWORD stream, DWORD reason, HANDLE from, HANDLE to,
                             LPVOID data)
{
    (void)total, (void)stream_total, (void)stream_done, (void)stream, (void)reason, (void)from, (void)to, (void)data;
    if (s_copy_total) {
        unsigned long long now = s_copy_done + (unsigned long long)done.QuadPart;
        seg_frac((double)now / (double)s_copy_total);
        wchar_t a[32], b[32];
        gb(now, a, 32);
        gb(s_copy_total, b, 32);
        detail(L"Copied %s of %s", a, b);
    }
    return s_cancel ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

// 1 when the query failed because nothing is at the path (or its folder is missing).
static int not_there(void)
{
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

// *absent tells whether the target was found missing.
static int unchanged(const WIN32_FIND_DATAW *src, const wchar_t *dst, int *absent)
{
    WIN32_FILE_ATTRIBUTE_DATA t;
    if (!GetFileAttributesExW(dst, GetFileExInfoStandard, &t)) {
        *absent = not_there();
        return 0;
    }
    if (t.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    return t.nFileSizeHigh == src->nFileSizeHigh && t.nFileSizeLow == src->nFileSizeLow &&
           CompareFileTime(&t.ftLastWriteTime, &src->ftLastWriteTime) == 0;
}

// A listed file goes through copy_span, which checks the bytes it moves.
static int copy_checked(const WIN32_FIND_DATAW *fd, const wchar_t *from, const wchar_t *to, const KnownFile *listed)
{
    HANDLE h = CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long long size = (unsigned long long)fd->nFileSizeHigh << 32 | fd->nFileSizeLow;
    int ok = copy_span(h, 0, size, to, &fd->ftLastWriteTime, listed);
    DWORD why = GetLastError();
    CloseHandle(h);
    SetLastError(why);
    return ok;
}

// fresh: the target folder was made by this copy, so no target file exists yet.
// A lookup of a missing name is what costs most per small file (Wine scans the
// whole folder for it), so a name known to be missing isn't looked up again.
static int copy_file(const WIN32_FIND_DATAW *fd, const wchar_t *from, const wchar_t *to, int fresh)
{
    unsigned long long size = (unsigned long long)fd->nFileSizeHigh << 32 | fd->nFileSizeLow;
    const KnownFile *listed = check_source(from);
    int absent = fresh;
    if (!fresh && unchanged(fd, to, &absent) && check_kept(listed)) {
        s_copy_done += size;
        return 1;
    }
    if (!absent)
        SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL); // a read-only copy is overwritten all the same
    int ok = listed ? copy_checked(fd, from, to, listed)
                    : CopyFileExW(from, to, copy_progress, NULL, &s_cancel_copy, 0) != 0;
    DWORD why = GetLastError();
    if (!ok && why != SPAN_NO_MATCH) // the check has logged what didn't match
        logw(L"copy %s failed (%lu)", from, why);
    s_copy_done += size;
    return ok;
}

// A listing that broke off half-way (a drive or share gone) is told in the
// log; the step's own texts follow. One that can't start has no line of its own.
static int broke(const wchar_t *dir)
{
    logw(L"listing %s broke off (%lu)", dir, GetLastError());
    return 0;
}

static int copy_below(const wchar_t *src, DWORD attributes, DWORD tag, const wchar_t *dst, DirChain *up, int fresh)
{
    DirChain here;
    dir_enter(src, attributes, tag, up, &here);
    if (dir_loops(&here))
        return 1; // a link back into the tree being copied: its content is copied already
    if (!fresh)
        fresh = GetFileAttributesW(dst) == INVALID_FILE_ATTRIBUTES && not_there();
    SHCreateDirectoryExW(NULL, dst, NULL);
    wchar_t from[MAX_PATH], to[MAX_PATH];
    Listing l;
    int r = list_first(&l, src);
    int ok = r != LIST_BROKEN && r != LIST_TOO_LONG;
    for (; ok && !s_cancel && r == LIST_ITEM; r = list_next(&l)) {
        int from_fits = path_join(from, src, l.fd.cFileName), to_fits = path_join(to, dst, l.fd.cFileName);
        if (!from_fits || !to_fits)
            ok = too_long(from_fits ? to : from);
        else if (l.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = copy_below(from, l.fd.dwFileAttributes, l.fd.dwReserved0, to, &here, fresh);
        else
            ok = copy_file(&l.fd, from, to, fresh);
    }
    if (ok && r == LIST_BROKEN)
        ok = broke(src);
    list_close(&l);
    return ok && !s_cancel;
}

int copy_tree(const wchar_t *src, const wchar_t *dst)
{
    return copy_below(src, INVALID_FILE_ATTRIBUTES, 0, dst, NULL, 0);
}

// What the disc side says of a name the copy holds: 1 it is there (*dir tells
// whether as a folder), 0 it is not, -1 it can't be told. Only "not found"
// counts as absent: a drive or folder of the disc that went away must never
// make the copy lose its files.
static int on_disc(const wchar_t *from, int *dir)
{
    DWORD a = GetFileAttributesW(from);
    if (a != INVALID_FILE_ATTRIBUTES) {
        *dir = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return 1;
    }
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return 0;
    logw(L"%s can't be read (%lu)", from, GetLastError());
    return -1;
}

int prune_tree(const wchar_t *src, const wchar_t *dst)
{
    wchar_t from[MAX_PATH], to[MAX_PATH];
    Listing l;
    int r = list_first(&l, dst);
    int ok = r != LIST_BROKEN && r != LIST_TOO_LONG;
    for (; ok && r == LIST_ITEM; r = list_next(&l)) {
        int from_fits = path_join(from, src, l.fd.cFileName), to_fits = path_join(to, dst, l.fd.cFileName);
        int from_dir = 0, there = from_fits && to_fits ? on_disc(from, &from_dir) : 0;
        if (!from_fits || !to_fits) {
            ok = too_long(from_fits ? to : from);
        } else if (there < 0) {
            ok = 0;
        } else if (l.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link in the copy is only ever walked on the disc's side.
            if (from_dir && !is_link(l.fd.dwFileAttributes, l.fd.dwReserved0))
                ok = prune_tree(from, to);
            else if (!from_dir && remove_tree(to))
                logw(L"removed %s (not on the disc)", to);
            else if (!from_dir && s_too_long[0])
                ok = 0; // the removal met a path too long to walk, which is no deletion failing
        } else if (!there || from_dir) {
            SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileW(to))
                logw(L"removed %s (not on the disc)", to);
        }
    }
    if (ok && r == LIST_BROKEN)
        ok = broke(dst);
    list_close(&l);
    return ok;
}

// Links inside a tree are removed themselves before the tree is deleted, so
// that the deletion can't reach through one into a folder outside it. Every
// entry's path is made on the way, files' too: the deletion must meet none
// that is too long (Wine's, given one, deletes in the current folder instead).
// Returns 0 when a link is still there afterwards, a path is too long or a
// listing failed: the tree must then be left.
static int unlink_links(const wchar_t *dir)
{
    wchar_t sub[MAX_PATH];
    Listing l;
    int r = list_first(&l, dir), clear = r != LIST_BROKEN && r != LIST_TOO_LONG;
    for (; clear && r == LIST_ITEM; r = list_next(&l)) {
        if (!path_join(sub, dir, l.fd.cFileName)) {
            clear = too_long(sub);
        } else if (!(l.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        } else if (is_link(l.fd.dwFileAttributes, l.fd.dwReserved0)) {
            RemoveDirectoryW(sub);
            clear = !exists(sub);
        } else {
            clear = unlink_links(sub);
        }
    }
    list_close(&l);
    return clear && r != LIST_BROKEN;
}

int remove_tree(const wchar_t *path)
{
    // Judged on the full path: "..\" parts could otherwise lead out of the folder.
    wchar_t full[MAX_PATH];
    if (!path_full(path, full))
        return too_long(full);
    if (s_dir[0] && path_inside(full, s_dir) && is_dir(full)) {
        if (path_is_link(full)) {
            RemoveDirectoryW(full);
            return !exists(full);
        }
        if (!unlink_links(full))
            return 0;
        wchar_t from[MAX_PATH + 2];
        ZeroMemory(from, sizeof from); // SHFileOperationW wants the list ended by two terminators
        copy_cut(from, MAX_PATH, full);
        SHFILEOPSTRUCTW op;
        ZeroMemory(&op, sizeof op);
        op.wFunc = FO_DELETE;
        op.pFrom = from;
        op.fFlags = FOF_NO_UI;
        return SHFileOperationW(&op) == 0 && !exists(full);
    }
    return !exists(full);
}

int stage_copy(void)
{
    seg(0.06, 0.18, 60000, L"Step 2 of 5: Copying the game files", L"");
    int r = check_load();
    if (r != R_OK)
        return r;
    static const wchar_t k_msg[] = L"The game files couldn't be copied.";
    static const wchar_t k_advice[] = L"Check that the drive has enough free space, then try again.";
    wchar_t target[MAX_PATH];
    path_join(target, s_dir, L"game"); // the install folder's length leaves room for it
    if (game_in_place(s_dir)) {
        detail(L"The game files are already in place");
        s_copy_total = 0; // only checked, if at all: no bytes to count
        int ok = check_in_place(target);
        check_end();
        return ok ? R_OK : check_fail(k_msg, k_advice);
    }
    s_copy_done = 0;
    s_copy_total = s_game.bytes;
    s_too_long[0] = 0;
    logw(L"copy %s -> %s (%llu bytes)", s_game.dir, target, s_copy_total);
    // An image is copied and pruned from its own index; a cut dump fails
    // before a byte is copied.
    int done = s_game.image ? image_copy(target)
                            : check_missing(check_has_file, s_game.dir) && copy_tree(s_game.dir, target) &&
                                  prune_tree(s_game.dir, target);
    check_end();
    if (done)
        return R_OK;
    if (!s_too_long[0])
        return check_fail(k_msg, k_advice);
    wchar_t msg[256];
    too_long_text(msg, 256, TOO_LONG_MSG);
    return fail(msg, L"Choose a shorter install folder, for example C:\\Games\\Emberveil, or copy the disc into a "
                     L"shorter folder, then try again.");
}
