// Waiting, text, files, trees, links and the scratch folder; see support.h.
#include "support.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <stdio.h>

#define POLL_MS 20
#define HELD_MS 5000 // a dying program lets go of its files well within this
#define UNIX_MS 20000 // a Unix program started through Wine shows its effect within this

bool wait_until(const std::function<bool()> &ok, DWORD ms)
{
    DWORD t0 = GetTickCount();
    for (;;) {
        if (ok())
            return true;
        if (GetTickCount() - t0 >= ms)
            return ok();
        Sleep(POLL_MS);
    }
}

std::string utf8(const std::wstring &w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), NULL, 0, NULL, NULL);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, NULL, NULL);
    return s;
}

std::string utf8(const wchar_t *w)
{
    return w ? utf8(std::wstring(w)) : "(null)";
}

std::wstring widen(const std::string &s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), NULL, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), &w[0], n);
    return w;
}

std::wstring join(const std::wstring &dir, const std::wstring &name)
{
    return dir + L"\\" + name;
}

std::wstring win_path(const char *unix_path)
{
    std::wstring p = unix_path[0] == '/' ? L"Z:" + widen(unix_path) : widen(unix_path);
    for (wchar_t &c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

int count_of(const std::string &hay, const std::string &needle)
{
    int n = 0;
    for (size_t at = hay.find(needle); !needle.empty() && at != std::string::npos; at = hay.find(needle, at + 1))
        n++;
    return n;
}

static std::wstring parent_of(const std::wstring &path)
{
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? path : path.substr(0, cut);
}

static bool is_link_attr(DWORD a)
{
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

static bool dots(const wchar_t *name)
{
    return !wcscmp(name, L".") || !wcscmp(name, L"..");
}

std::string read_file(const std::wstring &path)
{
    std::string out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool put_file(const std::wstring &path, const std::string &bytes)
{
    make_dir(parent_of(path));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), (DWORD)bytes.size(), &done, NULL);
    CloseHandle(h);
    return ok && done == bytes.size();
}

bool has_file(const std::wstring &path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool has_dir(const std::wstring &path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_dir(const std::wstring &path)
{
    SHCreateDirectoryExW(NULL, path.c_str(), NULL);
    return has_dir(path);
}

bool set_length(const std::wstring &path, uint64_t size)
{
    make_dir(parent_of(path));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)size;
    BOOL ok = SetFilePointerEx(h, at, NULL, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok != 0;
}

// One pass of the removal, with the entry's attributes as its folder's
// listing gives them (a link whose target is gone has none of its own); what
// a held file kept is left for the next pass.
static void remove_once(const std::wstring &path, DWORD a)
{
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    if (is_link_attr(a)) {
        drop_link(path);
        return;
    }
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(path, L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            if (!dots(fd.cFileName))
                remove_once(join(path, fd.cFileName), fd.dwFileAttributes);
        while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

static std::string unix_name(const std::wstring &path);
static bool unix_run(const std::string &cmd, const std::wstring &path, bool want);

bool tree_remove(const std::wstring &path)
{
    return wait_until(
        [&] {
            remove_once(path, GetFileAttributesW(path.c_str()));
            // Wine lists no link whose target is gone: only the Unix side
            // sees it (rm follows no link).
            std::string u = GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? "" : unix_name(path);
            if (!u.empty())
                unix_run("/bin/rm -rf \"" + u + "\"", path, false);
            return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        HELD_MS);
}

static std::string diff_one_way(const std::wstring &a, const std::wstring &b, bool contents)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(a, L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return "can't list " + utf8(a);
    std::string why;
    do {
        if (dots(fd.cFileName))
            continue;
        std::wstring pa = join(a, fd.cFileName), pb = join(b, fd.cFileName);
        DWORD ab = GetFileAttributesW(pb.c_str());
        bool dir_a = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (ab == INVALID_FILE_ATTRIBUTES)
            why = utf8(pb) + " is missing";
        else if (dir_a != ((ab & FILE_ATTRIBUTE_DIRECTORY) != 0))
            why = utf8(pb) + " is a folder on one side only";
        else if (dir_a)
            why = diff_one_way(pa, pb, contents);
        else if (contents && read_file(pa) != read_file(pb))
            why = utf8(pb) + " has other bytes";
    } while (why.empty() && FindNextFileW(h, &fd));
    FindClose(h);
    return why;
}

std::string tree_diff(const std::wstring &a, const std::wstring &b)
{
    std::string why = diff_one_way(a, b, true);
    return why.empty() ? diff_one_way(b, a, false) : why;
}

int file_count(const std::wstring &dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(dir, L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do {
        if (dots(fd.cFileName) || is_link_attr(fd.dwFileAttributes))
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            n += file_count(join(dir, fd.cFileName));
        else
            n++;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

std::vector<std::wstring> files_ending(const std::wstring &dir, const wchar_t *suffix)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(dir, L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    size_t n = wcslen(suffix);
    do {
        std::wstring name = fd.cFileName;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() >= n &&
            !_wcsicmp(name.c_str() + name.size() - n, suffix))
            out.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

FILETIME mtime_of(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    FILETIME zero = {0, 0};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d))
        return zero;
    return d.ftLastWriteTime;
}

bool set_mtime(const std::wstring &path, FILETIME t)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = SetFileTime(h, NULL, NULL, &t);
    CloseHandle(h);
    return ok != 0;
}

// Wine's own export that names the Unix path of a Windows path; absent on Windows.
typedef char *(CDECL *UnixNameFn)(LPCWSTR dos);

static UnixNameFn unix_name_fn(void)
{
    return (UnixNameFn)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
}

// The Unix name of a Windows path, or "" outside Wine.
static std::string unix_name(const std::wstring &path)
{
    UnixNameFn fn = unix_name_fn();
    char *n = fn ? fn(path.c_str()) : NULL;
    std::string s = n ? n : "";
    HeapFree(GetProcessHeap(), 0, n);
    return s;
}

// Runs a Unix program through Wine (which gives no process handle back) and
// waits until the file system shows its effect: until path's presence is want.
static bool unix_run(const std::string &cmd, const std::wstring &path, bool want)
{
    std::wstring line = widen(cmd);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    return wait_until([&] { return (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == want; },
                      UNIX_MS);
}

bool make_link(const std::wstring &link, const std::wstring &target, const wchar_t **how)
{
    CreateSymbolicLinkW(link.c_str(), target.c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (is_link_attr(GetFileAttributesW(link.c_str()))) {
        if (how)
            *how = L"CreateSymbolicLinkW";
        return true;
    }
    if (how)
        *how = L"ln -s on the Unix side";
    std::string t = unix_name(target), l = unix_name(link);
    return !t.empty() && !l.empty() && unix_run("/bin/ln -s \"" + t + "\" \"" + l + "\"", link, true) &&
           is_link_attr(GetFileAttributesW(link.c_str()));
}

bool drop_link(const std::wstring &link)
{
    std::string l = unix_name(link);
    if (l.empty()) {
        RemoveDirectoryW(link.c_str());
        return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    // Under Wine, RemoveDirectoryW on a link removes the (empty) folder it
    // leads to and keeps the link: only the Unix side removes the link itself.
    return unix_run("/bin/rm -f \"" + l + "\"", link, false);
}

// The scratch folder is named after the program, not its process: what a
// killed run left goes at the next run's start.
const std::wstring &scratch_root(void)
{
    static std::wstring s_root;
    if (s_root.empty()) {
        wchar_t me[MAX_PATH];
        DWORD n = GetModuleFileNameW(NULL, me, MAX_PATH);
        std::wstring name = std::wstring(me, n).substr(parent_of(std::wstring(me, n)).size() + 1);
        size_t dot = name.rfind(L'.');
        s_root = L"C:\\evtest-" + name.substr(0, dot);
    }
    return s_root;
}

std::wstring scratch(const std::wstring &name)
{
    return join(scratch_root(), name);
}

void test_dir(const wchar_t *name, wchar_t *out)
{
    std::wstring d = scratch(name);
    tree_remove(d);
    make_dir(d);
    wcsncpy(out, d.c_str(), MAX_PATH - 1);
    out[MAX_PATH - 1] = 0;
}

static std::vector<void (*)(void)> &end_hooks(void)
{
    static std::vector<void (*)(void)> s_hooks;
    return s_hooks;
}

int at_test_end(void (*fn)(void))
{
    end_hooks().push_back(fn);
    return 1;
}

// Empties the scratch folder around every case, and once more at the end of
// the program; a folder that won't go fails the case that left it.
class EmptyScratch : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override { tree_remove(scratch_root()); }
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        for (void (*fn)(void) : end_hooks())
            fn();
        if (!tree_remove(scratch_root()))
            ADD_FAILURE() << utf8(scratch_root()) << " could not be emptied after the case";
    }
    void OnTestProgramEnd(const ::testing::UnitTest &) override { tree_remove(scratch_root()); }
};

static const int s_listening = (::testing::UnitTest::GetInstance()->listeners().Append(new EmptyScratch), 1);
