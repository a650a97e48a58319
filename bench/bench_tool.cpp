// Tool output through the tool runner against a bare ReadFile loop on the
// same kind of pipe, with the same tool printing the same bytes.
//   bench_tool MB    MB mebibytes of short lines, then of long lines
#include "bench.h"
#include "engine/context.h"
#include "engine/log.h"
#include "engine/runner.h"
#include "engine/worker.h"
#include <stdio.h>
#include <string>

static long long s_lines;

static void count_line(const char *line)
{
    if (line[0])
        s_lines++;
}

static std::wstring child_cmd(long mb, long len)
{
    wchar_t dir[MAX_PATH], cmd[2 * MAX_PATH];
    own_dir(dir);
    swprintf(cmd, 2 * MAX_PATH, L"\"%ls\\..\\tests\\tools\\evchild.exe\" flood %ld %ld", dir, mb, len);
    return cmd;
}

// The platform alone: a pipe, the tool started on it, 4096-byte reads to the
// end, the wait. The bytes read.
static unsigned long long bare_read(const std::wstring &cmd)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE rd, wr;
    if (!CreatePipe(&rd, &wr, &sa, 0))
        return 0;
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = wr;
    PROCESS_INFORMATION pi;
    std::wstring line = cmd;
    BOOL ok = CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi);
    CloseHandle(wr);
    unsigned long long total = 0;
    if (ok) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(rd, chunk, sizeof chunk, &got, NULL) && got)
            total += got;
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(rd);
    return total;
}

static unsigned long long file_size(const wchar_t *path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &d))
        return 0;
    return (unsigned long long)d.nFileSizeHigh << 32 | d.nFileSizeLow;
}

// One line length: turns of the bare loop, run with the install log open, and
// run with no log; two rows.
static int lines_row(long mb, long len, int reps, const wchar_t *work)
{
    std::wstring cmd = child_cmd(mb, len);
    unsigned long long want = 0;
    long long want_lines = 0;
    {
        unsigned long long unit = (unsigned long long)len + 2, per = unit < 65536 ? 65536 / unit : 1;
        unsigned long long writes = (((unsigned long long)mb << 20) + per * unit - 1) / (per * unit);
        want = writes * per * unit;
        want_lines = (long long)(writes * per);
    }
    wchar_t log_path[MAX_PATH];
    swprintf(log_path, MAX_PATH, L"%ls\\logs\\install.log", work);
    std::vector<double> plain, logged, quiet;
    for (int i = 0; i < reps; i++) {
        double t0 = ms_now();
        unsigned long long got = bare_read(cmd);
        plain.push_back(ms_now() - t0);

        log_open(work);
        s_lines = 0;
        t0 = ms_now();
        int code = run(cmd.c_str(), work, count_line);
        logged.push_back(ms_now() - t0);
        log_close();
        long long lines_logged = s_lines;
        unsigned long long log_bytes = file_size(log_path);
        DeleteFileW(log_path);

        s_lines = 0;
        t0 = ms_now();
        int code2 = run(cmd.c_str(), work, count_line);
        quiet.push_back(ms_now() - t0);
        note("%ld-byte lines, turn %d: bare %.0f ms, run+log %.0f ms, run %.0f ms", len, i + 1, plain.back(),
             logged.back(), quiet.back());
        if (got != want || code || code2 || lines_logged != want_lines || s_lines != want_lines || log_bytes != want) {
            printf("bench_tool: wrong output (bytes %llu of %llu, lines %lld/%lld of %lld, log %llu, codes %d %d)\n",
                   got, want, lines_logged, s_lines, want_lines, log_bytes, code, code2);
            return 1;
        }
    }
    double b = least(plain), a = least(logged), c = least(quiet), mib = want / 1048576.0;
    char name[96], m[32], base[32];
    snprintf(base, sizeof base, "%.0f", mib / (b / 1000));
    snprintf(name, sizeof name, "tool output, %.0f MiB of %ld-byte lines (MiB/s)", mib, len);
    snprintf(m, sizeof m, "%.0f", mib / (a / 1000));
    row(name, m, base, b / a, ">= 0.9", b / a >= 0.9);
    snprintf(name, sizeof name, "  the same without the log file (MiB/s)");
    snprintf(m, sizeof m, "%.0f", mib / (c / 1000));
    row(name, m, base, b / c, "(info)", 1);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        printf("usage: bench_tool MB\n");
        return 2;
    }
    context_init();
    new_job(); // tools run inside the install's job, as in an install
    long mb = wcstol(argv[1], NULL, 10);
    int reps = (int)env_long("EV_BENCH_REPS", 3);
    wchar_t work[MAX_PATH];
    work_dir(L"tool", work);
    int r = lines_row(mb, 40, reps, work) || lines_row(mb, 1500, reps, work);
    tree_gone(work);
    return r;
}
