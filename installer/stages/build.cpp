#include "stages.h"
#include "match.h"
#include "../engine/runner.h"
#include "../game/walk.h"

int s_compiled, s_compile_total;
char s_first_error[300];

// The hand-written files the build compiles besides: four for each of the two
// game executables and the launcher's one.
enum { HAND_WRITTEN = 9 };

static const wchar_t *const SEE_LOG = L"The details are in logs\\install.log in the install folder.";

static int is_c_name(const wchar_t *name)
{
    size_t n = wcslen(name);
    return n > 2 && ieq(name + n - 2, L".c");
}

int count_c(const wchar_t *folder, int deep)
{
    wchar_t sub[MAX_PATH];
    Listing l;
    int r = list_first(&l, folder), count = 0;
    // What can't be listed counts nothing: the number only moves the bar.
    for (; r == LIST_ITEM && count >= 0; r = list_next(&l)) {
        if (!(l.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            count += is_c_name(l.fd.cFileName);
        } else if (deep) {
            int below = -1;
            if (path_join(sub, folder, l.fd.cFileName))
                below = count_c(sub, 1);
            else
                too_long(sub);
            count = below < 0 ? -1 : count + below;
        }
    }
    list_close(&l);
    return r == LIST_TOO_LONG ? -1 : count;
}

void build_line(const char *line)
{
    if (build_is_c(line)) {
        s_compiled++;
        seg_frac(s_compile_total ? (double)s_compiled / s_compile_total : 0);
        detail(L"Compiled %d of %d code files", s_compiled < s_compile_total ? s_compiled : s_compile_total,
               s_compile_total);
    }
    if (!s_first_error[0] && build_is_error(line)) {
        strncpy(s_first_error, line, sizeof s_first_error - 1);
        s_first_error[sizeof s_first_error - 1] = 0;
    }
}

// The first error line as the failure view shows it. A build prints in UTF-8
// when it is told to, and PowerShell's redirected output is otherwise in the
// OEM code page: bytes that are valid UTF-8 are read so (a character cut by the
// line's limit dropped), any others through the OEM code page, so that a path
// in the line reads as the player named it.
static void error_text(const char *line, wchar_t *out, int cap)
{
    int n = (int)strlen(line);
    int w = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line, (int)utf8_whole(line, (size_t)n), out, cap - 1);
    if (w <= 0)
        w = MultiByteToWideChar(CP_OEMCP, 0, line, n, out, cap - 1);
    out[w > 0 ? w : 0] = 0;
}

// The code files the build will compile; -1 when a path is too long to count.
static int expected_files(void)
{
    static const struct {
        const wchar_t *folder;
        int deep;
    } k_code[] = {
        {L"src\\recomp\\main\\gen", 0},
        {L"src\\recomp\\driving\\gen", 0},
        {L"external\\tidewright\\src", 1},
    };
    wchar_t p[MAX_PATH];
    int total = HAND_WRITTEN;
    for (size_t i = 0; i < sizeof k_code / sizeof k_code[0] && total >= 0; i++) {
        path_join(p, s_dir, k_code[i].folder); // the install folder's length leaves room for these
        int n = count_c(p, k_code[i].deep);
        total = n < 0 ? -1 : total + n;
    }
    return total;
}

int stage_build(void)
{
    seg(0.60, 0.99, 240000, L"Step 4 of 5: Compiling", L"Setting up the build");
    s_compiled = 0;
    s_first_error[0] = 0;
    s_too_long[0] = 0;
    s_compile_total = expected_files();
    if (s_compile_total < 0) {
        wchar_t msg[256];
        too_long_text(msg, 256, TOO_LONG_MSG);
        return fail(msg, L"Choose a shorter install folder, for example C:\\Games\\Emberveil, then try again.");
    }
    wchar_t cmd[2 * MAX_PATH], advice[512], launcher[MAX_PATH];
    ps_command(cmd, 2 * MAX_PATH, L"scripts\\build.ps1");
    if (run(cmd, s_dir, build_line) != 0) {
        if (s_first_error[0]) {
            wchar_t error[sizeof s_first_error];
            error_text(s_first_error, error, (int)(sizeof s_first_error));
            fmt(advice, 512, L"%s\n\n%s", error, SEE_LOG);
        } else {
            copy_cut(advice, 512, SEE_LOG);
        }
        return fail(L"The game couldn't be compiled.", advice);
    }
    path_join(launcher, s_dir, L"Emberveil Launcher.exe");
    if (exists(launcher))
        return R_OK;
    return fail(L"The build finished without the launcher.", SEE_LOG);
}
