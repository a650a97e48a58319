// The tool runner with real processes in a real job: exit codes, the output in
// the log and in lines, standard input, grandchildren and the cancel.
#include "unit.h"
#include "engine/context.h"
#include "engine/log.h"
#include "engine/runner.h"
#include "engine/worker.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> s_got;

void collect(const char *line)
{
    s_got.push_back(line);
}

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; i++)
        s += (char)('a' + i % 26);
    return s;
}

// Guards against a hang only: a run still going after a minute has its job
// ended, and the test fails on s_hung instead of blocking the whole suite.
HANDLE s_quit;
volatile LONG s_hung;

DWORD WINAPI watchdog(void *unused)
{
    (void)unused;
    if (WaitForSingleObject(s_quit, 60000) == WAIT_TIMEOUT) {
        InterlockedExchange(&s_hung, 1);
        TerminateJobObject(s_job, 77);
    }
    return 0;
}

class Runner : public ::testing::Test {
protected:
    wchar_t dir[MAX_PATH];
    HANDLE dog = NULL;
    void SetUp() override
    {
        ASSERT_TRUE(has_file(child_exe())) << "the build puts evchild.exe beside the tests: " << utf8(child_exe());
        test_init();
        log_close();
        s_cancel = 0;
        s_ticks = GetTickCount;
        new_job(); // as an install does before its tools run
        ASSERT_NE(s_job, (HANDLE)NULL);
        s_got.clear();
        test_dir(L"runner", dir);
        log_open(dir);
        ASSERT_NE(s_log, INVALID_HANDLE_VALUE);
        s_hung = 0;
        s_quit = CreateEventW(NULL, TRUE, FALSE, NULL);
        dog = CreateThread(NULL, 0, watchdog, NULL, 0, NULL);
    }
    void TearDown() override
    {
        SetEvent(s_quit);
        WaitForSingleObject(dog, INFINITE);
        CloseHandle(dog);
        CloseHandle(s_quit);
        EXPECT_EQ(s_hung, 0) << "a run hung and was ended by the watchdog";
        log_close();
        s_cancel = 0;
        new_job(); // ends anything a failed test left running
    }
    int child(const std::wstring &args, LineFn fn)
    {
        return run(child_cmd(args).c_str(), dir, fn);
    }
    std::string logged()
    {
        log_close();
        return log_text(dir);
    }
    // evchild's "wait" for the log to hold n bytes: the runner has read what came before.
    std::wstring taken(int n)
    {
        return L" wait \"" + std::wstring(dir) + L"\\logs\\install.log\" " + std::to_wstring(n) + L" ";
    }
};

TEST_F(Runner, ReturnsTheExitCode)
{
    const struct {
        const wchar_t *args;
        int code;
    } rows[] = {{L"", 0}, {L"exit 0", 0}, {L"exit 3", 3}, {L"exit 255", 255},
                {L"exit -2", -2}, {L"print x exit 7", 7}, {L"exit 1000000", 1000000}};
    for (const auto &r : rows)
        EXPECT_EQ(child(r.args, collect), r.code) << std::wstring(r.args);
}

TEST_F(Runner, ProgramThatDoesNotStartGivesMinusOne)
{
    std::wstring missing = L"\"C:\\no such folder\\missing.exe\" print x";
    EXPECT_EQ(run(missing.c_str(), dir, collect), -1);
    EXPECT_EQ(run(child_cmd(L"print x").c_str(), L"C:\\no such folder", collect), -1);
    EXPECT_TRUE(s_got.empty());
    EXPECT_EQ(logged(), "");
}

TEST_F(Runner, OutputReachesTheLogAndTheLines)
{
    std::vector<std::string> counted;
    std::string count_bytes;
    for (int i = 1; i <= 3000; i++) {
        counted.push_back(std::to_string(i));
        count_bytes += std::to_string(i) + "\r\n";
    }
    // The splits are certain: each piece is written only once the runner has
    // taken the ones before it (evchild waits for them in the log).
    const struct {
        const char *name;
        std::wstring args;
        std::string bytes;
        std::vector<std::string> lines;
    } rows[] = {
        {"CR LF and CR and LF", L"print one\\r\\ntwo\\rthree\\n", "one\r\ntwo\rthree\n", {"one", "two", "three"}},
        {"odd bytes", L"print \\xff\\xfe\\x01\\r\\ncaf\\xc3\\xa9\\n", "\xff\xfe\x01\r\ncaf\xc3\xa9\n",
         {"\xff\xfe\x01", "caf\xc3\xa9"}},
        {"a NUL byte", L"print A\\x00B\\r\\n", std::string("A\0B\r\n", 5), {"A"}},
        {"standard error in between", L"print out1\\r\\n err err1\\r\\n print out2\\r\\n", "out1\r\nerr1\r\nout2\r\n",
         {"out1", "err1", "out2"}},
        {"CR LF split across reads",
         L"print a\\r" + taken(2) + L"print \\nb\\r" + taken(5) + L"print \\n" + taken(6) + L"print \\r\\n" +
             taken(8) + L"print c",
         "a\r\nb\r\n\r\nc", {"a", "b", "c"}},
        {"line split across reads", L"print hal" + taken(3) + L"print f\\r\\n", "half\r\n", {"half"}},
        {"last line without line end", L"print abc\\r\\nlast", "abc\r\nlast", {"abc", "last"}},
        {"1500-byte line", L"line 1500", letters(1500) + "\r\n", {letters(1023)}},
        {"100000-byte line", L"line 100000", letters(100000) + "\r\n", {letters(1023)}},
        {"3000 lines in 3000 writes", L"count 3000", count_bytes, counted},
        {"nothing", L"exit 0", "", {}},
    };
    for (const auto &r : rows) {
        s_got.clear();
        log_open(dir);
        EXPECT_EQ(child(r.args, collect), 0) << r.name;
        EXPECT_EQ(s_got, r.lines) << r.name;
        std::string bytes = logged();
        EXPECT_EQ(bytes.size(), r.bytes.size()) << r.name;
        EXPECT_TRUE(bytes == r.bytes) << r.name;
    }
}

TEST_F(Runner, WithoutCallbackOutputIsStillLogged)
{
    EXPECT_EQ(child(L"print x\\r\\ny\\r\\n line 5000 exit 4", NULL), 4);
    EXPECT_EQ(logged(), "x\r\ny\r\n" + letters(5000) + "\r\n");
}

TEST_F(Runner, TailWithoutLineEndIsFollowedByTheNextStamp)
{
    EXPECT_EQ(child(L"print tail", collect), 0);
    logw(L"next");
    std::string bytes = logged();
    ASSERT_EQ(bytes.substr(0, 4), "tail");
    EXPECT_TRUE(stamped(bytes.substr(4)));
    EXPECT_EQ(bytes.substr(4 + 11), "next\r\n");
}

TEST_F(Runner, StandardInputIsTheNullDevice)
{
    EXPECT_EQ(child(L"stdin", collect), 0);
    std::vector<std::string> want = {"stdin char eof"};
    EXPECT_EQ(s_got, want);
}

TEST_F(Runner, ReadsUntilTheGrandchildLetsGoOfTheOutput)
{
    // The child exits at once; the grandchild writes a second and a half later.
    EXPECT_EQ(child(L"print parent\\r\\n spawn 8 pause 1500 print late\\r\\n pause 300 print later", collect), 0);
    std::vector<std::string> want = {"parent", "late", "later"};
    EXPECT_EQ(s_got, want);
    EXPECT_EQ(logged(), "parent\r\nlate\r\nlater");
}

// The cancel test's view of the two processes, filled by its callback.
std::vector<HANDLE> s_procs;
std::vector<DWORD> s_pids, s_ticked;
HANDLE s_ready;

void watch(const char *line)
{
    unsigned long pid = 0;
    if (!strncmp(line, "pid ", 4)) {
        pid = strtoul(line + 4, NULL, 10);
        HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (h) {
            s_procs.push_back(h);
            s_pids.push_back(pid);
        }
    } else if (!strncmp(line, "tick ", 5)) {
        pid = strtoul(line + 5, NULL, 10);
        int known = 0;
        for (DWORD p : s_ticked)
            known |= p == pid;
        if (!known)
            s_ticked.push_back(pid);
    }
    if (s_pids.size() == 2 && s_ticked.size() == 2)
        SetEvent(s_ready);
}

DWORD WINAPI cancel_when_ready(void *unused)
{
    (void)unused;
    WaitForSingleObject(s_ready, 30000);
    cancel_install(); // from another thread, as the window does
    return 0;
}

TEST_F(Runner, CancelEndsTheToolAndWhatItStarted)
{
    s_procs.clear();
    s_pids.clear();
    s_ticked.clear();
    s_ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE canceller = CreateThread(NULL, 0, cancel_when_ready, NULL, 0, NULL);
    // Both would print for 40 s on their own; the watchdog ends a run that
    // outlives a minute, and its exit code then is 77.
    int code = child(L"pid spawn 4 pid tick 100 400 tick 100 400", watch);
    WaitForSingleObject(canceller, INFINITE);
    CloseHandle(canceller);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(s_pids.size(), 2u);
    for (size_t i = 0; i < s_procs.size(); i++) {
        EXPECT_EQ(WaitForSingleObject(s_procs[i], 10000), WAIT_OBJECT_0) << "pid " << s_pids[i] << " still runs";
        DWORD exit_code = 0;
        GetExitCodeProcess(s_procs[i], &exit_code);
        EXPECT_EQ(exit_code, 1u) << "pid " << s_pids[i];
        CloseHandle(s_procs[i]);
    }
    CloseHandle(s_ready);
}

TEST_F(Runner, CancelPendingStartsNothing)
{
    const struct {
        LONG cancel;
        int code;
        BOOL ran;
    } rows[] = {{0, 0, TRUE}, {1, 1, FALSE}};
    for (const auto &r : rows) {
        wchar_t marker[MAX_PATH];
        swprintf(marker, MAX_PATH, L"%ls\\ran-%ld.txt", dir, r.cancel);
        s_cancel = r.cancel;
        s_got.clear();
        log_open(dir);
        EXPECT_EQ(child(L"touch \"" + std::wstring(marker) + L"\" print started", collect), r.code);
        EXPECT_EQ(GetFileAttributesW(marker) != INVALID_FILE_ATTRIBUTES, r.ran) << "cancel " << r.cancel;
        EXPECT_EQ(s_got.size(), r.ran ? 1u : 0u);
        EXPECT_EQ(logged(), r.ran ? "started" : "");
    }
}

} // namespace
