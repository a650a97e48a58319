// Child programs: "&" waits for one, Start-Process -NoNewWindow leaves it
// running. Either way the child gets our standard handles, as PowerShell
// hands them to a console program whose output it does not capture, so its
// output reaches whoever reads ours, unchanged.
#include "ps.h"
#include <string.h>
#include <wchar.h>

enum { CMD_CAP = 8192 };

// Appends a wide text to the command line; 0 when it does not fit.
static int add(wchar_t *cmd, int *len, const wchar_t *s)
{
    int n = lstrlenW(s);
    if (*len + n >= CMD_CAP)
        return 0;
    memcpy(cmd + *len, s, (size_t)n * sizeof(wchar_t));
    *len += n;
    cmd[*len] = 0;
    return 1;
}

// Appends one argument, in double quotes when it holds a blank (as PowerShell
// 5.1 passes arguments to programs). PowerShell 5.1 drops an empty argument and
// passes inner double quotes unescaped; both are left out of the subset.
static int add_arg(wchar_t *cmd, int *len, const char *arg)
{
    wchar_t w[TEXT_CAP];
    if (!arg[0] || strchr(arg, '"') || !widen(arg, w, TEXT_CAP))
        return 0;
    int quote = strpbrk(arg, " \t") != NULL;
    return add(cmd, len, L" ") && (!quote || add(cmd, len, L"\"")) && add(cmd, len, w) &&
           (!quote || add(cmd, len, L"\""));
}

// The full path of the program a value names, resolved against the current
// folder. A bare name would be looked up on the PATH, never in the current
// folder, which the subset leaves out.
static int program_path(const Token *t, wchar_t *full)
{
    wchar_t path[MAX_PATH];
    if (!path_of(t, path))
        return 0;
    if (!wcschr(path, L'\\') && !wcschr(path, L'/'))
        return unsupported();
    DWORD n = GetFullPathNameW(path, MAX_PATH, full, NULL);
    if (n == 0 || n >= MAX_PATH)
        return unsupported();
    return 1;
}

// Starts the program with our standard handles; with wait set, waits and
// stores its exit code in *code. 1 when it started.
static int start_child(const wchar_t *app, wchar_t *cmd, int wait, DWORD *code)
{
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessW(app, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi))
        return 0;
    if (wait)
    {
        WaitForSingleObject(pi.hProcess, INFINITE);
        if (!GetExitCodeProcess(pi.hProcess, code))
            *code = 1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
}

// Reports a program that would not start, as PowerShell reports an unknown command.
static int not_started(const wchar_t *app)
{
    char name[MAX_PATH * 2];
    if (!WideCharToMultiByte(CP_UTF8, 0, app, -1, name, sizeof name, NULL, NULL))
        name[0] = 0;
    return cmd_error("cannot run", name);
}

int call_program(const Token *t, int n)
{
    wchar_t app[MAX_PATH], cmd[CMD_CAP];
    int len = 0;
    if (n < 1)
        return unsupported();
    if (!program_path(&t[0], app))
        return 0;
    if (!add(cmd, &len, L"\"") || !add(cmd, &len, app) || !add(cmd, &len, L"\""))
        return unsupported();
    for (int i = 1; i < n; i++)
    {
        Value v;
        char text[TEXT_CAP];
        if (!eval(&t[i], &v))
            return 0;
        value_text(&v, text, TEXT_CAP);
        if (!add_arg(cmd, &len, text))
            return unsupported();
    }
    DWORD code = 0;
    if (!start_child(app, cmd, 1, &code))
        return not_started(app);
    Value exit_code;
    set_int(&exit_code, (int)code);
    set_var("LASTEXITCODE", 12, &exit_code);
    return 1;
}

int start_process(const Token *t, int n)
{
    Param p[] = {{"FilePath", 1, 0, NULL}, {"ArgumentList", 1, 0, NULL}, {"NoNewWindow", 0, 0, NULL}};
    const int pos[] = {0, 1};
    if (!bind(t, n, p, 3, pos, 2))
        return 0;
    // Without -NoNewWindow the child would get a console of its own, and -Wait
    // waits for its descendants too: neither is ours.
    if (!p[0].set || !p[2].set)
        return unsupported();
    wchar_t app[MAX_PATH], cmd[CMD_CAP];
    int len = 0;
    if (!program_path(p[0].value, app))
        return 0;
    if (!add(cmd, &len, L"\"") || !add(cmd, &len, app) || !add(cmd, &len, L"\""))
        return unsupported();
    if (p[1].set)
    {
        // A single ArgumentList string goes onto the command line as it is.
        Value v;
        char text[TEXT_CAP];
        wchar_t w[TEXT_CAP];
        if (!eval(p[1].value, &v))
            return 0;
        value_text(&v, text, TEXT_CAP);
        if (!widen(text, w, TEXT_CAP) || !add(cmd, &len, L" ") || !add(cmd, &len, w))
            return unsupported();
    }
    DWORD unused = 0;
    return start_child(app, cmd, 0, &unused) ? 1 : not_started(app);
}
