// Whole installs at the edges: the settings an install that stopped half-way
// kept, meeting a newer edit in place; and install folders exactly as long as
// the payload leaves room for, and one character longer. The packer's test
// runs the second again with a packed Setup whose payload holds an entry of
// the packer's longest length (EV_FOLDER_MAX then says what the limit must be).
#include "install.h"

#include <gtest/gtest.h>

#include <algorithm>

typedef InstallCase StaleKept;
typedef InstallCase FolderLength;

TEST_F(StaleKept, ANewerEditInPlaceWinsAndTheOlderCopyStaysBeside)
{
    std::wstring dir = scratch(L"stalekept");
    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited && r.code == 0) << r.log;
    // An install stopped half-way: its kept copies stay. The player then played
    // the earlier build and changed emberveil.ini; mkb.ini is still the payload's.
    const Settings older = {"[video]\r\nwidth=800\r\n", "[keys]\r\njump=Space\r\n"};
    const std::string newer = "[video]\r\nwidth=2560\r\n";
    ASSERT_TRUE(put_file(join(dir, L"emberveil.ini.kept"), older.emberveil));
    ASSERT_TRUE(put_file(join(dir, L"mkb.ini.kept"), older.mkb));
    ASSERT_TRUE(put_file(join(dir, L"emberveil.ini"), newer));

    r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    EXPECT_EQ(newer, read_file(join(dir, L"emberveil.ini")));
    EXPECT_EQ(older.emberveil, read_file(join(dir, L"emberveil (older copy).ini")));
    EXPECT_EQ(older.mkb, read_file(join(dir, L"mkb.ini")));
    EXPECT_FALSE(has_file(join(dir, L"mkb (older copy).ini")));
    EXPECT_TRUE(files_ending(dir, L".kept").empty());
    const std::string told = utf8(join(dir, L"emberveil.ini")) + " changed after an earlier install stopped "
                             "half-way: it is kept, and the older copy that install set aside is now " +
                             utf8(join(dir, L"emberveil (older copy).ini"));
    std::vector<std::string> lines = installer_lines(r.log);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), told)) << r.log;
}

// The longest entry name of a zip archive, in UTF-16 units, read here on its
// own from the central directory as the format describes it: the end record
// gives the entry count and the directory's offset, each entry a 46-byte
// header with the name's length at 28 and the lengths of what follows it.
static size_t longest_entry(const std::string &zip)
{
    size_t end = zip.rfind(std::string("PK\x05\x06", 4)), longest = 0;
    if (end == std::string::npos || end + 22 > zip.size())
        return 0;
    auto u16 = [&](size_t at) { return (size_t)(unsigned char)zip[at] | (size_t)(unsigned char)zip[at + 1] << 8; };
    size_t count = u16(end + 10), at = u16(end + 16) | u16(end + 18) << 16;
    for (size_t i = 0; i < count && at + 46 <= end; i++) {
        size_t n = u16(at + 28);
        std::wstring name = widen(zip.substr(at + 46, n));
        if (!name.empty() && name.back() == L'/')
            name.pop_back();
        longest = std::max(longest, name.size());
        at += 46 + n + u16(at + 30) + u16(at + 32);
    }
    return longest;
}

// C:\ev-install\len\<...>, exactly n characters long.
static std::wstring folder_of(size_t n)
{
    std::wstring d = scratch(L"len");
    while (d.size() < n)
        d += d.size() + 1 < n ? L"\\" + std::wstring(std::min<size_t>(n - d.size() - 1, 120), L'x') : L"y";
    return d;
}

TEST_F(FolderLength, AsLongAsThePayloadAllowsInstallsAndOneMoreIsRefused)
{
    size_t longest = 0;
    for (int id : {101, 102, 104})
        longest = std::max(longest, longest_entry(resource_bytes(setup_exe(), id)));
    // MAX_PATH units hold the folder, a backslash, the entry and the terminator.
    const size_t most = 260 - 2 - longest;
    wchar_t want[16] = L"";
    if (GetEnvironmentVariableW(L"EV_FOLDER_MAX", want, 16)) {
        EXPECT_EQ(std::to_wstring(most), want) << "the packer's rule";
    }
    ASSERT_GE(longest, 35u) << "Setup's own longest name would then set the limit";
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
    const std::wstring refused = std::wstring(temp) + L"EmberveilSetup-refused.txt";

    // Past MAX_PATH the text as given is refused too, never cut into a shorter folder.
    for (size_t n : {most, most + 1, (size_t)300}) {
        SCOPED_TRACE(n);
        const std::wstring dir = folder_of(n);
        ASSERT_EQ(n, dir.size());
        DeleteFileW(refused.c_str());
        Outcome r = install(disc_eu(), dir);
        ASSERT_TRUE(r.exited) << utf8(r.box);
        if (n == most) {
            EXPECT_EQ(0u, r.code) << r.log;
            EXPECT_TRUE(has_file(join(dir, L"Emberveil Launcher.exe")));
        } else {
            EXPECT_EQ(1u, r.code) << r.log;
            EXPECT_FALSE(has_dir(scratch(L"len"))) << "an install folder was made";
            EXPECT_EQ("This install folder's path is too long: it may be at most " + std::to_string(most) +
                          " characters long. Choose a shorter one, for example C:\\Games\\Emberveil.\r\n",
                      read_file(refused));
        }
        tree_remove(scratch(L"len"));
    }
    DeleteFileW(refused.c_str());
}
