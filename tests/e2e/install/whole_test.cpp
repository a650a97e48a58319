// Whole installs that succeed, with the real Setup and the demo payload: a
// first install, and a first install followed by another from the same disc
// or from the other region's, an install outside test mode, the cutting of
// real tool output into lines, and a powershell.exe planted beside Setup.
#include "ids.h"
#include "install.h"

#include <gtest/gtest.h>
#include <regex>

#define HOLD_MS 2500 // the shortest hold of the scripts' hold hooks: the view is read within it

static const char *const k_done = "Done after ~ s";

// Every path a complete install leaves, and whether it is a folder.
static const struct {
    const wchar_t *path;
    bool dir;
} k_layout[] = {
    {L"scripts\\recompile.ps1", false},
    {L"scripts\\build.ps1", false},
    {L"emberveil.ini", false},
    {L"mkb.ini", false},
    {L"mkb.default.ini", false},
    {L"external\\tidewright", true},
    {L"external\\tidewright\\src", true},
    {L"toolchain", true},
    {L"toolchain\\zig\\zig.exe", false},
    {L"toolchain\\python\\python.exe", false},
    {L"toolchain\\cmake\\bin\\cmake.exe", false},
    {L"toolchain\\ninja\\ninja.exe", false},
    {L"toolchain\\licenses\\README.txt", false},
    {L"logs\\install.log", false},
    {L"game", true},
    {L"game\\default.xbe", false},
    {L"game\\Driving.xbe", false},
    {L"src\\recomp\\main\\gen", true},
    {L"src\\recomp\\driving\\gen", true},
    {L"build\\Release\\emberveil.exe", false},
    {L"Emberveil Launcher.exe", false},
    {L"install-info.txt", false},
};

// What the running view showed while a script held still.
struct Seen {
    std::wstring step, detail;
    int bar = -1;
};

// Once the log holds marker (a hold hook's line), waits while the script holds
// still for the detail line to read want and the bar to stand within lo..hi
// (each refresh moves the bar, then copies the texts), and reads the view.
static Seen seen_at(const std::wstring &dir, const char *marker, const wchar_t *want, int lo, int hi)
{
    Seen s;
    if (!wait_log(dir, marker, RUN_MS))
        return s;
    wait_until(
        [&] {
            s.detail = control_text(ID_DETAIL);
            s.bar = drv_progress();
            return s.detail == want && s.bar >= lo && s.bar <= hi;
        },
        HOLD_MS);
    s.step = control_text(ID_STEP);
    return s;
}

static std::vector<std::string> with(std::vector<std::string> v, const std::vector<std::string> &more)
{
    v.insert(v.end(), more.begin(), more.end());
    return v;
}

// Whole installs, each case into a folder of its own: a first install, a
// reinstall from the same disc, a reinstall from the other region's disc.
class WholeInstall : public InstallCase {
protected:
    const std::wstring dir_ = scratch(L"whole");
    // A first install into dir_ from the European disc; its outcome into r.
    void first(Outcome *r)
    {
        *r = install(disc_eu(), dir_);
        ASSERT_TRUE(r->exited) << utf8(r->box);
        ASSERT_EQ(0u, r->code) << r->log;
    }
};

TEST_F(WholeInstall, FirstInstallLeavesTheFullLayoutAndNothingOutsideTheFolder)
{
    Outcome r;
    ASSERT_NO_FATAL_FAILURE(first(&r));
    for (const auto &e : k_layout) {
        std::wstring p = join(dir_, e.path);
        EXPECT_TRUE(e.dir ? has_dir(p) : has_file(p)) << utf8(e.path);
    }
    EXPECT_FALSE(read_file(join(dir_, L"mkb.ini")).empty());
    EXPECT_EQ(read_file(join(dir_, L"mkb.ini")), read_file(join(dir_, L"mkb.default.ini")));
    std::string manifest = resource_bytes(setup_exe(), 103);
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(manifest, read_file(join(dir_, L"install-info.txt")));
    EXPECT_TRUE(files_ending(dir_, L".kept").empty());
    // "/test": neither the registry value nor the shortcut; and no archive left in the temporary folder.
    EXPECT_FALSE(read_install_value().found);
    EXPECT_FALSE(has_file(desktop_link()));
    EXPECT_TRUE(temp_archives(r.pid).empty());
    CopyFileW(join(dir_, L"logs\\install.log").c_str(), artifact(L"install.log").c_str(), FALSE);
}

TEST_F(WholeInstall, FirstInstallLogsEveryStepInOrderWithTheToolsOutputBetween)
{
    Outcome r;
    ASSERT_NO_FATAL_FAILURE(first(&r));
    const std::string &log = r.log;
    expect_lines(log, with(step_lines(disc_eu(), dir_, 5), {k_done}));
    // Each tool's output lies between its own step's line and the next one.
    static const struct {
        const char *text, *after, *before;
    } k_output[] = {
        {"  main: tools.xbe_parser\r\n", "Step 3 of 5", "Step 4 of 5"},
        {"demo placeholder for python", "Step 3 of 5", "Step 4 of 5"}, // a program the script started
        {"recompile: both executables translated\r\n", "Step 3 of 5", "Step 4 of 5"},
        {"demo placeholder for zig", "Step 4 of 5", "Step 5 of 5"},
        {"  launcher.c\r\n", "Step 4 of 5", "Step 5 of 5"},
        {"build: done\r\n", "Step 4 of 5", "Step 5 of 5"},
    };
    for (const auto &o : k_output) {
        size_t at = log.find(o.text), lo = log.find(o.after), hi = log.find(o.before);
        ASSERT_NE(std::string::npos, at) << o.text;
        EXPECT_LT(lo, at) << o.text;
        EXPECT_LT(at, hi) << o.text;
    }
}

TEST_F(WholeInstall, FirstInstallShowsTheTranslationToolThatRuns)
{
    Hooks hold(L"EV_DEMO_LIFT_HOLD", L"1");
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir_, true).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    // The bar stays within the translation stage's stretch of it, 0.18 to 0.60.
    Seen seen = seen_at(dir_, "recompile: holding", L"Writing the game's code as C", 180, 600);
    drv_shot(artifact(L"running-translating.bmp").c_str());
    Outcome r = finish_run(dir_, RUN_MS);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    EXPECT_EQ(0u, r.code) << r.log;
    EXPECT_EQ(L"Step 3 of 5: Translating the game's code", seen.step);
    EXPECT_EQ(L"Writing the game's code as C", seen.detail);
    EXPECT_GE(seen.bar, 180);
    EXPECT_LE(seen.bar, 600);
}

TEST_F(WholeInstall, ReinstallKeepsThePlayersFilesAndReplacesOnlyTheTools)
{
    Outcome r;
    ASSERT_NO_FATAL_FAILURE(first(&r));
    const std::string payload_mkb = read_file(join(dir_, L"mkb.ini"));
    const Settings player = {"[video]\r\nwidth=1280\r\nheight=720\r\n; the player's own\r\nvsync=0", ""};
    ASSERT_TRUE(put_settings(dir_, player));
    static const wchar_t *const k_extra[] = {L"saves\\slot1.sav", L"build\\Release\\old.obj", L"src\\notes.txt"};
    for (const wchar_t *e : k_extra)
        ASSERT_TRUE(put_file(join(dir_, e), "the player's"));
    ASSERT_TRUE(put_file(join(dir_, L"toolchain\\zig\\stale-tool.dll"), "an older tool"));

    Hooks hold(L"EV_DEMO_LIFT_HOLD", L"1");
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir_, true).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    // Unchanged inputs: the documents put the bar between 0.5958 and 0.60.
    Seen seen = seen_at(dir_, "recompile: holding", L"The game's code is already translated", 595, 600);
    r = finish_run(dir_, RUN_MS);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;

    expect_settings(dir_, player);
    EXPECT_EQ(payload_mkb, read_file(join(dir_, L"mkb.default.ini")));
    for (const wchar_t *e : k_extra)
        EXPECT_EQ("the player's", read_file(join(dir_, e))) << utf8(e);
    EXPECT_FALSE(has_file(join(dir_, L"toolchain\\zig\\stale-tool.dll")));
    EXPECT_TRUE(has_file(join(dir_, L"toolchain\\zig\\zig.exe")));

    // The skip segment near the stage's end, the step line kept.
    EXPECT_EQ(L"The game's code is already translated", seen.detail);
    EXPECT_EQ(L"Step 3 of 5: Translating the game's code", seen.step);
    EXPECT_GE(seen.bar, 595);
    EXPECT_LE(seen.bar, 600);
    EXPECT_NE(std::string::npos, r.log.find("  main: identify/abi/lift inputs unchanged, skipped"));
    // Same disc, untouched copy: nothing removed, and no game file read again.
    expect_lines(r.log, with(step_lines(disc_eu(), dir_, 5), {k_done}));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.log, m, std::regex("checked (\\d+) files against \\S+ \\((\\d+) by an earlier")));
    EXPECT_EQ(m[1].str(), m[2].str()) << "a checked file was read again";
}

TEST_F(WholeInstall, SwitchingToTheOtherRegionsDiscRemovesTheOldVideoFolder)
{
    Outcome r;
    ASSERT_NO_FATAL_FAILURE(first(&r));
    ASSERT_TRUE(has_dir(join(dir_, L"game\\corvane\\25_fps")));
    const Settings player = {"", "[keys]\r\nup=W\r\ndown=S\r\nfire=Space\r\n"};
    ASSERT_TRUE(put_settings(dir_, player));

    r = install(disc_us(), dir_);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;

    EXPECT_FALSE(has_dir(join(dir_, L"game\\corvane\\25_fps")));
    EXPECT_TRUE(has_dir(join(dir_, L"game\\corvane\\30_fps")));
    expect_settings(dir_, player);
    std::vector<std::string> want = step_lines(disc_us(), dir_, 2);
    want.push_back("removed " + utf8(dir_) + "\\game\\corvane\\25_fps (not on the disc)");
    want = with(want, check_lines());
    want.push_back("== Step 3 of 5: Translating the game's code ==");
    want.push_back("== Step 4 of 5: Compiling ==");
    want.push_back("== Step 5 of 5: Finishing ==");
    want.push_back(k_done);
    expect_lines(r.log, want);
}

// Installs into a folder of their own.
class OwnFolder : public InstallCase {
protected:
    std::wstring dir_;
};

TEST_F(OwnFolder, OutsideTestModeTheDoneViewRegistryValueAndShortcutAreWritten)
{
    dir_ = scratch(L"live");
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir_, false).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    EXPECT_TRUE(drv_checked(ID_SHORTCUT)); // the default: a shortcut is wanted
    ASSERT_TRUE(drv_wait_text(ID_STEP, L"Done", RUN_MS)) << utf8(control_text(ID_STEP));

    EXPECT_TRUE(glob("Took ~:##.", utf8(control_text(ID_DETAIL)))) << utf8(control_text(ID_DETAIL));
    EXPECT_EQ(L"Play", control_text(ID_GO));
    EXPECT_EQ(L"Installed", status_text(0));
    EXPECT_TRUE(drv_bar_visible());
    EXPECT_EQ(1000, drv_progress());
    drv_shot(artifact(L"done.bmp").c_str());

    RegValue v = read_install_value();
    ASSERT_TRUE(v.found);
    EXPECT_EQ((DWORD)REG_SZ, v.type);
    ASSERT_EQ((dir_.size() + 1) * sizeof(wchar_t), v.data.size());
    EXPECT_EQ(dir_, std::wstring((const wchar_t *)v.data.data()));
    EXPECT_EQ(0, ((const wchar_t *)v.data.data())[dir_.size()]);

    Link l = read_link(desktop_link());
    ASSERT_TRUE(l.loaded);
    EXPECT_EQ(join(dir_, L"Emberveil Launcher.exe"), l.target);
    EXPECT_EQ(dir_, l.folder);
    EXPECT_EQ(L"Z93: Emberveil", l.description);

    // The done view closes at once, as a normal end of Setup.
    ASSERT_TRUE(drv_close());
    DWORD code = 99;
    ASSERT_TRUE(drv_wait_exit(EXIT_MS, &code));
    EXPECT_EQ(0u, code);
    expect_lines(read_file(join(dir_, L"logs\\install.log")), with(step_lines(disc_eu(), dir_, 5), {k_done}));
}

TEST_F(OwnFolder, RealToolOutputIsCutIntoLinesAcrossReads)
{
    dir_ = scratch(L"lines");
    // A 1500-byte line shaped like a C file name whose first 1023 bytes are not
    // one, written in pieces; then "  main.c" in pieces with pauses between; the
    // build holds still before and after "  main.c".
    Hooks hooks(Hooks::Vars{{L"EV_DEMO_LONG_LINE", L"1"}, {L"EV_DEMO_SPLIT_CRLF", L"1"}, {L"EV_DEMO_BUILD_HOLD", L"1"}});
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir_, true).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    // The demo payload's C files, as the compile step counts them in the folder:
    // the translation's 5 of default.xbe and 3 of Driving.xbe, the toolkit's 4,
    // and the 9 of the project's own sources: 21. The nine files before the
    // long line count; the long line does not, nor does any piece of it. Then
    // "  main.c" counts once, joined from its pieces. The bar stands within the
    // compile step's stretch, 0.60 to 0.99, and moves on with the count.
    static const struct {
        const char *hold;
        const wchar_t *detail;
    } k_holds[] = {{"build: holding before", L"Compiled 9 of 21 code files"},
                   {"build: holding after", L"Compiled 10 of 21 code files"}};
    int last = 599;
    for (const auto &h : k_holds) {
        Seen s = seen_at(dir_, h.hold, h.detail, last + 1, 990);
        EXPECT_EQ(h.detail, s.detail) << h.hold;
        EXPECT_EQ(L"Step 4 of 5: Compiling", s.step);
        EXPECT_GT(s.bar, last) << h.hold;
        EXPECT_LE(s.bar, 990) << h.hold;
        last = s.bar;
        drv_shot(artifact(L"running.bmp").c_str());
    }

    Outcome r = finish_run(dir_, RUN_MS);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    // The log has every byte: the whole long line, and the pieces joined.
    std::string long_line = "src\\recomp\\main\\gen\\" + std::string(1478, 'x') + ".c";
    ASSERT_EQ(1500u, long_line.size());
    size_t at = r.log.find(long_line);
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ('\n', r.log[at - 1]);
    EXPECT_EQ(0, r.log.compare(at + long_line.size(), 2, "\r\n"));
    EXPECT_EQ(std::string::npos, r.log.find("x" + long_line));
    EXPECT_NE(std::string::npos, r.log.find("\n  main.c\r\n"));
    expect_lines(r.log, with(step_lines(disc_eu(), dir_, 5), {k_done}));
}

TEST_F(OwnFolder, APowershellBesideSetupIsNeverStarted)
{
    std::wstring downloads = scratch(L"downloads");
    dir_ = scratch(L"beside");
    std::wstring setup = join(downloads, L"EmberveilSetup.exe"), decoy = join(downloads, L"powershell.exe");
    std::wstring mark = join(downloads, L"planted-ran.txt");
    ASSERT_TRUE(make_dir(downloads));
    ASSERT_TRUE(CopyFileW(setup_exe().c_str(), setup.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(own_exe(L"planted\\powershell.exe").c_str(), decoy.c_str(), FALSE));
    // The decoy leaves its mark when it runs.
    DWORD code = 0;
    ASSERT_TRUE(drv_run(decoy.c_str(), L"-NoProfile", downloads.c_str(), EXIT_MS, &code));
    ASSERT_TRUE(has_file(mark));
    ASSERT_TRUE(DeleteFileW(mark.c_str()));

    // Started from that folder, as from a Downloads folder.
    Outcome r = install(disc_eu(), dir_, true, setup.c_str(), downloads.c_str());
    ASSERT_TRUE(r.exited) << utf8(r.box);
    EXPECT_EQ(0u, r.code) << r.log;
    EXPECT_FALSE(has_file(mark));
    EXPECT_EQ(std::string::npos, r.log.find("planted powershell.exe ran"));
    EXPECT_NE(std::string::npos, r.log.find("recompile: both executables translated"));
    EXPECT_NE(std::string::npos, r.log.find("build: done"));
}

// Files the player marked read-only (the settings, to keep the game from
// changing them; or the whole folder, which Explorer's check box does to every
// file in it): tar.exe can't replace such a file, so Setup clears the way. The
// settings come back with their bytes and their mark.
TEST_F(OwnFolder, ReadOnlyFilesInTheFolderDontStopAReinstall)
{
    dir_ = scratch(L"readonly");
    Outcome r = install(disc_eu(), dir_);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    const std::string payload_mkb = read_file(join(dir_, L"mkb.ini"));
    const Settings player = {"[video]\r\nwidth=3840\r\n", "[keys]\r\njump=X\r\n"};
    ASSERT_TRUE(put_settings(dir_, player));
    static const wchar_t *const k_marked[] = {L"emberveil.ini", L"mkb.ini", L"mkb.default.ini",
                                              L"scripts\\build.ps1", L"scripts\\recompile.ps1",
                                              L"external\\tidewright\\src\\runtime.c"};
    for (const wchar_t *m : k_marked) {
        std::wstring p = join(dir_, m);
        ASSERT_TRUE(SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY)) << utf8(m);
    }
    ASSERT_TRUE(put_file(join(dir_, L"scripts\\build.ps1.mine"), "")); // the folder holds more than the archive

    r = install(disc_eu(), dir_);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    expect_settings(dir_, player);
    for (const wchar_t *s : {L"emberveil.ini", L"mkb.ini"})
        EXPECT_TRUE(GetFileAttributesW(join(dir_, s).c_str()) & FILE_ATTRIBUTE_READONLY) << utf8(s);
    EXPECT_EQ(payload_mkb, read_file(join(dir_, L"mkb.default.ini")));
    EXPECT_EQ(read_file(join(dir_, L"scripts\\build.ps1")).substr(0, 26), "# Emberveil build script, ");
}
