#include "common.h"
#include <stdarg.h>
#include <stdio.h>

int s_dpi = 96;

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
    fmt(out, MAX_PATH, L"%s\\%s", dir, name);
    return wcslen(dir) + 1 + wcslen(name) < MAX_PATH;
}

void path_full(const wchar_t *in, wchar_t *out)
{
    DWORD n = GetFullPathNameW(in, MAX_PATH, out, NULL);
    if (n == 0 || n >= MAX_PATH)
        copy_cut(out, MAX_PATH, in);
    size_t len = wcslen(out);
    while (len > 3 && out[len - 1] == L'\\')
        out[--len] = 0;
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
