// Cancelling a whole install while a script and the programs it started are
// running, by the main button and by closing the window and answering Yes.
#include "ids.h"
#include "install.h"

#include <gtest/gtest.h>

#define GONE_MS 5000

static const Settings k_player = {"[video]\r\nfullscreen=1\r\n", "[keys]\r\nleft=A\r\nright=D\r\n"};

struct CancelCase {
    const char *name;
    bool by_close;                  // close + Yes, else the main button
    const wchar_t *hook;            // the script hook that keeps programs running
    std::vector<const char *> kids; // the demo tools it starts, each printing its pid
    int step;                       // the step that is running
};

// gtest names a failing row by its name rather than by its bytes.
static void PrintTo(const CancelCase &c, std::ostream *os)
{
    *os << c.name;
}

static const CancelCase k_cancel[] = {
    {"ButtonWhileTranslating", false, L"EV_DEMO_LIFT_HANG", {"python"}, 3},
    {"CloseAndYesWhileCompiling", true, L"EV_DEMO_BUILD_HANG", {"ninja", "zig"}, 4},
};

class Cancel : public InstallCase, public ::testing::WithParamInterface<CancelCase> {
protected:
    std::vector<HANDLE> procs_;

    void TearDown() override
    {
        for (HANDLE h : procs_) {
            TerminateProcess(h, 1); // only if the test failed and left one behind
            CloseHandle(h);
        }
    }

    void watch(DWORD pid, const char *what)
    {
        HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        ASSERT_NE((HANDLE)NULL, h) << what << " " << pid;
        procs_.push_back(h);
    }
};

TEST_P(Cancel, EndsScriptAndChildrenAndExits2WithTheSettingsKept)
{
    const CancelCase &c = GetParam();
    const std::wstring dir = scratch(widen(c.name));
    ASSERT_TRUE(seed_earlier_install(dir, k_player));
    Hooks hooks(Hooks::Vars{{c.hook, L"1"}});
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir, true).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));

    // Wait until every program the script started is running and printing.
    std::string log;
    for (const char *kid : c.kids) {
        std::string prefix = std::string("demo placeholder for ") + kid + ": still running, pid ";
        ASSERT_TRUE(wait_log(dir, prefix, RUN_MS)) << kid;
        log = log_text(dir);
        ASSERT_NO_FATAL_FAILURE(watch(number_after(log, prefix), kid));
    }
    std::vector<DWORD> ps = children(drv_pid(), L"powershell.exe");
    ASSERT_EQ(1u, ps.size());
    ASSERT_NO_FATAL_FAILURE(watch(ps[0], "powershell"));

    if (c.by_close) {
        ASSERT_TRUE(drv_close());
        HWND box = drv_msgbox(EXIT_MS);
        ASSERT_NE((HWND)NULL, box);
        wchar_t t[256] = L"";
        drv_msgbox_text(box, t, 256);
        EXPECT_STREQ(L"Cancel the installation?", t);
        ASSERT_TRUE(drv_msgbox_press(box, IDYES));
    } else {
        ASSERT_EQ(L"Cancel", control_text(ID_GO));
        ASSERT_TRUE(drv_click(ID_GO));
    }
    Outcome r = finish_run(dir, EXIT_MS);
    ASSERT_TRUE(r.exited) << "still running after the cancel; " << utf8(r.box);
    EXPECT_EQ(2u, r.code);
    for (HANDLE h : procs_)
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, GONE_MS)) << "a program of the script outlived the cancel";

    expect_settings(dir, k_player);
    EXPECT_EQ(std::string::npos, r.log.find("FAILED"));
    std::vector<std::string> want = step_lines(disc_eu(), dir, c.step);
    want.push_back("Cancelled after ~ s");
    expect_lines(r.log, want);
}

INSTANTIATE_TEST_SUITE_P(Rows, Cancel, ::testing::ValuesIn(k_cancel),
                         [](const ::testing::TestParamInfo<CancelCase> &i) { return std::string(i.param.name); });
