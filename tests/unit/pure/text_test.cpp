// Path and name rules that need no platform: ASCII-only folding, "inside a
// folder", the folder browser's "Emberveil" completion, the names of temporary
// archives and UTF-8 cut at a byte limit.
#include "text.h"
#include <gtest/gtest.h>
#include <string.h>
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

TEST(PathInside, StrictlyInsideOrEqual)
{
    const struct {
        const wchar_t *path, *folder;
        int inside, is_or_inside;
    } rows[] = {
        {L"C:\\Games\\Emberveil\\toolchain", L"C:\\Games\\Emberveil", 1, 1},
        {L"c:\\games\\EMBERVEIL\\toolchain", L"C:\\Games\\Emberveil", 1, 1},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil", 0, 1},
        {L"C:\\Games\\Emberveil2", L"C:\\Games\\Emberveil", 0, 0},
        {L"C:\\Games\\Emberveil2\\x", L"C:\\Games\\Emberveil", 0, 0},
        {L"C:\\Games", L"C:\\Games\\Emberveil", 0, 0},
        {L"", L"C:\\Games\\Emberveil", 0, 0},
        // A drive root already ends in its backslash.
        {L"E:\\Emberveil", L"E:\\", 1, 1},
        {L"e:\\", L"E:\\", 0, 1},
        {L"E:", L"E:\\", 0, 0},
        {L"F:\\Emberveil", L"E:\\", 0, 0},
        {L"E:\\x", L"", 0, 0},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(r.inside, path_inside(r.path, r.folder)) << r.path << " in " << r.folder;
        EXPECT_EQ(r.is_or_inside, path_is_or_inside(r.path, r.folder)) << r.path << " in " << r.folder;
    }
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

TEST(DestComplete, LeavesWhatDoesNotFitWhole)
{
    wchar_t buf[260];
    for (size_t n : {249u, 250u, 256u}) {
        std::wstring path = L"D:\\" + std::wstring(n - 3, L'a');
        copy_cut(buf, 260, path.c_str());
        int fits = n + 10 < 260; // "\\Emberveil" and the terminator
        EXPECT_EQ(fits, dest_complete(buf, 260)) << n;
        EXPECT_EQ(fits ? path + L"\\Emberveil" : path, std::wstring(buf)) << n;
    }
}

TEST(CopyCut, KeepsCapacityLessOne)
{
    wchar_t buf[4];
    copy_cut(buf, 4, L"abcdef");
    EXPECT_EQ(std::wstring(buf), L"abc");
    copy_cut(buf, 4, nullptr);
    EXPECT_EQ(std::wstring(buf), L"");
}

// Only the names a Setup gives its temporary archives, so that a sweep of the
// shared temporary folder never takes a file of anybody else's.
TEST(LeftoverPid, OnlySetupsOwnArchiveNames)
{
    const struct {
        const wchar_t *name;
        unsigned long pid;
    } rows[] = {
        {L"emberveil_setup_1234_0.zip", 1234},
        {L"emberveil_setup_1234_2.zip", 1234},
        {L"EMBERVEIL_SETUP_77_1.ZIP", 77},
        {L"emberveil_setup_4294967295_1_99.zip", 4294967295ul},
        {L"emberveil_setup_8_2_1.zip", 8},
        {L"emberveil_setup_1234_3.zip", 0},     // there are three archives
        {L"emberveil_setup_1234_0_0.zip", 0},   // retries count from 1
        {L"emberveil_setup_1234_0_100.zip", 0}, // and stop at 99
        {L"emberveil_setup_4294967296_0.zip", 0},
        {L"emberveil_setup_0_0.zip", 0},
        {L"emberveil_setup_01234_0.zip", 0},
        {L"emberveil_setup_12a4_0.zip", 0},
        {L"emberveil_setup__0.zip", 0},
        {L"emberveil_setup_1234_.zip", 0},
        {L"emberveil_setup_1234_0.zip.part", 0},
        {L"emberveil_setup_1234_0.zipx", 0},
        {L"emberveil_setup_1234_0", 0},
        {L"my emberveil_setup_1234_0.zip", 0},
        {L"emberveil_setup_1234_0 .zip", 0},
        {L"emberveil_setup_", 0},
        {L"", 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.pid, leftover_pid(r.name)) << r.name;
}

// A compiler error line is cut at a byte limit: a character it cuts in two
// must not make the whole line unreadable as UTF-8.
TEST(Utf8Whole, DropsOnlyACharacterCutAtTheEnd)
{
    const struct {
        const char *bytes;
        size_t whole;
    } rows[] = {
        {"main.c(3): error", 16},
        {"C:\\\xC5\x81\xC3\xB3" "d\xC5\xBA", 10},  // ends on a whole two-byte character
        {"C:\\\xC5\x81\xC3\xB3" "d\xC5", 8},       // its second byte cut off
        {"C:\\\xE6\xB8\xB8\xE6\x88", 6},        // a three-byte character missing its last
        {"C:\\\xE6\xB8\xB8\xE6", 6},
        {"C:\\\xF0\x9F\x8E\xAE", 7},             // a whole four-byte character
        {"C:\\\xF0\x9F\x8E", 3},
        {"\xC5", 0},
        {"\x81\x81\x81\x81", 4}, // no lead byte at all: left for the decoder to refuse
        {"", 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.whole, utf8_whole(r.bytes, strlen(r.bytes))) << r.bytes;
}

} // namespace
