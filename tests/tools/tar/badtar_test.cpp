// badtar.exe, the tar.exe that misbehaves on purpose, run under Wine the way
// Setup runs tar: each mode does what an install test will count on, and the
// spy file gets the exact wide command line, names outside the ANSI code page
// included (the real bsdtar would see those best-fit mapped).
#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One started program: its process, and its standard output and error in a file.
struct Proc {
    HANDLE process = NULL;
    std::wstring out;
    ~Proc()
    {
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    std::string output() const { return read_file(out); }
};

// Starts cmd as Setup starts tar (no window, inherited handles) with its output
// going to out; false when it doesn't start.
bool start(Proc &r, const std::wstring &cmd, const std::wstring &cwd, const std::wstring &out)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE o = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, NULL);
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, NULL);
    if (o == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE)
        return false;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = o;
    si.hStdError = o;
    PROCESS_INFORMATION pi;
    std::wstring line = cmd;
    BOOL ok = CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, cwd.c_str(), &si, &pi);
    CloseHandle(o);
    CloseHandle(in);
    if (!ok)
        return false;
    CloseHandle(pi.hThread);
    r.process = pi.hProcess;
    r.out = out;
    return true;
}

// Runs cmd to its end (at most 60 s); its exit code, or -1.
long run_to_end(Proc &r, const std::wstring &cmd, const std::wstring &cwd, const std::wstring &out)
{
    if (!start(r, cmd, cwd, out) || WaitForSingleObject(r.process, 60000) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(r.process, &code);
    return (long)code;
}

enum Where { BESIDE, NAMED }; // the real bsdtar beside tar.exe, or named by EV_TAR_REAL
enum Outcome { EXTRACTED, EXITED, HANGING };

struct Row {
    const char *name;
    const wchar_t *mode; // EV_TAR_MODE, null: unset
    const wchar_t *only; // EV_TAR_ONLY, null: unset
    Where where;
    bool archive;        // false: the archive named does not exist
    const wchar_t *dst;  // target folder under the scratch folder
    Outcome outcome;
    long code;           // exit code (EXITED); -2: whatever bsdtar itself gives
    const char *said;    // EXTRACTED: the whole output (bsdtar -x says nothing, nor may badtar);
                         // else a text the output must hold
};

void PrintTo(const Row &r, std::ostream *os)
{
    *os << r.name;
}

const Row k_rows[] = {
    {"PassByDefaultBeside", NULL, NULL, BESIDE, true, L"out", EXTRACTED, 0, ""},
    {"PassNamedRealByVariable", L"pass", NULL, NAMED, true, L"out", EXTRACTED, 0, ""},
    {"PassHandsOnTheRealFailure", NULL, NULL, BESIDE, false, L"out", EXITED, -2, "Error opening archive"},
    {"Fail", L"fail", NULL, BESIDE, true, L"\u0141\u674e out", EXITED, 1, "badtar: failing on purpose"},
    {"Hang", L"hang", NULL, NAMED, true, L"\u0141\u674e out", HANGING, 0, "badtar: hanging on purpose"},
    {"HangOnlyOnTheArchiveNamed", L"hang", L"\\in.zip", NAMED, true, L"out", HANGING, 0,
     "badtar: hanging on purpose"},
    {"OtherArchivesPass", L"hang", L"_1.zip", BESIDE, true, L"out", EXTRACTED, 0, ""},
};

class BadTar : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        for (const wchar_t *d : {L"tool", L"out", L"\u0141\u674e out"})
            ASSERT_TRUE(make_dir(scratch(d)));
        ASSERT_TRUE(put_file(scratch(L"src\\top.txt"), "top\r\n"));
        ASSERT_TRUE(put_file(scratch(L"src\\a\\deep.txt"), std::string(100000, 'x')));
        // The archive, made by the real bsdtar.
        Proc mk;
        ASSERT_EQ(0, run_to_end(mk, L"\"" + test_tool(L"bsdtar.exe") + L"\" --format zip -cf ..\\in.zip .",
                                scratch(L"src"), scratch(L"mk.txt")))
            << mk.output();
    }
};

TEST_P(BadTar, DoesWhatItsModeSaysAndWritesDownItsCommandLine)
{
    const Row &r = GetParam();
    const std::wstring root = scratch_root(), tar = root + L"\\tool\\tar.exe", real = test_tool(L"bsdtar.exe");
    ASSERT_TRUE(CopyFileW(test_tool(L"badtar.exe").c_str(), tar.c_str(), FALSE));
    if (r.where == BESIDE) {
        ASSERT_TRUE(CopyFileW(real.c_str(), (root + L"\\tool\\bsdtar.exe").c_str(), FALSE));
    }
    const std::wstring dst = root + L"\\" + r.dst, spy = root + L"\\spy.txt";
    const std::wstring zip = root + (r.archive ? L"\\in.zip" : L"\\nothere.zip");
    const std::wstring args = L" -xmf \"" + zip + L"\" -C \"" + dst + L"\"";
    const std::wstring cmd = L"\"" + tar + L"\"" + args;
    ASSERT_TRUE(put_file(spy, "an earlier line\r\n"));

    Hooks spying(L"EV_TAR_SPY", spy.c_str());
    Hooks mode(L"EV_TAR_MODE", r.mode);
    Hooks only(L"EV_TAR_ONLY", r.only);
    Hooks where(L"EV_TAR_REAL", r.where == NAMED ? real.c_str() : NULL);
    Proc run;
    if (r.outcome == HANGING) {
        ASSERT_TRUE(start(run, cmd, dst, root + L"\\run.txt"));
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(run.process, 3000));
        EXPECT_NE(std::string::npos, run.output().find(r.said)) << run.output();
        EXPECT_TRUE(TerminateProcess(run.process, 1));
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(run.process, 5000));
    } else {
        long code = run_to_end(run, cmd, dst, root + L"\\run.txt");
        long want = r.code;
        if (want == -2) {
            // What the real bsdtar gives for the same command line, run directly.
            Proc direct;
            want = run_to_end(direct, L"\"" + real + L"\"" + args, dst, root + L"\\direct.txt");
            EXPECT_NE(0, want) << direct.output();
        }
        if (r.outcome == EXTRACTED) {
            want = 0;
            EXPECT_EQ(r.said, run.output());
        } else {
            EXPECT_NE(std::string::npos, run.output().find(r.said)) << run.output();
        }
        EXPECT_EQ(want, code) << run.output();
    }

    if (r.outcome == EXTRACTED) {
        EXPECT_EQ("top\r\n", read_file(dst + L"\\top.txt"));
        EXPECT_EQ(std::string(100000, 'x'), read_file(dst + L"\\a\\deep.txt"));
    } else {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dst + L"\\top.txt").c_str()));
    }
    // Appended after what was there, byte for byte the wide command line.
    EXPECT_EQ("an earlier line\r\n" + utf8(cmd) + "\r\n", read_file(spy));
}

INSTANTIATE_TEST_SUITE_P(Rows, BadTar, ::testing::ValuesIn(k_rows),
                         [](const ::testing::TestParamInfo<Row> &i) { return std::string(i.param.name); });

} // namespace
