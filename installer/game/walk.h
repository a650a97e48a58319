// The folders on the way down a tree walk, by identity, so that a folder
// reached again through a link (a junction, a symbolic link) that leads back
// into its own tree is seen and not walked a second time.
#pragma once
#include <windows.h>

struct DirChain {
    DWORD volume;
    ULONGLONG id; // 0 when the folder's identity couldn't be read
    const DirChain *up;
};

// Fills self for the folder path below up; 0 when that folder is already one
// of its own ancestors on the chain (walking into it would never end).
int dir_enter(const wchar_t *path, const DirChain *up, DirChain *self);
// 1 when the entry is a link (a reparse point) rather than a plain folder or file.
int is_link(DWORD attributes);
