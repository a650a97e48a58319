// Installs that fail, one row each: the failing step, its message and its
// advice must reach the failure view and the log, "/test /go" must exit 1,
// and what the step leaves behind must be what the player can live with.
#include "ids.h"
#include "install.h"

#include <gtest/gtest.h>
#include <memory>

static const wchar_t *const SEE_LOG = L"The details are in logs\\install.log in the install folder.";
static const wchar_t *const UNPACK_MSG = L"The recompiler couldn't be unpacked.";
static const wchar_t *const UNPACK_ADV = L"Check that the folder is writable and the drive has space, then try again.";
static const wchar_t *const COMPILE_MSG = L"The game couldn't be compiled.";

static const Settings k_player = {"[audio]\r\nmusic=40\r\n", "[keys]\r\nup=Up\r\n"};

static const wchar_t *const k_steps[] = {
    L"", L"Step 1 of 5: Unpacking", L"Step 2 of 5: Copying the game files",
    L"Step 3 of 5: Translating the game's code", L"Step 4 of 5: Compiling",
};

// What a row checks beyond the texts, after the "/test /go" run.
typedef void (*After)(const std::wstring &dir, const Outcome &r);

static void before(const std::string &log, const char *first, const char *second)
{
    size_t a = log.find(first), b = log.find(second);
    ASSERT_NE(std::string::npos, a) << first;
    ASSERT_NE(std::string::npos, b) << second;
    EXPECT_LT(a, b) << first << " / " << second;
}

static void lift_output_first(const std::wstring &, const Outcome &r)
{
    before(r.log, "  main: tools.recomp\r\n", "recompile: the translation failed (EV_DEMO_FAIL_LIFT)\r\n");
    before(r.log, "recompile: the translation failed", "FAILED: ");
}

static void both_errors_logged(const std::wstring &, const Outcome &r)
{
    before(r.log, "src\\game\\main.c(12): error C2065", "src\\game\\render.c(30): error C2143");
    before(r.log, "src\\game\\render.c(30): error C2143", "FAILED: ");
}

static void built_without_launcher(const std::wstring &dir, const Outcome &)
{
    EXPECT_TRUE(has_file(join(dir, L"build\\Release\\emberveil.exe")));
    EXPECT_FALSE(has_file(join(dir, L"Emberveil Launcher.exe")));
}

static void stamp_behind_unended_line(const std::wstring &, const Outcome &r)
{
    // The tool's last line had no line end: the next line's stamp stands right behind it.
    const std::string last = "unexpected end-of-file found";
    size_t at = r.log.find(last + "[");
    ASSERT_NE(std::string::npos, at) << r.log;
    EXPECT_EQ(0, r.log.compare(at + last.size() + 11, 8, "FAILED: ")) << r.log.substr(at, 60);
}

static void late_line_before_failure(const std::wstring &, const Outcome &r)
{
    before(r.log, "build: failed, a compiler is still writing", "src\\game\\late.c(7): error C2001");
    before(r.log, "src\\game\\late.c(7): error C2001: printed after the script ended\r\n", "FAILED: ");
}

static void nothing_touched(const std::wstring &dir, const Outcome &)
{
    EXPECT_EQ("an earlier zig", read_file(join(dir, L"toolchain\\zig\\zig.exe")));
    EXPECT_EQ("# an earlier install's build script\r\n", read_file(join(dir, L"scripts\\build.ps1")));
    expect_settings(dir, k_player);
}

static void half_unpacked(const std::wstring &dir, const Outcome &r)
{
    EXPECT_TRUE(has_file(join(dir, L"scripts\\recompile.ps1"))); // the project archive went in
    EXPECT_FALSE(has_dir(join(dir, L"external\\tidewright")));
    EXPECT_FALSE(has_dir(join(dir, L"toolchain"))); // the old tools gone, the new ones never unpacked
    EXPECT_FALSE(has_file(join(dir, L"mkb.default.ini")));
    expect_settings(dir, k_player);
    EXPECT_TRUE(temp_archives(r.pid).empty());
}

struct FailCase {
    const char *name;
    Hooks::Vars hooks;      // a value "evchild" stands for the test suite's evchild.exe
    const wchar_t *variant; // a Setup of this folder with a broken payload, or null
    bool no_tar;
    bool earlier;           // installs over an earlier install's folder
    int step;               // the step that fails
    const wchar_t *msg, *advice;
    After after;
};

// gtest names a failing row by its name rather than by its bytes.
static void PrintTo(const FailCase &c, std::ostream *os)
{
    *os << c.name;
}

static const FailCase k_fail[] = {
    {"TranslationExits1", {{L"EV_DEMO_FAIL_LIFT", L"1"}}, NULL, false, false, 3,
     L"The game's code couldn't be translated.", SEE_LOG, lift_output_first},
    {"BuildPrintsTwoErrors", {{L"EV_DEMO_BUILD_FAIL", L"1"}}, NULL, false, false, 4, COMPILE_MSG,
     L"src\\game\\main.c(12): error C2065: 'x': undeclared identifier\n\nThe details are in logs\\install.log in "
     L"the install folder.",
     both_errors_logged},
    {"BuildLeavesNoLauncher", {{L"EV_DEMO_NO_LAUNCHER", L"1"}}, NULL, false, false, 4,
     L"The build finished without the launcher.", SEE_LOG, built_without_launcher},
    {"LastErrorLineHasNoLineEnd", {{L"EV_DEMO_ERROR_NO_EOL", L"1"}}, NULL, false, false, 4, COMPILE_MSG,
     L"src\\launcher\\launcher.c(3): fatal error C1004: unexpected end-of-file found\n\nThe details are in "
     L"logs\\install.log in the install folder.",
     stamp_behind_unended_line},
    {"ErrorPrintedAfterTheScriptEnded", {{L"EV_DEMO_LATE_CHILD", L"evchild"}}, NULL, false, false, 4, COMPILE_MSG,
     L"src\\game\\late.c(7): error C2001: printed after the script ended\n\nThe details are in logs\\install.log "
     L"in the install folder.",
     late_line_before_failure},
    {"NoTarExe", {}, NULL, true, true, 1, L"This installer needs Windows 10 (version 1803) or newer.", L"",
     nothing_touched},
    {"PayloadWithoutToolkit", {}, L"setup_no_toolkit.exe", false, true, 1, UNPACK_MSG, UNPACK_ADV, half_unpacked},
    {"PayloadWithEmptyToolkit", {}, L"setup_empty_toolkit.exe", false, true, 1, UNPACK_MSG, UNPACK_ADV,
     half_unpacked},
};

class Failure : public InstallCase, public ::testing::WithParamInterface<FailCase> {
protected:
    std::wstring dir_;

    // A fresh folder for one run, over an earlier install's files when the row says so.
    void fresh(const FailCase &c)
    {
        dir_ = scratch(widen(c.name));
        if (c.earlier) {
            ASSERT_TRUE(seed_earlier_install(dir_, k_player));
        }
    }
};

static Hooks::Vars resolved(const Hooks::Vars &in)
{
    Hooks::Vars out = in;
    for (auto &v : out)
        if (v.second == L"evchild")
            v.second = child_exe();
    return out;
}

TEST_P(Failure, EndsWithItsTextsInTheLogAndExitCode1)
{
    const FailCase &c = GetParam();
    std::wstring exe = c.variant ? own_exe(c.variant) : setup_exe();
    // The variant really is broken the way the row says.
    if (c.variant) {
        ASSERT_EQ(wcscmp(c.variant, L"setup_no_toolkit.exe") ? 0 : -1, resource_size(exe, 102));
    }
    std::unique_ptr<TarAside> no_tar(c.no_tar ? new TarAside(NULL) : NULL);
    if (no_tar) {
        ASSERT_TRUE(no_tar->in_place());
    }
    Hooks hooks(resolved(c.hooks));
    ASSERT_NO_FATAL_FAILURE(fresh(c));

    Outcome r = install(disc_eu(), dir_, true, exe.c_str());
    ASSERT_TRUE(r.exited) << utf8(r.box);
    EXPECT_EQ(1u, r.code) << r.log;
    std::vector<std::string> want = step_lines(disc_eu(), dir_, c.step);
    want.push_back("FAILED: " + utf8(c.msg) + " " + utf8(c.advice));
    want.push_back("Failed after ~ s");
    expect_lines(r.log, want);
    c.after(dir_, r);
}

TEST_P(Failure, ShowsTheFailureView)
{
    const FailCase &c = GetParam();
    std::wstring exe = c.variant ? own_exe(c.variant) : setup_exe();
    std::unique_ptr<TarAside> no_tar(c.no_tar ? new TarAside(NULL) : NULL);
    Hooks hooks(resolved(c.hooks));
    ASSERT_NO_FATAL_FAILURE(fresh(c));

    ASSERT_TRUE(drv_start(exe.c_str(), install_args(disc_eu(), dir_, false).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    ASSERT_TRUE(drv_wait_text(ID_GO, L"Back", RUN_MS)) << utf8(control_text(ID_GO));
    EXPECT_EQ(k_steps[c.step], control_text(ID_STEP));
    EXPECT_EQ(c.advice, control_text(ID_DETAIL));
    EXPECT_EQ(L"Failed", status_text(0));
    EXPECT_TRUE(glob("~:##", utf8(status_text(1)))) << utf8(status_text(1));
    EXPECT_FALSE(drv_bar_visible());
    // The message is the panel's subtitle, under its title.
    Shot shot;
    ASSERT_TRUE(take_shot(artifact(L"failure-" + widen(c.name) + L".bmp"), &shot));
    EXPECT_TRUE(painted(shot, L"Installation failed", TITLE_FONT, INK, 96));
    EXPECT_TRUE(painted(shot, lead(c.msg).c_str(), NOTE_FONT, GREY, 96)) << utf8(lead(c.msg));
    // A failed install writes no registry value, even outside test mode.
    EXPECT_FALSE(read_install_value().found);
    ASSERT_TRUE(drv_close());
    DWORD code = 99;
    ASSERT_TRUE(drv_wait_exit(EXIT_MS, &code));
    EXPECT_EQ(0u, code);
    std::string log = log_text(dir_);
    EXPECT_NE(std::string::npos, log.find("FAILED: " + utf8(c.msg) + " " + utf8(c.advice) + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Rows, Failure, ::testing::ValuesIn(k_fail),
                         [](const ::testing::TestParamInfo<FailCase> &i) { return std::string(i.param.name); });
