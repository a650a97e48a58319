// One run of bytes copied from an open file into a new target file: a file of
// a disc image (its bytes lie at an offset of the image), or a whole source file.
#pragma once
#include <windows.h>
#include "known.h"

// GetLastError after copy_span when the bytes matched none of the listed
// versions (an error code of the application's own: bit 29 set).
#define SPAN_NO_MATCH 0x20000001u

// Copies size bytes of from, read sequentially from offset at, into the file to
// (created, or replaced whole: a read-only one must be made writable first), in
// large blocks. Each block moves the copy's progress as the platform copy's
// progress routine does, and a cancel stops it between blocks. With listed (a
// file of the list of known good game files, or null), the bytes are hashed on
// the way and must be one of its versions; the verdict comes before the time.
// With no target (to null) the bytes are only read, to be checked. The target
// gets written as its last-write time. 1 when every byte arrived (and
// matched); else 0 with the reason in GetLastError (ERROR_REQUEST_ABORTED for a
// cancel, ERROR_HANDLE_EOF for a source shorter than the run, SPAN_NO_MATCH),
// and no target left behind.
int copy_span(HANDLE from, unsigned long long at, unsigned long long size, const wchar_t *to,
              const FILETIME *written, const KnownFile *listed);
