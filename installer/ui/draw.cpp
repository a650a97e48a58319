#include "draw.h"
#include "window.h"
#include <math.h>

HBITMAP s_banner;
const COLORREF k_panel = RGB(251, 251, 251);
const COLORREF k_border = RGB(214, 214, 214);
const COLORREF k_accent = RGB(47, 85, 151);
const COLORREF k_grey = RGB(110, 110, 110);
const COLORREF k_red = RGB(190, 40, 30);

static HBITMAP dib(HDC dc, int w, int h, DWORD **bits)
{
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down: the first row in memory is the top row
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void **)bits, NULL, 0);
}

static HFONT banner_font(const wchar_t *face, int height, int weight, int italic)
{
    return CreateFontW(-height, 0, 0, 0, weight, (DWORD)italic, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, face);
}

DWORD banner_pixel(int x, int y, int w, int h, int line)
{
    double gx = 0.80 * w, gy = 0.50 * h, gr = 1.10 * h;
    double t = (double)y / h;
    double r = 9 + 6 * t, g = 9 + 3 * t, b = 13 + t;
    double dx = (x - gx) / gr, dy = (y - gy) / (gr * 0.75);
    double d = sqrt(dx * dx + dy * dy);
    if (d < 1) {
        double k = 1 - d, K = k * k * (0.55 + 0.45 * k);
        r += 200 * K;
        g += 58 * K;
        b += 24 * K;
    }
    if (y % line == 0) {
        r *= 0.55;
        g *= 0.55;
        b *= 0.55;
    }
    if (x == 0 || x == w - 1 || y == 0 || y == h - 1)
        r = g = b = 34; // the border is never darkened
    int R = (int)(r > 255 ? 255 : r), G = (int)(g > 255 ? 255 : g), B = (int)(b > 255 ? 255 : b);
    return (DWORD)R << 16 | (DWORD)G << 8 | (DWORD)B;
}

static void banner_text(HDC dc, int w, int h)
{
    HFONT small = banner_font(L"Segoe UI", px(11), FW_SEMIBOLD, 0);
    HFONT large = banner_font(L"Arial Black", px(34), FW_HEAVY, 0);
    HFONT slant = banner_font(L"Arial Black", px(34), FW_HEAVY, 1);
    HGDIOBJ first = SelectObject(dc, small);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(196, 186, 168));
    RECT top = {0, (LONG)(0.16 * h), w, (LONG)(0.32 * h)};
    DrawTextW(dc, L"M A R C U S    H A L D E N", -1, &top, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    SIZE a, b;
    SelectObject(dc, large);
    GetTextExtentPoint32W(dc, L"Z93", 3, &a);
    SelectObject(dc, slant);
    GetTextExtentPoint32W(dc, L"EMBERVEIL", 9, &b);
    int x0 = (w - px(12) - (int)b.cx - (int)a.cx) / 2, y0 = (int)(0.32 * h);
    SelectObject(dc, large);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, x0 + px(2), y0 + px(2), L"Z93", 3);
    SetTextColor(dc, RGB(222, 222, 222));
    TextOutW(dc, x0, y0, L"Z93", 3);
    int x1 = x0 + (int)a.cx + px(12);
    SelectObject(dc, slant);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, x1 + px(2), y0 + px(2), L"EMBERVEIL", 9);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, x1, y0, L"EMBERVEIL", 9);

    SelectObject(dc, small);
    SetTextColor(dc, RGB(226, 82, 58));
    RECT bottom = {0, (LONG)(0.72 * h), w, (LONG)(0.88 * h)};
    DrawTextW(dc, L"G A M E    I N S T A L L E R", -1, &bottom, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, first);
    DeleteObject(small);
    DeleteObject(large);
    DeleteObject(slant);
}

void banner_make(void)
{
    HDC dc = CreateCompatibleDC(NULL);
    int w = px(BANNER_W), h = px(BANNER_H), line = px(3) > 3 ? px(3) : 3;
    DWORD *bits = NULL;
    HBITMAP bmp = dib(dc, w, h, &bits);
    if (!bmp) {
        DeleteDC(dc);
        return;
    }
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            bits[y * w + x] = banner_pixel(x, y, w, h, line);
    HGDIOBJ old = SelectObject(dc, bmp);
    banner_text(dc, w, h);
    SelectObject(dc, old);
    DeleteDC(dc);
    s_banner = bmp;
}

int icon_inside(int x, int y, int size)
{
    int rad = size / 6;
    int cx = x < rad ? rad : x >= size - rad ? size - rad - 1 : x;
    int cy = y < rad ? rad : y >= size - rad ? size - rad - 1 : y;
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad;
}

HICON make_icon(int size)
{
    HDC dc = CreateCompatibleDC(NULL);
    HBRUSH tile = CreateSolidBrush(RGB(176, 36, 28));
    DWORD *bits = NULL;
    HBITMAP color = dib(dc, size, size, &bits);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, NULL);
    HICON icon = NULL;
    if (dc && tile && color && mask) {
        HGDIOBJ old = SelectObject(dc, color);
        RECT all = {0, 0, size, size};
        FillRect(dc, &all, tile);
        HFONT f = CreateFontW(-(size * 11 / 20), 0, 0, 0, FW_HEAVY, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                              ANTIALIASED_QUALITY, 0, L"Segoe UI");
        if (f) {
            HGDIOBJ of = SelectObject(dc, f);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextW(dc, L"EV", 2, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SelectObject(dc, of);
            DeleteObject(f);
        }
        GdiFlush(); // the drawing must reach the pixels before they are read
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++) {
                DWORD *p = &bits[y * size + x];
                *p = icon_inside(x, y, size) ? (*p & 0x00FFFFFF) | 0xFF000000 : 0;
            }
        SelectObject(dc, old);
        ICONINFO ii = {TRUE, 0, 0, mask, color};
        icon = CreateIconIndirect(&ii);
    }
    if (mask)
        DeleteObject(mask);
    if (color)
        DeleteObject(color);
    if (tile)
        DeleteObject(tile);
    if (dc)
        DeleteDC(dc);
    return icon;
}

static TRIVERTEX vertex(LONG x, LONG y, COLORREF c)
{
    TRIVERTEX v = {x, y, (COLOR16)(GetRValue(c) << 8), (COLOR16)(GetGValue(c) << 8), (COLOR16)(GetBValue(c) << 8), 0};
    return v;
}

void draw_go(const DRAWITEMSTRUCT *di)
{
    COLORREF top = RGB(76, 117, 184), bottom = RGB(45, 82, 147), edge = RGB(30, 56, 104);
    if (di->itemState & ODS_DISABLED) {
        top = RGB(170, 176, 186), bottom = RGB(150, 156, 166), edge = RGB(140, 146, 156);
    } else if (di->itemState & ODS_SELECTED) {
        top = RGB(36, 66, 118), bottom = RGB(30, 56, 102), edge = RGB(30, 56, 104);
    }
    RECT r = di->rcItem;
    HDC dc = di->hDC;
    HRGN rgn = CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, px(6), px(6));
    HBRUSH edge_br = CreateSolidBrush(edge);
    FillRect(dc, &r, s_panel_br); // the corners outside the rounding show the panel
    SelectClipRgn(dc, rgn);
    TRIVERTEX v[2] = {vertex(r.left, r.top, top), vertex(r.right, r.bottom, bottom)};
    GRADIENT_RECT gr = {0, 1};
    // GradientFill itself, as gdi32 (a known DLL) exports it: msimg32 would be
    // one more DLL that a planted copy beside Setup could stand in for.
    GdiGradientFill(dc, v, 2, &gr, 1, GRADIENT_FILL_RECT_V);
    SelectClipRgn(dc, NULL);
    FrameRgn(dc, rgn, edge_br, 1, 1);
    wchar_t label[32] = L"";
    GetWindowTextW(di->hwndItem, label, 32);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ of = SelectObject(dc, s_btn_f);
    DrawTextW(dc, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, of);
    if ((di->itemState & ODS_FOCUS) && !(di->itemState & ODS_NOFOCUSRECT)) {
        RECT f = r;
        InflateRect(&f, -px(3), -px(3));
        DrawFocusRect(dc, &f);
    }
    DeleteObject(edge_br);
    DeleteObject(rgn);
}

static void paint_banner(HDC dc)
{
    if (!s_banner)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, s_banner);
    BitBlt(dc, px(BANNER_X), px(BANNER_Y), px(BANNER_W), px(BANNER_H), mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void paint(HDC dc)
{
    int x = px(PANEL_X), y = px(PANEL_Y);
    HPEN pen = CreatePen(PS_SOLID, 1, k_border);
    HBRUSH accent = CreateSolidBrush(k_accent);
    paint_banner(dc);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, s_panel_br);
    RoundRect(dc, x, y, x + px(PANEL_W), y + px(PANEL_H), px(8), px(8));
    RECT bar = {x + px(16), y + px(18), x + px(19), y + px(46)};
    FillRect(dc, &bar, accent);
    MoveToEx(dc, x + px(16), y + px(78), NULL);
    LineTo(dc, x + px(PANEL_W - 16), y + px(78));
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);

    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(dc, s_title_f);
    SetTextColor(dc, RGB(30, 30, 30));
    RECT title = {x + px(30), y + px(14), x + px(372), y + px(36)};
    DrawTextW(dc, s_title, -1, &title, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    SelectObject(dc, s_note_f);
    SetTextColor(dc, k_grey);
    RECT sub = {x + px(30), y + px(37), x + px(372), y + px(74)};
    DrawTextW(dc, s_sub, -1, &sub, DT_LEFT | DT_WORDBREAK | DT_END_ELLIPSIS);
    SelectObject(dc, old_font);
    DeleteObject(pen);
    DeleteObject(accent);
}
