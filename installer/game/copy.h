// Step 2: the disc copied into <install>\game, unchanged files skipped, and
// whatever the chosen disc lacks removed from the copy.
#pragma once
#include "../engine/context.h"

extern unsigned long long s_copy_done, s_copy_total;

// The copy step: R_OK, R_FAIL or R_CANCEL.
int stage_copy(void);
// Copies every entry of src into dst (made when missing); 1 when all were
// copied or skipped and no cancel is pending.
int copy_tree(const wchar_t *src, const wchar_t *dst);
// CopyFileExW's progress routine: the real fraction and "Copied %s of %s".
DWORD CALLBACK copy_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER stream_total,
                             LARGE_INTEGER stream_done, DWORD stream, DWORD reason, HANDLE from, HANDLE to,
                             LPVOID data);
// Deletes from dst whatever src doesn't hold, logging each removed entry.
void prune_tree(const wchar_t *src, const wchar_t *dst);
// Deletes the folder path when it lies strictly inside the install folder;
// 1 when the path is gone afterwards (or never was), else 0. A link is
// removed itself and never followed.
int remove_tree(const wchar_t *path);
