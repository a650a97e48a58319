// The stages' file helpers, where a player's settings or a planted file could
// be lost or followed, the paths tar.exe can be given, the sweep of archives
// that killed Setups left, and the PowerShell command line at the longest folder.
#include "stages/stages.h"
#include "unit.h"
#include <gtest/gtest.h>
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
        wchar_t d[MAX_PATH];
        test_dir(L"files", d);
        dir = d;
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

// What reaches a program with a narrow main unchanged under the test prefix's
// ANSI code page, 1252: what it holds, and nothing it would best-fit.
TEST(TarPaths, OnlyWhatTheCodePageHoldsIsGivenAsItIs)
{
    ASSERT_EQ(1252u, GetACP()) << "these rows are those of code page 1252";
    const struct {
        const wchar_t *path;
        int safe;
    } rows[] = {
        {L"C:\\Games\\Emberveil", 1},
        {L"C:\\Users\\Andr\u00E9\\AppData\\Local\\Temp\\", 1},
        {L"D:\\Spiele\\\u00C9mberveil \u20AC", 1}, // the euro sign is in 1252
        {L"C:\\Users\\\u0141ukasz\\AppData\\Local\\Temp\\", 0},
        {L"D:\\Spiele\\\u0112mberveil", 0}, // best fit would make it an E
        {L"C:\\\u6E38\u620F\\Emberveil", 0},
        {L"C:\\Games\\\u0100", 0},
        {L"C:\\Games\\\U0001F3AE", 0}, // a surrogate pair
        {L"", 1},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.safe, ansi_safe(r.path)) << r.path;
}

// A process that has ended, kept as a handle so that its id isn't reused, and
// one that runs (suspended) until the test ends it.
struct Proc {
    PROCESS_INFORMATION pi = {};
    bool start(bool run)
    {
        wchar_t cmd[MAX_PATH + 32], sys[MAX_PATH];
        GetSystemDirectoryW(sys, MAX_PATH);
        swprintf(cmd, MAX_PATH + 32, L"\"%ls\\cmd.exe\" /c exit 0", sys);
        STARTUPINFOW si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        ZeroMemory(&pi, sizeof pi);
        if (!CreateProcessW(NULL, cmd, NULL, NULL, FALSE, run ? 0 : CREATE_SUSPENDED, NULL, NULL, &si, &pi))
            return false;
        return !run || WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    }
    ~Proc()
    {
        if (pi.hProcess) {
            TerminateProcess(pi.hProcess, 0);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
};

// Only files with the names Setup gives its archives, of Setups no longer
// running, go; a folder or a link of such a name stays, and so does what the
// link leads to.
TEST(Leftovers, OnlyArchivesOfEndedSetupsAreSwept)
{
    test_init();
    Proc ended, running;
    ASSERT_TRUE(ended.start(true));
    ASSERT_TRUE(running.start(false));
    const std::wstring dead = std::to_wstring(ended.pi.dwProcessId), live = std::to_wstring(running.pi.dwProcessId),
                       self = std::to_wstring(GetCurrentProcessId());
    wchar_t d[MAX_PATH];
    test_dir(L"sweep", d);
    const std::wstring root = d, temp = root + L"\\temp\\", outside = root + L"\\outside";
    const struct {
        std::wstring name;
        bool gone;
    } files[] = {
        {L"emberveil_setup_" + dead + L"_0.zip", true},
        {L"EMBERVEIL_SETUP_" + dead + L"_2_7.ZIP", true},
        {L"emberveil_setup_" + live + L"_1.zip", false},
        {L"emberveil_setup_" + self + L"_0.zip", false},
        {L"emberveil_setup_" + dead + L"_0.zip.part", false},
        {L"emberveil_setup_" + dead + L"_0.zipx", false},
        {L"emberveil_setup_" + dead + L"_5.zip", false},
        {L"my emberveil_setup_" + dead + L"_0.zip", false},
    };
    for (const auto &f : files)
        ASSERT_TRUE(put_file(temp + f.name, "PK"));
    const std::wstring folder = temp + L"emberveil_setup_" + dead + L"_1.zip";
    ASSERT_TRUE(put_file(folder + L"\\inside.txt", "inside"));
    const std::wstring link = temp + L"emberveil_setup_" + dead + L"_2.zip";
    ASSERT_TRUE(put_file(outside + L"\\precious.zip", "precious"));
    ASSERT_TRUE(make_link(link, outside, NULL));

    sweep_leftovers(temp.c_str());

    for (const auto &f : files)
        EXPECT_EQ(!f.gone, GetFileAttributesW((temp + f.name).c_str()) != INVALID_FILE_ATTRIBUTES) << f.name;
    EXPECT_EQ("inside", read_file(folder + L"\\inside.txt"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(link.c_str())) << "the link was removed";
    EXPECT_EQ("precious", read_file(outside + L"\\precious.zip"));
}

} // namespace
