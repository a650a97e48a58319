#include "disc.h"
#include "dest.h"
#include "image.h"
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

// A listing that can't start or breaks off adds what it gave so far: the pick
// still succeeds, and the copy meets the same folder again.
static int bytes_below(const wchar_t *dir, DWORD attributes, DWORD tag, DirChain *up, unsigned long long *sum)
{
    DirChain here;
    dir_enter(dir, attributes, tag, up, &here);
    if (dir_loops(&here))
        return 1;
    wchar_t sub[MAX_PATH];
    Listing l;
    int r = list_first(&l, dir), ok = r != LIST_TOO_LONG;
    for (; ok && r == LIST_ITEM; r = list_next(&l)) {
        // Files too: a file the copy couldn't name is as much in the way as a folder.
        if (!path_join(sub, dir, l.fd.cFileName))
            ok = too_long(sub);
        else if (l.fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = bytes_below(sub, l.fd.dwFileAttributes, l.fd.dwReserved0, &here, sum);
        else
            *sum += (unsigned long long)l.fd.nFileSizeHigh << 32 | l.fd.nFileSizeLow;
    }
    list_close(&l);
    return ok;
}

unsigned long long dir_bytes(const wchar_t *dir)
{
    unsigned long long sum = 0;
    bytes_below(dir, INVALID_FILE_ATTRIBUTES, 0, NULL, &sum);
    return sum;
}

int game_in_place(const wchar_t *dest)
{
    if (s_game.image) // an image file is never the install's game folder
        return 0;
    wchar_t full[MAX_PATH], game[MAX_PATH], disc[MAX_PATH];
    // A path that doesn't fit can never be a game folder.
    if (!path_full(dest, full) || !path_join(game, full, L"game") || !path_full(s_game.dir, disc))
        return 0;
    return ieq(game, disc);
}

const wchar_t *region_name(DWORD region)
{
    if (region == 1)
        return L"USA (NTSC)";
    if (region & 4)
        return L"Europe (PAL)";
    return L"other region";
}

// Refuses the pick for the path s_too_long names.
static void too_long_note(PickTexts *texts)
{
    too_long_text(texts->note, MAX_PATH,
                  L"A path of the disc is too long for Windows: %s... Copy the disc into a shorter folder, for "
                  L"example C:\\Emberveil disc.");
}

// 1 when every file the check looks for can be named below dir.
static int listed_fit(const wchar_t *dir)
{
    wchar_t p[MAX_PATH];
    for (int i = 0; i < DISC_FILES; i++)
        if (!path_join(p, dir, k_disc_files[i]))
            return too_long(p);
    return 1;
}

void game_check(const wchar_t *path, Game *game, PickTexts *texts)
{
    wchar_t full[MAX_PATH], xbe[MAX_PATH];
    s_too_long[0] = 0;
    int whole = path_full(path, full);
    copy_cut(texts->field, MAX_PATH, full);
    ZeroMemory(game, sizeof *game);
    copy_cut(game->dir, MAX_PATH, full);
    if (!whole) {
        too_long(path);
        too_long_note(texts);
        return;
    }
    if (is_dir(full)) {
        path_join(texts->field, full, L"default.xbe");
    } else if (image_check(full, game, texts)) {
        return; // a disc image: checked from its own tables, dir names the image
    } else {
        // Any file of the disc's top folder, or a path there that doesn't
        // exist, stands for that folder; a drive root keeps its backslash.
        wchar_t *slash = wcsrchr(game->dir, L'\\');
        if (slash == game->dir + 2 && game->dir[1] == L':')
            slash[1] = 0; // "E:\\x" leaves the root "E:\\"; "E:" would be that drive's current folder
        else if (slash)
            *slash = 0;
    }
    DWORD title = 0, region = 0;
    const wchar_t *missing;
    if (!path_join(xbe, game->dir, L"default.xbe")) {
        too_long(xbe);
        too_long_note(texts);
    } else if (!exists(xbe)) {
        copy_cut(texts->note, MAX_PATH, L"There is no default.xbe in this folder.");
    } else if (!xbe_read(xbe, &title, &region) || title != EV_TITLE_ID) {
        copy_cut(texts->note, MAX_PATH, L"This default.xbe is not Z93: Emberveil.");
    } else if (!listed_fit(game->dir)) {
        too_long_note(texts);
    } else if ((missing = disc_missing(game->dir)) != NULL) {
        fmt(texts->note, 160, L"Incomplete copy of the disc: %s is missing.", missing);
    } else {
        unsigned long long bytes = dir_bytes(game->dir);
        wchar_t size[32];
        if (s_too_long[0]) {
            too_long_note(texts);
            return;
        }
        game->ok = 1;
        game->region = region;
        game->bytes = bytes;
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
