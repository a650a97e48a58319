// Path text rules that need no platform: ASCII-only folding, "inside a folder",
// and the folder browser's "Emberveil" completion.
#include "text.h"
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Fold, OnlyAsciiLettersFold)
{
    EXPECT_TRUE(ieq(L"EMBERVEIL.EXE", L"emberveil.exe"));
    EXPECT_TRUE(ieq(L"/Xbe", L"/xbe"));
    EXPECT_FALSE(ieq(L"/xbe", L"/xbe "));
    EXPECT_FALSE(ieq(L"/xb", L"/xbe"));
    // Other letters compare exactly: no locale folding of accented capitals.
    EXPECT_FALSE(ieq(L"\u00C9", L"\u00E9"));
    EXPECT_FALSE(ieq(L"[", L"{")); // '[' + 32 is '{': only A..Z fold
    EXPECT_TRUE(ieqn(L"C:\\GAMES\\x", L"c:\\games\\y", 9));
    EXPECT_FALSE(ieqn(L"C:\\GAMES\\x", L"c:\\games\\y", 10));
}

TEST(PathWithin, StrictlyInsideOrEqual)
{
    const wchar_t *dir = L"C:\\Games\\Emberveil";
    EXPECT_TRUE(path_within(L"C:\\Games\\Emberveil\\toolchain", dir, 0));
    EXPECT_TRUE(path_within(L"c:\\games\\EMBERVEIL\\toolchain", dir, 0));
    EXPECT_FALSE(path_within(L"C:\\Games\\Emberveil", dir, 0));
    EXPECT_TRUE(path_within(L"C:\\Games\\Emberveil", dir, 1));
    EXPECT_FALSE(path_within(L"C:\\Games\\Emberveil2", dir, 1));
    EXPECT_FALSE(path_within(L"C:\\Games\\Emberveil2\\x", dir, 0));
    EXPECT_FALSE(path_within(L"C:\\Games", dir, 1));
    EXPECT_FALSE(path_within(L"", dir, 1));
}

TEST(DestComplete, AddsTheFolderNameOnce)
{
    const struct {
        const wchar_t *in, *out;
    } cases[] = {
        {L"D:\\Games", L"D:\\Games\\Emberveil"},
        {L"D:\\", L"D:\\Emberveil"},
        {L"D:\\Games\\emberveil", L"D:\\Games\\emberveil"},
        {L"D:\\Games\\EMBERVEIL", L"D:\\Games\\EMBERVEIL"},
        {L"D:\\Emberveil2", L"D:\\Emberveil2\\Emberveil"},
        {L"\\\\server\\share", L"\\\\server\\share\\Emberveil"},
        {L"", L"Emberveil"},
    };
    for (const auto &c : cases) {
        wchar_t buf[260];
        copy_cut(buf, 260, c.in);
        dest_complete(buf, 260);
        EXPECT_EQ(std::wstring(buf), c.out);
    }
}

TEST(DestComplete, CutsWhatDoesNotFit)
{
    wchar_t buf[260];
    std::wstring longer = L"D:\\" + std::wstring(250, L'a'); // 253 characters
    copy_cut(buf, 260, longer.c_str());
    dest_complete(buf, 260);
    EXPECT_EQ(std::wstring(buf), longer + L"\\Ember"); // 259 characters and the terminator
    std::wstring full = L"D:\\" + std::wstring(256, L'b');
    copy_cut(buf, 260, full.c_str());
    dest_complete(buf, 260);
    EXPECT_EQ(std::wstring(buf), full);
}

TEST(CopyCut, KeepsCapacityLessOne)
{
    wchar_t buf[4];
    copy_cut(buf, 4, L"abcdef");
    EXPECT_EQ(std::wstring(buf), L"abc");
    copy_cut(buf, 4, nullptr);
    EXPECT_EQ(std::wstring(buf), L"");
}

} // namespace
