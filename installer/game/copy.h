// Step 2: the disc copied into <install>\game, unchanged files skipped, and
// whatever the chosen disc lacks removed from the copy.
#pragma once
#include "../engine/context.h"

extern unsigned long long s_copy_done, s_copy_total;

// The copy step: R_OK, R_FAIL or R_CANCEL.
int stage_copy(void);
// Copies every entry of src into dst (made when missing); 1 when all were
// copied or skipped and no cancel is pending (0 also when a listing broke off,
// or a path was too long: s_too_long then names it).
int copy_tree(const wchar_t *src, const wchar_t *dst);
// CopyFileExW's progress routine: the real fraction and "Copied %s of %s".
DWORD CALLBACK copy_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER stream_total,
                             LARGE_INTEGER stream_done, DWORD stream, DWORD reason, HANDLE from, HANDLE to,
                             LPVOID data);
// Deletes from dst whatever src doesn't hold, logging each removed entry. 0
// when it couldn't see all of either side: a listing broke off, the disc side
// couldn't be read (anything but "not found"), or a path was too long
// (s_too_long names it). A deletion that fails doesn't count.
int prune_tree(const wchar_t *src, const wchar_t *dst);
// Deletes the folder path when it lies strictly inside the install folder;
// 1 when the path is gone afterwards (or never was), else 0 (with s_too_long
// set when a path in the tree was too long to walk). A link is removed itself
// and never followed.
int remove_tree(const wchar_t *path);
