// The build's programs and folders, and what a test changes around itself:
// the environment, a game that runs, tar.exe, Setup's temporary archives.
#include "support.h"

#define GONE_MS 10000 // an ended process is gone well within this

const wchar_t *const k_install_key = L"Software\\Emberveil Vavudo";
const wchar_t *const k_install_value = L"InstallDir";

// BUILD\tests, where every test program runs.
static std::wstring self_dir(void)
{
    wchar_t p[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, p, MAX_PATH);
    std::wstring s(p, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

std::wstring build_dir(void)
{
    std::wstring t = self_dir();
    return t.substr(0, t.find_last_of(L'\\'));
}

std::wstring test_tool(const wchar_t *name)
{
    return join(join(self_dir(), L"tools"), name);
}

std::wstring setup_exe(void)
{
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
    make_dir(d);
    return d;
}

std::wstring artifact(const std::wstring &name)
{
    std::wstring p = join(artifacts_dir(), name);
    make_dir(p.substr(0, p.find_last_of(L'\\')));
    return p;
}

std::wstring child_exe(void)
{
    return test_tool(L"evchild.exe");
}

std::wstring child_cmd(const std::wstring &args)
{
    return L"\"" + child_exe() + L"\" " + args;
}

Hooks::Hooks(const Vars &vars)
{
    for (const auto &v : vars)
        set(v.first, v.second.c_str());
}

Hooks::Hooks(const wchar_t *name, const wchar_t *value)
{
    set(name, value);
}

void Hooks::set(const wchar_t *name, const wchar_t *value)
{
    wchar_t was[32768];
    DWORD n = GetEnvironmentVariableW(name, was, 32768);
    before_.push_back({name, n > 0 && n < 32768 ? std::wstring(was) : std::wstring(L"\1")});
    SetEnvironmentVariableW(name, value);
}

Hooks::~Hooks()
{
    for (auto v = before_.rbegin(); v != before_.rend(); ++v)
        SetEnvironmentVariableW(v->first.c_str(), v->second == L"\1" ? NULL : v->second.c_str());
}

RunningGame::RunningGame(const std::wstring &folder, const wchar_t *name)
{
    std::wstring exe = join(folder, name), cmd = L"\"" + exe + L"\" pause 120000";
    make_dir(folder);
    if (!CopyFileW(child_exe().c_str(), exe.c_str(), FALSE))
        return;
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(exe.c_str(), &cmd[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi))
        return;
    CloseHandle(pi.hThread);
    proc_ = pi.hProcess;
}

RunningGame::~RunningGame()
{
    if (!proc_)
        return;
    TerminateProcess(proc_, 0);
    WaitForSingleObject(proc_, GONE_MS);
    CloseHandle(proc_);
}

bool RunningGame::running() const
{
    return proc_ && WaitForSingleObject(proc_, 0) == WAIT_TIMEOUT;
}

std::wstring system_tar(void)
{
    wchar_t sys[MAX_PATH] = L"";
    GetSystemDirectoryW(sys, MAX_PATH);
    return join(sys, L"tar.exe");
}

TarAside::TarAside(const wchar_t *stand_in)
{
    tar_ = system_tar();
    aside_ = tar_ + L".aside";
    moved_ = MoveFileExW(tar_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    copied_ = !stand_in || (moved_ && CopyFileW(test_tool(stand_in).c_str(), tar_.c_str(), FALSE));
}

TarAside::~TarAside()
{
    if (moved_)
        MoveFileExW(aside_.c_str(), tar_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring temp_dir(void)
{
    wchar_t t[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, t);
    return t;
}

std::vector<std::wstring> temp_archives(DWORD pid, const std::wstring &dir)
{
    std::wstring in = dir.empty() ? temp_dir() : dir;
    if (!in.empty() && in.back() == L'\\')
        in.pop_back();
    std::wstring pattern = L"emberveil_setup_" + (pid ? std::to_wstring(pid) + L"_*" : std::wstring(L"*"));
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(in, pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do
        out.push_back(join(in, fd.cFileName));
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return out;
}

void remove_temp_archives(DWORD pid)
{
    for (const auto &p : temp_archives(pid))
        DeleteFileW(p.c_str());
}
