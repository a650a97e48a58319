// The window tests' shared pieces; see window_e2e.h.
#include "window_e2e.h"

#include "disc.h"
#include "driver.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#define REG_KEY L"Software\\Emberveil Vavudo"
#define REG_VALUE L"InstallDir"
#define PANEL RGB(251, 251, 251)

// The folder this test program lies in, with its backslash.
static std::wstring own_folder(void)
{
    wchar_t p[MAX_PATH];
    GetModuleFileNameW(NULL, p, MAX_PATH);
    wchar_t *cut = wcsrchr(p, L'\\');
    if (cut)
        cut[1] = 0;
    return p;
}

std::wstring setup_exe(void)
{
    return own_folder() + L"..\\EmberveilSetup.exe";
}

std::wstring test_tool(const wchar_t *name)
{
    return own_folder() + L"tools\\" + name;
}

std::wstring artifacts_dir(void)
{
    std::wstring d = own_folder() + L"..\\artifacts";
    CreateDirectoryW(d.c_str(), NULL);
    return d;
}

std::wstring scratch(const wchar_t *name)
{
    return std::wstring(SCRATCH) + L"\\" + name;
}

std::wstring text(int id)
{
    wchar_t t[1024];
    return drv_text(id, t, 1024) ? t : L"<unreadable>";
}

std::wstring part(int n)
{
    wchar_t t[256];
    return drv_status(n, t, 256) ? t : L"<unreadable>";
}

int start_setup(const std::wstring &args)
{
    return drv_start(setup_exe().c_str(), args.c_str(), NULL) && drv_window(WAIT_MS) != NULL;
}

long exit_code(void)
{
    DWORD code = 0;
    return drv_wait_exit(EXIT_MS, &code) ? (long)code : -1;
}

long close_setup(void)
{
    if (!drv_close())
        return -1;
    return exit_code();
}

std::wstring box_text(HWND *box)
{
    HWND b = drv_msgbox(WAIT_MS);
    if (box)
        *box = b;
    wchar_t t[1024];
    if (!b || !drv_msgbox_text(b, t, 1024))
        return L"<no box>";
    return t;
}

std::wstring caption(HWND w)
{
    wchar_t t[256] = L"";
    GetWindowTextW(w, t, 256);
    return t;
}

int good_disc(const std::wstring &dir)
{
    return disc_make(dir.c_str(), NULL);
}

int filled_folder(const std::wstring &dir)
{
    int made = SHCreateDirectoryExW(NULL, dir.c_str(), NULL);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
        return 0;
    std::wstring file = dir + L"\\notes.txt";
    HANDLE f = CreateFileW(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    DWORD put = 0;
    int ok = WriteFile(f, "kept", 4, &put, NULL) && put == 4;
    return CloseHandle(f) && ok;
}

void forget_earlier_install(void)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, REG_KEY, REG_VALUE);
}

// Reads a 32-bit .bmp as drv_shot writes it into top-down rows.
static int load_bmp(const std::wstring &path, Shot *shot)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    DWORD got = 0;
    int ok = ReadFile(f, &fh, sizeof fh, &got, NULL) && got == sizeof fh && ReadFile(f, &ih, sizeof ih, &got, NULL) &&
             got == sizeof ih && ih.biBitCount == 32 && ih.biWidth > 0 && ih.biHeight > 0;
    if (ok) {
        shot->w = ih.biWidth;
        shot->h = ih.biHeight;
        std::vector<DWORD> rows((size_t)shot->w * shot->h);
        DWORD bytes = (DWORD)(rows.size() * 4);
        ok = SetFilePointer(f, (LONG)fh.bfOffBits, NULL, FILE_BEGIN) == fh.bfOffBits &&
             ReadFile(f, rows.data(), bytes, &got, NULL) && got == bytes;
        shot->px.resize(rows.size());
        for (int y = 0; ok && y < shot->h; y++)
            for (int x = 0; x < shot->w; x++)
                shot->px[(size_t)y * shot->w + x] = rows[(size_t)(shot->h - 1 - y) * shot->w + x] & 0xFFFFFF;
    }
    CloseHandle(f);
    return ok;
}

int take_shot(const wchar_t *name, Shot *shot)
{
    std::wstring path = artifacts_dir() + L"\\" + name + L".bmp";
    return drv_shot(path.c_str()) && load_bmp(path, shot);
}

// Draws text as Setup does onto the panel colour; gives the inked box of it
// (w, h 0 when nothing was inked) in ink, top-down rows of 0x00RRGGBB.
static void render(const wchar_t *text, int size, int weight, COLORREF fg, int dpi, Shot *ink)
{
    HDC dc = CreateCompatibleDC(NULL);
    HFONT font = CreateFontW(-MulDiv(size, dpi, 96), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             CLEARTYPE_QUALITY, 0, L"Segoe UI");
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE ext = {0, 0};
    GetTextExtentPoint32W(dc, text, (int)wcslen(text), &ext);
    // A margin for glyphs that reach past their advance (italics, ClearType fringes).
    int w = ext.cx + 16, h = ext.cy + 8;
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    ink->w = ink->h = 0;
    if (bmp) {
        HGDIOBJ old_bmp = SelectObject(dc, bmp);
        HBRUSH panel = CreateSolidBrush(PANEL);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, panel);
        DeleteObject(panel);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, fg);
        TextOutW(dc, 8, 4, text, (int)wcslen(text));
        GdiFlush();
        const DWORD *p = (const DWORD *)bits;
        const DWORD bg = 0xFBFBFB; // PANEL as a DIB pixel
        int x0 = w, y0 = h, x1 = -1, y1 = -1;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if ((p[(size_t)y * w + x] & 0xFFFFFF) != bg) {
                    x0 = x < x0 ? x : x0, x1 = x > x1 ? x : x1;
                    y0 = y < y0 ? y : y0, y1 = y > y1 ? y : y1;
                }
        if (x1 >= 0) {
            ink->w = x1 - x0 + 1;
            ink->h = y1 - y0 + 1;
            ink->px.resize((size_t)ink->w * ink->h);
            for (int y = 0; y < ink->h; y++)
                for (int x = 0; x < ink->w; x++)
                    ink->px[(size_t)y * ink->w + x] = p[(size_t)(y0 + y) * w + x0 + x] & 0xFFFFFF;
        }
        SelectObject(dc, old_bmp);
        DeleteObject(bmp);
    }
    SelectObject(dc, old_font);
    DeleteObject(font);
    DeleteDC(dc);
}

// 1 when ink lies in shot with its top left corner at x, y.
static int lies_at(const Shot &shot, const Shot &ink, int x, int y)
{
    for (int j = 0; j < ink.h; j++) {
        const DWORD *a = &shot.px[(size_t)(y + j) * shot.w + x];
        const DWORD *b = &ink.px[(size_t)j * ink.w];
        for (int i = 0; i < ink.w; i++)
            if (a[i] != b[i])
                return 0;
    }
    return 1;
}

int painted(const Shot &shot, const wchar_t *text, int size, int weight, COLORREF fg, int dpi)
{
    Shot ink;
    render(text, size, weight, fg, dpi, &ink);
    if (!ink.w || ink.w > shot.w || ink.h > shot.h)
        return 0;
    for (int y = 0; y + ink.h <= shot.h; y++)
        for (int x = 0; x + ink.w <= shot.w; x++)
            if (lies_at(shot, ink, x, y))
                return 1;
    return 0;
}

// Every test program starts and ends with 96 dpi, no earlier install and no
// scratch folder, whatever a failed run before it left behind; every case
// starts without a scratch folder, whatever the case before it made.
class CleanPrefix : public ::testing::Environment {
public:
    void SetUp() override { tidy(); }
    void TearDown() override { tidy(); }

private:
    static void tidy(void)
    {
        drv_kill();
        drv_set_dpi(96);
        forget_earlier_install();
        disc_remove(SCRATCH);
    }
};

class CleanScratch : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override { disc_remove(SCRATCH); }
};

static int listen(void)
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new CleanScratch);
    ::testing::AddGlobalTestEnvironment(new CleanPrefix);
    return 1;
}

static const int s_listening = listen();
