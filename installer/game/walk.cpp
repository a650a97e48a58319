#include "walk.h"

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

int dir_enter(const wchar_t *path, DWORD attributes, DWORD tag, DirChain *up, DirChain *self)
{
    self->path = path;
    self->volume = 0;
    self->id = 0;
    self->known = 0;
    // The top counts as no link even when it is one: a link at the top alone
    // leads nowhere twice.
    self->linked = (attributes != INVALID_FILE_ATTRIBUTES && is_link(attributes, tag)) || (up && up->linked);
    self->up = up;
    if (!self->linked)
        return 1;
    read_identity(self);
    if (!self->id)
        return 1;
    // The ancestors above the first link are read now, once each.
    for (DirChain *c = up; c; c = c->up) {
        if (!c->known)
            read_identity(c);
        if (c->id == self->id && c->volume == self->volume)
            return 0;
    }
    return 1;
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
