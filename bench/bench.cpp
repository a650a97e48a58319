#include "bench.h"
#include <algorithm>
#include <shellapi.h>
#include <shlobj.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

double ms_now(void)
{
    static LARGE_INTEGER s_freq;
    if (!s_freq.QuadPart)
        QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)s_freq.QuadPart;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double least(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

int tree_gone(const wchar_t *path)
{
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return 1;
    // SHFileOperationW wants its list ended by two terminators.
    wchar_t from[MAX_PATH + 2];
    ZeroMemory(from, sizeof from);
    wcsncpy(from, path, MAX_PATH - 1);
    SHFILEOPSTRUCTW op;
    ZeroMemory(&op, sizeof op);
    op.wFunc = FO_DELETE;
    op.pFrom = from;
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
}

void work_dir(const wchar_t *name, wchar_t *out)
{
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    swprintf(out, MAX_PATH, L"%lsevbench-%ls", tmp, name);
    tree_gone(out);
    SHCreateDirectoryExW(NULL, out, NULL);
}

long env_long(const char *name, long fallback)
{
    const char *v = getenv(name);
    if (!v || !*v)
        return fallback;
    char *end = NULL;
    long n = strtol(v, &end, 10);
    return end && !*end ? n : fallback;
}

void own_dir(wchar_t *out)
{
    GetModuleFileNameW(NULL, out, MAX_PATH);
    wchar_t *slash = wcsrchr(out, L'\\');
    if (slash)
        *slash = 0;
}

void row(const char *name, const char *measured, const char *baseline, double ratio, const char *target, int met)
{
    // A row without a target of its own (its target starts with "(") is met by definition.
    const char *verdict = target[0] == '(' ? "-" : met ? "yes" : "NO";
    printf("ROW|%s|%s|%s|%.3f|%s|%s\n", name, measured, baseline, ratio, target, verdict);
    fflush(stdout);
}

void note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    printf("  ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
}
