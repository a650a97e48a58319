// The whole-install tests' shared half: paths, files, hooks, runs and logs,
// the registry value, the shortcut and the processes of a run.
#include "setup_run.h"

#include "disc.h"
#include "driver.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#define REG_KEY L"Software\\Emberveil Vavudo"
#define REG_NAME L"InstallDir"
#define SCRATCH L"C:\\ev-install"

// The scratch root for the whole run: a Setup left running in the prefix would
// make every install here end at once as the second instance, so say so first.
class ScratchRoot : public ::testing::Environment {
public:
    void SetUp() override
    {
        HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, L"EmberveilSetup");
        if (m) {
            CloseHandle(m);
            ADD_FAILURE() << "another EmberveilSetup runs in this Wine prefix; every install here would end at once";
        }
    }
    void TearDown() override { disc_remove(SCRATCH); }
};

static ::testing::Environment *const s_root = ::testing::AddGlobalTestEnvironment(new ScratchRoot);

static std::wstring parent_of(const std::wstring &path)
{
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? path : path.substr(0, cut);
}

static std::wstring self_dir(void)
{
    wchar_t p[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, p, MAX_PATH);
    return parent_of(std::wstring(p, n));
}

std::wstring build_dir(void)
{
    return parent_of(self_dir()); // the tests run from BUILD\tests
}

std::wstring setup_exe(void)
{
    // The packer's test runs these installs again with the Setups it packed.
    wchar_t p[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"EV_SETUP_EXE", p, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return p;
    return join(build_dir(), L"EmberveilSetup.exe");
}

std::wstring own_exe(const wchar_t *name)
{
    return join(join(self_dir(), L"install"), name);
}

std::wstring artifacts_dir(void)
{
    std::wstring d = join(build_dir(), L"artifacts");
    SHCreateDirectoryExW(NULL, d.c_str(), NULL);
    return d;
}

std::wstring join(const std::wstring &dir, const std::wstring &name)
{
    return dir + L"\\" + name;
}

std::string narrow(const std::wstring &w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), NULL, 0, NULL, NULL);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, NULL, NULL);
    return s;
}

std::wstring widen(const std::string &s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), NULL, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), &w[0], n);
    return w;
}

void remove_dir(const std::wstring &dir)
{
    disc_remove(dir.c_str());
}

std::wstring scratch(const wchar_t *name)
{
    std::wstring d = join(SCRATCH, name);
    remove_dir(d);
    return d;
}

// Makes a disc once per run in its own folder under the scratch root.
static const std::wstring &make_disc(std::wstring *dir, const wchar_t *name, uint32_t region)
{
    if (dir->empty()) {
        DiscPlan plan;
        disc_default(&plan);
        plan.region = region;
        std::wstring d = join(join(SCRATCH, L"discs"), name);
        remove_dir(d);
        if (disc_make(d.c_str(), &plan))
            *dir = d;
    }
    return *dir;
}

static std::wstring s_eu, s_us;

const std::wstring &disc_eu(void)
{
    return make_disc(&s_eu, L"eu", 4);
}

const std::wstring &disc_us(void)
{
    return make_disc(&s_us, L"us", 1);
}

uint64_t disc_bytes(const std::wstring &disc)
{
    DiscPlan plan;
    disc_default(&plan);
    if (disc == s_us)
        plan.region = 1;
    return disc_total(&plan);
}

std::string read_file(const std::wstring &path)
{
    // Setup may still hold the log open for writing.
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return "";
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, NULL) && got > 0)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

bool put_file(const std::wstring &path, const std::string &bytes)
{
    SHCreateDirectoryExW(NULL, parent_of(path).c_str(), NULL);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = bytes.empty() || WriteFile(f, bytes.data(), (DWORD)bytes.size(), &done, NULL);
    CloseHandle(f);
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

int c_files(const std::wstring &dir, bool deep)
{
    int count = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(dir, L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        std::wstring name = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (deep && name != L"." && name != L"..")
                count += c_files(join(dir, name), true);
        } else if (name.size() > 2 && !_wcsicmp(name.c_str() + name.size() - 2, L".c")) {
            count++;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return count;
}

bool put_settings(const std::wstring &dir, const Settings &s)
{
    return put_file(join(dir, L"emberveil.ini"), s.emberveil) && put_file(join(dir, L"mkb.ini"), s.mkb);
}

bool seed_earlier_install(const std::wstring &dir, const Settings &s)
{
    return put_file(join(dir, L"scripts\\build.ps1"), "# an earlier install's build script\r\n") &&
           put_file(join(dir, L"toolchain\\zig\\zig.exe"), "an earlier zig") && put_settings(dir, s);
}

Hooks::Hooks(const Vars &vars)
{
    for (const auto &v : vars) {
        SetEnvironmentVariableW(v.first, v.second.c_str());
        names_.push_back(v.first);
    }
}

Hooks::~Hooks()
{
    for (const auto &n : names_)
        SetEnvironmentVariableW(n.c_str(), NULL);
}

std::wstring system_tar(void)
{
    wchar_t sys[MAX_PATH] = L"";
    GetSystemDirectoryW(sys, MAX_PATH);
    return join(sys, L"tar.exe");
}

BadTar::BadTar()
{
    tar_ = system_tar();
    aside_ = tar_ + L".real";
    moved_ = MoveFileExW(tar_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    copied_ = moved_ && CopyFileW(join(build_dir(), L"tests\\tools\\badtar.exe").c_str(), tar_.c_str(), FALSE);
}

BadTar::~BadTar()
{
    if (moved_)
        MoveFileExW(aside_.c_str(), tar_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring install_args(const std::wstring &disc, const std::wstring &dir, bool test)
{
    std::wstring a = L"/xbe \"" + join(disc, L"default.xbe") + L"\" /dir \"" + dir + L"\" /go";
    return test ? a + L" /test" : a;
}

Outcome finish_run(const std::wstring &dir, DWORD timeout_ms)
{
    Outcome r;
    r.pid = drv_pid();
    r.exited = drv_wait_exit(timeout_ms, &r.code) != 0;
    if (!r.exited) {
        HWND box = drv_msgbox(0);
        wchar_t t[512] = L"";
        if (box)
            drv_msgbox_text(box, t, 512);
        r.box = t;
        drv_kill();
    }
    r.log = read_file(join(dir, L"logs\\install.log"));
    return r;
}

Outcome install(const std::wstring &disc, const std::wstring &dir, bool test, const wchar_t *exe, const wchar_t *cwd)
{
    std::wstring program = exe ? exe : setup_exe();
    if (!drv_start(program.c_str(), install_args(disc, dir, test).c_str(), cwd)) {
        Outcome r;
        r.box = L"Setup did not start";
        return r;
    }
    return finish_run(dir, RUN_MS);
}

static bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// The stamp "[hh:mm:ss] " at p (11 bytes); its seconds since midnight, -1 when not a
// stamp, -2 when shaped like one but not a time of day.
static int stamp_at(const std::string &s, size_t p)
{
    if (p + 11 > s.size() || s[p] != '[' || s[p + 3] != ':' || s[p + 6] != ':' || s[p + 9] != ']' ||
        s[p + 10] != ' ')
        return -1;
    const size_t at[] = {1, 2, 4, 5, 7, 8};
    for (size_t i : at)
        if (!digit(s[p + i]))
            return -1;
    int h = (s[p + 1] - '0') * 10 + s[p + 2] - '0';
    int m = (s[p + 4] - '0') * 10 + s[p + 5] - '0';
    int sec = (s[p + 7] - '0') * 10 + s[p + 8] - '0';
    return h < 24 && m < 60 && sec < 60 ? (h * 60 + m) * 60 + sec : -2;
}

std::vector<std::string> installer_lines(const std::string &log)
{
    std::vector<std::string> out;
    size_t p = 0;
    while ((p = log.find('[', p)) != std::string::npos) {
        int t = stamp_at(log, p);
        if (t == -1) {
            p++;
            continue;
        }
        size_t end = log.find("\r\n", p + 11);
        std::string text = log.substr(p + 11, end == std::string::npos ? std::string::npos : end - p - 11);
        out.push_back(t == -2 ? "BAD STAMP " + text : text);
        if (end == std::string::npos)
            break;
        p = end + 2;
    }
    return out;
}

bool glob(const char *pattern, const std::string &text)
{
    size_t i = 0;
    for (const char *q = pattern; *q; q++) {
        if (*q == '~') {
            size_t start = i;
            while (i < text.size() && digit(text[i]))
                i++;
            if (i == start)
                return false;
        } else if (*q == '#') {
            if (i >= text.size() || !digit(text[i]))
                return false;
            i++;
        } else if (i < text.size() && text[i] == *q) {
            i++;
        } else {
            return false;
        }
    }
    return i == text.size();
}

// The texts hold none of glob's wildcards: the paths and texts of these tests have no '#' or '~'.
std::vector<std::string> step_lines(const std::wstring &disc, const std::wstring &dir, int last_step)
{
    std::string region = disc == s_us ? "1" : "4";
    std::vector<std::string> v = {"Emberveil installer: game files " + narrow(disc) + " (region " + region +
                                      "), install folder " + narrow(dir),
                                  "== Step 1 of 5: Unpacking =="};
    if (last_step >= 2) {
        v.push_back("== Step 2 of 5: Copying the game files ==");
        v.push_back("copy " + narrow(disc) + " -> " + narrow(dir) + "\\game (" + std::to_string(disc_bytes(disc)) +
                    " bytes)");
    }
    if (last_step >= 3)
        v.push_back("== Step 3 of 5: Translating the game's code ==");
    if (last_step >= 4)
        v.push_back("== Step 4 of 5: Compiling ==");
    if (last_step >= 5)
        v.push_back("== Step 5 of 5: Finishing ==");
    return v;
}

void expect_lines(const std::string &log, const std::vector<std::string> &want)
{
    std::vector<std::string> have = installer_lines(log);
    std::string listing;
    for (const auto &l : have)
        listing += "  " + l + "\n";
    ASSERT_EQ(want.size(), have.size()) << "the log's own lines:\n" << listing;
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_TRUE(glob(want[i].c_str(), have[i])) << "line " << i << ": want \"" << want[i] << "\"\n"
                                                    << listing;
    // The first line opens the file and the last one closes it.
    EXPECT_EQ(0u, log.find('[')) << log.substr(0, 80);
    EXPECT_TRUE(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0);
}

bool wait_log(const std::wstring &dir, const std::string &needle, DWORD timeout_ms)
{
    std::wstring path = join(dir, L"logs\\install.log");
    DWORD t0 = GetTickCount();
    do {
        if (read_file(path).find(needle) != std::string::npos)
            return true;
        Sleep(20);
    } while (GetTickCount() - t0 < timeout_ms);
    return false;
}

DWORD number_after(const std::string &log, const std::string &prefix)
{
    size_t p = log.find(prefix);
    if (p == std::string::npos)
        return 0;
    return (DWORD)strtoul(log.c_str() + p + prefix.size(), NULL, 10);
}

std::wstring control_text(int id)
{
    wchar_t t[1024];
    return drv_text(id, t, 1024) ? t : L"<unreadable>";
}

std::wstring status_text(int part)
{
    wchar_t t[256];
    return drv_status(part, t, 256) ? t : L"<unreadable>";
}

RegValue read_install_value(void)
{
    RegValue v;
    HKEY k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, REG_KEY, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExW(k, REG_NAME, NULL, &v.type, NULL, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.found = RegQueryValueExW(k, REG_NAME, NULL, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
        v.data.resize(size);
    }
    RegCloseKey(k);
    return v;
}

std::wstring desktop_link(void)
{
    wchar_t desk[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, desk)))
        return L"";
    return join(desk, L"Emberveil.lnk");
}

CleanSlate::CleanSlate()
{
    HKEY k;
    key_existed_ = RegOpenKeyExW(HKEY_CURRENT_USER, REG_KEY, 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS;
    if (key_existed_)
        RegCloseKey(k);
    before_ = read_install_value();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, REG_KEY, REG_NAME);
    std::wstring link = desktop_link();
    link_existed_ = has_file(link);
    link_before_ = read_file(link);
    DeleteFileW(link.c_str());
}

CleanSlate::~CleanSlate()
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, REG_KEY, REG_NAME);
    if (before_.found)
        RegSetKeyValueW(HKEY_CURRENT_USER, REG_KEY, REG_NAME, before_.type, before_.data.data(),
                        (DWORD)before_.data.size());
    else if (!key_existed_)
        RegDeleteKeyW(HKEY_CURRENT_USER, REG_KEY);
    std::wstring link = desktop_link();
    DeleteFileW(link.c_str());
    if (link_existed_)
        put_file(link, link_before_);
}

Link read_link(const std::wstring &path)
{
    Link l;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    IShellLinkW *sl = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&sl))) {
        IPersistFile *pf = NULL;
        if (SUCCEEDED(sl->QueryInterface(IID_IPersistFile, (void **)&pf))) {
            if (SUCCEEDED(pf->Load(path.c_str(), STGM_READ))) {
                wchar_t t[MAX_PATH] = L"", f[MAX_PATH] = L"", d[MAX_PATH] = L"";
                sl->GetPath(t, MAX_PATH, NULL, SLGP_RAWPATH);
                sl->GetWorkingDirectory(f, MAX_PATH);
                sl->GetDescription(d, MAX_PATH);
                l.loaded = true;
                l.target = t;
                l.folder = f;
                l.description = d;
            }
            pf->Release();
        }
        sl->Release();
    }
    CoUninitialize();
    return l;
}

std::vector<DWORD> children(DWORD pid, const wchar_t *exe)
{
    std::vector<DWORD> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (e.th32ParentProcessID == pid && !_wcsicmp(e.szExeFile, exe))
            out.push_back(e.th32ProcessID);
    CloseHandle(snap);
    return out;
}

long resource_size(const std::wstring &exe, int id)
{
    HMODULE m = LoadLibraryExW(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!m)
        return -2;
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    long size = r ? (long)SizeofResource(m, r) : -1;
    FreeLibrary(m);
    return size;
}

std::string resource_bytes(const std::wstring &exe, int id)
{
    std::string out;
    HMODULE m = LoadLibraryExW(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!m)
        return out;
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    HGLOBAL g = r ? LoadResource(m, r) : NULL;
    const char *p = g ? (const char *)LockResource(g) : NULL;
    if (p)
        out.assign(p, SizeofResource(m, r));
    FreeLibrary(m);
    return out;
}

std::vector<std::wstring> temp_archives(DWORD pid)
{
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp))
        return {};
    std::wstring dir = temp;
    if (!dir.empty() && dir.back() == L'\\')
        dir.pop_back();
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    std::wstring pattern = join(dir, L"emberveil_setup_" + std::to_wstring(pid) + L"_*");
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do
        out.push_back(join(dir, fd.cFileName));
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

void remove_temp_archives(DWORD pid)
{
    for (const auto &p : temp_archives(pid))
        DeleteFileW(p.c_str());
}
