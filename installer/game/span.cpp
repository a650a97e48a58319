#include "span.h"
#include "check.h"
#include "copy.h"
#include "hasher.h"

// Big enough that a disc image streams at the drive's pace, small enough to
// hold on a worker thread's heap without a thought; a checked run reads into
// the hasher's blocks, of the same size.
static const DWORD SPAN_BLOCK = HASH_BLOCK;

// A source that ends before the run does, told as the platform tells it.
static int short_source(void)
{
    SetLastError(ERROR_HANDLE_EOF);
    return 0;
}

static int read_at(HANDLE from, unsigned long long at, unsigned char *buf, DWORD want)
{
    OVERLAPPED where;
    ZeroMemory(&where, sizeof where);
    where.Offset = (DWORD)at;
    where.OffsetHigh = (DWORD)(at >> 32);
    DWORD got = 0;
    if (!ReadFile(from, buf, want, &got, &where))
        return GetLastError() == ERROR_HANDLE_EOF ? short_source() : 0;
    return got == want ? 1 : short_source();
}

// A block goes out in writes of 64 KiB, the size the platform's own copy
// writes: under Wine, writes of a whole block into new files were measured up
// to five times slower than the same bytes in such pieces, and erratic; on
// Windows the pieces cost a few more calls and nothing else.
static const DWORD SPAN_PIECE = 64u << 10;

static int write_all(HANDLE to, const unsigned char *buf, DWORD n)
{
    for (DWORD at = 0; at < n;) {
        DWORD want = n - at < SPAN_PIECE ? n - at : SPAN_PIECE, put = 0;
        if (!WriteFile(to, buf + at, want, &put, NULL))
            return 0;
        if (put != want) {
            SetLastError(ERROR_DISK_FULL);
            return 0;
        }
        at += want;
    }
    return 1;
}

// Waits for the hash of a checked run and judges it when every byte arrived
// (ok); the reason of a failure stays in GetLastError.
static int verdict(const KnownFile *listed, int ok)
{
    DWORD why = GetLastError();
    unsigned char sha[SHA_BYTES];
    int hashed = hasher_end(sha);
    if (!ok) {
        SetLastError(why);
        return 0;
    }
    if (!hashed) {
        SetLastError(ERROR_INVALID_FUNCTION); // CNG refused bytes it had taken before
        return 0;
    }
    if (!check_sha(listed, sha)) {
        SetLastError(SPAN_NO_MATCH);
        return 0;
    }
    return 1;
}

int copy_span(HANDLE from, unsigned long long at, unsigned long long size, const wchar_t *to,
              const FILETIME *written, const KnownFile *listed)
{
    unsigned char *own = NULL;
    if (listed) {
        if (!hasher_start(size))
            return 0;
    } else {
        DWORD block = size < SPAN_BLOCK ? (DWORD)size : SPAN_BLOCK;
        own = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, block ? block : 1);
        if (!own) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
    }
    HANDLE out = INVALID_HANDLE_VALUE;
    if (to)
        out = CreateFileW(to, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    int ok = !to || out != INVALID_HANDLE_VALUE;
    unsigned long long done = 0;
    while (ok && done < size) {
        DWORD n = size - done < SPAN_BLOCK ? (DWORD)(size - done) : SPAN_BLOCK;
        // The hasher takes the block as soon as it is read: it hashes while
        // the block is written and the next one read.
        unsigned char *buf = listed ? hasher_block() : own;
        ok = read_at(from, at + done, buf, n);
        if (listed)
            hasher_add(ok ? n : 0);
        ok = ok && (!to || write_all(out, buf, n));
        if (!ok)
            break;
        done += n;
        LARGE_INTEGER moved, none;
        moved.QuadPart = (LONGLONG)done;
        none.QuadPart = 0;
        if (copy_progress(none, moved, none, none, 0, 0, from, out, NULL) == PROGRESS_CANCEL) {
            SetLastError(ERROR_REQUEST_ABORTED);
            ok = 0;
        }
    }
    if (listed)
        ok = verdict(listed, ok);
    // The time is the skip pass's proof that the file arrived whole (and, with
    // a list, matched): set last.
    if (ok && to && written && !SetFileTime(out, NULL, NULL, written))
        ok = 0;
    DWORD why = ok ? 0 : GetLastError();
    if (out != INVALID_HANDLE_VALUE && !CloseHandle(out) && ok) {
        ok = 0;
        why = GetLastError();
    }
    if (!ok && out != INVALID_HANDLE_VALUE)
        DeleteFileW(to);
    if (own)
        HeapFree(GetProcessHeap(), 0, own);
    if (!ok)
        SetLastError(why);
    return ok;
}
