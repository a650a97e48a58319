// The driver's geometry and screen half: sizes, rectangles, the tab order,
// and what the screen shows of the window.
#include "driver.h"

#include <string.h>

#define SETTLE_TRIES 20
#define SETTLE_MS 50

int drv_client_size(int *w, int *h)
{
    RECT r;
    HWND win = drv_main();
    if (!win || !GetClientRect(win, &r))
        return 0;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return 1;
}

int drv_child_rect(int id, RECT *r)
{
    HWND c = drv_child(id);
    if (!c || !GetWindowRect(c, r))
        return 0;
    SetLastError(0);
    return MapWindowPoints(HWND_DESKTOP, drv_main(), (POINT *)r, 2) != 0 ||
           GetLastError() == 0;
}

// Walks GetNextDlgTabItem from the first tab stop until it comes round again.
int drv_tab_order(int *ids, int cap)
{
    HWND w = drv_main();
    if (!w)
        return 0;
    HWND first = GetNextDlgTabItem(w, NULL, FALSE);
    int n = 0;
    for (HWND h = first; h && n < cap;) {
        ids[n++] = GetDlgCtrlID(h);
        h = GetNextDlgTabItem(w, h, FALSE);
        if (h == first)
            break;
    }
    return n;
}

// Raises the main window above the others and gives it the foreground.
static void raise(HWND w)
{
    SetForegroundWindow(w);
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    drv_sync();
}

// The client area in screen coordinates.
static int client_box(HWND w, RECT *r)
{
    POINT o = {0, 0};
    if (!GetClientRect(w, r) || !ClientToScreen(w, &o))
        return 0;
    OffsetRect(r, o.x, o.y);
    return r->right > r->left && r->bottom > r->top;
}

// The size of a 32-bit copy of r.
static size_t frame_bytes(const RECT *r)
{
    return (size_t)(r->right - r->left) * (size_t)(r->bottom - r->top) * 4;
}

// Copies the screen inside r into px as 32-bit bottom-up rows.
static int grab(const RECT *r, DWORD *px)
{
    int w = r->right - r->left, h = r->bottom - r->top;
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(NULL);
    if (!screen)
        return 0;
    HDC mem = CreateCompatibleDC(screen);
    void *bits = NULL;
    HBITMAP dib = mem ? CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    int ok = 0;
    if (dib) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, w, h, screen, r->left, r->top, SRCCOPY) != 0;
        GdiFlush();
        if (ok)
            memcpy(px, bits, (size_t)w * (size_t)h * 4);
        SelectObject(mem, old);
        DeleteObject(dib);
    }
    if (mem)
        DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return ok;
}

// Grabs until two grabs in a row agree, so a paint still on its way is not
// photographed half done; px holds the last grab. 0 when they never agreed.
static int settled(const RECT *r, DWORD *px, DWORD *prev)
{
    size_t bytes = frame_bytes(r);
    if (!grab(r, prev))
        return 0;
    for (int i = 0; i < SETTLE_TRIES; i++) {
        Sleep(SETTLE_MS);
        if (!grab(r, px))
            return 0;
        if (!memcmp(px, prev, bytes))
            return 1;
        memcpy(prev, px, bytes);
    }
    return 0;
}

// Raises the main window and gives its client area on the screen.
static int frame(RECT *r)
{
    HWND w = drv_main();
    if (!w)
        return 0;
    raise(w);
    return client_box(w, r);
}

// Writes 32-bit bottom-up pixels as a .bmp file.
static int write_bmp(const wchar_t *path, const DWORD *px, int w, int h)
{
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    DWORD data = (DWORD)w * (DWORD)h * 4, put = 0;
    ZeroMemory(&fh, sizeof fh);
    ZeroMemory(&ih, sizeof ih);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + data;
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = data;
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    int ok = WriteFile(f, &fh, sizeof fh, &put, NULL) && put == sizeof fh &&
             WriteFile(f, &ih, sizeof ih, &put, NULL) && put == sizeof ih &&
             WriteFile(f, px, data, &put, NULL) && put == data;
    if (!CloseHandle(f))
        ok = 0;
    return ok;
}

int drv_shot(const wchar_t *bmp_path)
{
    RECT r;
    if (!frame(&r))
        return 0;
    DWORD *px = (DWORD *)HeapAlloc(GetProcessHeap(), 0, frame_bytes(&r));
    DWORD *prev = (DWORD *)HeapAlloc(GetProcessHeap(), 0, frame_bytes(&r));
    int ok = px && prev && settled(&r, px, prev) &&
             write_bmp(bmp_path, px, r.right - r.left, r.bottom - r.top);
    if (px)
        HeapFree(GetProcessHeap(), 0, px);
    if (prev)
        HeapFree(GetProcessHeap(), 0, prev);
    return ok;
}

int drv_pixel(int x, int y, COLORREF *c)
{
    RECT r;
    if (!frame(&r))
        return 0;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (x < 0 || y < 0 || x >= w || y >= h)
        return 0;
    DWORD *px = (DWORD *)HeapAlloc(GetProcessHeap(), 0, frame_bytes(&r));
    DWORD *prev = (DWORD *)HeapAlloc(GetProcessHeap(), 0, frame_bytes(&r));
    int ok = px && prev && settled(&r, px, prev);
    if (ok) {
        DWORD v = px[(size_t)(h - 1 - y) * (size_t)w + (size_t)x];
        *c = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    if (px)
        HeapFree(GetProcessHeap(), 0, px);
    if (prev)
        HeapFree(GetProcessHeap(), 0, prev);
    return ok;
}
