// The driver's message-box half: reading a box and answering it.
#include "driver.h"

#define POLL_MS 20
#define SEND_MS 5000
#define CLOSE_MS 5000
#define ID_BOX_TEXT 0xFFFF

// Reads a message box's text from its static text control.
int drv_msgbox_text(HWND box, wchar_t *out, int cap)
{
    DWORD_PTR r = 0;
    if (cap < 1)
        return 0;
    out[0] = 0;
    HWND t = box ? GetDlgItem(box, ID_BOX_TEXT) : NULL;
    if (!t || !SendMessageTimeoutW(t, WM_GETTEXT, (WPARAM)cap, (LPARAM)out, SMTO_NORMAL,
                                   SEND_MS, &r))
        return 0;
    out[cap - 1] = 0;
    return 1;
}

struct ButtonSearch {
    int id;
    HWND hit;
};

static BOOL CALLBACK button_cb(HWND h, LPARAM l)
{
    ButtonSearch *s = (ButtonSearch *)l;
    wchar_t cls[16];
    if (GetDlgCtrlID(h) == s->id && GetClassNameW(h, cls, 16) && !_wcsicmp(cls, L"Button")) {
        s->hit = h;
        return FALSE;
    }
    return TRUE;
}

// Presses a dialog's button as the button itself reports a click to its
// parent (a common dialog may keep its buttons a level down), then waits for
// the dialog to go.
int drv_msgbox_press(HWND box, int button_id)
{
    ButtonSearch s = {button_id, NULL};
    if (box)
        EnumChildWindows(box, button_cb, (LPARAM)&s);
    HWND b = s.hit;
    if (!b || !IsWindowVisible(b) || !IsWindowEnabled(b))
        return 0;
    if (!PostMessageW(GetParent(b), WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), (LPARAM)b))
        return 0;
    DWORD t0 = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - t0 < CLOSE_MS)
        Sleep(POLL_MS);
    // Setup may have ended after the answer; when not, it has handled the press.
    return (!IsWindow(box) || !IsWindowVisible(box)) && (drv_sync() || !drv_main());
}

int drv_set_dpi(int dpi)
{
    DWORD v = (DWORD)dpi;
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &v, sizeof v) ==
           ERROR_SUCCESS;
}
