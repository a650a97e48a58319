// A settings file read while it changes length: the platform's size query or
// read swapped in this program's import slots for one that tells of a file
// that grew or shrank in between. slurp must then give nothing, never a cut file.
#include "stages/stages.h"
#include "unit.h"
#include <gtest/gtest.h>

extern "C" void *__imp_ReadFile;
extern "C" void *__imp_GetFileSize;

namespace {

typedef BOOL(WINAPI *ReadFn)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
typedef DWORD(WINAPI *SizeFn)(HANDLE, LPDWORD);
ReadFn s_read;
SizeFn s_size;
int s_change; // bytes the file gained (+) or lost (-) since its size was taken

BOOL WINAPI read_changed(HANDLE h, LPVOID buf, DWORD n, LPDWORD got, LPOVERLAPPED ov)
{
    BOOL ok = s_read(h, buf, n, got, ov);
    if (ok && s_change < 0)
        *got -= (DWORD)-s_change;
    return ok;
}

DWORD WINAPI size_changed(HANDLE h, LPDWORD high)
{
    DWORD n = s_size(h, high);
    return s_change > 0 ? n - (DWORD)s_change : n;
}

TEST(Slurp, AFileThatChangesLengthWhileReadGivesNothing)
{
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    test_dir(L"slurp", dir);
    swprintf(path, MAX_PATH, L"%ls\\emberveil.ini", dir);
    const char text[] = "[video]\r\nwidth=1920\r\n";
    ASSERT_TRUE(put_file(path, text));
    const struct {
        int change;
        bool whole;
    } rows[] = {{0, true}, {-5, false}, {3, false}};
    SlotSwap read(&__imp_ReadFile, (void *)read_changed), size(&__imp_GetFileSize, (void *)size_changed);
    s_read = (ReadFn)read.was();
    s_size = (SizeFn)size.was();
    for (const auto &r : rows) {
        s_change = r.change;
        DWORD n = 99;
        unsigned char *b = slurp(path, &n);
        EXPECT_EQ(r.whole, b != NULL) << r.change;
        EXPECT_EQ(r.whole ? sizeof text - 1 : 0u, n) << r.change;
        EXPECT_TRUE(!b || !r.whole || memcmp(b, text, n) == 0);
        HeapFree(GetProcessHeap(), 0, b);
    }
}

} // namespace
