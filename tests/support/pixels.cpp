// Colours, pictures read back and the drop block; see support.h.
#include "support.h"

#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

DWORD rgb(int r, int g, int b)
{
    return (DWORD)r << 16 | (DWORD)g << 8 | (DWORD)b;
}

bool close_to(DWORD a, DWORD b, int d)
{
    for (int s = 0; s < 24; s += 8)
        if (abs((int)(a >> s & 0xFF) - (int)(b >> s & 0xFF)) > d)
            return false;
    return true;
}

std::string hex(DWORD v)
{
    char t[16];
    snprintf(t, sizeof t, "%06lx", (unsigned long)v);
    return t;
}

// The table of draw_go's colours in the documents: disabled wins over pressed.
const GoColours k_go_normal = {rgb(76, 117, 184), rgb(45, 82, 147), rgb(30, 56, 104)};
const GoColours k_go_pressed = {rgb(36, 66, 118), rgb(30, 56, 102), rgb(30, 56, 104)};
const GoColours k_go_disabled = {rgb(170, 176, 186), rgb(150, 156, 166), rgb(140, 146, 156)};

bool load_bmp(const std::wstring &path, Shot *shot)
{
    std::string b = read_file(path);
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    if (b.size() < sizeof fh + sizeof ih)
        return false;
    memcpy(&fh, b.data(), sizeof fh);
    memcpy(&ih, b.data() + sizeof fh, sizeof ih);
    if (ih.biBitCount != 32 || ih.biWidth <= 0 || ih.biHeight <= 0)
        return false;
    size_t n = (size_t)ih.biWidth * (size_t)ih.biHeight;
    if (fh.bfOffBits > b.size() || b.size() - fh.bfOffBits < n * 4)
        return false;
    std::vector<DWORD> rows(n);
    memcpy(rows.data(), b.data() + fh.bfOffBits, n * 4);
    shot->w = ih.biWidth;
    shot->h = ih.biHeight;
    shot->px.resize(n);
    for (int y = 0; y < shot->h; y++) // the file's rows run bottom-up
        for (int x = 0; x < shot->w; x++)
            shot->px[(size_t)y * shot->w + x] = rows[(size_t)(shot->h - 1 - y) * shot->w + x] & 0xFFFFFF;
    return true;
}

std::vector<char> drop_block(const std::vector<std::wstring> &paths)
{
    size_t chars = 1;
    for (const std::wstring &p : paths)
        chars += p.size() + 1;
    std::vector<char> block(sizeof(DROPFILES) + chars * sizeof(wchar_t), 0);
    DROPFILES *d = (DROPFILES *)block.data();
    d->pFiles = sizeof(DROPFILES);
    d->fWide = TRUE;
    wchar_t *at = (wchar_t *)(d + 1);
    for (const std::wstring &p : paths) {
        wcscpy(at, p.c_str());
        at += p.size() + 1;
    }
    return block;
}
