// A tar.exe that misbehaves on purpose, for tests only (never shipped). A test
// copies it over system32\tar.exe for its duration; Setup hands its own
// environment on, so the test steers it through variables of its own process:
//   EV_TAR_SPY   when set, the whole command line is appended to this file
//                first, as one UTF-8 line ending in CR LF
//   EV_TAR_MODE  "hang": prints a line and never ends (until it is killed)
//                "fail": prints a line and exits 1
//                unset or "pass": runs the real bsdtar with the same command
//                line and standard handles, and exits with its exit code
//   EV_TAR_ONLY  when set, the mode is for command lines holding this text
//                (an archive's name) alone; any other goes to the real bsdtar
//   EV_TAR_REAL  the real bsdtar; by default bsdtar.exe beside this program
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { VAR_CAP = 32768 };

static wchar_t s_var[VAR_CAP];

// The variable's value in s_var, or null when it is unset or too long.
static const wchar_t *var(const wchar_t *name)
{
    DWORD n = GetEnvironmentVariableW(name, s_var, VAR_CAP);
    return n > 0 && n < VAR_CAP ? s_var : NULL;
}

static void say(const char *text)
{
    DWORD done;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text), &done, NULL);
}

// Appends the command line as it reached this process: the wide one, so that
// a name outside the ANSI code page arrives as it was sent.
static int spy(const wchar_t *file)
{
    const wchar_t *cmd = GetCommandLineW();
    int n = WideCharToMultiByte(CP_UTF8, 0, cmd, -1, NULL, 0, NULL, NULL);
    if (n <= 0)
        return 0;
    char *utf8 = (char *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)n + 2);
    if (!utf8)
        return 0;
    WideCharToMultiByte(CP_UTF8, 0, cmd, -1, utf8, n, NULL, NULL);
    utf8[n - 1] = '\r';
    utf8[n] = '\n';
    int ok = 0;
    HANDLE h = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD done = 0;
        ok = WriteFile(h, utf8, (DWORD)n + 1, &done, NULL) && done == (DWORD)n + 1;
        CloseHandle(h);
    }
    HeapFree(GetProcessHeap(), 0, utf8);
    return ok;
}

static int pass(void)
{
    static wchar_t real[VAR_CAP];
    const wchar_t *given = var(L"EV_TAR_REAL");
    if (given) {
        wcscpy(real, given);
    } else {
        DWORD n = GetModuleFileNameW(NULL, real, MAX_PATH);
        wchar_t *slash = n > 0 && n < MAX_PATH ? wcsrchr(real, L'\\') : NULL;
        if (!slash) {
            say("badtar: can't tell where it is\r\n");
            return 2;
        }
        wcscpy(slash + 1, L"bsdtar.exe");
    }
    // CreateProcessW may write into the command line: hand it a copy.
    const wchar_t *line = GetCommandLineW();
    size_t len = wcslen(line);
    wchar_t *cmd = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (len + 1) * sizeof(wchar_t));
    if (!cmd)
        return 2;
    memcpy(cmd, line, (len + 1) * sizeof(wchar_t));
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    BOOL started = CreateProcessW(real, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    HeapFree(GetProcessHeap(), 0, cmd);
    if (!started) {
        char why[96];
        snprintf(why, sizeof why, "badtar: the real bsdtar didn't start (%lu)\r\n", GetLastError());
        say(why);
        return 2;
    }
    DWORD code = 2;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)code;
}

int main(void)
{
    const wchar_t *file = var(L"EV_TAR_SPY");
    if (file && !spy(file)) {
        say("badtar: the command line couldn't be written down\r\n");
        return 2;
    }
    const wchar_t *only = var(L"EV_TAR_ONLY");
    if (only && !wcsstr(GetCommandLineW(), only))
        return pass();
    const wchar_t *mode = var(L"EV_TAR_MODE");
    if (!mode || !wcscmp(mode, L"pass"))
        return pass();
    if (!wcscmp(mode, L"fail")) {
        say("badtar: failing on purpose\r\n");
        return 1;
    }
    if (!wcscmp(mode, L"hang")) {
        say("badtar: hanging on purpose\r\n");
        for (;;)
            Sleep(INFINITE);
    }
    say("badtar: unknown EV_TAR_MODE\r\n");
    return 2;
}
