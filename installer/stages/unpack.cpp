#include "stages.h"
#include "../engine/log.h"
#include "../engine/runner.h"
#include "../game/copy.h"

enum { KEEP = 2, ARCHIVES = 3 };

static const wchar_t *const k_keep[KEEP] = {L"emberveil.ini", L"mkb.ini"};
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

static void kept_path(wchar_t *out, const wchar_t *name)
{
    wchar_t file[MAX_PATH];
    path_join(file, s_dir, name);
    fmt(out, MAX_PATH, L"%s.kept", file);
}

// Reads each settings file and sets it aside on disk before anything is
// unpacked over it. 0 when one that is there can't be read, or its kept copy
// can't be written whole (the drive filled up since the space check): nothing
// may then be unpacked over the player's files.
static int keep_settings(Kept *kept)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH];
    int ok = 1;
    for (int i = 0; i < KEEP; i++) {
        path_join(path, s_dir, k_keep[i]);
        kept_path(aside, k_keep[i]);
        // A kept copy left by an install that died half-way is the player's
        // file; the one in place may be the payload's default by now.
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
        path_join(path, s_dir, k_keep[i]);
        kept_path(aside, k_keep[i]);
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

// Writes archive i into folder (which ends in a backslash) and unpacks it into
// the install folder. With relative, tar is given the archive by its name alone
// (folder is then the install folder, tar's working folder); dir_arg is how tar
// is told the install folder.
static int unpack_archive(int i, const wchar_t *tar, const wchar_t *folder, int relative, const wchar_t *dir_arg)
{
    wchar_t name[64], zip[MAX_PATH], cmd[3 * MAX_PATH];
    detail(L"%s", k_what[i]);
    fmt(name, 64, L"emberveil_setup_%lu_%d.zip", GetCurrentProcessId(), i);
    fmt(zip, MAX_PATH, L"%s%s", folder, name);
    int written = write_resource(k_archive[i], zip);
    // The name is easy to guess: when something already has it, take another.
    for (int k = 1; !written && k < 100 && exists(zip); k++) {
        fmt(name, 64, L"emberveil_setup_%lu_%d_%d.zip", GetCurrentProcessId(), i, k);
        fmt(zip, MAX_PATH, L"%s%s", folder, name);
        written = write_resource(k_archive[i], zip);
    }
    int ok = written;
    // Nothing of toolchain\ is in the way: it was removed whole just before.
    if (ok && k_archive[i] != IDR_TOOLCHAIN)
        writable_targets(k_archive[i]);
    if (ok) {
        fmt(cmd, 3 * MAX_PATH, L"\"%s\" -xmf \"%s\" -C \"%s\"", tar, relative ? name : zip, dir_arg);
        ok = run(cmd, s_dir, NULL) == 0;
    }
    // A failed write removed its own file; what else has the name isn't ours.
    if (written)
        DeleteFileW(zip);
    seg_frac(k_reached[i]);
    return ok;
}

int stage_unpack(void)
{
    seg(0, 0.06, 40000, L"Step 1 of 5: Unpacking", k_what[0]);
    wchar_t sys[MAX_PATH], tar[MAX_PATH], path[MAX_PATH], temp[MAX_PATH], here[MAX_PATH];
    UINT n = GetSystemDirectoryW(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        sys[0] = 0;
    path_join(tar, sys, L"tar.exe");
    if (!exists(tar))
        return fail(L"This installer needs Windows 10 (version 1803) or newer.", NULL);

    Kept kept[KEEP];
    int ok = keep_settings(kept);
    path_join(path, s_dir, L"toolchain");
    // No file of an earlier tool version may stay among the new ones.
    if (ok)
        ok = remove_tree(path);
    // A path that tar would read as another one is given relative to its working
    // folder, the install folder, instead: that works on every volume, where a
    // short 8.3 name exists only where the volume makes them. An archive the
    // temporary folder can't name for tar is written into the install folder.
    DWORD t = GetTempPathW(MAX_PATH, temp);
    if (t == 0 || t >= MAX_PATH)
        temp[0] = 0;
    fmt(here, MAX_PATH, L"%s\\", s_dir);
    int relative = !temp[0] || !ansi_safe(temp);
    const wchar_t *dir_arg = ansi_safe(s_dir) ? s_dir : L".";
    if (ok) {
        // What killed Setups left behind: with the real build tools, a few hundred MB each.
        if (temp[0])
            sweep_leftovers(temp);
        sweep_leftovers(here);
    }
    for (int i = 0; i < ARCHIVES && ok; i++)
        ok = unpack_archive(i, tar, relative ? here : temp, relative, dir_arg);
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
    if (!ok)
        return fail(L"The recompiler couldn't be unpacked.", L"Check that the folder is writable and the drive has space, then try again.");

    wchar_t zig[MAX_PATH];
    path_join(path, s_dir, L"scripts\\recompile.ps1");
    path_join(zig, s_dir, L"toolchain\\zig\\zig.exe");
    if (exists(path) && exists(zig))
        return R_OK;
    return fail(L"The recompiler is incomplete.", L"Download the installer again.");
}
