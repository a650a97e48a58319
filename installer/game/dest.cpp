#include "dest.h"
#include "disc.h"
#include "../stages/stages.h"
#include "../ui/ids.h"
#include "../ui/window.h"
#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wctype.h>

static const KNOWNFOLDERID *const k_no[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_Windows};

static const wchar_t *const ADMIN_ONLY =
    L"Windows only lets programs write here as an administrator, and the game writes its settings and logs "
    L"beside itself. Choose another folder, for example C:\\Games\\Emberveil.";

static int free_bytes(const wchar_t *root, ULONGLONG *out)
{
    ULARGE_INTEGER avail, total, all_free;
    if (!GetDiskFreeSpaceExW(root, &avail, &total, &all_free))
        return 0;
    *out = avail.QuadPart;
    return 1;
}

FreeFn s_free_bytes = free_bytes;

static int known_holds(const KNOWNFOLDERID *id, const wchar_t *full)
{
    PWSTR known = NULL;
    if (FAILED(SHGetKnownFolderPath(*id, 0, NULL, &known)))
        return 0; // a folder the platform can't name is no objection
    int within = path_is_or_inside(full, known);
    CoTaskMemFree(known);
    return within;
}

const wchar_t *dest_problem(const wchar_t *text)
{
    if (!text[0])
        return L"Choose a folder to install into.";
    int drive = iswalpha(text[0]) && text[1] == L':' && text[2] == L'\\';
    int share = text[0] == L'\\' && text[1] == L'\\';
    if (!drive && !share)
        return L"Choose a full path, for example C:\\Games\\Emberveil.";
    // The length and known-folder tests look at the full path, so "." and
    // ".." parts can't lead around them.
    wchar_t full[MAX_PATH];
    path_full(text, full);
    if (wcslen(full) <= 3)
        return L"Choose a folder, not a whole drive.";
    for (size_t i = 0; i < sizeof k_no / sizeof k_no[0]; i++)
        if (known_holds(k_no[i], full))
            return ADMIN_ONLY;
    return NULL;
}

int game_running(void)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    int found = 0;
    for (BOOL more = Process32FirstW(snap, &pe); more && !found; more = Process32NextW(snap, &pe))
        found = ieq(pe.szExeFile, L"emberveil.exe") || ieq(pe.szExeFile, L"emberveil_driving.exe");
    CloseHandle(snap);
    return found;
}

unsigned long long space_needed(const wchar_t *dest)
{
    unsigned long long need = BUILD_BYTES;
    if (s_game.ok && !game_in_place(dest))
        need += s_game.bytes;
    return need;
}

void space_update(void)
{
    wchar_t dest[MAX_PATH] = L"", size[64], line[96];
    GetDlgItemTextW(s_win, ID_DEST, dest, MAX_PATH);
    gb(space_needed(dest), size, 64);
    fmt(line, 96, L"Required space: %s", size);
    SetDlgItemTextW(s_win, ID_SPACE, line);
    if (s_state == S_FORM)
        SendMessageW(s_status, SB_SETTEXTW, 1, (LPARAM)size);
}

// An install folder inside the disc folder would have the copy copy its own
// growing target (and the install folder's tools) into <install>\game. The
// disc's path may name a folder (a drive root among them) or an image file.
static int inside_disc(const wchar_t *full)
{
    wchar_t disc[MAX_PATH];
    path_full(s_game.dir, disc);
    return disc[0] && path_is_or_inside(full, disc);
}

// A disc inside <install>\game, but not that folder itself (the disc in
// place), would be copied into the folder holding it, and the prune would then
// remove it as "not on the disc".
static int disc_in_game_folder(const wchar_t *full)
{
    wchar_t disc[MAX_PATH], game[MAX_PATH];
    return path_full(s_game.dir, disc) && path_join(game, full, L"game") && path_inside(disc, game);
}

// The longest install folder every path of the install fits below. Its other
// side is the release packer's name check (tools/pack/pack.py, INSTALL_DIR_MAX
// and ENTRY_MAX): a payload it accepts leaves room for a folder of
// INSTALL_DIR_MAX characters, so it installs into every folder this accepts.
static size_t dest_max(void)
{
    size_t longest = payload_longest();
    // MAX_PATH units hold the folder, a backslash, the path and the terminator.
    return longest + 2 < MAX_PATH ? MAX_PATH - 2 - longest : 0;
}

int install_checks(const wchar_t *dest, const wchar_t *note, AskFn ask)
{
    if (!s_game.ok) {
        const wchar_t *why = L"Choose the default.xbe of your extracted Emberveil disc first.";
        wchar_t told[200];
        copy_cut(told, 200, note);
        ask(s_game.dir[0] && told[0] ? told : why, MB_OK | MB_ICONINFORMATION);
        return R_FAIL;
    }
    const wchar_t *problem = dest_problem(dest);
    if (problem) {
        ask(problem, MB_OK | MB_ICONWARNING);
        return R_FAIL;
    }
    wchar_t full[MAX_PATH];
    size_t most = dest_max();
    if (!path_full(dest, full) || wcslen(full) > most) {
        wchar_t msg[MAX_PATH];
        fmt(msg, MAX_PATH, L"This install folder's path is too long: it may be at most %d characters long. Choose a "
            L"shorter one, for example C:\\Games\\Emberveil.", (int)most);
        ask(msg, MB_OK | MB_ICONWARNING);
        return R_FAIL;
    }
    copy_cut(s_dir, MAX_PATH, full);
    if (inside_disc(s_dir)) {
        ask(L"The install folder can't lie inside the folder of the game files. Choose another folder, "
            L"for example C:\\Games\\Emberveil.",
            MB_OK | MB_ICONWARNING);
        return R_FAIL;
    }
    if (disc_in_game_folder(s_dir)) {
        ask(L"The game files lie inside this install folder's game folder, which the install fills with its own "
            L"copy of them. Choose another install folder, or move the game files elsewhere first.",
            MB_OK | MB_ICONWARNING);
        return R_FAIL;
    }
    if (game_running()) {
        ask(L"Emberveil is running. Close the game, then install.", MB_OK | MB_ICONWARNING);
        return R_FAIL;
    }
    wchar_t script[MAX_PATH];
    path_join(script, s_dir, L"scripts\\build.ps1");
    if (is_dir(s_dir) && !exists(script) && !PathIsDirectoryEmptyW(s_dir) &&
        ask(L"This folder is not empty. Install into it anyway?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return R_CANCEL;
    ULONGLONG free = 0;
    wchar_t root[8];
    if (s_dir[1] == L':') {
        fmt(root, 8, L"%c:\\", s_dir[0]);
        unsigned long long need = space_needed(s_dir);
        if (s_free_bytes(root, &free) && free < need) {
            wchar_t size[64], msg[MAX_PATH];
            gb(need, size, 64);
            fmt(msg, MAX_PATH, L"The drive %s needs %s free for the install. Free some space or choose another drive.",
                root, size);
            ask(msg, MB_OK | MB_ICONWARNING);
            return R_FAIL;
        }
    }
    return R_OK;
}
