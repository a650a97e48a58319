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
};

static void kept_path(wchar_t *out, const wchar_t *name)
{
    wchar_t file[MAX_PATH];
    path_join(file, s_dir, name);
    fmt(out, MAX_PATH, L"%s.kept", file);
}

static void keep_settings(Kept *kept)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH];
    for (int i = 0; i < KEEP; i++) {
        path_join(path, s_dir, k_keep[i]);
        kept_path(aside, k_keep[i]);
        // A kept copy left by an install that died half-way is the player's
        // file; the one in place may be the payload's default by now.
        kept[i].bytes = slurp(aside, &kept[i].n);
        if (!kept[i].bytes) {
            kept[i].bytes = slurp(path, &kept[i].n);
            if (kept[i].bytes)
                spill_safe(aside, kept[i].bytes, kept[i].n);
        }
    }
}

static void put_back_settings(Kept *kept)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH];
    for (int i = 0; i < KEEP; i++) {
        if (!kept[i].bytes)
            continue;
        path_join(path, s_dir, k_keep[i]);
        kept_path(aside, k_keep[i]);
        // The kept copy goes only once the player's bytes are safely back.
        if (spill_safe(path, kept[i].bytes, kept[i].n))
            DeleteFileW(aside);
        HeapFree(GetProcessHeap(), 0, kept[i].bytes);
        kept[i].bytes = NULL;
    }
}

static int unpack_archive(int i, const wchar_t *tar, const wchar_t *temp)
{
    wchar_t zip[MAX_PATH], cmd[3 * MAX_PATH];
    detail(L"%s", k_what[i]);
    fmt(zip, MAX_PATH, L"%semberveil_setup_%lu_%d.zip", temp, GetCurrentProcessId(), i);
    int written = write_resource(k_archive[i], zip);
    // The name is easy to guess: when something already has it, take another.
    for (int k = 1; !written && k < 100 && exists(zip); k++) {
        fmt(zip, MAX_PATH, L"%semberveil_setup_%lu_%d_%d.zip", temp, GetCurrentProcessId(), i, k);
        written = write_resource(k_archive[i], zip);
    }
    int ok = written;
    if (ok) {
        fmt(cmd, 3 * MAX_PATH, L"\"%s\" -xmf \"%s\" -C \"%s\"", tar, zip, s_dir);
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
    wchar_t sys[MAX_PATH], tar[MAX_PATH], path[MAX_PATH], temp[MAX_PATH];
    UINT n = GetSystemDirectoryW(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        sys[0] = 0;
    path_join(tar, sys, L"tar.exe");
    if (!exists(tar))
        return fail(L"This installer needs Windows 10 (version 1803) or newer.", NULL);

    Kept kept[KEEP];
    keep_settings(kept);
    path_join(path, s_dir, L"toolchain");
    // No file of an earlier tool version may stay among the new ones.
    int ok = remove_tree(path);
    if (!GetTempPathW(MAX_PATH, temp))
        temp[0] = 0;
    for (int i = 0; i < ARCHIVES && ok; i++)
        ok = unpack_archive(i, tar, temp);
    if (ok) {
        // Before the player's mkb.ini is back, so that this holds the payload's default layout.
        wchar_t def[MAX_PATH];
        path_join(path, s_dir, L"mkb.ini");
        path_join(def, s_dir, L"mkb.default.ini");
        CopyFileW(path, def, FALSE);
    }
    put_back_settings(kept);
    if (!ok)
        return fail(L"The recompiler couldn't be unpacked.", L"Check that the folder is writable and the drive has space, then try again.");

    wchar_t zig[MAX_PATH];
    path_join(path, s_dir, L"scripts\\recompile.ps1");
    path_join(zig, s_dir, L"toolchain\\zig\\zig.exe");
    if (exists(path) && exists(zig))
        return R_OK;
    return fail(L"The recompiler is incomplete.", L"Download the installer again.");
}
