#include "log.h"
#include "context.h"
#include <stdarg.h>

void log_raw(const void *bytes, DWORD count)
{
    if (s_log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(s_log, bytes, count, &written, NULL);
}

void logw(const wchar_t *format, ...)
{
    wchar_t line[2048];
    char utf8[6144]; // three bytes for each unit: a full line always fits
    SYSTEMTIME t;
    GetLocalTime(&t);
    fmt(line, 32, L"[%02u:%02u:%02u] ", (unsigned)t.wHour, (unsigned)t.wMinute, (unsigned)t.wSecond);
    int stamp = (int)wcslen(line);
    va_list args;
    va_start(args, format);
    // Two units are held back for the CR LF, so the text is cut at 2034 characters.
    vfmt(line + stamp, 2046 - stamp, format, args);
    va_end(args);
    wcscat(line, L"\r\n");
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, (int)sizeof utf8, NULL, NULL);
    if (n > 1)
        log_raw(utf8, (DWORD)(n - 1));
}

void log_open(const wchar_t *dir)
{
    log_close(); // a log still open would hold the file against the new one
    wchar_t logs[MAX_PATH], path[MAX_PATH];
    path_join(logs, dir, L"logs");
    CreateDirectoryW(logs, NULL);
    path_join(path, logs, L"install.log");
    s_log = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
}

void log_close(void)
{
    if (s_log != INVALID_HANDLE_VALUE)
        CloseHandle(s_log);
    s_log = INVALID_HANDLE_VALUE;
}
