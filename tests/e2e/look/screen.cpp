#include "screen.h"
#include "driver.h"
#include "disc.h"
#include <shlobj.h>
#include <stdlib.h>

static std::wstring windows_path(const wchar_t *unix_path)
{
    std::wstring p = L"Z:";
    p += unix_path;
    for (wchar_t &c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

std::wstring setup_exe(void)
{
    return windows_path(L"" EV_SETUP_EXE);
}

std::wstring artifacts(void)
{
    std::wstring dir = windows_path(L"" EV_ARTIFACTS);
    SHCreateDirectoryExW(NULL, dir.c_str(), NULL);
    return dir;
}

static std::wstring s_scratch;

static void remove_scratch(void)
{
    disc_remove(s_scratch.c_str());
}

std::wstring scratch(const std::wstring &name)
{
    if (s_scratch.empty()) {
        s_scratch = L"C:\\evlook-" + std::to_wstring(GetCurrentProcessId());
        disc_remove(s_scratch.c_str());
        CreateDirectoryW(s_scratch.c_str(), NULL);
        atexit(remove_scratch);
    }
    return s_scratch + L"\\" + name;
}

bool take_shot(const std::wstring &path, Shot *shot)
{
    if (!drv_shot(path.c_str()))
        return false;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    DWORD got = 0;
    bool ok = ReadFile(f, &fh, sizeof fh, &got, NULL) && got == sizeof fh && ReadFile(f, &ih, sizeof ih, &got, NULL) &&
              got == sizeof ih && ih.biBitCount == 32 && ih.biHeight > 0;
    std::vector<DWORD> rows;
    if (ok) {
        rows.resize((size_t)ih.biWidth * ih.biHeight);
        DWORD bytes = (DWORD)(rows.size() * 4);
        ok = SetFilePointer(f, (LONG)fh.bfOffBits, NULL, FILE_BEGIN) == fh.bfOffBits &&
             ReadFile(f, rows.data(), bytes, &got, NULL) && got == bytes;
    }
    CloseHandle(f);
    if (!ok)
        return false;
    shot->w = ih.biWidth;
    shot->h = ih.biHeight;
    shot->px.resize(rows.size());
    for (int y = 0; y < shot->h; y++) // the file's rows run bottom-up
        for (int x = 0; x < shot->w; x++)
            shot->px[(size_t)y * shot->w + x] = rows[(size_t)(shot->h - 1 - y) * shot->w + x];
    return true;
}

struct KidSearch {
    const wchar_t *cls;
    int id;
    HWND hit;
};

static BOOL CALLBACK kid_cb(HWND h, LPARAM l)
{
    KidSearch *s = (KidSearch *)l;
    wchar_t cls[64];
    if (GetClassNameW(h, cls, 64) && !wcscmp(cls, s->cls) && GetDlgCtrlID(h) == s->id) {
        s->hit = h;
        return FALSE;
    }
    return TRUE;
}

HWND find_kid(HWND parent, const wchar_t *cls, int id)
{
    KidSearch s = {cls, id, NULL};
    EnumChildWindows(parent, kid_cb, (LPARAM)&s);
    return s.hit;
}

bool press_and_wait(HWND dialog, int button_id)
{
    HWND b = find_kid(dialog, L"Button", button_id);
    if (!b || !IsWindowEnabled(b) || !PostMessageW(b, BM_CLICK, 0, 0))
        return false;
    for (int i = 0; i < 250 && IsWindow(dialog) && IsWindowVisible(dialog); i++)
        Sleep(20);
    return !IsWindow(dialog) || !IsWindowVisible(dialog) ? drv_sync() != 0 : false;
}

// A drop handle belongs to the process that receives it: the shell makes it
// there. From outside, the DROPFILES block is written into Setup's memory at a
// page-aligned address, which Wine's GlobalLock hands back as a fixed block,
// so DragQueryFileW reads it as the shell's own; DragFinish's GlobalFree of a
// block no heap knows fails quietly (seen under Wine 8), and the block is
// released here once Setup has handled the message.
bool drop_on_setup(const std::vector<std::wstring> &paths)
{
    size_t chars = 1;
    for (const std::wstring &p : paths)
        chars += p.size() + 1;
    std::vector<char> block(sizeof(DROPFILES) + chars * sizeof(wchar_t), 0);
    DROPFILES *d = (DROPFILES *)block.data();
    d->pFiles = sizeof(DROPFILES);
    d->fWide = TRUE;
    wchar_t *at = (wchar_t *)(d + 1);
    for (const std::wstring &p : paths) {
        wcscpy(at, p.c_str());
        at += p.size() + 1;
    }
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, drv_pid());
    if (!proc)
        return false;
    void *remote = VirtualAllocEx(proc, NULL, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T put = 0;
    DWORD_PTR r = 0;
    bool ok = remote && WriteProcessMemory(proc, remote, block.data(), block.size(), &put) && put == block.size() &&
              SendMessageTimeoutW(drv_main(), WM_DROPFILES, (WPARAM)remote, 0, SMTO_NORMAL, 10000, &r);
    if (remote)
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    return ok;
}

EnvFor::EnvFor(const wchar_t *var, const wchar_t *value) : name(var)
{
    SetEnvironmentVariableW(var, value);
}

EnvFor::~EnvFor()
{
    SetEnvironmentVariableW(name.c_str(), NULL);
}

DpiFor::DpiFor(int dpi)
{
    drv_set_dpi(dpi);
}

DpiFor::~DpiFor()
{
    drv_set_dpi(96);
}
