// The rows that need Setup's real window, each against the baseline window
// (minwin.exe) measured the same way in the same run:
//   bench_window startup SETUP        process start to the first paint
//   bench_window install SETUP MB     a whole /test install of an MB-mebibyte
//                                     disc: the longest answer to WM_NULL (sent
//                                     every 10 ms) and the peak working set
//   bench_window release BIG DEMO     Setup with a release-size payload (BIG)
//                                     against the same Setup with the demo
//                                     payload (DEMO) and against the baseline
//                                     window with the common controls Setup
//                                     needs (minwin_cc6.exe): process start to
//                                     the first paint, and the working set idle
//                                     in the form
#include "bench.h"
#include "disc.h"
#include "driver.h"
#include <psapi.h>
#include <stdio.h>
#include <string>

// A client point inside the panel that no control and no text covers.
#define PROBE_X 24
#define PROBE_Y 300
#define PANEL_RGB RGB(251, 251, 251)
#define PAINT_TIMEOUT_MS 30000

struct Top {
    DWORD pid;
    HWND hit;
};

static BOOL CALLBACK top_cb(HWND h, LPARAM l)
{
    Top *t = (Top *)l;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != t->pid || !IsWindowVisible(h) || GetWindow(h, GW_OWNER))
        return TRUE;
    t->hit = h;
    return FALSE;
}

static HWND top_of(DWORD pid)
{
    Top t = {pid, NULL};
    EnumWindows(top_cb, (LPARAM)&t);
    return t.hit;
}

// The screen's colour at a client point of w, read as the driver reads it.
static int screen_rgb(HWND w, int x, int y, COLORREF *c)
{
    POINT p = {x, y};
    if (!ClientToScreen(w, &p))
        return 0;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 1;
    bi.bmiHeader.biHeight = 1;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    int ok = 0;
    if (dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, 1, 1, screen, p.x, p.y, SRCCOPY) != 0;
        GdiFlush();
        DWORD v = *(DWORD *)bits;
        *c = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        SelectObject(mem, old);
        DeleteObject(dib);
    }
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return ok;
}

static int start(const wchar_t *exe, const wchar_t *args, PROCESS_INFORMATION *pi)
{
    wchar_t cmd[4096];
    swprintf(cmd, 4096, L"\"%ls\" %ls", exe, args);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    return CreateProcessW(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, pi) != 0;
}

// Closes the program's window and waits for its end (killed after 15 s).
static void finish(PROCESS_INFORMATION *pi)
{
    HWND w = top_of(pi->dwProcessId);
    if (w)
        PostMessageW(w, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi->hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(pi->hProcess, 1);
        WaitForSingleObject(pi->hProcess, 5000);
    }
    CloseHandle(pi->hProcess);
    CloseHandle(pi->hThread);
}

// Milliseconds from t0 until the probe point of the process's window shows
// the panel colour; -1 on timeout.
static double paint_after(const PROCESS_INFORMATION *pi, double t0)
{
    while (ms_now() - t0 < PAINT_TIMEOUT_MS) {
        HWND w = top_of(pi->dwProcessId);
        COLORREF c;
        if (w && screen_rgb(w, PROBE_X, PROBE_Y, &c) && c == PANEL_RGB)
            return ms_now() - t0;
        Sleep(1);
    }
    return -1;
}

// Milliseconds from just before the process start until the probe point of
// its window shows the panel colour; -1 on timeout.
static double to_paint(const wchar_t *exe)
{
    PROCESS_INFORMATION pi;
    double t0 = ms_now();
    if (!start(exe, L"", &pi))
        return -1;
    double t = paint_after(&pi, t0);
    finish(&pi);
    return t;
}

static void baseline_exe(wchar_t *out)
{
    own_dir(out);
    wcscat(out, L"\\minwin.exe");
}

static void cc6_exe(wchar_t *out)
{
    own_dir(out);
    wcscat(out, L"\\minwin_cc6.exe");
}

// Wine's desktop process ends soon after its last window closes and starts
// again with the next one: a window kept open aside keeps it up, so that no
// start pays for the desktop's start.
static int keeper(PROCESS_INFORMATION *pi)
{
    wchar_t minwin[MAX_PATH];
    baseline_exe(minwin);
    if (!start(minwin, L"", pi))
        return 0;
    HWND w = NULL;
    for (int i = 0; i < 500 && !w; i++, Sleep(20))
        w = top_of(pi->dwProcessId);
    if (w)
        SetWindowPos(w, NULL, 820, 500, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return w != NULL;
}

static int startup_row(const wchar_t *setup, int reps)
{
    wchar_t minwin[MAX_PATH];
    baseline_exe(minwin);
    PROCESS_INFORMATION keep;
    if (!keeper(&keep)) {
        printf("bench_window: the keeper window didn't show\n");
        return 1;
    }
    // A first start of each warms the file cache and the prefix for both.
    to_paint(minwin);
    to_paint(setup);
    std::vector<double> ours, plain;
    for (int i = 0; i < reps; i++) {
        for (int k = 0; k < 2; k++) {
            int mine = (i + k) % 2 == 1;
            double t = to_paint(mine ? setup : minwin);
            note("%s: first paint after %.0f ms", mine ? "Setup" : "minimal window", t);
            if (t < 0) {
                printf("bench_window: no first paint within %d ms\n", PAINT_TIMEOUT_MS);
                finish(&keep);
                return 1;
            }
            (mine ? ours : plain).push_back(t);
        }
    }
    finish(&keep);
    double a = least(ours), b = least(plain);
    char m[32], base[32];
    snprintf(m, sizeof m, "%.0f ms", a);
    snprintf(base, sizeof base, "%.0f ms", b);
    row("start-up to first paint", m, base, a / b, "<= 1.2", a / b <= 1.2);
    return 0;
}

// What the watch saw of one process.
struct Watch {
    double worst_ms; // longest answer to WM_NULL
    double took_ms;  // from the first answer to the end of the watch
    double worst_at; // when the longest answer came, from the first answer
    SIZE_T peak;     // PeakWorkingSetSize, last read
    SIZE_T commit;   // PeakPagefileUsage: the most private memory it held
    long polls;
};

// Sends WM_NULL to the window of proc every 10 ms and reads its peak working
// set, until the process ends or for_ms have passed (0: no limit).
static void watch(HANDLE proc, DWORD pid, double for_ms, Watch *out)
{
    ZeroMemory(out, sizeof *out);
    double t0 = -1;
    for (;;) {
        double tick = ms_now();
        if (WaitForSingleObject(proc, 0) == WAIT_OBJECT_0)
            break;
        if (for_ms > 0 && t0 >= 0 && tick - t0 >= for_ms)
            break;
        PROCESS_MEMORY_COUNTERS pmc;
        ZeroMemory(&pmc, sizeof pmc);
        if (GetProcessMemoryInfo(proc, &pmc, sizeof pmc)) {
            if (pmc.PeakWorkingSetSize > out->peak)
                out->peak = pmc.PeakWorkingSetSize;
            if (pmc.PeakPagefileUsage > out->commit)
                out->commit = pmc.PeakPagefileUsage;
        }
        HWND w = top_of(pid);
        DWORD_PTR r = 0;
        double s = ms_now();
        if (w && SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r)) {
            double lat = ms_now() - s;
            if (t0 < 0)
                t0 = s;
            if (lat > out->worst_ms) {
                out->worst_ms = lat;
                out->worst_at = s - t0;
            }
            out->polls++;
        }
        double spent = ms_now() - tick;
        if (spent < 10)
            Sleep((DWORD)(10 - spent));
    }
    out->took_ms = t0 < 0 ? 0 : ms_now() - t0;
}

static int install_rows(const wchar_t *setup, long mb)
{
    wchar_t work[MAX_PATH], disc[MAX_PATH], args[1024], minwin[MAX_PATH];
    const wchar_t *inst = L"C:\\evbench-install";
    work_dir(L"install", work);
    swprintf(disc, MAX_PATH, L"%ls\\disc", work);
    DiscPlan plan;
    disc_default(&plan);
    plan.file_bytes = 16 << 10;
    plan.extra_files = 4000;
    disc_fill(&plan, (unsigned long long)mb << 20);
    if (!disc_make(disc, &plan)) {
        printf("bench_window: the synthetic disc couldn't be made\n");
        return 1;
    }
    note("disc: %.0f MiB", disc_total(&plan) / 1048576.0);
    tree_gone(inst);
    swprintf(args, 1024, L"/xbe \"%ls\\default.xbe\" /dir \"%ls\" /test /go", disc, inst);
    if (!drv_start(setup, args, NULL)) {
        printf("bench_window: Setup didn't start\n");
        return 1;
    }
    Watch ours;
    watch(drv_process(), drv_pid(), 0, &ours);
    DWORD code = 99;
    drv_wait_exit(30000, &code);
    note("Setup: exit code %lu after %.1f s, %ld answers, worst %.1f ms (%.1f s in), peak working set %.1f MB, "
         "private %.1f MB",
         code, ours.took_ms / 1000, ours.polls, ours.worst_ms, ours.worst_at / 1000, ours.peak / 1e6, ours.commit / 1e6);
    tree_gone(inst);
    tree_gone(work);
    if (code != 0) {
        printf("bench_window: the install didn't end well (exit code %lu)\n", code);
        return 1;
    }

    // The baseline window, watched as long as the install took.
    baseline_exe(minwin);
    PROCESS_INFORMATION pi;
    if (!start(minwin, L"", &pi))
        return 1;
    Watch plain;
    watch(pi.hProcess, pi.dwProcessId, ours.took_ms, &plain);
    PROCESS_MEMORY_COUNTERS pmc;
    ZeroMemory(&pmc, sizeof pmc);
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc) && pmc.PeakWorkingSetSize > plain.peak)
        plain.peak = pmc.PeakWorkingSetSize;
    if (pmc.PeakPagefileUsage > plain.commit)
        plain.commit = pmc.PeakPagefileUsage;
    finish(&pi);
    note("minimal window: %ld answers in %.1f s, worst %.1f ms, peak working set %.1f MB, private %.1f MB",
         plain.polls, plain.took_ms / 1000, plain.worst_ms, plain.peak / 1e6, plain.commit / 1e6);

    char m[48], base[48];
    snprintf(m, sizeof m, "%.1f ms", ours.worst_ms);
    snprintf(base, sizeof base, "%.1f ms", plain.worst_ms);
    row("responsiveness: longest WM_NULL answer", m, base, ours.worst_ms / plain.worst_ms, "< 50 ms",
        ours.worst_ms < 50);
    // Under Wine the working set is the Unix resident size, Wine's own DLLs
    // included: the baseline window shows that floor.
    double a = ours.peak / 1e6, b = plain.peak / 1e6;
    snprintf(m, sizeof m, "%.1f MB", a);
    snprintf(base, sizeof base, "%.1f MB", b);
    row("memory: peak working set", m, base, a / b, "< 16 MB", a < 16);
    snprintf(m, sizeof m, "%.1f MB", a - b);
    row("  above the baseline window's", m, "-", (a - b) / b, "(info)", 1);
    snprintf(m, sizeof m, "%.1f MB", ours.commit / 1e6);
    snprintf(base, sizeof base, "%.1f MB", plain.commit / 1e6);
    row("  peak private memory", m, base, (double)ours.commit / (double)plain.commit, "(info)", 1);
    return 0;
}

// How long a program rests in its form after the first paint before its
// working set is read.
#define FORM_REST_MS 1500

// The DLLs the process has loaded, by base name in lower case, one per line.
static std::string modules_of(HANDLE proc)
{
    HMODULE mods[512];
    DWORD need = 0;
    std::string out;
    if (!EnumProcessModulesEx(proc, mods, sizeof mods, &need, LIST_MODULES_ALL))
        return out;
    DWORD n = need / sizeof mods[0];
    for (DWORD i = 1; i < n && i < 512; i++) { // 0 is the program itself
        wchar_t name[MAX_PATH];
        if (!GetModuleBaseNameW(proc, mods[i], name, MAX_PATH))
            continue;
        char narrow[MAX_PATH];
        WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, MAX_PATH, NULL, NULL);
        for (char *c = narrow; *c; c++)
            if (*c >= 'A' && *c <= 'Z')
                *c += 'a' - 'A';
        out += narrow;
        out += "\n";
    }
    return out;
}

// One start of a program: milliseconds to the first paint (-1 on timeout),
// then its working set after resting in its form; its DLLs when asked.
static double paint_and_rest(const wchar_t *exe, SIZE_T *ws, std::string *mods)
{
    PROCESS_INFORMATION pi;
    double t0 = ms_now(), t = -1;
    *ws = 0;
    if (!start(exe, L"", &pi)) {
        note("%ls didn't start (error %lu)", exe, GetLastError());
        return -1;
    }
    t = paint_after(&pi, t0);
    if (t >= 0) {
        Sleep(FORM_REST_MS);
        PROCESS_MEMORY_COUNTERS pmc;
        ZeroMemory(&pmc, sizeof pmc);
        if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc))
            *ws = pmc.WorkingSetSize;
        if (mods)
            *mods = modules_of(pi.hProcess);
    }
    finish(&pi);
    return t;
}

// The lines of a that b lacks, joined by blanks.
static std::string lines_missing(const std::string &a, const std::string &b)
{
    std::string out;
    size_t p = 0;
    while (p < a.size()) {
        size_t e = a.find('\n', p);
        std::string line = a.substr(p, e - p);
        if (("\n" + b).find("\n" + line + "\n") == std::string::npos)
            out += (out.empty() ? "" : " ") + line;
        p = e + 1;
    }
    return out.empty() ? "(none)" : out;
}

static int release_rows(const wchar_t *big, const wchar_t *demo, int reps)
{
    wchar_t cc6[MAX_PATH];
    cc6_exe(cc6);
    const wchar_t *exes[3] = {big, demo, cc6};
    const char *names[3] = {"Setup, release-size payload", "Setup, demo payload", "window with common controls 6"};
    PROCESS_INFORMATION keep;
    if (!keeper(&keep)) {
        printf("bench_window: the keeper window didn't show\n");
        return 1;
    }
    std::vector<double> paint[3], ws[3];
    std::string mods[3];
    // A first start of each warms the file cache and the prefix for all; the
    // DLLs each loads are read then.
    for (int k = 0; k < 3; k++) {
        SIZE_T w;
        double t = paint_and_rest(exes[k], &w, &mods[k]);
        note("%s (warm-up): first paint after %.0f ms, working set %.1f MB", names[k], t, w / 1e6);
    }
    for (int i = 0; i < reps; i++) {
        // Turns rotate who goes first.
        for (int j = 0; j < 3; j++) {
            int k = (i + j) % 3;
            SIZE_T w;
            double t = paint_and_rest(exes[k], &w, NULL);
            note("%s: first paint after %.0f ms, working set %.1f MB in the form", names[k], t, w / 1e6);
            if (t < 0 || !w) {
                printf("bench_window: no first paint within %d ms, or no working set\n", PAINT_TIMEOUT_MS);
                finish(&keep);
                return 1;
            }
            paint[k].push_back(t);
            ws[k].push_back((double)w);
        }
    }
    finish(&keep);
    note("DLLs of Setup (release-size payload) that the common-controls window lacks: %s",
         lines_missing(mods[0], mods[2]).c_str());
    note("DLLs of the common-controls window that Setup lacks: %s", lines_missing(mods[2], mods[0]).c_str());
    note("DLLs of Setup with the release-size payload that the demo-payload Setup lacks: %s",
         lines_missing(mods[0], mods[1]).c_str());

    double p[3], m[3];
    for (int k = 0; k < 3; k++) {
        p[k] = least(paint[k]);
        m[k] = least(ws[k]) / 1e6;
    }
    char a[32], b[32], d[32];
    snprintf(a, sizeof a, "%.0f ms", p[0]);
    snprintf(b, sizeof b, "%.0f ms", p[1]);
    row("release size: start-up to first paint, vs the demo-payload Setup", a, b, p[0] / p[1], "<= 1.05",
        p[0] / p[1] <= 1.05);
    snprintf(b, sizeof b, "%.0f ms", p[2]);
    row("release size: start-up to first paint, vs the common-controls-6 window", a, b, p[0] / p[2], "<= 1.05",
        p[0] / p[2] <= 1.05);
    snprintf(a, sizeof a, "%.0f ms", p[1]);
    row("  demo-payload Setup vs the common-controls-6 window", a, b, p[1] / p[2], "(info)", 1);

    snprintf(a, sizeof a, "%.1f MB", m[0]);
    snprintf(b, sizeof b, "%.1f MB", m[1]);
    row("release size: working set idle in the form, vs the demo-payload Setup", a, b, m[0] / m[1], "<= +1 MB",
        m[0] - m[1] <= 1.0);
    snprintf(d, sizeof d, "%+.2f MB", m[0] - m[1]);
    row("  release-size Setup above the demo-payload Setup", d, "-", m[0] / m[1], "(info)", 1);
    snprintf(b, sizeof b, "%.1f MB", m[2]);
    row("release size: working set idle in the form, vs the common-controls-6 window", a, b, m[0] / m[2], "<= 1.05",
        m[0] / m[2] <= 1.05);
    snprintf(d, sizeof d, "%+.2f MB", m[0] - m[2]);
    row("  release-size Setup above the common-controls-6 window", d, "-", m[0] / m[2], "(info)", 1);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    int reps = (int)env_long("EV_BENCH_REPS", 3);
    if (argc == 3 && !wcscmp(argv[1], L"startup"))
        return startup_row(argv[2], reps + 2);
    if (argc == 4 && !wcscmp(argv[1], L"install"))
        return install_rows(argv[2], wcstol(argv[3], NULL, 10));
    if (argc == 4 && !wcscmp(argv[1], L"release"))
        return release_rows(argv[2], argv[3], 2 * reps + 1);
    printf("usage: bench_window startup SETUP | install SETUP MB | release BIG DEMO\n");
    return 2;
}
