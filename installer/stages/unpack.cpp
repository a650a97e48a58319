#include "stages.h"
#include "zipdir.h"
#include "../engine/log.h"
#include "../engine/runner.h"
#include "../game/copy.h"
#include "../game/dest.h"
#include <string.h>

enum { KEEP = 2, ARCHIVES = 3 };

// The player's settings files: the name in the install folder, the name an
// older copy of it is left under, and its entry in the project archive.
struct KeepName {
    const wchar_t *name, *older;
    const char *entry;
};
static const KeepName k_keep[KEEP] = {
    {L"emberveil.ini", L"emberveil (older copy).ini", "emberveil.ini"},
    {L"mkb.ini", L"mkb (older copy).ini", "mkb.ini"},
};
static const wchar_t *const k_what[ARCHIVES] = {
    L"Unpacking the recompiler",
    L"Unpacking the toolkit",
    L"Unpacking the build tools (Zig, Python, CMake, Ninja)",
};
static const int k_archive[ARCHIVES] = {IDR_PROJECT, IDR_TOOLKIT, IDR_TOOLCHAIN};
static const double k_reached[ARCHIVES] = {0.02, 0.1, 1.0};

// The player's settings files, held from before the unpacking until they are
// back. Each also stays on disk as "<name>.kept" for that time, so that a crash,
// a power cut or a killed Setup in between loses nothing: the next install
// takes the kept copy for the player's file.
struct Kept {
    unsigned char *bytes;
    DWORD n;
    DWORD attributes; // the player's file's, given back with its bytes; INVALID_FILE_ATTRIBUTES when unknown
};

// Where an archive is written for tar to read it.
enum ArchiveIn {
    IN_TEMP,    // the temporary folder: tar is given the archive's full path
    IN_INSTALL, // the install folder, tar's working folder: tar is given its name alone,
                // which works on every volume, where a short 8.3 name exists only where
                // the volume makes them
};

struct Unpacking {
    wchar_t tar[MAX_PATH];
    wchar_t temp[MAX_PATH]; // the temporary folder, ending in a backslash; empty when there is none
    wchar_t here[MAX_PATH]; // the install folder, ending in a backslash
    const wchar_t *target;  // how tar is told the install folder: its path, or "." when tar would misread that
    int archive_in;         // ArchiveIn, for the archives still to come
};

static void kept_path(wchar_t *out, const wchar_t *name)
{
    wchar_t file[MAX_PATH];
    path_join(file, s_dir, name);
    fmt(out, MAX_PATH, L"%s.kept", file);
}

// 1 when the n bytes are the settings file entry exactly as the payload's
// project archive carries it.
static int payload_default(const char *entry, const unsigned char *bytes, DWORD n)
{
    DWORD size = 0;
    const void *zip = payload_bytes(IDR_PROJECT, &size);
    ZipDir z;
    return zip_dir_find(&z, zip, size, entry) && z.unpacked == n && z.crc == zip_crc32(bytes, n);
}

// A kept copy left by an install that died half-way is the player's file while
// the one in place is gone, unreadable or the payload's own default: the
// unpacking had begun. One in place that the player changed since (playing the
// earlier build, say) is newer: it stays, and the kept copy, older, is left
// beside it under a name that says so. 0 when that can't be done: nothing may
// then be unpacked over the newer file.
static int recover_kept(void)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH], older[MAX_PATH];
    int ok = 1;
    for (int i = 0; i < KEEP; i++) {
        kept_path(aside, k_keep[i].name);
        path_join(path, s_dir, k_keep[i].name);
        DWORD kn = 0, n = 0;
        unsigned char *kept = slurp(aside, &kn);
        unsigned char *here = kept ? slurp(path, &n) : NULL;
        if (here && !payload_default(k_keep[i].entry, here, n) && !(n == kn && !memcmp(here, kept, n))) {
            path_join(older, s_dir, k_keep[i].older);
            if (MoveFileExW(aside, older, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                logw(L"%s changed after an earlier install stopped half-way: it is kept, and the older copy "
                     L"that install set aside is now %s", path, older);
            else
                ok = 0;
        }
        HeapFree(GetProcessHeap(), 0, kept);
        HeapFree(GetProcessHeap(), 0, here);
    }
    return ok;
}

// Reads each settings file (or its kept copy, which is the player's) and sets
// it aside on disk before anything is unpacked over it. 0 when one that is
// there can't be read, or its kept copy can't be written whole (the drive
// filled up since the space check): nothing may then be unpacked over the
// player's files.
static int set_aside(Kept *kept)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH];
    int ok = 1;
    for (int i = 0; i < KEEP; i++) {
        path_join(path, s_dir, k_keep[i].name);
        kept_path(aside, k_keep[i].name);
        kept[i].attributes = INVALID_FILE_ATTRIBUTES;
        kept[i].bytes = slurp(aside, &kept[i].n);
        if (kept[i].bytes)
            continue;
        kept[i].attributes = GetFileAttributesW(path);
        kept[i].bytes = slurp(path, &kept[i].n);
        if (kept[i].bytes ? !spill_safe(aside, kept[i].bytes, kept[i].n) : exists(path))
            ok = 0;
    }
    return ok;
}

// 0 when a file couldn't be put back whole: its kept copy then stays, and the
// next install takes the player's bytes from there.
static int put_back_settings(Kept *kept)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH];
    int ok = 1;
    for (int i = 0; i < KEEP; i++) {
        if (!kept[i].bytes)
            continue;
        path_join(path, s_dir, k_keep[i].name);
        kept_path(aside, k_keep[i].name);
        // A read-only file in the way can't be replaced; the player's own
        // attributes (read-only among them) come back with the bytes.
        writable(path);
        // The kept copy goes only once the player's bytes are safely back.
        if (spill_safe(path, kept[i].bytes, kept[i].n)) {
            if (kept[i].attributes != INVALID_FILE_ATTRIBUTES)
                SetFileAttributesW(path, kept[i].attributes);
            DeleteFileW(aside);
        } else {
            ok = 0;
        }
        HeapFree(GetProcessHeap(), 0, kept[i].bytes);
        kept[i].bytes = NULL;
    }
    return ok;
}

// The biggest of the three archives, in bytes: the room one of them takes
// while tar reads it.
static unsigned long long largest_archive(void)
{
    unsigned long long most = 0;
    for (int i = 0; i < ARCHIVES; i++) {
        DWORD size = 0;
        payload_bytes(k_archive[i], &size);
        if (size > most)
            most = size;
    }
    return most;
}

// 1 unless the folder's volume is known to have less than need bytes free.
static int room_for(const wchar_t *folder, unsigned long long need)
{
    ULONGLONG free = 0;
    return !s_free_bytes(folder, &free) || free >= need;
}

// Writes archive i into folder (which ends in a backslash) as name, into zip;
// 1 when it is all there.
static int write_archive(int i, const wchar_t *folder, wchar_t *name, wchar_t *zip)
{
    fmt(name, 64, L"emberveil_setup_%lu_%d.zip", GetCurrentProcessId(), i);
    int written = path_join(zip, folder, name) && write_resource(k_archive[i], zip);
    // The name is easy to guess: when something already has it, take another.
    for (int k = 1; !written && k < 100 && exists(zip); k++) {
        fmt(name, 64, L"emberveil_setup_%lu_%d_%d.zip", GetCurrentProcessId(), i, k);
        written = path_join(zip, folder, name) && write_resource(k_archive[i], zip);
    }
    return written;
}

static void temp_refused(Unpacking *u)
{
    logw(L"the temporary folder %s can't take the archives: they go into the install folder", u->temp);
    u->archive_in = IN_INSTALL;
}

// Writes archive i where u says and unpacks it into the install folder. An
// archive the temporary folder can't take (a full drive, a folder that is
// gone) goes into the install folder instead, and so do the ones after it.
static int unpack_archive(int i, Unpacking *u)
{
    wchar_t name[64], zip[MAX_PATH], cmd[3 * MAX_PATH];
    DWORD size = 0;
    detail(L"%s", k_what[i]);
    // An archive the payload lacks can be written nowhere: no folder is to blame.
    int carried = payload_bytes(k_archive[i], &size) != NULL;
    int written = carried && u->archive_in == IN_TEMP && write_archive(i, u->temp, name, zip);
    if (carried && !written && u->archive_in == IN_TEMP)
        temp_refused(u);
    if (carried && !written)
        written = write_archive(i, u->here, name, zip);
    int ok = written;
    // Nothing of toolchain\ is in the way: it was removed whole just before.
    if (ok && k_archive[i] != IDR_TOOLCHAIN)
        clear_read_only_targets(k_archive[i]);
    if (ok) {
        fmt(cmd, 3 * MAX_PATH, L"\"%s\" -xmf \"%s\" -C \"%s\"", u->tar, u->archive_in == IN_TEMP ? zip : name,
            u->target);
        ok = run(cmd, s_dir, NULL) == 0;
    }
    // A failed write removed its own file; what else has the name isn't ours.
    if (written)
        DeleteFileW(zip);
    seg_frac(k_reached[i]);
    return ok;
}

// The temporary folder, the install folder, and how tar is told the latter.
static void find_places(Unpacking *u)
{
    DWORD t = GetTempPathW(MAX_PATH, u->temp);
    if (t == 0 || t >= MAX_PATH)
        u->temp[0] = 0;
    fmt(u->here, MAX_PATH, L"%s\\", s_dir);
    u->target = ansi_safe(s_dir) ? s_dir : L".";
    u->archive_in = IN_INSTALL;
}

// Where the archives go: the temporary folder when tar can be given its path
// as it is (Windows' tar.exe reads its arguments through the ANSI code page)
// and it has room for the biggest; else the install folder.
static void choose_place(Unpacking *u)
{
    u->archive_in = u->temp[0] && ansi_safe(u->temp) ? IN_TEMP : IN_INSTALL;
    if (u->archive_in == IN_TEMP && !room_for(u->temp, largest_archive()))
        temp_refused(u);
}

int stage_unpack(void)
{
    seg(0, 0.06, 40000, L"Step 1 of 5: Unpacking", k_what[0]);
    Unpacking u;
    wchar_t sys[MAX_PATH], path[MAX_PATH];
    UINT n = GetSystemDirectoryW(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        sys[0] = 0;
    path_join(u.tar, sys, L"tar.exe");
    if (!exists(u.tar))
        return fail(L"This installer needs Windows 10 (version 1803) or newer.", NULL);

    s_too_long[0] = 0;
    Kept kept[KEEP];
    ZeroMemory(kept, sizeof kept);
    // When the older copy can't be moved aside, nothing is touched at all.
    int ok = recover_kept() && set_aside(kept);
    find_places(&u);
    if (ok) {
        // What killed Setups left behind: with the real build tools, a few hundred MB each.
        if (u.temp[0])
            sweep_leftovers(u.temp);
        sweep_leftovers(u.here);
        choose_place(&u);
    }
    // The room is looked at before anything is removed: the earlier install's
    // tools stay when the archives could be written nowhere.
    if (ok && u.archive_in == IN_INSTALL)
        ok = room_for(u.here, largest_archive());
    path_join(path, s_dir, L"toolchain");
    // No file of an earlier tool version may stay among the new ones.
    if (ok)
        ok = remove_tree(path);
    for (int i = 0; i < ARCHIVES && ok; i++)
        ok = unpack_archive(i, &u);
    if (ok) {
        // Before the player's mkb.ini is back, so that this holds the payload's default layout.
        wchar_t def[MAX_PATH];
        path_join(path, s_dir, L"mkb.ini");
        path_join(def, s_dir, L"mkb.default.ini");
        SetFileAttributesW(def, FILE_ATTRIBUTE_NORMAL); // a read-only one would refuse the copy
        CopyFileW(path, def, FALSE);
    }
    if (!put_back_settings(kept))
        ok = 0;
    if (!ok && s_too_long[0]) {
        wchar_t msg[256];
        too_long_text(msg, 256, TOO_LONG_MSG);
        return fail(msg, L"Choose a shorter install folder, for example C:\\Games\\Emberveil, then try again.");
    }
    if (!ok)
        return fail(L"The recompiler couldn't be unpacked.", L"Check that the folder is writable and the drive has space, then try again.");

    wchar_t zig[MAX_PATH];
    path_join(path, s_dir, L"scripts\\recompile.ps1");
    path_join(zig, s_dir, L"toolchain\\zig\\zig.exe");
    if (exists(path) && exists(zig))
        return R_OK;
    return fail(L"The recompiler is incomplete.", L"Download the installer again.");
}
