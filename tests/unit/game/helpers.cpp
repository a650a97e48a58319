#include "helpers.h"
#include "engine/context.h"
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Wine's own export that names the Unix path of a Windows path; absent on Windows.
typedef char *(CDECL *UnixNameFn)(LPCWSTR dos);

static wchar_t s_run[MAX_PATH];

static UnixNameFn unix_name_fn(void)
{
    return (UnixNameFn)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
}

static int is_link_attr(DWORD a)
{
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

static void remove_run(void)
{
    if (s_run[0])
        tree_remove(s_run);
}

void test_init(void)
{
    static int done;
    if (done)
        return;
    done = 1;
    context_init();
}

static const wchar_t *run_dir(void)
{
    if (!s_run[0]) {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        swprintf(s_run, MAX_PATH, L"%lsevgame-%lu", tmp, GetCurrentProcessId());
        size_t n = wcslen(s_run);
        if (n > 3 && s_run[n - 1] == L'\\')
            s_run[n - 1] = 0;
        make_dir(s_run);
        atexit(remove_run);
    }
    return s_run;
}

void test_dir(const wchar_t *name, wchar_t *out)
{
    swprintf(out, MAX_PATH, L"%ls\\%ls", run_dir(), name);
    tree_remove(out);
    make_dir(out);
}

int make_dir(const wchar_t *path)
{
    SHCreateDirectoryExW(NULL, path, NULL);
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int put_file(const wchar_t *path, const void *bytes, DWORD n)
{
    wchar_t parent[MAX_PATH];
    wcscpy(parent, path);
    wchar_t *slash = wcsrchr(parent, L'\\');
    if (slash) {
        *slash = 0;
        make_dir(parent);
    }
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD done = 0;
    BOOL ok = WriteFile(h, bytes, n, &done, NULL);
    CloseHandle(h);
    return ok && done == n;
}

int put_text(const wchar_t *path, const char *text)
{
    return put_file(path, text, (DWORD)strlen(text));
}

std::string read_all(const wchar_t *path)
{
    std::string out;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

static std::string diff_one_way(const wchar_t *a, const wchar_t *b, int contents)
{
    wchar_t pattern[MAX_PATH], pa[MAX_PATH], pb[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*", a);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "can't list " + utf8(a);
    std::string why;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        swprintf(pa, MAX_PATH, L"%ls\\%ls", a, fd.cFileName);
        swprintf(pb, MAX_PATH, L"%ls\\%ls", b, fd.cFileName);
        DWORD ab = GetFileAttributesW(pb);
        int dir_a = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (ab == INVALID_FILE_ATTRIBUTES)
            why = utf8(pb) + " is missing";
        else if (dir_a != ((ab & FILE_ATTRIBUTE_DIRECTORY) != 0))
            why = utf8(pb) + " is a folder on one side only";
        else if (dir_a)
            why = diff_one_way(pa, pb, contents);
        else if (contents && read_all(pa) != read_all(pb))
            why = utf8(pb) + " has other bytes";
    } while (why.empty() && FindNextFileW(h, &fd));
    FindClose(h);
    return why;
}

std::string tree_diff(const wchar_t *a, const wchar_t *b)
{
    std::string why = diff_one_way(a, b, 1);
    return why.empty() ? diff_one_way(b, a, 0) : why;
}

int file_count(const wchar_t *dir)
{
    wchar_t pattern[MAX_PATH], sub[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*", dir);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        if (is_link_attr(fd.dwFileAttributes))
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            swprintf(sub, MAX_PATH, L"%ls\\%ls", dir, fd.cFileName);
            n += file_count(sub);
        } else {
            n++;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

int tree_remove(const wchar_t *path)
{
    DWORD a = GetFileAttributesW(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return 1;
    if (is_link_attr(a))
        return drop_link(path);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(path) != 0;
    }
    wchar_t pattern[MAX_PATH], sub[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*", path);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
                continue;
            swprintf(sub, MAX_PATH, L"%ls\\%ls", path, fd.cFileName);
            tree_remove(sub);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path);
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
}

// Runs a Unix program through Wine (which gives no process handle back) and
// waits until the file system shows its effect: until present(path) is want.
static int unix_run(const char *cmd, const wchar_t *path, int want)
{
    wchar_t wcmd[2 * MAX_PATH + 64];
    MultiByteToWideChar(CP_UTF8, 0, cmd, -1, wcmd, (int)(sizeof wcmd / sizeof wcmd[0]));
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessW(NULL, wcmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 0;
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    // A bounded wait for a side effect, not a measurement.
    for (int i = 0; i < 1000; i++) {
        if ((GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) == want)
            return 1;
        Sleep(10);
    }
    return 0;
}

int make_link(const wchar_t *link, const wchar_t *target, const wchar_t **how)
{
    // Wine 8's CreateSymbolicLinkW reports success and makes nothing, so
    // success is judged by what appears.
    CreateSymbolicLinkW(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (is_link_attr(GetFileAttributesW(link))) {
        if (how)
            *how = L"CreateSymbolicLinkW";
        return 1;
    }
    UnixNameFn unix_name = unix_name_fn();
    if (!unix_name)
        return 0;
    char *t = unix_name(target), *l = unix_name(link);
    int ok = 0;
    if (t && l) {
        char cmd[2 * MAX_PATH * 3 + 32];
        snprintf(cmd, sizeof cmd, "/bin/ln -s \"%s\" \"%s\"", t, l);
        ok = unix_run(cmd, link, 1) && is_link_attr(GetFileAttributesW(link));
    }
    HeapFree(GetProcessHeap(), 0, t);
    HeapFree(GetProcessHeap(), 0, l);
    if (how)
        *how = L"ln -s on the Unix side";
    return ok;
}

int drop_link(const wchar_t *link)
{
    UnixNameFn unix_name = unix_name_fn();
    if (!unix_name) {
        RemoveDirectoryW(link);
        return GetFileAttributesW(link) == INVALID_FILE_ATTRIBUTES;
    }
    // Under Wine, RemoveDirectoryW on a link removes the (empty) folder it
    // leads to and keeps the link: only the Unix side removes the link itself.
    char *l = unix_name(link);
    int ok = 0;
    if (l) {
        char cmd[MAX_PATH * 3 + 32];
        snprintf(cmd, sizeof cmd, "/bin/rm -f \"%s\"", l);
        ok = unix_run(cmd, link, 0);
    }
    HeapFree(GetProcessHeap(), 0, l);
    return ok;
}

std::string log_text(const wchar_t *dir)
{
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls\\logs\\install.log", dir);
    return read_all(path);
}

int count_of(const std::string &hay, const std::string &needle)
{
    int n = 0;
    for (size_t at = hay.find(needle); !needle.empty() && at != std::string::npos; at = hay.find(needle, at + 1))
        n++;
    return n;
}

std::string utf8(const wchar_t *w)
{
    char buf[MAX_PATH * 4];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, (int)sizeof buf, NULL, NULL);
    return n > 0 ? std::string(buf, (size_t)n - 1) : std::string();
}

FILETIME mtime_of(const wchar_t *path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    FILETIME zero = {0, 0};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &d))
        return zero;
    return d.ftLastWriteTime;
}

int set_mtime(const wchar_t *path, FILETIME t)
{
    HANDLE h = CreateFileW(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                           NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    BOOL ok = SetFileTime(h, NULL, NULL, &t);
    CloseHandle(h);
    return ok != 0;
}
