#include "text.h"

wchar_t fold(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? (wchar_t)(c - L'A' + L'a') : c;
}

int ieqn(const wchar_t *a, const wchar_t *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (fold(a[i]) != fold(b[i]))
            return 0;
        if (!a[i])
            return 1;
    }
    return 1;
}

int ieq(const wchar_t *a, const wchar_t *b)
{
    for (;; a++, b++) {
        if (fold(*a) != fold(*b))
            return 0;
        if (!*a)
            return 1;
    }
}

void copy_cut(wchar_t *out, size_t cap, const wchar_t *src)
{
    size_t i = 0;
    if (src)
        for (; i + 1 < cap && src[i]; i++)
            out[i] = src[i];
    out[i] = 0;
}

int path_within(const wchar_t *path, const wchar_t *folder, int equal_too)
{
    size_t n = wcslen(folder);
    if (!ieqn(path, folder, n) || wcslen(path) < n)
        return 0;
    return path[n] == L'\\' || (equal_too && path[n] == 0);
}

void dest_complete(wchar_t *path, size_t cap)
{
    const wchar_t *slash = wcsrchr(path, L'\\');
    if (slash && ieq(slash + 1, L"Emberveil"))
        return;
    size_t n = wcslen(path);
    if (n + 1 >= cap)
        return;
    const wchar_t *add = (n == 0 || path[n - 1] == L'\\') ? L"Emberveil" : L"\\Emberveil";
    copy_cut(path + n, cap - n, add);
}
