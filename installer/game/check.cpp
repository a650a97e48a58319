#include "check.h"
#include "hasher.h"
#include "span.h"
#include "../engine/context.h"
#include "../engine/log.h"
#include "../stages/stages.h"
#include <string.h>

#define LIST_NAME L"game-files.sha256"
#define RECORD_NAME L"game-files.checked"

enum { LIST_NONE, LIST_OK, LIST_DAMAGED };
enum { BAD_SHOWN = 20 }; // malformed lines logged one by one; the rest are counted
static const size_t NONE = (size_t)-1;

static int s_on; // a list is loaded for this copy step
static KnownList s_list, s_record;
static void *s_list_room, *s_record_room;
// Per listed file, the index in s_list.sums of the version its copy was found
// to be this step (checked, or vouched for by the record), or NONE.
static size_t *s_good;
static unsigned long s_checked, s_by_record, s_unlisted;
static size_t s_bad;
static wchar_t s_top[MAX_PATH]; // the disc folder, as the walk names its files
// The file routed last and its path below s_top as the disc spells it (the
// caller's buffer, which lasts while that file is copied): a failure names it so.
static const KnownFile *s_routed;
static const wchar_t *s_routed_rel;
static int s_failed;
static wchar_t s_msg[MAX_PATH + 128], s_advice[512];

static void list_path(wchar_t *out, const wchar_t *name)
{
    path_join(out, s_dir, name);
}

static void bad_line(void *ctx, size_t line, const char *text, size_t n, const char *why)
{
    (void)ctx;
    if (++s_bad > BAD_SHOWN)
        return;
    wchar_t wtext[128], wwhy[64];
    int k = MultiByteToWideChar(CP_UTF8, 0, text, (int)utf8_whole(text, n < 100 ? n : 100), wtext, 127);
    wtext[k > 0 ? k : 0] = 0;
    k = MultiByteToWideChar(CP_UTF8, 0, why, -1, wwhy, 64);
    wwhy[k > 0 ? k - 1 : 0] = 0;
    logw(L"%s line %lu ignored (%s): %s", LIST_NAME, (unsigned long)line, wwhy, wtext);
}

// Reads and parses a list; its tables (and the bytes behind them) go to *room,
// which the caller frees. LIST_DAMAGED for a file there that can't be read
// whole or is longer than any list may be.
static int load(const wchar_t *path, KnownList *list, void **room, KnownBadFn bad)
{
    memset(list, 0, sizeof *list);
    *room = NULL;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (f == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? LIST_NONE : LIST_DAMAGED;
    }
    LARGE_INTEGER size;
    size_t need = 0;
    if (GetFileSizeEx(f, &size) && size.QuadPart <= KNOWN_MAX_BYTES)
        need = known_room((size_t)size.QuadPart);
    unsigned char *block = need ? (unsigned char *)HeapAlloc(GetProcessHeap(), 0, need + (size_t)size.QuadPart + 1)
                                : NULL;
    DWORD got = 0;
    int r = LIST_DAMAGED;
    if (block && ReadFile(f, block + need, (DWORD)size.QuadPart, &got, NULL) && got == (DWORD)size.QuadPart &&
        known_parse(block + need, got, block, need, list, bad, NULL))
        r = LIST_OK;
    CloseHandle(f);
    if (r == LIST_OK)
        *room = block;
    else if (block)
        HeapFree(GetProcessHeap(), 0, block);
    return r;
}

static void let_go(void)
{
    void *blocks[] = {s_list_room, s_record_room, s_good};
    for (void *b : blocks)
        if (b)
            HeapFree(GetProcessHeap(), 0, b);
    s_list_room = s_record_room = NULL;
    s_good = NULL;
    memset(&s_list, 0, sizeof s_list);
    memset(&s_record, 0, sizeof s_record);
    s_on = 0;
}

int check_load(void)
{
    let_go();
    s_checked = s_by_record = s_unlisted = 0;
    s_bad = 0;
    s_failed = 0;
    s_routed = NULL;
    hasher_clear_wait();
    copy_cut(s_top, MAX_PATH, s_game.dir);
    wchar_t path[MAX_PATH];
    list_path(path, LIST_NAME);
    int r = load(path, &s_list, &s_list_room, bad_line);
    if (r == LIST_NONE) {
        // Nothing checks this install's copies: a record left from an earlier
        // one must not vouch for them.
        list_path(path, RECORD_NAME);
        DeleteFileW(path);
        return R_OK;
    }
    // The packer refuses such a list, so only a damaged install has one; going
    // on unchecked would report a good disc over one nobody checked.
    if (r == LIST_DAMAGED)
        return fail(L"The installer's list of game files is damaged.", L"Download the installer again.");
    if (s_bad > BAD_SHOWN)
        logw(L"%s: %lu more malformed lines ignored", LIST_NAME, (unsigned long)(s_bad - BAD_SHOWN));
    logw(L"%s: %lu files, %lu versions", LIST_NAME, (unsigned long)s_list.nfiles, (unsigned long)s_list.nsums);
    s_good = (size_t *)HeapAlloc(GetProcessHeap(), 0, (s_list.nfiles + 1) * sizeof *s_good);
    if (!s_good) {
        let_go();
        return fail(L"The game files couldn't be copied.", L"Check that the drive has enough free space, then try again.");
    }
    for (size_t i = 0; i < s_list.nfiles; i++)
        s_good[i] = NONE;
    list_path(path, RECORD_NAME);
    if (load(path, &s_record, &s_record_room, NULL) != LIST_OK)
        memset(&s_record, 0, sizeof s_record); // no record: everything listed is read again
    s_on = 1;
    return R_OK;
}

const KnownFile *check_listed(const wchar_t *rel)
{
    if (!s_on)
        return NULL;
    const KnownFile *f = known_find(&s_list, rel);
    if (!f)
        s_unlisted++;
    s_routed = f;
    s_routed_rel = rel;
    return f;
}

const KnownFile *check_source(const wchar_t *path)
{
    if (!s_on)
        return NULL;
    size_t n = wcslen(s_top);
    // "F:\" ends in its separator; any other folder is followed by one.
    int root = n && s_top[n - 1] == L'\\';
    if (!ieqn(path, s_top, n) || (!root && path[n] != L'\\'))
        return NULL;
    return check_listed(path + n + (path[n] == L'\\'));
}

static size_t version_of(const KnownFile *f, const unsigned char sha[SHA_BYTES])
{
    for (size_t i = f->first; i < f->first + f->count; i++)
        if (!memcmp(s_list.sums[i].sha, sha, SHA_BYTES))
            return i;
    return NONE;
}

static void found_good(const KnownFile *f, size_t version, int by_record)
{
    size_t i = (size_t)(f - s_list.files);
    if (s_good[i] == NONE) {
        s_checked++;
        s_by_record += by_record;
    }
    s_good[i] = version;
}

int check_kept(const KnownFile *listed)
{
    if (!listed)
        return 1;
    const KnownFile *r = known_find(&s_record, listed->path);
    for (size_t i = r ? r->first : 0; r && i < r->first + r->count; i++) {
        size_t v = version_of(listed, s_record.sums[i].sha);
        if (v != NONE) {
            found_good(listed, v, 1);
            return 1;
        }
    }
    return 0;
}

// The file's path on the disc: the disc folder (or image) and the listed path.
static void disc_path(wchar_t *out, int cap, const wchar_t *rel)
{
    size_t n = wcslen(s_top);
    fmt(out, cap, n && s_top[n - 1] == L'\\' ? L"%s%s" : L"%s\\%s", s_top, rel);
}

static void hex(wchar_t *out, const unsigned char sha[SHA_BYTES])
{
    static const wchar_t k_digits[] = L"0123456789abcdef";
    for (int i = 0; i < SHA_BYTES; i++) {
        out[2 * i] = k_digits[sha[i] >> 4];
        out[2 * i + 1] = k_digits[sha[i] & 15];
    }
    out[2 * SHA_BYTES] = 0;
}

// Keeps the first failure of the step for check_fail. The message names the
// file by its path below the disc's top, as a player finds it in the dump and
// as it fits the panel; the log names it by its full path.
static void failed(const wchar_t *format, const wchar_t *advice, const wchar_t *rel)
{
    if (s_failed)
        return;
    fmt(s_msg, MAX_PATH + 128, format, rel);
    copy_cut(s_advice, 512, advice);
    s_failed = 1;
}

int check_sha(const KnownFile *listed, const unsigned char sha[SHA_BYTES])
{
    size_t v = version_of(listed, sha);
    if (v != NONE) {
        found_good(listed, v, 0);
        return 1;
    }
    // What didn't match, for whoever reads the log: the bytes' hash and every
    // version the list has for the file.
    const wchar_t *rel = listed == s_routed ? s_routed_rel : listed->path;
    wchar_t where[MAX_PATH + 4], got[2 * SHA_BYTES + 1], line[1024];
    disc_path(where, MAX_PATH + 4, rel);
    hex(got, sha);
    line[0] = 0;
    size_t at = 0;
    for (size_t i = listed->first; i < listed->first + listed->count && at + 70 < 1024; i++) {
        fmt(line + at, (int)(1024 - at), L"%s", at ? L" or " : L"");
        at = wcslen(line);
        hex(line + at, s_list.sums[i].sha);
        at = wcslen(line);
    }
    logw(L"%s: SHA-256 %s; %s lists %s", where, got, LIST_NAME, line);
    failed(L"The game file %s is damaged or changed.",
           L"It matches no good copy of the game: dump the disc again (a read error or a file cut short causes "
           L"this) and undo any mods or patches. This port needs Z93: Emberveil for Europe or North America.",
           rel);
    return 0;
}

int check_missing(CheckHasFn has, void *ctx)
{
    for (size_t i = 0; s_on && i < s_list.nfiles; i++) {
        if (!has(ctx, s_list.files[i].path)) {
            failed(L"The game file %s is missing from the disc.",
                   s_game.image ? L"Make the image again from your disc, then choose the new image."
                                : L"Dump the whole disc again, every folder of it, and choose the default.xbe of the new dump.",
                   s_list.files[i].path);
            return 0;
        }
    }
    return 1;
}

int check_has_file(void *folder, const wchar_t *rel)
{
    wchar_t path[MAX_PATH];
    // A path too long to name is no missing file: the copy refuses it with
    // texts of its own when it comes to it.
    if (!path_join(path, (const wchar_t *)folder, rel))
        return 1;
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Reads a file of the install's own copy through the check, writing nothing.
static int check_file(const wchar_t *path, unsigned long long size, const KnownFile *listed)
{
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int ok = h != INVALID_HANDLE_VALUE && copy_span(h, 0, size, NULL, NULL, listed);
    DWORD why = GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!ok && why != SPAN_NO_MATCH)
        logw(L"check %s failed (%lu)", path, why);
    return ok;
}

int check_in_place(const wchar_t *game)
{
    if (!s_on)
        return 1;
    if (!check_missing(check_has_file, (void *)game))
        return 0;
    // A copy changed after the record was written (a mod put in by hand) is
    // newer than the record: the record doesn't vouch for it.
    wchar_t path[MAX_PATH];
    list_path(path, RECORD_NAME);
    WIN32_FILE_ATTRIBUTE_DATA rec, d;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &rec))
        ZeroMemory(&rec, sizeof rec);
    for (size_t i = 0; i < s_list.nfiles && !s_cancel; i++) {
        const KnownFile *f = &s_list.files[i];
        if (!path_join(path, game, f->path) || !GetFileAttributesExW(path, GetFileExInfoStandard, &d))
            return 0;
        if (CompareFileTime(&d.ftLastWriteTime, &rec.ftLastWriteTime) <= 0 && check_kept(f))
            continue;
        if (!check_file(path, (unsigned long long)d.nFileSizeHigh << 32 | d.nFileSizeLow, f))
            return 0;
    }
    return !s_cancel;
}

// The record: sha256sum lines (so that known_parse reads it back) of every
// listed file whose copy was found good this step.
static void write_record(void)
{
    static const char k_head[] = "# The game files this install found good against game-files.sha256, as they\n"
                                 "# were copied. Setup reads it at the next install; it can be deleted.\n";
    size_t room = sizeof k_head;
    for (size_t i = 0; i < s_list.nfiles; i++)
        if (s_good[i] != NONE)
            room += 2 * SHA_BYTES + 3 + 3 * wcslen(s_list.files[i].path);
    char *buf = (char *)HeapAlloc(GetProcessHeap(), 0, room);
    if (!buf)
        return;
    size_t n = sizeof k_head - 1;
    memcpy(buf, k_head, n);
    for (size_t i = 0; i < s_list.nfiles; i++) {
        if (s_good[i] == NONE)
            continue;
        wchar_t digits[2 * SHA_BYTES + 1];
        hex(digits, s_list.sums[s_good[i]].sha);
        for (int k = 0; k < 2 * SHA_BYTES; k++)
            buf[n++] = (char)digits[k];
        buf[n++] = ' ';
        buf[n++] = ' ';
        const wchar_t *p = s_list.files[i].path;
        int k = WideCharToMultiByte(CP_UTF8, 0, p, (int)wcslen(p), buf + n, (int)(room - n), NULL, NULL);
        for (int j = 0; j < k; j++)
            if (buf[n + j] == '\\')
                buf[n + j] = '/';
        n += (size_t)(k > 0 ? k : 0);
        buf[n++] = '\n';
    }
    wchar_t path[MAX_PATH];
    list_path(path, RECORD_NAME);
    spill_safe(path, buf, (DWORD)n);
    HeapFree(GetProcessHeap(), 0, buf);
}

void check_end(void)
{
    if (!s_on)
        return;
    hasher_stop();
    write_record();
    logw(s_checked == 1 ? L"checked %lu file against %s (%lu by an earlier install's check); the check added %lu ms"
                        : L"checked %lu files against %s (%lu by an earlier install's check); the check added %lu ms",
         s_checked, LIST_NAME, s_by_record, hasher_waited());
    if (s_unlisted)
        logw(s_unlisted == 1 ? L"%lu file on the disc isn't in %s (not checked)"
                             : L"%lu files on the disc aren't in %s (not checked)",
             s_unlisted, LIST_NAME);
    let_go();
}

int check_fail(const wchar_t *msg, const wchar_t *advice)
{
    return s_failed ? fail(s_msg, s_advice) : fail(msg, advice);
}
