#include "known.h"
#include "../text.h"
#include <stdlib.h>
#include <string.h>

// An entry line holds 64 digits, two marks and a path of at least one byte,
// and a line end unless it is the last: k entries take 68 k - 1 bytes at least.
enum { ENTRY_LEAST = 64 + 2 + 1 + 1 };

static const char k_forbidden[] = "character Windows forbids in names";

static size_t most_entries(size_t n)
{
    return (n + 1) / ENTRY_LEAST;
}

size_t known_room(size_t n)
{
    if (n > KNOWN_MAX_BYTES)
        return 0;
    // A path's UTF-8 bytes give at most as many UTF-16 units, and its line
    // holds 66 more bytes than the path: its terminator fits in those.
    size_t most = most_entries(n);
    return most * (sizeof(KnownSum) + sizeof(KnownFile)) + (n + 1) * sizeof(wchar_t);
}

static int hex(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The code point that starts at s (n bytes left) and its length; -1 for bytes
// that are no UTF-8: a cut or stray sequence, an overlong form, a surrogate,
// anything past U+10FFFF (what a strict decoder refuses, Python's among them).
static long utf8_at(const unsigned char *s, size_t n, size_t *len)
{
    static const long k_least[5] = {0, 0, 0x80, 0x800, 0x10000};
    unsigned c = s[0];
    if (c < 0x80) {
        *len = 1;
        return (long)c;
    }
    size_t k = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (!k || c > 0xF4 || k > n)
        return -1;
    long cp = (long)(c & (0x7Fu >> k));
    for (size_t i = 1; i < k; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return -1;
        cp = cp << 6 | (long)(s[i] & 0x3F);
    }
    if (cp < k_least[k] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    *len = k;
    return cp;
}

// The path's bytes as wide text into out, terminated; null, or why not: bytes
// that are no UTF-8, or a NUL (which would end the path early).
static const char *widen(const unsigned char *s, size_t n, wchar_t *out)
{
    size_t len = 0;
    int nul = 0;
    for (size_t i = 0; i < n; i += len) {
        long cp = utf8_at(s + i, n - i, &len);
        if (cp < 0)
            return "not UTF-8";
        nul |= cp == 0;
        if (cp >= 0x10000 && sizeof(wchar_t) == 2) {
            *out++ = (wchar_t)(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = (wchar_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            *out++ = (wchar_t)cp;
        }
    }
    *out = 0;
    return nul ? k_forbidden : NULL;
}

// Where wchar_t holds 32 bits (the native test build), a character past
// U+FFFF is one unit of it but two of Windows' UTF-16.
static size_t utf16_units(const wchar_t *s)
{
    size_t n = 0;
    for (; *s; s++) {
#if WCHAR_MAX > 0xFFFF
        n += *s >= 0x10000 ? 2 : 1;
#else
        n++;
#endif
    }
    return n;
}

static int is_sep(wchar_t c)
{
    return c == L'/' || c == L'\\';
}

// What Windows refuses in a name: the control characters and <>:"|?*.
static int forbidden(wchar_t c)
{
    return (unsigned long)c < 0x20 || wcschr(L"<>:\"|?*", c);
}

// Checks the wide path in place and brings it to one form: "\" between parts,
// "." parts dropped. Null when it names a file inside the disc, else why not.
static const char *tidy(wchar_t *path)
{
    if (is_sep(path[0]))
        return "absolute path";
    if (((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z') && path[1] == L':')
        return "drive letter";
    for (const wchar_t *c = path; *c; c++)
        if (forbidden(*c))
            return k_forbidden;
    wchar_t *out = path;
    const wchar_t *part = path;
    for (;;) {
        const wchar_t *end = part;
        while (*end && !is_sep(*end))
            end++;
        size_t n = (size_t)(end - part);
        if (n == 0)
            return "empty part in the path";
        if (n == 2 && part[0] == L'.' && part[1] == L'.')
            return "leads out of the disc (..)";
        // A "." part ("./default.xbe", as find lists files) is dropped.
        int dot = n == 1 && part[0] == L'.';
        if (!dot && (part[n - 1] == L'.' || part[n - 1] == L' '))
            return "name ending in a dot or blank";
        if (!dot) {
            if (out != path)
                *out++ = L'\\';
            memmove(out, part, n * sizeof(wchar_t));
            out += n;
        }
        if (!*end)
            break;
        part = end + 1;
    }
    if (out == path)
        return "names no file";
    *out = 0;
    return NULL;
}

// One line without its line end: null and *taken 0 for a comment, null and
// *taken 1 for an entry (its path written to pool), else why it is malformed.
static const char *take(const unsigned char *s, size_t n, wchar_t *pool, KnownSum *sum, int *taken)
{
    *taken = 0;
    size_t blank = 0;
    while (blank < n && (s[blank] == ' ' || s[blank] == '\t'))
        blank++;
    if (blank == n || s[0] == '#')
        return NULL;
    size_t digits = 0;
    while (digits < n && s[digits] != ' ')
        digits++;
    if (digits == 0)
        return "no hash";
    for (size_t i = 0; i < digits; i++)
        if (hex(s[i]) < 0)
            return "hash not hexadecimal";
    if (digits != 2 * KNOWN_SHA)
        return "hash not 64 digits";
    if (n < 66)
        return "no path";
    if (s[65] != ' ' && s[65] != '*')
        return "no blank or * before the path";
    if (n == 66)
        return "no path";
    const char *why = widen(s + 66, n - 66, pool);
    if (!why)
        why = tidy(pool);
    if (why)
        return why;
    if (utf16_units(pool) > KNOWN_PATH_MAX)
        return "path too long";
    for (int i = 0; i < KNOWN_SHA; i++)
        sum->sha[i] = (unsigned char)(hex(s[2 * i]) << 4 | hex(s[2 * i + 1]));
    sum->path = pool;
    *taken = 1;
    return NULL;
}

static unsigned long key(wchar_t c)
{
    return c == L'/' ? (unsigned long)L'\\' : (unsigned long)fold(c);
}

static int path_cmp(const wchar_t *a, const wchar_t *b)
{
    for (;; a++, b++) {
        unsigned long x = key(*a), y = key(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

static int sum_cmp(const void *a, const void *b)
{
    const KnownSum *x = (const KnownSum *)a, *y = (const KnownSum *)b;
    int c = path_cmp(x->path, y->path);
    return c ? c : memcmp(x->sha, y->sha, KNOWN_SHA);
}

// Sorts the versions, drops repeated ones and groups them by file.
static void group(KnownList *list, size_t count)
{
    KnownSum *sums = list->sums;
    qsort(sums, count, sizeof *sums, sum_cmp);
    size_t kept = 0, files = 0;
    for (size_t i = 0; i < count; i++) {
        int same_file = kept && path_cmp(sums[kept - 1].path, sums[i].path) == 0;
        if (same_file && !memcmp(sums[kept - 1].sha, sums[i].sha, KNOWN_SHA))
            continue;
        sums[kept] = sums[i];
        if (!same_file) {
            list->files[files].path = sums[kept].path;
            list->files[files].first = kept;
            list->files[files].count = 0;
            files++;
        }
        list->files[files - 1].count++;
        kept++;
    }
    list->nsums = kept;
    list->nfiles = files;
}

int known_parse(const void *bytes, size_t n, void *room, size_t room_bytes, KnownList *list, KnownBadFn bad,
                void *ctx)
{
    memset(list, 0, sizeof *list);
    size_t need = known_room(n);
    if (!need || !room || room_bytes < need)
        return 0;
    size_t most = most_entries(n);
    list->sums = (KnownSum *)room;
    list->files = (KnownFile *)(list->sums + most);
    wchar_t *pool = (wchar_t *)(list->files + most);
    const unsigned char *s = (const unsigned char *)bytes, *end = s + n;
    if (n >= 3 && !memcmp(s, "\xEF\xBB\xBF", 3))
        s += 3;
    size_t line = 0, count = 0;
    while (s < end) {
        const unsigned char *lf = (const unsigned char *)memchr(s, '\n', (size_t)(end - s));
        size_t len = (size_t)((lf ? lf : end) - s);
        if (len && s[len - 1] == '\r')
            len--;
        line++;
        int taken = 0;
        const char *why = take(s, len, pool, &list->sums[count], &taken);
        if (why) {
            list->bad++;
            if (bad)
                bad(ctx, line, (const char *)s, len, why);
        } else if (taken) {
            pool += wcslen(pool) + 1;
            count++;
        }
        s = lf ? lf + 1 : end;
    }
    group(list, count);
    return 1;
}

const KnownFile *known_find(const KnownList *list, const wchar_t *rel)
{
    size_t lo = 0, hi = list->nfiles;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = path_cmp(rel, list->files[mid].path);
        if (c == 0)
            return &list->files[mid];
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return NULL;
}

int known_match(const KnownList *list, const KnownFile *file, const unsigned char sha[KNOWN_SHA])
{
    for (size_t i = file->first; i < file->first + file->count; i++)
        if (!memcmp(list->sums[i].sha, sha, KNOWN_SHA))
            return 1;
    return 0;
}
