#include "choosers.h"
#include "window.h"
#include "../game/disc.h"
#include <commdlg.h>
#include <shlobj.h>

void browse_xbe(void)
{
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = s_win;
    // An image is known by its content, so any file may be one: the last pair lists them all.
    ofn.lpstrFilter = L"Emberveil (default.xbe or disc image)\0default.xbe;*.iso;*.xiso\0"
                      L"Xbox programs (*.xbe)\0*.xbe\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"The default.xbe of your extracted Emberveil disc";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn))
        game_pick(path);
}

void browse_dest(void)
{
    BROWSEINFOW bi;
    ZeroMemory(&bi, sizeof bi);
    bi.hwndOwner = s_win;
    bi.lpszTitle = L"The folder to install Emberveil into. A new folder \"Emberveil\" is made inside it.";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
    if (!item)
        return;
    // Room for the added name: a folder too long for the install is shown
    // whole and refused by the checks, never cut into another one.
    wchar_t path[MAX_PATH + 16];
    if (SHGetPathFromIDListW(item, path)) {
        dest_complete(path, MAX_PATH + 16);
        SetWindowTextW(s_dest, path); // its EN_CHANGE refreshes the required space
    }
    CoTaskMemFree(item);
}

void on_drop(HDROP drop)
{
    wchar_t path[MAX_PATH];
    if (s_state == S_FORM && DragQueryFileW(drop, 0, path, MAX_PATH))
        game_pick(path);
    DragFinish(drop);
}

void xbe_left(void)
{
    wchar_t text[MAX_PATH] = L"";
    GetWindowTextW(s_xbe, text, MAX_PATH);
    if (text[0] && !ieq(text, s_game.dir))
        game_pick(text);
}
