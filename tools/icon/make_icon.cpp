// Writes the shell icon (resource 1) from the same drawing as the window's
// icon, at 16, 32, 48 and 256 pixels: make_icon.exe OUT.ico
#include "ui/draw.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

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

// One icon image as bytes: a heap block the caller frees.
struct Entry {
    unsigned char *bytes;
    DWORD size;
};

static void put(unsigned char **at, DWORD v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        *(*at)++ = (unsigned char)(v >> (8 * i));
}

static void put_be(unsigned char **at, DWORD v)
{
    for (int i = 3; i >= 0; i--)
        *(*at)++ = (unsigned char)(v >> (8 * i));
}

// The classic form: a 32-bit bottom-up bitmap and its AND mask.
static Entry bmp_entry(const DWORD *pix, int s)
{
    int mask_row = ((s + 31) / 32) * 4;
    Entry e;
    e.size = 40 + (DWORD)s * s * 4 + (DWORD)mask_row * s;
    e.bytes = (unsigned char *)malloc(e.size);
    if (!e.bytes)
        return e;
    unsigned char *at = e.bytes;
    put(&at, 40, 4), put(&at, (DWORD)s, 4), put(&at, (DWORD)(2 * s), 4), put(&at, 1, 2), put(&at, 32, 2);
    for (int k = 0; k < 6; k++)
        put(&at, 0, 4);
    for (int y = s - 1; y >= 0; y--) // icon bitmaps are stored bottom-up
        for (int x = 0; x < s; x++)
            put(&at, pix[y * s + x], 4);
    for (int y = s - 1; y >= 0; y--)
        for (int b = 0; b < mask_row; b++) {
            int bits = 0;
            for (int k = 0; k < 8; k++) {
                int x = b * 8 + k;
                if (x < s && !(pix[y * s + x] >> 24))
                    bits |= 0x80 >> k;
            }
            put(&at, (DWORD)bits, 1);
        }
    return e;
}

static void chunk(unsigned char **at, const char *type, const unsigned char *data, DWORD n)
{
    put_be(at, n);
    unsigned char *body = *at;
    memcpy(*at, type, 4);
    *at += 4;
    if (n)
        memcpy(*at, data, n);
    *at += n;
    put_be(at, (DWORD)crc32(0, body, n + 4));
}

// The larger images as PNG, which the shell reads since Vista: stored as
// bitmaps they would be 280 KB of an 80 KB program. The two small ones stay
// bitmaps, the form every reader of icons knows. Rows are filtered by their
// upper neighbour (filter 2), which leaves the flat tile mostly zeros.
static Entry png_entry(const DWORD *pix, int s)
{
    Entry e = {NULL, 0};
    uLong raw_n = (uLong)s * (1 + 4 * (uLong)s);
    unsigned char *raw = (unsigned char *)malloc(raw_n);
    uLongf z_n = compressBound(raw_n);
    unsigned char *z = (unsigned char *)malloc(z_n);
    if (raw && z) {
        unsigned char *r = raw;
        for (int y = 0; y < s; y++) {
            *r++ = 2;
            for (int x = 0; x < s; x++) {
                DWORD v = pix[y * s + x], up = y ? pix[(y - 1) * s + x] : 0;
                for (int c = 0; c < 4; c++) { // PNG order: red, green, blue, alpha
                    int shift = c == 3 ? 24 : 16 - 8 * c;
                    *r++ = (unsigned char)(((v >> shift) & 0xFF) - ((up >> shift) & 0xFF));
                }
            }
        }
        if (compress2(z, &z_n, raw, raw_n, 9) == Z_OK) {
            e.size = 8 + 25 + 12 + (DWORD)z_n + 12;
            e.bytes = (unsigned char *)malloc(e.size);
        }
    }
    if (e.bytes) {
        unsigned char *at = e.bytes;
        static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        memcpy(at, sig, 8);
        at += 8;
        unsigned char ihdr[13], *h = ihdr;
        put_be(&h, (DWORD)s), put_be(&h, (DWORD)s);
        *h++ = 8, *h++ = 6, *h++ = 0, *h++ = 0, *h++ = 0; // 8-bit RGBA, deflate, no interlace
        chunk(&at, "IHDR", ihdr, 13);
        chunk(&at, "IDAT", z, (DWORD)z_n);
        chunk(&at, "IEND", NULL, 0);
    }
    free(raw);
    free(z);
    return e;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_icon OUT.ico\n");
        return 2;
    }
    Entry entry[SIZES];
    for (int i = 0; i < SIZES; i++) {
        int s = k_sizes[i];
        DWORD *pix = icon_pixels(s);
        if (pix)
            entry[i] = s > 32 ? png_entry(pix, s) : bmp_entry(pix, s);
        free(pix);
        if (!pix || !entry[i].bytes) {
            fprintf(stderr, "make_icon: the %d-pixel icon couldn't be drawn\n", s);
            return 1;
        }
    }
    FILE *f = _wfopen(argv[1], L"wb");
    if (!f)
        return 1;
    unsigned char dir[6 + 16 * SIZES], *at = dir;
    put(&at, 0, 2), put(&at, 1, 2), put(&at, SIZES, 2);
    DWORD offset = sizeof dir;
    for (int i = 0; i < SIZES; i++) {
        DWORD s = k_sizes[i] == 256 ? 0 : (DWORD)k_sizes[i]; // 0 stands for 256
        put(&at, s, 1), put(&at, s, 1), put(&at, 0, 1), put(&at, 0, 1);
        put(&at, 1, 2), put(&at, 32, 2), put(&at, entry[i].size, 4), put(&at, offset, 4);
        offset += entry[i].size;
    }
    int ok = fwrite(dir, sizeof dir, 1, f) == 1;
    for (int i = 0; i < SIZES; i++) {
        ok = ok && fwrite(entry[i].bytes, entry[i].size, 1, f) == 1;
        free(entry[i].bytes);
    }
    ok = fclose(f) == 0 && ok;
    return ok ? 0 : 1;
}
