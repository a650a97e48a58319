#include "span.h"
#include "copy.h"

// Big enough that a disc image streams at the drive's pace, small enough to
// hold on a worker thread's heap without a thought.
static const DWORD SPAN_BLOCK = 1u << 20;

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

static int write_all(HANDLE to, const unsigned char *buf, DWORD n)
{
    DWORD put = 0;
    if (!WriteFile(to, buf, n, &put, NULL))
        return 0;
    if (put != n) {
        SetLastError(ERROR_DISK_FULL);
        return 0;
    }
    return 1;
}

int copy_span(HANDLE from, unsigned long long at, unsigned long long size, const wchar_t *to,
              const FILETIME *written)
{
    DWORD block = size < SPAN_BLOCK ? (DWORD)size : SPAN_BLOCK;
    unsigned char *buf = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, block ? block : 1);
    if (!buf) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    HANDLE out = CreateFileW(to, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    int ok = out != INVALID_HANDLE_VALUE;
    unsigned long long done = 0;
    while (ok && done < size) {
        DWORD n = size - done < block ? (DWORD)(size - done) : block;
        ok = read_at(from, at + done, buf, n) && write_all(out, buf, n);
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
    // The time is the skip pass's proof that the file arrived whole: set last.
    if (ok && written && !SetFileTime(out, NULL, NULL, written))
        ok = 0;
    DWORD why = ok ? 0 : GetLastError();
    if (out != INVALID_HANDLE_VALUE && !CloseHandle(out) && ok) {
        ok = 0;
        why = GetLastError();
    }
    if (!ok && out != INVALID_HANDLE_VALUE)
        DeleteFileW(to);
    HeapFree(GetProcessHeap(), 0, buf);
    if (!ok)
        SetLastError(why);
    return ok;
}
