#include "disc.h"
#include "dest.h"
#include "walk.h"
#include "xbe.h"
#include "../ui/ids.h"

const wchar_t *const k_disc_files[DISC_FILES] = {
    L"Driving.xbe",
    L"corvane\\filesys.d00", L"corvane\\filesys.d01", L"corvane\\filesys.d02", L"corvane\\filesys.d03",
    L"corvane\\filesys.d04", L"corvane\\filesys.d05", L"corvane\\filesys.d06", L"corvane\\filesys.d07",
    L"corvane\\filesys.d08", L"corvane\\filesys.d09", L"corvane\\filesys.d10",
    L"driving\\halden.dat", L"driving\\debug.xfn", L"driving\\misc.viv", L"driving\\race.viv",
    L"driving\\mis01.mus", L"driving\\mis01.viv", L"driving\\mis01en.spe",
    L"driving\\mis11.mus", L"driving\\mis11.viv", L"driving\\mis11en.spe",
    L"driving\\mis13a.mus", L"driving\\mis13a.viv", L"driving\\mis13aen.spe",
    L"driving\\mis13b.mus", L"driving\\mis13b.viv", L"driving\\mis13ben.spe",
    L"driving\\mis13c.mus", L"driving\\mis13c.viv", L"driving\\mis13cen.spe",
    L"driving\\mis3.mus", L"driving\\mis3.viv", L"driving\\mis3en.spe",
    L"driving\\mis4.mus", L"driving\\mis4.viv", L"driving\\mis4en.spe",
};

int xbe_read(const wchar_t *path, DWORD *title_id, DWORD *region)
{
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    unsigned char head[XBE_READ];
    DWORD got = 0;
    if (!ReadFile(f, head, sizeof head, &got, NULL))
        got = 0;
    CloseHandle(f);
    uint32_t t, r;
    if (!xbe_parse(head, got, &t, &r))
        return 0;
    *title_id = t;
    *region = r;
    return 1;
}

const wchar_t *disc_missing(const wchar_t *dir)
{
    wchar_t p[MAX_PATH], q[MAX_PATH];
    for (int i = 0; i < DISC_FILES; i++) {
        path_join(p, dir, k_disc_files[i]);
        if (!exists(p))
            return k_disc_files[i];
    }
    path_join(p, dir, L"corvane\\25_fps");
    path_join(q, dir, L"corvane\\30_fps");
    if (!is_dir(p) && !is_dir(q))
        return L"corvane\\25_fps (or 30_fps)";
    return NULL;
}

static unsigned long long bytes_below(const wchar_t *dir, DWORD attributes, DWORD tag, DirChain *up)
{
    DirChain here;
    if (!dir_enter(dir, attributes, tag, up, &here))
        return 0;
    wchar_t pattern[MAX_PATH], sub[MAX_PATH];
    path_join(pattern, dir, L"*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long long sum = 0;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            path_join(sub, dir, fd.cFileName);
            sum += bytes_below(sub, fd.dwFileAttributes, fd.dwReserved0, &here);
        } else {
            sum += (unsigned long long)fd.nFileSizeHigh << 32 | fd.nFileSizeLow;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return sum;
}

unsigned long long dir_bytes(const wchar_t *dir)
{
    return bytes_below(dir, INVALID_FILE_ATTRIBUTES, 0, NULL);
}

int game_in_place(const wchar_t *dest)
{
    wchar_t full[MAX_PATH], game[MAX_PATH];
    path_full(dest, full);
    size_t n = wcslen(full);
    if (n + 5 >= MAX_PATH) // "\game" would not fit: no game folder can be that long
        return 0;
    wcscat(full, L"\\game");
    path_full(s_game.dir, game);
    return ieq(full, game);
}

const wchar_t *region_name(DWORD region)
{
    if (region == 1)
        return L"USA (NTSC)";
    if (region & 4)
        return L"Europe (PAL)";
    return L"other region";
}

void game_check(const wchar_t *path, Game *game, PickTexts *texts)
{
    wchar_t full[MAX_PATH], xbe[MAX_PATH];
    path_full(path, full);
    copy_cut(texts->field, MAX_PATH, full);
    ZeroMemory(game, sizeof *game);
    copy_cut(game->dir, MAX_PATH, full);
    if (is_dir(full)) {
        path_join(texts->field, full, L"default.xbe");
    } else {
        // Any file of the disc's top folder, or a path there that doesn't
        // exist, stands for that folder.
        wchar_t *slash = wcsrchr(game->dir, L'\\');
        if (slash)
            *slash = 0;
    }
    path_join(xbe, game->dir, L"default.xbe");
    DWORD title = 0, region = 0;
    const wchar_t *missing;
    if (!exists(xbe)) {
        copy_cut(texts->note, MAX_PATH, L"There is no default.xbe in this folder.");
    } else if (!xbe_read(xbe, &title, &region) || title != EV_TITLE_ID) {
        copy_cut(texts->note, MAX_PATH, L"This default.xbe is not Z93: Emberveil.");
    } else if ((missing = disc_missing(game->dir)) != NULL) {
        fmt(texts->note, 160, L"Incomplete copy of the disc: %s is missing.", missing);
    } else {
        wchar_t size[32];
        game->ok = 1;
        game->region = region;
        game->bytes = dir_bytes(game->dir);
        gb(game->bytes, size, 32);
        fmt(texts->note, MAX_PATH, L"Z93: Emberveil, %s, %s", region_name(region), size);
    }
}

void game_pick(const wchar_t *path)
{
    PickTexts texts;
    game_check(path, &s_game, &texts);
    SetDlgItemTextW(s_win, ID_XBE, texts.field);
    SetDlgItemTextW(s_win, ID_NOTE, texts.note);
    InvalidateRect(GetDlgItem(s_win, ID_NOTE), NULL, TRUE);
    space_update();
}
