// The temporary archives of the unpacking step: which paths Windows' tar.exe
// can be given as they are, the way cleared for what it writes, how long a
// path it makes, and the sweep of archives that killed Setups left.
#include "stages.h"
#include "zipdir.h"

// Windows' tar.exe reads its arguments through the ANSI code page, where a
// character the code page lacks becomes a look-alike (a Polish L with stroke
// becomes a plain L, a Chinese character a question mark) and the path names
// another file, or none.
int ansi_safe(const wchar_t *path)
{
    UINT cp = GetACP();
    // A UTF-8 code page holds every character but refuses the best-fit flag.
    DWORD flags = cp == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    char narrow[4 * MAX_PATH];
    wchar_t back[MAX_PATH];
    int n = WideCharToMultiByte(cp, flags, path, -1, narrow, (int)sizeof narrow, NULL, NULL);
    if (n <= 0)
        return 0;
    int m = MultiByteToWideChar(cp, 0, narrow, n, back, MAX_PATH);
    return m > 0 && wcscmp(back, path) == 0;
}

// 1 unless the process is known to have ended; one that can't be asked (of
// another user, say) counts as running.
static int still_running(DWORD pid)
{
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!p)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    int running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    CloseHandle(p);
    return running;
}

void sweep_leftovers(const wchar_t *folder)
{
    wchar_t pattern[MAX_PATH], path[MAX_PATH];
    // Only a folder that can name what it holds is swept: a cut name is another file.
    if (!path_join(pattern, folder, L"emberveil_setup_*.zip"))
        return;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        DWORD pid = leftover_pid(fd.cFileName);
        // A link is never ours: what it leads to is left alone, and so is it.
        if (!pid || (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            continue;
        if (pid == GetCurrentProcessId() || still_running(pid))
            continue;
        if (path_join(path, folder, fd.cFileName))
            DeleteFileW(path);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void clear_read_only_targets(int id)
{
    DWORD size = 0;
    const void *bytes = payload_bytes(id, &size);
    ZipDir z;
    if (!zip_dir_open(&z, bytes, size))
        return;
    const char *name;
    size_t n;
    unsigned flags;
    wchar_t rel[MAX_PATH], path[MAX_PATH], full[MAX_PATH];
    while (zip_dir_next(&z, &name, &n, &flags)) {
        int w = n < MAX_PATH ? MultiByteToWideChar(flags & ZIP_UTF8 ? CP_UTF8 : 437, 0, name, (int)n, rel, MAX_PATH - 1) : 0;
        if (w <= 0)
            continue;
        rel[w] = 0;
        for (wchar_t *c = rel; *c; c++)
            if (*c == L'/')
                *c = L'\\';
        // A name that would lead out of the install folder is never followed;
        // one too long to name is never in the way (the install folder's length
        // leaves room for every name).
        if (!path_join(path, s_dir, rel) || !path_full(path, full) || !path_inside(full, s_dir))
            continue;
        writable(full);
    }
}

// The archives tar unpacks into the install folder.
static const int k_unpacked[] = {IDR_PROJECT, IDR_TOOLKIT, IDR_TOOLCHAIN};

// What Setup itself writes into the install folder besides: the longest is a
// temporary archive's name, "emberveil_setup_<pid>_<i>_<k>.zip" at its longest.
static const wchar_t SETUP_LONGEST_NAME[] = L"emberveil_setup_4294967295_2_99.zip";

size_t payload_longest(void)
{
    size_t longest = sizeof SETUP_LONGEST_NAME / sizeof SETUP_LONGEST_NAME[0] - 1;
    for (size_t i = 0; i < sizeof k_unpacked / sizeof k_unpacked[0]; i++) {
        DWORD size = 0;
        const void *bytes = payload_bytes(k_unpacked[i], &size);
        ZipDir z;
        if (!zip_dir_open(&z, bytes, size))
            continue;
        const char *name;
        size_t n;
        unsigned flags;
        while (zip_dir_next(&z, &name, &n, &flags)) {
            size_t units = zip_name_units(name, n, flags);
            if (units > longest)
                longest = units;
        }
    }
    return longest;
}
