// The disc copy and the reinstall skip pass, each against a bare loop of
// platform calls over the same synthetic disc, run in turns in one process.
//   bench_files copy MB      stage_copy of an MB-mebibyte disc vs CopyFileExW
//   bench_files skip FILES   the skip pass over FILES files vs a bare walk
//   bench_files image MB     stage_copy from a disc image of an MB-mebibyte disc vs
//                            bare ReadFile/WriteFile of the same bytes; its pick
//                            vs the pick of the same disc as a folder
//   bench_files check MB     stage_copy checking an MB-mebibyte disc against a
//                            list of all its files vs the slower of a bare
//                            CopyFileExW and a bare BCrypt SHA-256 of the disc,
//                            with many small files and with big files only
#include "bench.h"
#include "disc.h"
#include "discimage.h"
#include "engine/context.h"
#include "game/copy.h"
#include "game/disc.h"
#include "game/hasher.h"
#include <bcrypt.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

// A throughput row: amount (MiB or files) moved by Setup in ours_ms and by the
// baseline in base_ms; met when Setup's rate is at least target times the baseline's.
static void rate_row(const char *name, double amount, double ours_ms, double base_ms, double target)
{
    char m[32], base[32], goal[16];
    snprintf(m, sizeof m, "%.0f", amount / (ours_ms / 1000));
    snprintf(base, sizeof base, "%.0f", amount / (base_ms / 1000));
    snprintf(goal, sizeof goal, ">= %g", target);
    row(name, m, base, base_ms / ours_ms, goal, base_ms / ours_ms >= target);
}

// The bare copy: every folder made, every file one CopyFileExW, nothing else.
static int bare_copy(const wchar_t *src, const wchar_t *dst)
{
    wchar_t pattern[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    CreateDirectoryW(dst, NULL);
    swprintf(pattern, MAX_PATH, L"%ls\\*", src);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int ok = 1;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        swprintf(from, MAX_PATH, L"%ls\\%ls", src, fd.cFileName);
        swprintf(to, MAX_PATH, L"%ls\\%ls", dst, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = bare_copy(from, to);
        else
            ok = CopyFileExW(from, to, NULL, NULL, NULL, 0) != 0;
    } while (ok && FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

// The bare skip walk: the source listed, each target file's attributes read
// and compared as an unchanged file is judged; the count of unchanged files.
static long bare_walk(const wchar_t *src, const wchar_t *dst)
{
    wchar_t pattern[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*", src);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    long same = 0;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        swprintf(to, MAX_PATH, L"%ls\\%ls", dst, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            swprintf(from, MAX_PATH, L"%ls\\%ls", src, fd.cFileName);
            same += bare_walk(from, to);
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA t;
        if (GetFileAttributesExW(to, GetFileExInfoStandard, &t) && t.nFileSizeLow == fd.nFileSizeLow &&
            t.nFileSizeHigh == fd.nFileSizeHigh && CompareFileTime(&t.ftLastWriteTime, &fd.ftLastWriteTime) == 0)
            same++;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return same;
}

// Points the install context at a disc and an install folder, as a pick and
// the folder checks would.
static void choose(const wchar_t *disc, const wchar_t *install, unsigned long long bytes)
{
    wcscpy(s_game.dir, disc);
    s_game.ok = 1;
    s_game.bytes = bytes;
    wcscpy(s_dir, install);
    s_cancel = 0;
    s_cancel_copy = FALSE;
}

// The bare copy from an image: its files in the image's order, each read
// sequentially in blocks of 1 MiB and written to a new file; folders made first.
static int bare_image_copy(const wchar_t *image, const std::vector<ImagePlaced> &placed, const wchar_t *dst)
{
    HANDLE in = CreateFileW(image, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (in == INVALID_HANDLE_VALUE)
        return 0;
    static char buf[1 << 20];
    wchar_t to[MAX_PATH];
    int ok = SHCreateDirectoryExW(NULL, dst, NULL) == ERROR_SUCCESS;
    for (const ImagePlaced &p : placed) {
        swprintf(to, MAX_PATH, L"%ls\\%ls", dst, p.rel.c_str());
        for (wchar_t *c = to + wcslen(dst) + 1; *c; c++)
            if (*c == L'\\') {
                *c = 0;
                CreateDirectoryW(to, NULL);
                *c = L'\\';
            }
    }
    for (size_t i = 0; ok && i < placed.size(); i++) {
        swprintf(to, MAX_PATH, L"%ls\\%ls", dst, placed[i].rel.c_str());
        HANDLE out = CreateFileW(to, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        LARGE_INTEGER at;
        at.QuadPart = (LONGLONG)placed[i].at;
        ok = out != INVALID_HANDLE_VALUE && SetFilePointerEx(in, at, NULL, FILE_BEGIN);
        for (uint64_t left = placed[i].size; ok && left;) {
            DWORD n = left < sizeof buf ? (DWORD)left : (DWORD)sizeof buf, got = 0, put = 0;
            ok = ReadFile(in, buf, n, &got, NULL) && got == n && WriteFile(out, buf, n, &put, NULL) && put == n;
            left -= n;
        }
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
    }
    CloseHandle(in);
    return ok;
}

static int make_disc(const wchar_t *disc, DiscPlan *plan, unsigned long long *bytes)
{
    double t0 = ms_now();
    if (!disc_make(disc, plan)) {
        printf("bench_files: the synthetic disc couldn't be made in %ls\n", disc);
        return 0;
    }
    *bytes = disc_total(plan);
    note("disc: %.1f MiB, %d extra files, %d big files of %.1f MiB, made in %.1f s", *bytes / 1048576.0,
         plan->extra_files, plan->big_files, plan->big_bytes / 1048576.0, (ms_now() - t0) / 1000);
    return 1;
}

static int copy_row(long mb, int reps)
{
    wchar_t work[MAX_PATH], disc[MAX_PATH], inst[MAX_PATH], bare[MAX_PATH], bare_game[MAX_PATH];
    work_dir(L"copy", work);
    swprintf(disc, MAX_PATH, L"%ls\\disc", work);
    swprintf(inst, MAX_PATH, L"%ls\\inst", work);
    swprintf(bare, MAX_PATH, L"%ls\\bare", work);
    swprintf(bare_game, MAX_PATH, L"%ls\\game", bare);
    // A few big files and many small ones: 4000 files of 16 KiB beside the 8 big ones.
    DiscPlan plan;
    disc_default(&plan);
    plan.file_bytes = 16 << 10;
    plan.extra_files = 4000;
    disc_fill(&plan, (unsigned long long)mb << 20);
    unsigned long long bytes = 0;
    if (!make_disc(disc, &plan, &bytes))
        return 1;
    std::vector<double> ours, plain;
    for (int i = 0; i < reps; i++) {
        // Turns swap who goes first, so neither always meets a busier disk.
        for (int k = 0; k < 2; k++) {
            int mine = (i + k) % 2 == 0;
            tree_gone(inst);
            tree_gone(bare);
            double t0 = ms_now(), t;
            int ok;
            if (mine) {
                SHCreateDirectoryExW(NULL, inst, NULL);
                choose(disc, inst, bytes);
                t0 = ms_now();
                ok = stage_copy() == R_OK;
                t = ms_now() - t0;
                ours.push_back(t);
            } else {
                SHCreateDirectoryExW(NULL, bare, NULL);
                t0 = ms_now();
                ok = bare_copy(disc, bare_game);
                t = ms_now() - t0;
                plain.push_back(t);
            }
            note("%s copy %d: %.0f ms%s", mine ? "stage_copy" : "bare CopyFileExW", i + 1, t, ok ? "" : " (FAILED)");
            if (!ok)
                return 1;
        }
    }
    tree_gone(inst);
    tree_gone(bare);
    tree_gone(work);
    double mib = bytes / 1048576.0;
    char name[64];
    snprintf(name, sizeof name, "disc copy, %.0f MiB (MiB/s)", mib);
    rate_row(name, mib, least(ours), least(plain), 0.95);
    return 0;
}

static int skip_row(long files, int reps)
{
    wchar_t work[MAX_PATH], disc[MAX_PATH], inst[MAX_PATH], game[MAX_PATH];
    work_dir(L"skip", work);
    swprintf(disc, MAX_PATH, L"%ls\\disc", work);
    swprintf(inst, MAX_PATH, L"%ls\\inst", work);
    swprintf(game, MAX_PATH, L"%ls\\game", inst);
    DiscPlan plan;
    disc_default(&plan);
    long base_files = 39; // default.xbe, the 37 table files and one video clip
    plan.extra_files = files > base_files ? (int)(files - base_files) : 0;
    unsigned long long bytes = 0;
    if (!make_disc(disc, &plan, &bytes))
        return 1;
    SHCreateDirectoryExW(NULL, inst, NULL);
    choose(disc, inst, bytes);
    if (stage_copy() != R_OK) {
        printf("bench_files: the first copy failed\n");
        return 1;
    }
    long expect = bare_walk(disc, game);
    note("first copy done: %ld files unchanged by the bare walk", expect);
    std::vector<double> tree, step, plain;
    for (int i = 0; i < reps; i++) {
        // The bare walk goes first in every other round.
        long same = 0;
        double t0;
        if (i % 2 == 0) {
            t0 = ms_now();
            same = bare_walk(disc, game);
            plain.push_back(ms_now() - t0);
        }
        choose(disc, inst, bytes);
        t0 = ms_now();
        int ok = copy_tree(disc, game);
        tree.push_back(ms_now() - t0);
        t0 = ms_now();
        int r = stage_copy();
        step.push_back(ms_now() - t0);
        if (i % 2 == 1) {
            t0 = ms_now();
            same = bare_walk(disc, game);
            plain.push_back(ms_now() - t0);
        }
        note("round %d: bare walk %.0f ms (%ld same), copy_tree %.0f ms, stage_copy %.0f ms", i + 1, plain.back(),
             same, tree.back(), step.back());
        if (!ok || r != R_OK || same != expect) {
            printf("bench_files: the skip pass failed\n");
            return 1;
        }
    }
    tree_gone(work);
    double b = least(plain), a = least(tree), c = least(step);
    char name[64], m[64], base[64];
    snprintf(name, sizeof name, "reinstall skip pass, %ld files (files/s)", files);
    rate_row(name, (double)files, a, b, 0.9);
    snprintf(base, sizeof base, "%.0f", files / (b / 1000));
    snprintf(m, sizeof m, "%.0f", files / (c / 1000));
    row("  whole copy step with prune (files/s)", m, base, b / c, "(info)", 1);
    return 0;
}

// The pick of the image against the pick of the same disc as a folder, in
// turns; each must accept the disc.
static int pick_row(const wchar_t *image, const wchar_t *xbe, unsigned long long bytes, size_t files, int reps)
{
    std::vector<double> of_image, of_folder;
    for (int i = 0; i < reps; i++) {
        for (int k = 0; k < 2; k++) {
            Game g;
            PickTexts texts;
            int img = (i + k) % 2 == 0;
            double t0 = ms_now();
            game_check(img ? image : xbe, &g, &texts);
            (img ? of_image : of_folder).push_back(ms_now() - t0);
            if (!g.ok || g.bytes != bytes) {
                printf("bench_files: the pick of %ls failed: %ls\n", img ? image : xbe, texts.note);
                return 0;
            }
        }
    }
    double a = least(of_image), b = least(of_folder);
    note("picks: image %.1f ms, folder %.1f ms (best of %d)", a, b, reps);
    char name[64], m[64], base[64];
    snprintf(name, sizeof name, "pick, image vs folder, %zu files (ms)", files);
    snprintf(m, sizeof m, "%.1f", a);
    snprintf(base, sizeof base, "%.1f", b);
    row(name, m, base, a / b, "<= 1.0", a <= b);
    return 1;
}

// The copy step from the image against the bare copy, in turns that swap
// who goes first.
static int image_copy_row(const wchar_t *work, const wchar_t *image, const std::vector<ImagePlaced> &placed,
                          unsigned long long bytes, int reps)
{
    wchar_t inst[MAX_PATH], bare[MAX_PATH];
    swprintf(inst, MAX_PATH, L"%ls\\inst", work);
    swprintf(bare, MAX_PATH, L"%ls\\bare", work);
    std::vector<double> ours, plain;
    for (int i = 0; i < reps; i++) {
        for (int k = 0; k < 2; k++) {
            int mine = (i + k) % 2 == 0, ok;
            tree_gone(inst);
            tree_gone(bare);
            double t0;
            if (mine) {
                SHCreateDirectoryExW(NULL, inst, NULL);
                choose(image, inst, bytes);
                s_game.image = 1;
                s_game.part = 0;
                t0 = ms_now();
                ok = stage_copy() == R_OK;
                ours.push_back(ms_now() - t0);
            } else {
                t0 = ms_now();
                ok = bare_image_copy(image, placed, bare);
                plain.push_back(ms_now() - t0);
            }
            note("%s %d: %.0f ms%s", mine ? "stage_copy from the image" : "bare ReadFile/WriteFile", i + 1,
                 mine ? ours.back() : plain.back(), ok ? "" : " (FAILED)");
            if (!ok)
                return 0;
        }
    }
    tree_gone(inst);
    tree_gone(bare);
    double mib = bytes / 1048576.0;
    char name[64];
    snprintf(name, sizeof name, "image copy, %.0f MiB (MiB/s)", mib);
    rate_row(name, mib, least(ours), least(plain), 0.95);
    return 1;
}

// The image rows, on one disc and its image of the game partition.
static int image_rows(long mb, int reps)
{
    wchar_t work[MAX_PATH], disc[MAX_PATH], image[MAX_PATH], xbe[MAX_PATH];
    work_dir(L"image", work);
    swprintf(disc, MAX_PATH, L"%ls\\disc", work);
    swprintf(image, MAX_PATH, L"%ls\\disc.iso", work);
    swprintf(xbe, MAX_PATH, L"%ls\\default.xbe", disc);
    DiscPlan plan;
    disc_default(&plan);
    plan.file_bytes = 16 << 10;
    plan.extra_files = 4000;
    disc_fill(&plan, (unsigned long long)mb << 20);
    unsigned long long bytes = 0;
    std::vector<ImagePlaced> placed;
    if (!make_disc(disc, &plan, &bytes) || !image_make(disc, image, false, XdvdPlan(), &placed)) {
        printf("bench_files: the image couldn't be made in %ls\n", work);
        return 1;
    }
    if (!pick_row(image, xbe, bytes, placed.size(), 4 * reps + 1))
        return 1;
    // The disc folder goes, and the image is written out, before the copies
    // are timed: the host's writing back of gigabytes made just now would
    // otherwise land on whichever turns come first.
    tree_gone(disc);
    HANDLE f = CreateFileW(image, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(f);
        CloseHandle(f);
    }
    int ok = image_copy_row(work, image, placed, bytes, reps);
    tree_gone(work);
    return ok ? 0 : 1;
}

// The bare hash: every file of the disc read in blocks of 1 MiB and hashed
// by BCrypt on the same thread, as a separate pass over the disc would; each
// file's line ("hex  path") goes to list, so the pass also writes the list.
static int bare_hash(BCRYPT_ALG_HANDLE alg, const wchar_t *dir, const std::string &rel, unsigned char *buf,
                     std::string *list)
{
    wchar_t pattern[MAX_PATH], path[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*", dir);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int ok = 1;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        swprintf(path, MAX_PATH, L"%ls\\%ls", dir, fd.cFileName);
        char name[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, fd.cFileName, -1, name, sizeof name, NULL, NULL);
        std::string sub = rel.empty() ? name : rel + "/" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = bare_hash(alg, path, sub, buf, list);
            continue;
        }
        HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        BCRYPT_HASH_HANDLE hash = NULL;
        ok = f != INVALID_HANDLE_VALUE && BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, NULL, 0, NULL, 0, 0));
        DWORD got = 0;
        while (ok && ReadFile(f, buf, HASH_BLOCK, &got, NULL) && got)
            ok = BCRYPT_SUCCESS(BCryptHashData(hash, buf, got, 0));
        unsigned char sha[32];
        ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, sha, 32, 0));
        if (hash)
            BCryptDestroyHash(hash);
        if (f != INVALID_HANDLE_VALUE)
            CloseHandle(f);
        for (int i = 0; ok && i < 32; i++) {
            char two[3];
            snprintf(two, sizeof two, "%02x", sha[i]);
            *list += two;
        }
        *list += "  " + sub + "\n";
    } while (ok && FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

// Milliseconds of processor time this process has used, all threads: on a
// machine busy with other work the check's two threads may not both run.
static double cpu_ms(void)
{
    FILETIME made, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &made, &ended, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

// The bare hash of an image: each file's bytes read from the image in its
// order, in blocks of 1 MiB, and hashed on the same thread.
static int bare_image_hash(BCRYPT_ALG_HANDLE alg, const wchar_t *image, const std::vector<ImagePlaced> &placed,
                           unsigned char *buf)
{
    HANDLE in = CreateFileW(image, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int ok = in != INVALID_HANDLE_VALUE;
    for (size_t i = 0; ok && i < placed.size(); i++) {
        BCRYPT_HASH_HANDLE hash = NULL;
        LARGE_INTEGER at;
        at.QuadPart = (LONGLONG)placed[i].at;
        ok = SetFilePointerEx(in, at, NULL, FILE_BEGIN) &&
             BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, NULL, 0, NULL, 0, 0));
        for (uint64_t left = placed[i].size; ok && left;) {
            DWORD n = left < HASH_BLOCK ? (DWORD)left : (DWORD)HASH_BLOCK, got = 0;
            ok = ReadFile(in, buf, n, &got, NULL) && got == n && BCRYPT_SUCCESS(BCryptHashData(hash, buf, n, 0));
            left -= n;
        }
        unsigned char sha[32];
        ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, sha, 32, 0));
        if (hash)
            BCryptDestroyHash(hash);
    }
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    return ok;
}

enum { CHECK_BIG, CHECK_SMALL, CHECK_IMAGE };

// CHECK_SMALL: the disc of the copy row (4000 files of 16 KiB beside the big
// ones, where making files costs as much as moving bytes); CHECK_BIG: the big
// files and the table's 37 small ones only, where the bytes decide;
// CHECK_IMAGE: the disc of the copy row as an image of its game partition,
// against a bare copy and a bare hash of the same bytes from the image.
static int check_row(long mb, int reps, int mode)
{
    int small = mode != CHECK_BIG;
    wchar_t work[MAX_PATH], disc[MAX_PATH], inst[MAX_PATH], game[MAX_PATH], list_path[MAX_PATH], record[MAX_PATH],
        bare[MAX_PATH], bare_game[MAX_PATH];
    work_dir(L"check", work);
    swprintf(disc, MAX_PATH, L"%ls\\disc", work);
    swprintf(inst, MAX_PATH, L"%ls\\inst", work);
    swprintf(game, MAX_PATH, L"%ls\\game", inst);
    swprintf(list_path, MAX_PATH, L"%ls\\game-files.sha256", inst);
    swprintf(record, MAX_PATH, L"%ls\\game-files.checked", inst);
    swprintf(bare, MAX_PATH, L"%ls\\bare", work);
    swprintf(bare_game, MAX_PATH, L"%ls\\game", bare);
    DiscPlan plan;
    disc_default(&plan);
    if (small) {
        plan.file_bytes = 16 << 10;
        plan.extra_files = 4000;
    }
    disc_fill(&plan, (unsigned long long)mb << 20);
    unsigned long long bytes = 0;
    if (!make_disc(disc, &plan, &bytes))
        return 1;
    BCRYPT_ALG_HANDLE alg = NULL;
    unsigned char *buf = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, HASH_BLOCK);
    if (!buf || !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, NULL, 0))) {
        printf("bench_files: no BCrypt SHA-256\n");
        return 1;
    }
    // The hash alone, on bytes in memory: what BCrypt does with no file in the way.
    for (DWORD i = 0; i < HASH_BLOCK; i++)
        buf[i] = (unsigned char)(i * 7 + i / 4093);
    double t0 = ms_now();
    BCRYPT_HASH_HANDLE mem = NULL;
    BCryptCreateHash(alg, &mem, NULL, 0, NULL, 0, 0);
    for (int i = 0; i < 256; i++)
        BCryptHashData(mem, buf, HASH_BLOCK, 0);
    unsigned char sink[32];
    BCryptFinishHash(mem, sink, 32, 0);
    BCryptDestroyHash(mem);
    double mem_ms = ms_now() - t0;
    note("BCrypt SHA-256 of 256 MiB in memory: %.0f ms (%.0f MiB/s)", mem_ms, 256 / (mem_ms / 1000));
    // The list: every file of the disc, as a maintainer's sha256sum would list it.
    std::string list;
    if (!bare_hash(alg, disc, "", buf, &list))
        return 1;
    SHCreateDirectoryExW(NULL, inst, NULL);
    HANDLE f = CreateFileW(list_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD put = 0;
    WriteFile(f, list.data(), (DWORD)list.size(), &put, NULL);
    CloseHandle(f);
    wchar_t image[MAX_PATH];
    swprintf(image, MAX_PATH, L"%ls\\disc.iso", work);
    std::vector<ImagePlaced> placed;
    if (mode == CHECK_IMAGE) {
        if (!image_make(disc, image, false, XdvdPlan(), &placed)) {
            printf("bench_files: the image couldn't be made in %ls\n", work);
            return 1;
        }
        // As in the image rows: the folder gone and the image written out first.
        tree_gone(disc);
        f = CreateFileW(image, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (f != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(f);
            CloseHandle(f);
        }
    }
    std::vector<double> ours, plain, hashed, waits;
    for (int i = 0; i < reps; i++) {
        // Turns rotate who goes first, so that none always meets a busier disk.
        for (int k = 0; k < 3; k++) {
            int who = (i + k) % 3;
            tree_gone(game);
            tree_gone(bare);
            double t, cpu = cpu_ms();
            int ok;
            if (who == 0) {
                std::string made;
                t0 = ms_now();
                ok = mode == CHECK_IMAGE ? bare_image_hash(alg, image, placed, buf) : bare_hash(alg, disc, "", buf, &made);
                t = ms_now() - t0;
                hashed.push_back(t);
            } else if (who == 1) {
                SHCreateDirectoryExW(NULL, bare, NULL);
                t0 = ms_now();
                ok = mode == CHECK_IMAGE ? bare_image_copy(image, placed, bare_game) : bare_copy(disc, bare_game);
                t = ms_now() - t0;
                plain.push_back(t);
            } else {
                DeleteFileW(record); // every file is read and checked, none vouched for
                choose(mode == CHECK_IMAGE ? image : disc, inst, bytes);
                s_game.image = mode == CHECK_IMAGE;
                s_game.part = 0;
                t0 = ms_now();
                ok = stage_copy() == R_OK;
                t = ms_now() - t0;
                ours.push_back(t);
                waits.push_back(hasher_waited());
            }
            const char *k_who[] = {"bare BCrypt SHA-256", "bare CopyFileExW", "stage_copy with the check"};
            note("%s %d: %.0f ms, %.0f ms of processor time%s",
                 mode == CHECK_IMAGE && who == 1 ? "bare ReadFile/WriteFile from the image" : k_who[who], i + 1, t,
                 cpu_ms() - cpu,
                 ok ? "" : " (FAILED)");
            if (!ok)
                return 1;
        }
    }
    BCryptCloseAlgorithmProvider(alg, 0);
    HeapFree(GetProcessHeap(), 0, buf);
    tree_gone(work);
    double mib = bytes / 1048576.0, a = least(ours), c = least(plain), h = least(hashed), b = c > h ? c : h;
    char m[64], name[96];
    snprintf(name, sizeof name, "%s with the check, %.0f MiB, %s (MiB/s)", mode == CHECK_IMAGE ? "image copy" : "disc copy",
             mib, small ? "4000 more small files" : "big files");
    rate_row(name, mib, a, b, 0.9);
    snprintf(m, sizeof m, "%.0f / %.0f", mib / (c / 1000), mib / (h / 1000));
    row(mode == CHECK_IMAGE ? "  bare copy / bare SHA-256 of the image's files (MiB/s)"
                            : "  bare copy / bare SHA-256 of the disc (MiB/s)",
        m, "-", 0, "(info)", 1);
    snprintf(m, sizeof m, "%.0f", 256 / (mem_ms / 1000));
    row("  BCrypt SHA-256 in memory (MiB/s)", m, "-", 0, "(info)", 1);
    snprintf(m, sizeof m, "%.0f", least(waits));
    row("  the copy's wait for the hash (ms)", m, "-", 0, "(info)", 1);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    context_init();
    int reps = (int)env_long("EV_BENCH_REPS", 3);
    if (argc == 3 && !wcscmp(argv[1], L"copy"))
        return copy_row(wcstol(argv[2], NULL, 10), reps + 2);
    if (argc == 3 && !wcscmp(argv[1], L"skip"))
        return skip_row(wcstol(argv[2], NULL, 10), 2 * reps + 1);
    if (argc == 3 && !wcscmp(argv[1], L"image"))
        return image_rows(wcstol(argv[2], NULL, 10), reps + 2);
    if (argc == 3 && !wcscmp(argv[1], L"check"))
        return check_row(wcstol(argv[2], NULL, 10), reps, CHECK_SMALL) ||
               check_row(wcstol(argv[2], NULL, 10), reps, CHECK_BIG) ||
               check_row(wcstol(argv[2], NULL, 10), reps, CHECK_IMAGE);
    printf("usage: bench_files copy MB | skip FILES | image MB | check MB\n");
    return 2;
}
