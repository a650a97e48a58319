// The list of known good game files on any bytes: every malformed line is told
// once, with its bytes inside the input; every path taken stays inside the
// disc in one form; every file is found again by its own path.
#include "game/known.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

struct Told {
    const uint8_t *data;
    size_t size, count, last_line;
};

static void tell(void *ctx, size_t line, const char *text, size_t n, const char *why)
{
    Told *t = (Told *)ctx;
    const uint8_t *p = (const uint8_t *)text;
    if (p < t->data || p + n > t->data + t->size || line <= t->last_line || !why || !*why)
        abort();
    t->last_line = line;
    t->count++;
}

static void check_path(const wchar_t *path)
{
    std::wstring parts = L"\\" + std::wstring(path) + L"\\";
    if (wcslen(path) > KNOWN_PATH_MAX || parts.find_first_of(L"/:") != std::wstring::npos ||
        parts.find(L"\\\\") != std::wstring::npos || parts.find(L"\\.\\") != std::wstring::npos ||
        parts.find(L"\\..\\") != std::wstring::npos)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<unsigned char> room(known_room(size));
    KnownList list;
    Told told = {data, size, 0, 0};
    if (!known_parse(data, size, room.data(), room.size(), &list, tell, &told))
        abort();
    if (told.count != list.bad || list.nfiles > list.nsums)
        abort();
    size_t versions = 0;
    for (size_t i = 0; i < list.nfiles; i++) {
        const KnownFile *f = &list.files[i];
        if (f->first != versions || f->count == 0 || known_find(&list, f->path) != f)
            abort();
        if (!known_match(&list, f, list.sums[f->first + f->count - 1].sha))
            abort();
        for (size_t k = f->first; k < f->first + f->count; k++)
            check_path(list.sums[k].path);
        versions += f->count;
    }
    if (versions != list.nsums)
        abort();
    return 0;
}
