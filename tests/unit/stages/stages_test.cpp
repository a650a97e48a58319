// The stages' file helpers, where a player's settings or a planted file could
// be lost or followed, and the PowerShell command line at the longest folder.
#include "stages/stages.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>

namespace {

std::string bytes_of(const std::wstring &path)
{
    DWORD n = 0;
    unsigned char *b = slurp(path.c_str(), &n);
    std::string s = b ? std::string((const char *)b, n) : "<none>";
    HeapFree(GetProcessHeap(), 0, b);
    return s;
}

class Files : public ::testing::Test {
protected:
    std::wstring dir;
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir = std::wstring(tmp) + L"evstages-" + std::to_wstring(GetCurrentProcessId());
        SHCreateDirectoryExW(NULL, dir.c_str(), NULL);
    }
    void TearDown() override
    {
        for (const wchar_t *f : {L"\\new.zip", L"\\planted.zip", L"\\none.zip", L"\\mkb.ini", L"\\mkb.ini.part",
                                 L"\\folder\\x", L"\\folder.part"})
            DeleteFileW((dir + f).c_str());
        RemoveDirectoryW((dir + L"\\folder").c_str());
        RemoveDirectoryW(dir.c_str());
    }
    std::wstring at(const wchar_t *name) { return dir + L"\\" + name; }
};

TEST_F(Files, ResourceGoesOnlyIntoANewFile)
{
    const std::string want = "The bytes of a resource the stage helpers write out.\r\n";
    EXPECT_EQ(write_resource(101, at(L"new.zip").c_str()), 1);
    EXPECT_EQ(bytes_of(at(L"new.zip")), want);

    // Something already there under the name is neither reused nor overwritten.
    spill(at(L"planted.zip").c_str(), "planted", 7);
    EXPECT_EQ(write_resource(101, at(L"planted.zip").c_str()), 0);
    EXPECT_EQ(bytes_of(at(L"planted.zip")), "planted");

    // A resource the program doesn't carry leaves no file behind.
    EXPECT_EQ(write_resource(102, at(L"none.zip").c_str()), 0);
    EXPECT_EQ(GetFileAttributesW(at(L"none.zip").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, SafeSpillReplacesWholeOrNotAtAll)
{
    const std::wstring ini = at(L"mkb.ini"), part = at(L"mkb.ini.part");
    spill(ini.c_str(), "a long default layout\r\n", 23);
    const struct {
        const char *bytes;
        DWORD n;
    } rows[] = {{"short\r\n", 7}, {"", 0}, {"[mouse]\r\nsensitivity=3\r\n", 24}};
    for (const auto &r : rows) {
        EXPECT_EQ(spill_safe(ini.c_str(), r.bytes, r.n), 1);
        EXPECT_EQ(bytes_of(ini), std::string(r.bytes, r.n));
        EXPECT_EQ(GetFileAttributesW(part.c_str()), INVALID_FILE_ATTRIBUTES) << "the .part file stayed";
    }
    // A target that can't be replaced (a folder with a file in it) stays as it was.
    const std::wstring folder = at(L"folder");
    CreateDirectoryW(folder.c_str(), NULL);
    spill((folder + L"\\x").c_str(), "x", 1);
    EXPECT_EQ(spill_safe(folder.c_str(), "new", 3), 0);
    EXPECT_EQ(bytes_of(folder + L"\\x"), "x");
    EXPECT_EQ(GetFileAttributesW(at(L"folder.part").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PowerShell, StartedByItsSystemPathEvenFromTheLongestFolder)
{
    wchar_t sys[MAX_PATH];
    GetSystemDirectoryW(sys, MAX_PATH);
    const std::wstring head = L"\"" + std::wstring(sys) + L"\\WindowsPowerShell\\v1.0\\powershell.exe\" "
                              L"-NoProfile -ExecutionPolicy RemoteSigned -File \"";
    std::wstring longest = L"C:\\Games\\";
    while (longest.size() < MAX_PATH - 1)
        longest += L'x';
    for (const std::wstring &d : {std::wstring(L"C:\\Games\\Emberveil"), std::wstring(L"D:\\My Games\\Ember veil"), longest}) {
        wcscpy(s_dir, d.c_str());
        for (const wchar_t *script : {L"scripts\\recompile.ps1", L"scripts\\build.ps1"}) {
            wchar_t cmd[2 * MAX_PATH];
            ps_command(cmd, 2 * MAX_PATH, script);
            EXPECT_EQ(std::wstring(cmd), head + d + L"\\" + script + L"\"") << d.size();
        }
    }
    s_dir[0] = 0;
}

} // namespace
