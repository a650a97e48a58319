#include "copy.h"
#include "disc.h"
#include "walk.h"
#include "../engine/log.h"
#include <shellapi.h>
#include <shlobj.h>

unsigned long long s_copy_done, s_copy_total;

static int skip_dots(const wchar_t *name)
{
    return !wcscmp(name, L".") || !wcscmp(name, L"..");
}

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

// fresh: the target folder was made by this copy, so no target file exists yet.
// A lookup of a missing name is what costs most per small file (Wine scans the
// whole folder for it), so a name known to be missing isn't looked up again.
static int copy_file(const WIN32_FIND_DATAW *fd, const wchar_t *from, const wchar_t *to, int fresh)
{
    unsigned long long size = (unsigned long long)fd->nFileSizeHigh << 32 | fd->nFileSizeLow;
    int absent = fresh;
    if (!fresh && unchanged(fd, to, &absent)) {
        s_copy_done += size;
        return 1;
    }
    if (!absent)
        SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL); // a read-only copy is overwritten all the same
    int ok = CopyFileExW(from, to, copy_progress, NULL, &s_cancel_copy, 0) != 0;
    if (!ok)
        logw(L"copy %s failed (%lu)", from, GetLastError());
    s_copy_done += size;
    return ok;
}

static int copy_below(const wchar_t *src, DWORD attributes, DWORD tag, const wchar_t *dst, DirChain *up, int fresh)
{
    DirChain here;
    if (!dir_enter(src, attributes, tag, up, &here))
        return 1; // a link back into the tree being copied: its content is copied already
    if (!fresh)
        fresh = GetFileAttributesW(dst) == INVALID_FILE_ATTRIBUTES && not_there();
    SHCreateDirectoryExW(NULL, dst, NULL);
    wchar_t pattern[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    path_join(pattern, src, L"*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int ok = 1;
    do {
        if (skip_dots(fd.cFileName))
            continue;
        path_join(from, src, fd.cFileName);
        path_join(to, dst, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = copy_below(from, fd.dwFileAttributes, fd.dwReserved0, to, &here, fresh);
        else
            ok = copy_file(&fd, from, to, fresh);
    } while (ok && !s_cancel && FindNextFileW(h, &fd));
    FindClose(h);
    return ok && !s_cancel;
}

int copy_tree(const wchar_t *src, const wchar_t *dst)
{
    return copy_below(src, INVALID_FILE_ATTRIBUTES, 0, dst, NULL, 0);
}

void prune_tree(const wchar_t *src, const wchar_t *dst)
{
    wchar_t pattern[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    path_join(pattern, dst, L"*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (skip_dots(fd.cFileName))
            continue;
        path_join(from, src, fd.cFileName);
        path_join(to, dst, fd.cFileName);
        // One attribute read of the disc's side answers both questions below.
        DWORD a = GetFileAttributesW(from);
        int from_dir = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link in the copy is only ever walked on the disc's side.
            if (from_dir && !is_link(fd.dwFileAttributes, fd.dwReserved0))
                prune_tree(from, to);
            else if (!from_dir && remove_tree(to))
                logw(L"removed %s (not on the disc)", to);
        } else if (a == INVALID_FILE_ATTRIBUTES || from_dir) {
            SetFileAttributesW(to, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileW(to))
                logw(L"removed %s (not on the disc)", to);
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// Links inside a tree are removed themselves before the tree is deleted, so
// that the deletion can't reach through one into a folder outside it.
// Returns 0 when a link is still there afterwards: the tree must then be left.
static int unlink_links(const wchar_t *dir)
{
    wchar_t pattern[MAX_PATH], sub[MAX_PATH];
    path_join(pattern, dir, L"*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    int clear = 1;
    do {
        if (skip_dots(fd.cFileName) || !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        path_join(sub, dir, fd.cFileName);
        if (is_link(fd.dwFileAttributes, fd.dwReserved0)) {
            RemoveDirectoryW(sub);
            if (exists(sub))
                clear = 0;
        } else if (!unlink_links(sub)) {
            clear = 0;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return clear;
}

int remove_tree(const wchar_t *path)
{
    // Judged on the full path: "..\" parts could otherwise lead out of the folder.
    wchar_t full[MAX_PATH];
    path_full(path, full);
    if (s_dir[0] && path_within(full, s_dir, 0) && is_dir(full)) {
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
    if (game_in_place(s_dir)) {
        detail(L"The game files are already in place");
        return R_OK;
    }
    wchar_t target[MAX_PATH];
    path_join(target, s_dir, L"game");
    s_copy_done = 0;
    s_copy_total = s_game.bytes;
    logw(L"copy %s -> %s (%llu bytes)", s_game.dir, target, s_copy_total);
    if (!copy_tree(s_game.dir, target))
        return fail(L"The game files couldn't be copied.", L"Check that the drive has enough free space, then try again.");
    prune_tree(s_game.dir, target);
    return R_OK;
}
