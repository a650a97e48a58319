// Walking a folder tree: the listing of one folder, and the folders on the way
// down, so that a folder reached again through a link (a junction, a symbolic
// link) that leads back into its own tree is seen and not walked a second time.
#pragma once
#include <windows.h>

// A folder's identity is read only once the walk has passed a link: without
// one, the folders form a tree and no folder can be its own ancestor. Opening
// every folder for it would cost the skip pass of a reinstall a tenth of its time.
struct DirChain {
    const wchar_t *path; // the folder's path, valid while its walk lasts
    DWORD volume;
    ULONGLONG id; // 0 when the folder's identity couldn't be read or wasn't needed yet
    int known;    // the identity was read (or tried)
    int linked;   // this folder or one above it is a link
    DirChain *up;
};

// Fills self for the folder path below up (null for the top), with the
// attributes and reparse tag its listing gave (INVALID_FILE_ATTRIBUTES for the top).
void dir_enter(const wchar_t *path, DWORD attributes, DWORD tag, DirChain *up, DirChain *self);
// 1 when the folder self stands for is already one of its own ancestors on the
// chain: walking into it would never end.
int dir_loops(DirChain *self);
// 1 when an entry with these attributes and reparse tag (a listing's dwReserved0)
// leads somewhere else: a symbolic link, a junction, a mount point. Other
// reparse points (a synced folder's placeholders, deduplicated files) are
// ordinary folders and files.
int is_link(DWORD attributes, DWORD tag);
// is_link of the entry at path itself (not of what it holds).
int path_is_link(const wchar_t *path);

// One folder's entries, "." and ".." left out, in the order the platform gives.
struct Listing {
    HANDLE h;
    WIN32_FIND_DATAW fd; // the entry list_first or list_next gave
};
enum { LIST_ITEM = 1, LIST_END = 0, LIST_BROKEN = -1, LIST_TOO_LONG = -2 };
// Starts listing dir: LIST_ITEM with the first entry, LIST_END when the folder
// holds none, LIST_TOO_LONG when "<dir>\*" doesn't fit MAX_PATH (s_too_long
// names it), LIST_BROKEN when it can't be listed (GetLastError says why).
int list_first(Listing *l, const wchar_t *dir);
// The next entry: LIST_ITEM, LIST_END only once the platform says there are
// no more, LIST_BROKEN when the listing broke off (a drive or share gone).
int list_next(Listing *l);
// Ends a listing in any state.
void list_close(Listing *l);
