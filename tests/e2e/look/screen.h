// What the look tests share: the paths of this run, screenshots read back as
// pixels, Setup's dialogs and drops worked from outside.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Setup, the artifacts folder (made if missing) and this run's scratch folder
// (fresh, removed at exit), as Windows paths.
std::wstring setup_exe(void);
std::wstring artifacts(void);
std::wstring scratch(const std::wstring &name);

// A screenshot of Setup's client area (drv_shot), kept at path and read back.
struct Shot {
    int w = 0, h = 0;
    std::vector<DWORD> px; // top-down 0x00RRGGBB
    DWORD at(int x, int y) const { return px[(size_t)y * w + x] & 0xFFFFFF; }
};
bool take_shot(const std::wstring &path, Shot *shot);

// The first descendant of parent with that class and control id, or null.
HWND find_kid(HWND parent, const wchar_t *cls, int id);
// Presses a dialog's button and waits until the dialog is gone.
bool press_and_wait(HWND dialog, int button_id);

// Drops the files on Setup's window as the shell does, through a DROPFILES
// block in Setup's own memory; true when Setup handled the message.
bool drop_on_setup(const std::vector<std::wstring> &paths);

// Sets an environment variable for the Setups started while it is in scope
// (they inherit it, and so do the scripts they run); removed again at its end.
struct EnvFor {
    std::wstring name;
    EnvFor(const wchar_t *var, const wchar_t *value);
    ~EnvFor();
};

// The screen's dpi for the Setup started next; 96 comes back when it goes out of scope.
struct DpiFor {
    explicit DpiFor(int dpi);
    ~DpiFor();
};
