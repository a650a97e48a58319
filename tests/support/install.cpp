// The whole-install tests' half of the support; see install.h.
#include "install.h"

#include "disc.h"

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

static bool make_disc_in(const std::wstring &folder, uint32_t region)
{
    DiscPlan plan;
    disc_default(&plan);
    plan.region = region;
    tree_remove(folder);
    return disc_make(folder.c_str(), &plan) != 0;
}

bool disc_eu_in(const std::wstring &folder)
{
    return make_disc_in(folder, 4);
}

// Makes the disc in its folder of the scratch folder when it isn't there (the
// scratch folder is emptied around every case).
static std::wstring make_disc(const wchar_t *name, uint32_t region)
{
    std::wstring d = scratch(join(L"discs", name));
    if (!has_file(join(d, L"default.xbe")) && !make_disc_in(d, region))
        return L"<no disc>";
    return d;
}

std::wstring disc_eu(void)
{
    return make_disc(L"eu", 4);
}

std::wstring disc_us(void)
{
    return make_disc(L"us", 1);
}

uint64_t disc_bytes(const std::wstring &disc)
{
    DiscPlan plan;
    disc_default(&plan);
    if (disc == scratch(L"discs\\us"))
        plan.region = 1;
    return disc_total(&plan);
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

void expect_settings(const std::wstring &dir, const Settings &s)
{
    for (const wchar_t *name : {L"emberveil.ini", L"mkb.ini"})
        EXPECT_TRUE(has_file(join(dir, name))) << utf8(name);
    EXPECT_EQ(s.emberveil, read_file(join(dir, L"emberveil.ini")));
    EXPECT_EQ(s.mkb, read_file(join(dir, L"mkb.ini")));
    EXPECT_TRUE(files_ending(dir, L".kept").empty());
    EXPECT_TRUE(files_ending(dir, L".part").empty());
}

std::wstring install_args(const std::wstring &disc, const std::wstring &dir, bool test)
{
    bool image = disc.size() > 4 && !_wcsicmp(disc.c_str() + disc.size() - 4, L".iso");
    std::wstring a = L"/xbe \"" + (image ? disc : join(disc, L"default.xbe")) + L"\" /dir \"" + dir + L"\" /go";
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
    r.log = log_text(dir);
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

std::vector<std::string> check_lines(void)
{
    return {"checked ~ files against game-files.sha256 (~ by an earlier install's check); the check added ~ ms",
            "1 file on the disc isn't in game-files.sha256 (not checked)"};
}

// The texts hold none of glob's wildcards: the paths and texts of these tests have no '#' or '~'.
std::vector<std::string> step_lines(const std::wstring &disc, const std::wstring &dir, int last_step)
{
    std::string region = disc == scratch(L"discs\\us") ? "1" : "4";
    std::vector<std::string> v = {"Emberveil installer: game files " + utf8(disc) + " (region " + region +
                                      "), install folder " + utf8(dir),
                                  "== Step 1 of 5: Unpacking =="};
    if (last_step >= 2) {
        v.push_back("== Step 2 of 5: Copying the game files ==");
        v.push_back("game-files.sha256: ~ files, ~ versions");
        v.push_back("copy " + utf8(disc) + " -> " + utf8(dir) + "\\game (" + std::to_string(disc_bytes(disc)) +
                    " bytes)");
    }
    if (last_step >= 3) {
        std::vector<std::string> c = check_lines();
        v.insert(v.end(), c.begin(), c.end());
        v.push_back("== Step 3 of 5: Translating the game's code ==");
    }
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

RegValue read_install_value(void)
{
    RegValue v;
    HKEY k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, k_install_key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExW(k, k_install_value, NULL, &v.type, NULL, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.found = RegQueryValueExW(k, k_install_value, NULL, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
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
    key_existed_ = RegOpenKeyExW(HKEY_CURRENT_USER, k_install_key, 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS;
    if (key_existed_)
        RegCloseKey(k);
    before_ = read_install_value();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value);
    std::wstring link = desktop_link();
    link_existed_ = has_file(link);
    link_before_ = read_file(link);
    DeleteFileW(link.c_str());
}

CleanSlate::~CleanSlate()
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value);
    if (before_.found)
        RegSetKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value, before_.type, before_.data.data(),
                        (DWORD)before_.data.size());
    else if (!key_existed_)
        RegDeleteKeyW(HKEY_CURRENT_USER, k_install_key);
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

// After every case, once its Setup is ended: the archives any Setup of the
// case left in the temporary folder (a killed one, a planted name).
static void sweep_archives(void)
{
    drv_kill();
    remove_temp_archives(0);
}

static const int s_sweeps = at_test_end(sweep_archives);
