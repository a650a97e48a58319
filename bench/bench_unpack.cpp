// The unpacking step's writing of each archive at release size: write_resource
// against a bare WriteFile of the same bytes from a heap buffer already in
// memory. This program carries the packed release payload as its own
// resources 101 to 104, bound by Setup's resource script as Setup binds them,
// so write_resource reads the bytes exactly as it does in the release Setup.
//   bench_unpack                    the rows (each turn in a fresh process)
//   bench_unpack turn setup|bare|touched
//                                   one turn: the three archives written, in
//                                   unpacking order, into the temporary folder
//                                   (touched: write_resource with the
//                                   resource's pages read just before, to show
//                                   what their first touch costs)
//
// Each turn runs in a process of its own: the first touch of the resource's
// pages is part of what the unpacking step costs, and in a process that had
// written them before they would already be in memory. The bare side copies
// the bytes into its buffer before the clock starts. Neither side flushes;
// each file is deleted right after it is written, as the step deletes each
// archive after unpacking it, so no turn meets another's dirty pages. Now and
// then a 300 MB write stalls for half a second on either side, so each side
// gets more turns than the other rows give (three times EV_BENCH_REPS, plus one).
#include "bench.h"
#include "resource.h"
#include "stages/stages.h"
#include <stdio.h>
#include <string.h>

#define ARCHIVES 3
static const int k_ids[ARCHIVES] = {IDR_PROJECT, IDR_TOOLKIT, IDR_TOOLCHAIN};
static const char *const k_names[ARCHIVES] = {"project", "toolkit", "toolchain"};

// The archive's file, named as the unpacking step names it, in the folder it uses.
static void target(int i, wchar_t *out)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    swprintf(out, MAX_PATH, L"%lsemberveil_setup_%lu_%d.zip", temp, GetCurrentProcessId(), i);
}

// The bare write: what write_resource does with the file, from a buffer.
static int bare_write(const wchar_t *path, const void *bytes, DWORD size)
{
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(f, bytes, size, &written, NULL);
    CloseHandle(f);
    return ok && written == size;
}

enum { BARE, SETUP, TOUCHED, KINDS };
static const wchar_t *const k_kinds[KINDS] = {L"bare", L"setup", L"touched"};
static const char *const k_kind_names[KINDS] = {"bare WriteFile", "write_resource", "write_resource, pages touched"};

// One turn; prints "TURN|i|ms" for each archive.
static int turn(int kind)
{
    for (int i = 0; i < ARCHIVES; i++) {
        wchar_t path[MAX_PATH];
        target(i, path);
        DeleteFileW(path);
        DWORD size = 0;
        const void *res = payload_bytes(k_ids[i], &size);
        if (!res || !size)
            return 1;
        void *buf = NULL;
        if (kind == BARE) {
            buf = HeapAlloc(GetProcessHeap(), 0, size);
            if (!buf)
                return 1;
            memcpy(buf, res, size);
        } else if (kind == TOUCHED) {
            volatile unsigned char sink = 0;
            for (DWORD at = 0; at < size; at += 4096)
                sink ^= ((const unsigned char *)res)[at];
            (void)sink;
        }
        double t0 = ms_now();
        int ok = kind == BARE ? bare_write(path, buf, size) : write_resource(k_ids[i], path);
        double t = ms_now() - t0;
        DeleteFileW(path);
        if (buf)
            HeapFree(GetProcessHeap(), 0, buf);
        if (!ok)
            return 1;
        printf("TURN|%d|%.3f\n", i, t);
    }
    return 0;
}

// Runs one turn in a child process; fills ms with its three times.
static int child_turn(int kind, double *ms)
{
    wchar_t exe[MAX_PATH], cmd[MAX_PATH + 32];
    GetModuleFileNameW(NULL, exe, MAX_PATH);
    swprintf(cmd, MAX_PATH + 32, L"\"%ls\" turn %ls", exe, k_kinds[kind]);
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
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi;
    BOOL started = CreateProcessW(exe, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(wr);
    if (!started) {
        CloseHandle(rd);
        return 0;
    }
    char text[1024];
    DWORD n, have = 0;
    while (have < sizeof text - 1 && ReadFile(rd, text + have, (DWORD)(sizeof text - 1 - have), &n, NULL) && n)
        have += n;
    text[have] = 0;
    CloseHandle(rd);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    int seen = 0;
    for (char *line = strstr(text, "TURN|"); line; line = strstr(line + 1, "TURN|")) {
        int i;
        double t;
        if (sscanf(line, "TURN|%d|%lf", &i, &t) == 2 && i >= 0 && i < ARCHIVES) {
            ms[i] = t;
            seen++;
        }
    }
    return code == 0 && seen == ARCHIVES;
}

static void mib_s(char *out, size_t cap, double mib, double ms)
{
    snprintf(out, cap, "%.0f", mib / (ms / 1000));
}

static int rows(int reps)
{
    double mib[ARCHIVES], all = 0;
    for (int i = 0; i < ARCHIVES; i++) {
        DWORD size = 0;
        payload_bytes(k_ids[i], &size);
        mib[i] = size / 1048576.0;
        all += mib[i];
        note("%s archive: %.2f MiB", k_names[i], mib[i]);
    }
    // A first turn of each kind brings the executable's file into the cache for all.
    double ms[ARCHIVES];
    for (int k = 0; k < KINDS; k++)
        if (!child_turn(k, ms)) {
            printf("bench_unpack: a warm-up turn failed\n");
            return 1;
        }
    std::vector<double> each[KINDS][ARCHIVES], total[KINDS];
    for (int r = 0; r < reps; r++) {
        // Turns rotate who goes first.
        for (int j = 0; j < KINDS; j++) {
            int kind = (r + j) % KINDS;
            double t[ARCHIVES];
            if (!child_turn(kind, t)) {
                printf("bench_unpack: a %s turn failed\n", k_kind_names[kind]);
                return 1;
            }
            double sum = 0;
            for (int i = 0; i < ARCHIVES; i++) {
                each[kind][i].push_back(t[i]);
                sum += t[i];
            }
            total[kind].push_back(sum);
            note("%s turn %d: project %.2f ms, toolkit %.2f ms, toolchain %.1f ms", k_kind_names[kind], r + 1, t[0],
                 t[1], t[2]);
        }
    }
    char name[160], m[32], base[32];
    double a = least(total[SETUP]), b = least(total[BARE]);
    snprintf(name, sizeof name, "unpacking: write_resource vs bare WriteFile from memory, 3 archives, %.0f MiB (MiB/s)",
             all);
    mib_s(m, sizeof m, all, a);
    mib_s(base, sizeof base, all, b);
    row(name, m, base, b / a, ">= 0.9", b / a >= 0.9);
    for (int i = 0; i < ARCHIVES; i++) {
        a = least(each[SETUP][i]), b = least(each[BARE][i]);
        snprintf(name, sizeof name, "  %s archive alone, %.2f MiB (MiB/s)", k_names[i], mib[i]);
        mib_s(m, sizeof m, mib[i], a);
        mib_s(base, sizeof base, mib[i], b);
        row(name, m, base, b / a, "(info)", 1);
    }
    a = least(total[TOUCHED]);
    b = least(total[BARE]);
    snprintf(name, sizeof name, "  write_resource with the resource's pages touched beforehand (MiB/s)");
    mib_s(m, sizeof m, all, a);
    mib_s(base, sizeof base, all, b);
    row(name, m, base, b / a, "(info)", 1);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    for (int k = 0; argc == 3 && !wcscmp(argv[1], L"turn") && k < KINDS; k++)
        if (!wcscmp(argv[2], k_kinds[k]))
            return turn(k);
    if (argc == 1)
        return rows(3 * (int)env_long("EV_BENCH_REPS", 3) + 1);
    printf("usage: bench_unpack [turn setup|bare]\n");
    return 2;
}
