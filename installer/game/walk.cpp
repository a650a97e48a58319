#include "walk.h"

int dir_enter(const wchar_t *path, const DirChain *up, DirChain *self)
{
    self->volume = 0;
    self->id = 0;
    self->up = up;
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        self->volume = info.dwVolumeSerialNumber;
        self->id = (ULONGLONG)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    }
    CloseHandle(h);
    if (!self->id)
        return 1;
    for (const DirChain *c = up; c; c = c->up)
        if (c->id == self->id && c->volume == self->volume)
            return 0;
    return 1;
}

int is_link(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
