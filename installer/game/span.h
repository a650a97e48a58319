// One run of bytes copied from an open file into a new target file: a file of
// a disc image (its bytes lie at an offset of the image), or a whole source file.
#pragma once
#include <windows.h>

// Copies size bytes of from, read sequentially from offset at, into the file to
// (created, or replaced whole: a read-only one must be made writable first), in
// large blocks. Each block moves the copy's progress as the platform copy's
// progress routine does, and a cancel stops it between blocks. The target gets
// written as its last-write time. 1 when every
// byte arrived; else 0 with the reason in GetLastError (ERROR_REQUEST_ABORTED
// for a cancel, ERROR_HANDLE_EOF for a source shorter than the run), and no
// target left behind.
int copy_span(HANDLE from, unsigned long long at, unsigned long long size, const wchar_t *to,
              const FILETIME *written);
