// The worker frame with steps of the tests' own: the step order, where a
// failure or a cancel stops it, the result it posts, the log's first and last
// lines, the duration in whole seconds, and a second install's job and log.
#include "unit.h"
#include "engine/context.h"
#include "engine/log.h"
#include "engine/worker.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

// What each test step does when its turn comes.
enum { DO_OK, DO_FAIL, DO_CANCEL_OK, DO_FAIL_THEN_CANCEL, DO_CANCEL_THEN_FAIL };

std::vector<int> s_ran;
int s_plan[STEP_COUNT];
DWORD s_step_ms; // how far each step turns the clock

int step_body(int i)
{
    s_ran.push_back(i);
    s_now += s_step_ms;
    logw(L"step %d", i);
    switch (s_plan[i]) {
    case DO_FAIL:
        return fail(L"Step failed.", L"Try again.");
    case DO_CANCEL_OK:
        cancel_install();
        return R_OK;
    case DO_FAIL_THEN_CANCEL: {
        int r = fail(L"Step failed.", L"Try again.");
        cancel_install();
        return r;
    }
    case DO_CANCEL_THEN_FAIL:
        cancel_install();
        return fail(L"Step failed.", L"Try again.");
    }
    return R_OK;
}
int step0(void) { return step_body(0); }
int step1(void) { return step_body(1); }
int step2(void) { return step_body(2); }
int step3(void) { return step_body(3); }
int step4(void) { return step_body(4); }

class Worker : public ::testing::Test {
protected:
    StepFn kept[STEP_COUNT];
    void SetUp() override
    {
        test_init();
        for (int i = 0; i < STEP_COUNT; i++)
            kept[i] = s_steps[i];
        StepFn mine[STEP_COUNT] = {step0, step1, step2, step3, step4};
        for (int i = 0; i < STEP_COUNT; i++) {
            s_steps[i] = mine[i];
            s_plan[i] = DO_OK;
        }
        s_ran.clear();
        s_step_ms = 10;
        s_ticks = fake_ticks;
        s_now = 100000;
        s_win = NULL; // the worker's post then lands in this thread's queue
        s_fail_msg[0] = s_fail_adv[0] = 0;
        wchar_t scratch[MAX_PATH];
        test_dir(L"worker", scratch);
        // A folder the worker has to make, parents and all.
        swprintf(s_dir, MAX_PATH, L"%ls\\Games\\Emberveil", scratch);
        wcscpy(root, scratch);
        wcscpy(s_game.dir, L"D:\\disc");
        s_game.region = 4;
        MSG m;
        while (PeekMessageW(&m, NULL, WM_SETUP_DONE, WM_SETUP_DONE, PM_REMOVE)) {
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < STEP_COUNT; i++)
            s_steps[i] = kept[i];
        s_ticks = GetTickCount;
        s_cancel = 0;
        log_close();
    }
    // Runs an install the way the window starts one, on this thread; the posted result.
    int install(void)
    {
        begin_install(0);
        install_thread(NULL);
        MSG m;
        if (!PeekMessageW(&m, NULL, WM_SETUP_DONE, WM_SETUP_DONE, PM_REMOVE))
            return -1;
        EXPECT_EQ(m.lParam, 0);
        return (int)m.wParam;
    }
    wchar_t root[MAX_PATH];
};

TEST_F(Worker, StepsRunInOrderUntilOneFailsOrACancelIsSeen)
{
    const struct {
        const char *name;
        int plan[STEP_COUNT];
        std::vector<int> ran;
        int result;
        const char *end;
        bool failure_texts;
    } rows[] = {
        {"all succeed", {DO_OK, DO_OK, DO_OK, DO_OK, DO_OK}, {0, 1, 2, 3, 4}, R_OK, "Done", false},
        {"second fails", {DO_OK, DO_FAIL, DO_OK, DO_OK, DO_OK}, {0, 1}, R_FAIL, "Failed", true},
        {"last fails", {DO_OK, DO_OK, DO_OK, DO_OK, DO_FAIL}, {0, 1, 2, 3, 4}, R_FAIL, "Failed", true},
        {"cancel in the third", {DO_OK, DO_OK, DO_CANCEL_OK, DO_OK, DO_OK}, {0, 1, 2}, R_CANCEL, "Cancelled", false},
        {"cancel in the finishing step", {DO_OK, DO_OK, DO_OK, DO_OK, DO_CANCEL_OK}, {0, 1, 2, 3, 4}, R_CANCEL,
         "Cancelled", false},
        {"cancel just after a failure", {DO_OK, DO_FAIL_THEN_CANCEL, DO_OK, DO_OK, DO_OK}, {0, 1}, R_CANCEL,
         "Cancelled", true},
        {"failure while cancelling", {DO_OK, DO_OK, DO_CANCEL_THEN_FAIL, DO_OK, DO_OK}, {0, 1, 2}, R_CANCEL,
         "Cancelled", false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        for (int i = 0; i < STEP_COUNT; i++)
            s_plan[i] = r.plan[i];
        s_ran.clear();
        s_fail_msg[0] = 0;
        EXPECT_EQ(install(), r.result);
        EXPECT_EQ(s_ran, r.ran);
        EXPECT_EQ(s_fail_msg[0] != 0, r.failure_texts);

        std::vector<std::string> lines = log_texts(s_dir);
        ASSERT_GE(lines.size(), r.ran.size() + 2);
        EXPECT_EQ(lines.front(), "Emberveil installer: game files D:\\disc (region 4), install folder " +
                                     std::string(root, root + wcslen(root)) + "\\Games\\Emberveil");
        EXPECT_EQ(lines.back(), std::string(r.end) + " after 0 s");
        if (r.failure_texts) { // the failing step's own line comes right before the end line
            EXPECT_EQ(lines[lines.size() - 2], "FAILED: Step failed. Try again.");
        }
        EXPECT_EQ(s_log, INVALID_HANDLE_VALUE) << "the log was left open";
    }
}

TEST_F(Worker, CancelBeforeTheFirstStepStillRunsTheUnpacking)
{
    begin_install(0);
    cancel_install(); // pressed before the worker got going
    install_thread(NULL);
    EXPECT_EQ(s_ran, std::vector<int>{0});
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, NULL, WM_SETUP_DONE, WM_SETUP_DONE, PM_REMOVE));
    EXPECT_EQ((int)m.wParam, R_CANCEL);
    EXPECT_EQ(log_texts(s_dir).back(), "Cancelled after 0 s");
}

TEST_F(Worker, DurationCountsFromTheStartInWholeSeconds)
{
    const struct {
        DWORD start, per_step;
        unsigned long seconds;
    } rows[] = {
        {100000, 0, 0},
        {100000, 399, 1},        // 1995 ms
        {100000, 400, 2},        // 2000 ms
        {0xFFFFF000u, 1000, 5},  // the tick counter wraps on the way
    };
    for (const auto &r : rows) {
        s_now = r.start;
        s_step_ms = r.per_step;
        EXPECT_EQ(install(), R_OK);
        EXPECT_EQ(s_took, r.per_step * STEP_COUNT);
        EXPECT_EQ(log_texts(s_dir).back(), "Done after " + std::to_string(r.seconds) + " s");
    }
}

TEST_F(Worker, SecondInstallEndsTheFirstOnesToolsAndTruncatesItsLog)
{
    EXPECT_EQ(install(), R_OK);
    size_t first = log_texts(s_dir).size();
    ASSERT_NE(s_job, (HANDLE)NULL);
    // A process left in the first install's job.
    std::wstring cmd = child_cmd(L"pause 60000");
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(NULL, line.data(), NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &si, &pi));
    ASSERT_TRUE(AssignProcessToJobObject(s_job, pi.hProcess));
    ResumeThread(pi.hThread);

    EXPECT_EQ(install(), R_OK);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0) << "the old job's process outlived it";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(log_texts(s_dir).size(), first) << "the second install's log kept the first one's lines";
}

TEST_F(Worker, InstallRunsToItsEndWithoutALog)
{
    // A file where the logs folder should be: no log can be made.
    SHCreateDirectoryExW(NULL, s_dir, NULL);
    wchar_t logs[MAX_PATH];
    swprintf(logs, MAX_PATH, L"%ls\\logs", s_dir);
    HANDLE h = CreateFileW(logs, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    s_plan[2] = DO_FAIL;
    EXPECT_EQ(install(), R_FAIL);
    EXPECT_EQ(s_ran, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(s_log, INVALID_HANDLE_VALUE);
}

} // namespace
