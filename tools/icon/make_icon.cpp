// Writes the shell icon (resource 1) from the same drawing as the window's
// icon, at 16, 32, 48 and 256 pixels: make_icon.exe OUT.ico
#include "ui/draw.h"
#include <stdio.h>
#include <stdlib.h>

enum { SIZES = 4 };
static const int k_sizes[SIZES] = {16, 32, 48, 256};

// The icon's 32-bit pixels, top row first, in a heap block the caller frees.
static DWORD *icon_pixels(int size)
{
    HICON icon = make_icon(size);
    if (!icon)
        return NULL;
    ICONINFO ii;
    DWORD *px = NULL;
    if (GetIconInfo(icon, &ii)) {
        BITMAPINFO bi;
        ZeroMemory(&bi, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = size;
        bi.bmiHeader.biHeight = -size;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        px = (DWORD *)malloc((size_t)size * size * 4);
        HDC dc = CreateCompatibleDC(NULL);
        if (px && !GetDIBits(dc, ii.hbmColor, 0, (UINT)size, px, &bi, DIB_RGB_COLORS)) {
            free(px);
            px = NULL;
        }
        DeleteDC(dc);
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
    }
    DestroyIcon(icon);
    return px;
}

static void put(FILE *f, DWORD v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        fputc((int)(v >> (8 * i)) & 0xFF, f);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_icon OUT.ico\n");
        return 2;
    }
    DWORD *pix[SIZES];
    DWORD bytes[SIZES];
    for (int i = 0; i < SIZES; i++) {
        int s = k_sizes[i];
        pix[i] = icon_pixels(s);
        if (!pix[i]) {
            fprintf(stderr, "make_icon: the %d-pixel icon couldn't be drawn\n", s);
            return 1;
        }
        int mask_row = ((s + 31) / 32) * 4;
        bytes[i] = 40 + (DWORD)s * s * 4 + (DWORD)mask_row * s;
    }
    FILE *f = _wfopen(argv[1], L"wb");
    if (!f)
        return 1;
    put(f, 0, 2), put(f, 1, 2), put(f, SIZES, 2);
    DWORD offset = 6 + 16 * SIZES;
    for (int i = 0; i < SIZES; i++) {
        int s = k_sizes[i];
        put(f, s == 256 ? 0 : (DWORD)s, 1), put(f, s == 256 ? 0 : (DWORD)s, 1), put(f, 0, 1), put(f, 0, 1);
        put(f, 1, 2), put(f, 32, 2), put(f, bytes[i], 4), put(f, offset, 4);
        offset += bytes[i];
    }
    for (int i = 0; i < SIZES; i++) {
        int s = k_sizes[i];
        put(f, 40, 4), put(f, (DWORD)s, 4), put(f, (DWORD)(2 * s), 4), put(f, 1, 2), put(f, 32, 2);
        for (int k = 0; k < 6; k++)
            put(f, 0, 4);
        for (int y = s - 1; y >= 0; y--) // icon bitmaps are stored bottom-up
            for (int x = 0; x < s; x++)
                put(f, pix[i][y * s + x], 4);
        int mask_row = ((s + 31) / 32) * 4;
        for (int y = s - 1; y >= 0; y--)
            for (int b = 0; b < mask_row; b++) {
                int bits = 0;
                for (int k = 0; k < 8; k++) {
                    int x = b * 8 + k;
                    if (x < s && !(pix[i][y * s + x] >> 24))
                        bits |= 0x80 >> k;
                }
                put(f, (DWORD)bits, 1);
            }
        free(pix[i]);
    }
    fclose(f);
    return 0;
}
