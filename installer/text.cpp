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

int path_inside(const wchar_t *path, const wchar_t *folder)
{
    size_t n = wcslen(folder);
    if (n == 0 || !ieqn(path, folder, n) || wcslen(path) <= n)
        return 0;
    return folder[n - 1] == L'\\' || path[n] == L'\\';
}

int path_is_or_inside(const wchar_t *path, const wchar_t *folder)
{
    return (folder[0] && ieq(path, folder)) || path_inside(path, folder);
}

int dest_complete(wchar_t *path, size_t cap)
{
    const wchar_t *slash = wcsrchr(path, L'\\');
    if (slash && ieq(slash + 1, L"Emberveil"))
        return 1;
    size_t n = wcslen(path);
    const wchar_t *add = (n == 0 || path[n - 1] == L'\\') ? L"Emberveil" : L"\\Emberveil";
    if (n + wcslen(add) >= cap)
        return 0;
    copy_cut(path + n, cap - n, add);
    return 1;
}

// Reads a decimal number without leading zeros from *p, at most max; 0 when
// there is none or it is out of range.
static unsigned long number(const wchar_t **p, unsigned long max)
{
    const wchar_t *s = *p;
    if (*s < L'1' || *s > L'9')
        return 0;
    unsigned long v = 0;
    for (; *s >= L'0' && *s <= L'9'; s++) {
        if (v > (max - (unsigned long)(*s - L'0')) / 10)
            return 0;
        v = v * 10 + (unsigned long)(*s - L'0');
    }
    *p = s;
    return v;
}

unsigned long leftover_pid(const wchar_t *name)
{
    static const wchar_t prefix[] = L"emberveil_setup_";
    const size_t n = sizeof prefix / sizeof prefix[0] - 1;
    if (!ieqn(name, prefix, n))
        return 0;
    const wchar_t *p = name + n;
    unsigned long pid = number(&p, 0xFFFFFFFFul);
    if (!pid || *p++ != L'_' || *p < L'0' || *p > L'2')
        return 0;
    p++;
    if (*p == L'_') {
        p++;
        if (!number(&p, 99))
            return 0;
    }
    return ieq(p, L".zip") ? pid : 0;
}

size_t utf8_whole(const char *s, size_t n)
{
    // Back over up to three continuation bytes to the last sequence's lead byte.
    size_t lead = n;
    for (int k = 0; k < 3 && lead > 0 && ((unsigned char)s[lead - 1] & 0xC0) == 0x80; k++)
        lead--;
    if (lead == 0)
        return n;
    unsigned char c = (unsigned char)s[lead - 1];
    size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return n - (lead - 1) < want ? lead - 1 : n;
}
