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

// Presses a box's button as the button itself reports a click, then waits
// for the box to go.
int drv_msgbox_press(HWND box, int button_id)
{
    HWND b = box ? GetDlgItem(box, button_id) : NULL;
    if (!b || !IsWindowVisible(b) || !IsWindowEnabled(b))
        return 0;
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), (LPARAM)b))
        return 0;
    DWORD t0 = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - t0 < CLOSE_MS)
        Sleep(POLL_MS);
    return !IsWindow(box) || !IsWindowVisible(box);
}

int drv_set_dpi(int dpi)
{
    DWORD v = (DWORD)dpi;
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &v, sizeof v) ==
           ERROR_SUCCESS;
}
