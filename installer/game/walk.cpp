#include "walk.h"
#include "../common.h"

static void read_identity(DirChain *c)
{
    c->known = 1;
    HANDLE h = CreateFileW(c->path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        c->volume = info.dwVolumeSerialNumber;
        c->id = (ULONGLONG)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    }
    CloseHandle(h);
}

void dir_enter(const wchar_t *path, DWORD attributes, DWORD tag, DirChain *up, DirChain *self)
{
    self->path = path;
    self->volume = 0;
    self->id = 0;
    self->known = 0;
    // The top counts as no link even when it is one: a link at the top alone
    // leads nowhere twice.
    self->linked = (attributes != INVALID_FILE_ATTRIBUTES && is_link(attributes, tag)) || (up && up->linked);
    self->up = up;
}

int dir_loops(DirChain *self)
{
    if (!self->linked)
        return 0;
    read_identity(self);
    if (!self->id)
        return 0;
    // The ancestors above the first link are read now, once each.
    for (DirChain *c = self->up; c; c = c->up) {
        if (!c->known)
            read_identity(c);
        if (c->id == self->id && c->volume == self->volume)
            return 1;
    }
    return 0;
}

int is_link(DWORD attributes, DWORD tag)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return 0;
    // Every reparse point on Windows carries a tag; one listed without (Wine
    // lists its symbolic links so) is taken for a link: never followed, never
    // deleted through.
    return tag == 0 || IsReparseTagNameSurrogate(tag);
}

int path_is_link(const wchar_t *path)
{
    // Only a listing gives the tag; GetFileAttributesW has the attribute alone.
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    return is_link(fd.dwFileAttributes, fd.dwReserved0);
}

static int skip_dots(const wchar_t *name)
{
    return !wcscmp(name, L".") || !wcscmp(name, L"..");
}

int list_next(Listing *l)
{
    do {
        if (!FindNextFileW(l->h, &l->fd))
            return GetLastError() == ERROR_NO_MORE_FILES ? LIST_END : LIST_BROKEN;
    } while (skip_dots(l->fd.cFileName));
    return LIST_ITEM;
}

int list_first(Listing *l, const wchar_t *dir)
{
    wchar_t pattern[MAX_PATH];
    l->h = INVALID_HANDLE_VALUE;
    if (!path_join(pattern, dir, L"*")) {
        too_long(pattern);
        return LIST_TOO_LONG;
    }
    l->h = FindFirstFileW(pattern, &l->fd);
    if (l->h == INVALID_HANDLE_VALUE) {
        // A folder with no entry at all (a drive root has no "." either); one
        // that is gone says so by its path.
        DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND && is_dir(dir))
            return LIST_END;
        SetLastError(e);
        return LIST_BROKEN;
    }
    return skip_dots(l->fd.cFileName) ? list_next(l) : LIST_ITEM;
}

void list_close(Listing *l)
{
    if (l->h != INVALID_HANDLE_VALUE)
        FindClose(l->h);
    l->h = INVALID_HANDLE_VALUE;
}
