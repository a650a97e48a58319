// Setup's own look: the computed banner, the drawn icon, the panel and the
// owner-drawn main button.
#pragma once
#include <windows.h>

extern HBITMAP s_banner; // made once by banner_make; null when it couldn't be made
extern const COLORREF k_panel, k_border, k_accent, k_grey, k_red;

// One banner pixel (0x00RRGGBB) at (x, y) of a w by h banner with scan-line
// period line, before any lettering.
DWORD banner_pixel(int x, int y, int w, int h, int line);
// Computes the banner at the current dpi into s_banner.
void banner_make(void);
// 1 when (x, y) lies inside the icon's rounded tile of size pixels.
int icon_inside(int x, int y, int size);
// An icon of size by size pixels: white "EV" on a red rounded tile; null when
// its bitmaps can't be made.
HICON make_icon(int size);
// The main button in its state's colours.
void draw_go(const DRAWITEMSTRUCT *di);
// The banner, the panel with its accent bar, divider, title and subtitle.
void paint(HDC dc);
