#include "script.h"
#include "../common.h"

static void refused_path(wchar_t *out)
{
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH || !path_join(out, temp, REFUSED_FILE))
        out[0] = 0;
}

static void write_utf8(HANDLE h, const wchar_t *line)
{
    char bytes[3 * 1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, (int)sizeof bytes, NULL, NULL);
    DWORD written = 0;
    if (n > 1)
        WriteFile(h, bytes, (DWORD)(n - 1), &written, NULL);
}

int ask_script(const wchar_t *text, UINT style)
{
    int question = (style & MB_TYPEMASK) == MB_YESNO;
    wchar_t line[1024], path[MAX_PATH];
    fmt(line, 1024, L"%s%s\r\n", text, question ? L" No" : L"");

    refused_path(path);
    HANDLE f = path[0] ? CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL) : INVALID_HANDLE_VALUE;
    if (f != INVALID_HANDLE_VALUE) {
        write_utf8(f, line);
        CloseHandle(f);
    }
    // A program of the window subsystem has standard handles only when whoever
    // started it handed some over: a file or a pipe is a script's redirection.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD type = err && err != INVALID_HANDLE_VALUE ? GetFileType(err) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE)
        write_utf8(err, line);
    // Nor does it get a console: the one of the program that started it is
    // borrowed for the line, and let go again.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE con = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, 0, NULL);
        if (con != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteConsoleW(con, line, (DWORD)wcslen(line), &written, NULL);
            CloseHandle(con);
        }
        FreeConsole();
    }
    return question ? IDNO : IDOK;
}

void script_accepted(void)
{
    wchar_t path[MAX_PATH];
    refused_path(path);
    if (path[0])
        DeleteFileW(path);
}
