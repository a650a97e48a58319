// Installs whatever characters the paths hold, with Windows' own tar.exe, which
// reads its arguments through the ANSI code page (1252 in the test prefix): an
// install folder and a disc folder named in several scripts, a temporary folder
// of a user whose name the code page can't hold, and what the failure view and
// the log show of such paths.
#include "ids.h"
#include "install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

static const Settings k_player = {"[video]\r\nwidth=1920\r\n; \xC5\x81ukasz's own\r\n", "[keys]\r\nfire=\xC4\x98\r\n"};

// Polish, Chinese, Greek and a Latin letter 1252 lacks, with blanks between.
static const wchar_t *const k_many = L"\u0112mberveil \u6E38\u620F \u0141\u00F3d\u017A \u03A9\u03BC\u03AD\u03B3\u03B1";

// The start line names both folders as they are, in UTF-8.
static void expect_start_line(const Outcome &r, const std::wstring &disc, const std::wstring &dir)
{
    std::vector<std::string> lines = installer_lines(r.log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Emberveil installer: game files " + utf8(disc) + " (region 4), install folder " + utf8(dir),
              lines[0]);
}

typedef InstallCase Paths;

TEST_F(Paths, InstallAndReinstallIntoAFolderNamedInSeveralScripts)
{
    std::wstring dir = scratch(k_many);
    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    expect_start_line(r, disc_eu(), dir);
    for (const wchar_t *p : {L"scripts\\recompile.ps1", L"external\\tidewright\\src", L"toolchain\\zig\\zig.exe",
                             L"game\\default.xbe", L"build\\Release\\emberveil.exe", L"Emberveil Launcher.exe"})
        EXPECT_TRUE(has_file(join(dir, p)) || has_dir(join(dir, p))) << utf8(p);
    EXPECT_TRUE(temp_archives(0, dir).empty());
    EXPECT_TRUE(temp_archives(r.pid).empty());

    ASSERT_TRUE(put_settings(dir, k_player));
    r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    expect_settings(dir, k_player);
    EXPECT_TRUE(temp_archives(0, dir).empty());
    EXPECT_TRUE(temp_archives(r.pid).empty());
}

// The temporary folder of a Windows user named outside the code page. Setups
// take it from their environment; Wine's processes started afresh read it from
// HKCU\Environment: both are set for the test and put back after it.
class UserTemp {
public:
    explicit UserTemp(const std::wstring &dir) : env_(Hooks::Vars{{L"TEMP", dir}, {L"TMP", dir}})
    {
        for (const wchar_t *name : {L"TEMP", L"TMP"}) {
            wchar_t v[MAX_PATH] = L"";
            DWORD size = sizeof v;
            bool had = RegGetValueW(HKEY_CURRENT_USER, L"Environment", name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                                    RRF_NOEXPAND, NULL, v, &size) == ERROR_SUCCESS;
            reg_.push_back(had ? v : L"");
            RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", name, REG_SZ, dir.c_str(),
                            (DWORD)((dir.size() + 1) * sizeof(wchar_t)));
        }
    }
    ~UserTemp()
    {
        const wchar_t *names[] = {L"TEMP", L"TMP"};
        for (size_t i = 0; i < 2; i++) {
            if (reg_[i].empty())
                RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", names[i]);
            else
                RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", names[i], REG_EXPAND_SZ, reg_[i].c_str(),
                                (DWORD)((reg_[i].size() + 1) * sizeof(wchar_t)));
        }
    }
    UserTemp(const UserTemp &) = delete;
    UserTemp &operator=(const UserTemp &) = delete;

private:
    Hooks env_;
    std::vector<std::wstring> reg_;
};

TEST_F(Paths, ATemporaryFolderOfAUserNamedOutsideTheCodePageIsLeftEmpty)
{
    std::wstring temp = scratch(L"Users\\\u0141ukasz \u674E\\AppData\\Local\\Temp");
    ASSERT_TRUE(make_dir(temp));
    std::wstring dir = scratch(L"usertemp");
    Outcome r;
    {
        UserTemp user(temp);
        ASSERT_EQ(temp + L"\\", temp_dir());
        r = install(disc_eu(), dir);
    }
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    EXPECT_TRUE(has_file(join(dir, L"toolchain\\zig\\zig.exe")));
    EXPECT_TRUE(temp_archives(0, dir).empty());
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(temp, L"*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    std::vector<std::wstring> left;
    do
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
            left.push_back(fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_TRUE(left.empty()) << utf8(left.empty() ? L"" : left[0]);
}

// A temporary folder gone since TEMP named it (deleted by a cleaner, say): the
// archives go into the install folder, and the earlier install's tools are
// replaced rather than lost with the unpacking.
TEST_F(Paths, ATemporaryFolderThatIsGoneLeavesTheArchivesToTheInstallFolder)
{
    const std::wstring gone = scratch(L"gone\\Temp"), dir = scratch(L"gonetemp");
    ASSERT_TRUE(seed_earlier_install(dir, k_player));
    Outcome r;
    {
        UserTemp user(gone);
        ASSERT_EQ(gone + L"\\", temp_dir());
        r = install(disc_eu(), dir);
    }
    ASSERT_TRUE(r.exited) << utf8(r.box);
    EXPECT_EQ(0u, r.code) << r.log;
    const std::string zig = read_file(join(dir, L"toolchain\\zig\\zig.exe"));
    EXPECT_TRUE(zig.size() > 2 && zig.substr(0, 2) == "MZ") << "the build tools are gone";
    EXPECT_EQ(k_player.emberveil, read_file(join(dir, L"emberveil.ini")));
    EXPECT_TRUE(temp_archives(0, dir).empty());
    EXPECT_FALSE(has_dir(gone));
    std::string line = "the temporary folder " + utf8(gone) + "\\ can't take the archives: they go into the install folder";
    std::vector<std::string> lines = installer_lines(r.log);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), line)) << r.log;
}

TEST_F(Paths, ADiscInAFolderNamedInSeveralScriptsIsMeasuredCheckedAndCopied)
{
    std::wstring disc = scratch(L"\u0414\u0438\u0441\u043A \u5149\u76D8 \u0141");
    ASSERT_TRUE(disc_eu_in(disc));
    std::wstring dir = scratch(L"fromdisc");
    Outcome r = install(disc, dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    expect_start_line(r, disc, dir);
    std::string copy = "copy " + utf8(disc) + " -> " + utf8(join(dir, L"game")) + " (" +
                       std::to_string(disc_bytes(disc_eu())) + " bytes)";
    std::vector<std::string> lines = installer_lines(r.log);
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), copy)) << copy;
    EXPECT_EQ(read_file(join(disc, L"default.xbe")), read_file(join(dir, L"game\\default.xbe")));
    EXPECT_EQ(read_file(join(disc, L"corvane\\filesys.d10")), read_file(join(dir, L"game\\corvane\\filesys.d10")));
}

TEST_F(Paths, TheFailureViewAndTheLogShowSuchAPathAsItIs)
{
    std::wstring dir = scratch(k_many);
    // The build names a file of the install folder by its full path in its error.
    Hooks hooks(Hooks::Vars{{L"EV_DEMO_ERROR_PATH", dir}});
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir, false).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    ASSERT_TRUE(drv_wait_text(ID_GO, L"Back", RUN_MS)) << utf8(control_text(ID_GO));
    const std::wstring advice = dir + L"\\src\\game\\main.c(12): error C2065: 'x': undeclared identifier\n\n"
                                      L"The details are in logs\\install.log in the install folder.";
    EXPECT_EQ(advice, control_text(ID_DETAIL));
    drv_shot(artifact(L"failure-path.bmp").c_str());
    // Closing the failure view is a normal end of Setup.
    ASSERT_TRUE(drv_close());
    DWORD code = 99;
    ASSERT_TRUE(drv_wait_exit(EXIT_MS, &code));
    EXPECT_EQ(0u, code);
    Outcome r;
    r.log = log_text(dir);
    expect_start_line(r, disc_eu(), dir);
    std::vector<std::string> lines = installer_lines(r.log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("FAILED: The game couldn't be compiled. " + utf8(advice), lines[lines.size() - 2]);
}

// The command lines Setup gave tar.exe, one per archive, as badtar's spy wrote
// them down while the real tar did the unpacking.
static std::vector<std::string> tar_lines(const std::wstring &spy)
{
    std::vector<std::string> out;
    std::string all = read_file(spy);
    size_t p = 0, e;
    while ((e = all.find("\r\n", p)) != std::string::npos) {
        out.push_back(all.substr(p, e - p));
        p = e + 2;
    }
    return out;
}

// A path that the code page holds keeps the exact command line; one that it
// can't hold is given to tar in a form it reads as it is: the install folder
// as tar's working folder ".", an archive by its name in the install folder.
TEST_F(Paths, TarIsGivenEachPathInAFormItReadsAsItIs)
{
    const std::wstring own = scratch(L"Temp \u0141ukasz \u674E");
    ASSERT_TRUE(make_dir(own));
    const struct {
        const char *what;
        const wchar_t *dir;
        bool own_temp;       // the temporary folder is one the code page can't hold
        const char *archive; // "TEMP" for the temporary folder's full path, "" for the name alone
        const char *target;  // "DIR" for the install folder's full path
    } rows[] = {
        {"held by the code page", L"\u00C9mberveil \u00E9t\u00E9", false, "TEMP", "DIR"},
        {"install folder outside it", L"\u0141\u00F3d\u017A \u6E38\u620F", false, "TEMP", "."},
        {"temporary folder outside it", L"plain", true, "", "DIR"},
        {"both outside it", L"\u0112mberveil", true, "", "."},
    };
    const std::wstring spy = artifact(L"tar-spy.txt");
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        std::wstring dir = scratch(r.dir);
        DeleteFileW(spy.c_str());
        Outcome out;
        {
            BadTar bad;
            ASSERT_TRUE(bad.in_place());
            Hooks hooks(Hooks::Vars{{L"EV_TAR_SPY", spy}});
            std::unique_ptr<UserTemp> user(r.own_temp ? new UserTemp(own) : NULL);
            out = install(disc_eu(), dir);
        }
        ASSERT_TRUE(out.exited) << utf8(out.box);
        EXPECT_EQ(0u, out.code) << out.log;
        std::string temp = utf8(r.own_temp ? own + L"\\" : temp_dir());
        std::vector<std::string> got = tar_lines(spy);
        ASSERT_EQ(3u, got.size()) << read_file(spy);
        for (int i = 0; i < 3; i++) {
            std::string name = "emberveil_setup_" + std::to_string(out.pid) + "_" + std::to_string(i) + ".zip";
            std::string archive = std::string(r.archive) == "TEMP" ? temp + name : name;
            std::string target = std::string(r.target) == "DIR" ? utf8(dir) : r.target;
            EXPECT_EQ("\"" + utf8(system_tar()) + "\" -xmf \"" + archive + "\" -C \"" + target + "\"", got[i]);
        }
        EXPECT_TRUE(has_file(join(dir, L"toolchain\\zig\\zig.exe")));
        EXPECT_TRUE(temp_archives(0, dir).empty());
        EXPECT_TRUE(temp_archives(0, own).empty());
    }
}
