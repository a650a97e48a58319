#include "stages.h"
#include "match.h"
#include "../engine/runner.h"

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
    wchar_t pattern[MAX_PATH], sub[MAX_PATH];
    path_join(pattern, folder, L"*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (deep && wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) {
                path_join(sub, folder, fd.cFileName);
                count += count_c(sub, 1);
            }
        } else if (is_c_name(fd.cFileName)) {
            count++;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return count;
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

static int expected_files(void)
{
    wchar_t p[MAX_PATH];
    path_join(p, s_dir, L"src\\recomp\\main\\gen");
    int total = count_c(p, 0);
    path_join(p, s_dir, L"src\\recomp\\driving\\gen");
    total += count_c(p, 0);
    path_join(p, s_dir, L"external\\tidewright\\src");
    return total + count_c(p, 1) + HAND_WRITTEN;
}

int stage_build(void)
{
    seg(0.60, 0.99, 240000, L"Step 4 of 5: Compiling", L"Setting up the build");
    s_compiled = 0;
    s_first_error[0] = 0;
    s_compile_total = expected_files();
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
