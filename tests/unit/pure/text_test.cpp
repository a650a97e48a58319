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
