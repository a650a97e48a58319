// A stand-in window for testing the driver alone: the class, title and
// control ids the driver looks for, each control reporting what reached it
// through the status bar or the note line. "/quit N" exits with N at once.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

enum { F_XBE = 100, F_XBE_BROWSE, F_DEST, F_DEST_BROWSE, F_SHORTCUT, F_GO, F_NOTE = 109 };

#define F_EXIT_CODE 7

static HWND s_win, s_status;
static int s_changes;

static void status(int part, const wchar_t *t)
{
    SendMessageW(s_status, SB_SETTEXTW, (WPARAM)part, (LPARAM)t);
}

static HWND add(const wchar_t *cls, const wchar_t *text, DWORD style, int x, int y, int w,
                int h, int id)
{
    DWORD ex = wcscmp(cls, L"EDIT") ? 0 : WS_EX_CLIENTEDGE;
    return CreateWindowExW(ex, cls, text, WS_CHILD | style, x, y, w, h, s_win,
                           (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
}

static void build(void)
{
    add(L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 32, 272, 270, 24, F_XBE);
    add(L"BUTTON", L"Browse...", WS_TABSTOP, 308, 271, 80, 26, F_XBE_BROWSE);
    add(L"STATIC", L"Or drop the file on this window.", WS_VISIBLE, 32, 299, 356, 16, F_NOTE);
    add(L"EDIT", L"C:\\Games\\Emberveil", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 32, 340,
        270, 24, F_DEST);
    HWND b = add(L"BUTTON", L"Change...", WS_VISIBLE | WS_TABSTOP, 308, 339, 80, 26,
                 F_DEST_BROWSE);
    EnableWindow(b, FALSE);
    b = add(L"BUTTON", L"Desktop shortcut", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 32, 372,
            200, 20, F_SHORTCUT);
    SendMessageW(b, BM_SETCHECK, BST_CHECKED, 0);
    add(L"BUTTON", L"Install", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 288, 400, 100, 32, F_GO);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, NULL, WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 32,
                               288, 356, 16, s_win, NULL, GetModuleHandleW(NULL), NULL);
    SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
    SendMessageW(bar, PBM_SETPOS, 250, 0);
    s_status = CreateWindowExW(0, STATUSCLASSNAMEW, NULL, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                               s_win, NULL, GetModuleHandleW(NULL), NULL);
    int parts[2] = {310, -1};
    SendMessageW(s_status, SB_SETPARTS, 2, (LPARAM)parts);
    status(0, L"Not installed");
    status(1, L"ready");
}

static void command(int id, int code, HWND ctl)
{
    wchar_t t[MAX_PATH], note[MAX_PATH + 16];
    if (id == F_DEST && code == EN_CHANGE) {
        swprintf(t, MAX_PATH, L"changes %d", ++s_changes);
        status(1, t);
    } else if (id == F_XBE && code == EN_KILLFOCUS) {
        GetWindowTextW(ctl, t, MAX_PATH);
        swprintf(note, MAX_PATH + 16, L"left: %ls", t);
        SetDlgItemTextW(s_win, F_NOTE, note);
    } else if (id == F_GO && code == BN_CLICKED) {
        int r = MessageBoxW(s_win, L"Go on?", L"Emberveil Setup", MB_YESNO | MB_ICONQUESTION);
        status(0, r == IDYES ? L"yes" : L"no");
    } else if (code == BN_CLICKED && id != F_SHORTCUT) {
        swprintf(t, MAX_PATH, L"pressed %d", id);
        status(0, t);
    }
}

// The banner is pure red and the rest of the client a light grey, so that a
// pixel read can tell them apart.
static void paint(HWND w)
{
    PAINTSTRUCT ps;
    RECT banner = {16, 12, 404, 152};
    HDC dc = BeginPaint(w, &ps);
    HBRUSH red = CreateSolidBrush(RGB(200, 30, 30));
    FillRect(dc, &banner, red);
    DeleteObject(red);
    EndPaint(w, &ps);
}

static void draw_go(const DRAWITEMSTRUCT *d)
{
    HBRUSH b = CreateSolidBrush(RGB(40, 90, 160));
    FillRect(d->hDC, &d->rcItem, b);
    DeleteObject(b);
}

static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_CREATE:
        s_win = w;
        build();
        return 0;
    case WM_SIZE:
        SendMessageW(s_status, WM_SIZE, 0, 0);
        return 0;
    case WM_COMMAND:
        command(LOWORD(wp), HIWORD(wp), (HWND)lp);
        return 0;
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(w, &r);
        FillRect((HDC)wp, &r, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_DRAWITEM:
        draw_go((const DRAWITEMSTRUCT *)lp);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(F_EXIT_CODE);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

static int make_window(HINSTANCE inst, int show)
{
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    wc.lpszClassName = L"EvSetup";
    if (!RegisterClassExW(&wc))
        return 0;
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r = {0, 0, 420, 480};
    AdjustWindowRect(&r, style, FALSE);
    HWND w = CreateWindowExW(0, L"EvSetup", L"Emberveil Setup", style, 40, 40,
                             r.right - r.left, r.bottom - r.top, NULL, NULL, inst, NULL);
    if (!w)
        return 0;
    ShowWindow(w, show);
    UpdateWindow(w);
    return 1;
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, LPWSTR cmd, int show)
{
    const wchar_t *q = wcsstr(cmd, L"/quit ");
    if (q)
        return _wtoi(q + 6);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    if (!make_window(inst, show))
        return 1;
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (IsDialogMessageW(s_win, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}
