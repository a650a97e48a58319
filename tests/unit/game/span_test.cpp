// One run of bytes into a target file, as the image copy uses it: the run at
// an offset arrives byte for byte across block boundaries with the time asked
// for, and a run that can't finish (the source ends early, a cancel) leaves
// no target and says why.
#include "unit.h"
#include "game/copy.h"
#include "game/span.h"
#include <gtest/gtest.h>
#undef R_OK
#include <string>

namespace {

struct SpanRow {
    const char *name;
    unsigned long long at, size; // the run in a source of 2.5 MiB
    bool cancel;
    int ok;
    DWORD why; // GetLastError after a failure
};

const SpanRow k_rows[] = {
    {"three blocks from an odd offset", 4103, (5ull << 19) - 9000, false, 1, 0},
    {"an empty run", 77, 0, false, 1, 0},
    {"past the source's end", 1ull << 20, 2ull << 20, false, 0, ERROR_HANDLE_EOF},
    {"cancelled", 0, 1ull << 20, true, 0, ERROR_REQUEST_ABORTED},
};

} // namespace

TEST(Span, RunsArriveWholeOrNotAtAll)
{
    test_init();
    wchar_t dir[MAX_PATH], src[MAX_PATH], dst[MAX_PATH];
    test_dir(L"span", dir);
    swprintf(src, MAX_PATH, L"%ls\\image.bin", dir);
    swprintf(dst, MAX_PATH, L"%ls\\out\\file.bin", dir);
    std::string bytes(5u << 19, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = (char)(i * 7 + i / 4093);
    ASSERT_TRUE(put_file(src, bytes));
    make_dir((std::wstring(dir) + L"\\out").c_str());
    const FILETIME when = {0x12345678u, 0x01D2A3B4u};
    for (const SpanRow &r : k_rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(put_file(dst, "an older copy"));
        HANDLE from = CreateFileW(src, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(from, INVALID_HANDLE_VALUE);
        s_cancel = r.cancel;
        int ok = copy_span(from, r.at, r.size, dst, &when, NULL);
        DWORD why = GetLastError();
        CloseHandle(from);
        s_cancel = 0;
        EXPECT_EQ(r.ok, ok);
        if (!r.ok) {
            EXPECT_EQ(r.why, why);
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dst));
            continue;
        }
        EXPECT_TRUE(read_file(dst) == bytes.substr((size_t)r.at, (size_t)r.size));
        FILETIME t = mtime_of(dst);
        EXPECT_EQ(0, CompareFileTime(&t, &when));
    }
}
