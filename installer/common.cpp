#include "common.h"
#include <stdarg.h>
#include <stdio.h>

int s_dpi = 96;
wchar_t s_too_long[MAX_PATH];

// How much of a path too long for Windows a text names: enough to find it by.
enum { PATH_SHOWN = 72 };

void vfmt(wchar_t *out, int cap, const wchar_t *format, va_list args)
{
    if (cap <= 0)
        return;
    // msvcrt's formatter leaves the buffer unterminated when the text fills it.
    int n = _vsnwprintf(out, (size_t)cap - 1, format, args);
    if (n < 0 || n >= cap - 1)
        out[cap - 1] = 0;
}

void fmt(wchar_t *out, int cap, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    vfmt(out, cap, format, args);
    va_end(args);
}

int path_join(wchar_t *out, const wchar_t *dir, const wchar_t *name)
{
    size_t n = wcslen(dir);
    const wchar_t *sep = n && dir[n - 1] == L'\\' ? L"" : L"\\";
    fmt(out, MAX_PATH, L"%s%s%s", dir, sep, name);
    return n + wcslen(sep) + wcslen(name) < MAX_PATH;
}

int path_full(const wchar_t *in, wchar_t *out)
{
    DWORD n = GetFullPathNameW(in, MAX_PATH, out, NULL);
    // n counts the terminator only when the path didn't fit.
    int whole = n > 0 ? n < MAX_PATH : wcslen(in) < MAX_PATH;
    if (n == 0 || n >= MAX_PATH)
        copy_cut(out, MAX_PATH, in);
    size_t len = wcslen(out);
    while (len > 3 && out[len - 1] == L'\\')
        out[--len] = 0;
    return whole;
}

int too_long(const wchar_t *path)
{
    copy_cut(s_too_long, MAX_PATH, path);
    return 0;
}

void too_long_text(wchar_t *out, int cap, const wchar_t *format)
{
    wchar_t start[PATH_SHOWN + 1];
    copy_cut(start, PATH_SHOWN + 1, s_too_long);
    fmt(out, cap, format, start);
}

int exists(const wchar_t *path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int is_dir(const wchar_t *path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void gb(unsigned long long bytes, wchar_t *out, int cap)
{
    fmt(out, cap, L"%.1f GB", (double)bytes / 1073741824.0);
}

int px(int v)
{
    return MulDiv(v, s_dpi, 96);
}
