// The end-to-end tests' half of the support; see e2e.h.
#include "e2e.h"

#include "disc.h"

#include <gtest/gtest.h>

#define PANEL RGB(251, 251, 251)
#define SEND_MS 10000

std::wstring control_text(int id)
{
    wchar_t t[1024];
    return drv_text(id, t, 1024) ? t : L"<unreadable>";
}

std::wstring status_text(int part)
{
    wchar_t t[512];
    return drv_status(part, t, 512) ? t : L"<unreadable>";
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
    wchar_t t[512] = L"";
    SendMessageTimeoutW(w, WM_GETTEXT, 512, (LPARAM)t, SMTO_NORMAL, SEND_MS, NULL);
    return t;
}

struct KidSearch {
    const wchar_t *cls;
    int id;
    HWND hit;
};

static BOOL CALLBACK kid_cb(HWND h, LPARAM l)
{
    KidSearch *s = (KidSearch *)l;
    wchar_t cls[64];
    if (GetClassNameW(h, cls, 64) && !wcscmp(cls, s->cls) && GetDlgCtrlID(h) == s->id) {
        s->hit = h;
        return FALSE;
    }
    return TRUE;
}

HWND find_kid(HWND parent, const wchar_t *cls, int id)
{
    KidSearch s = {cls, id, NULL};
    EnumChildWindows(parent, kid_cb, (LPARAM)&s);
    return s.hit;
}

int good_disc(const std::wstring &dir)
{
    return disc_make(dir.c_str(), NULL);
}

int filled_folder(const std::wstring &dir)
{
    return put_file(join(dir, L"notes.txt"), "kept");
}

void forget_earlier_install(void)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value);
}

int take_shot(const std::wstring &path, Shot *shot)
{
    make_dir(path.substr(0, path.find_last_of(L'\\')));
    return drv_shot(path.c_str()) && load_bmp(path, shot);
}

// Draws text as Setup does onto the panel colour; gives the inked box of it
// (w, h 0 when nothing was inked) in ink.
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
        const DWORD bg = rgb(251, 251, 251);
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

std::wstring lead(const std::wstring &text)
{
    size_t cut = text.rfind(L' ', 30);
    return text.size() <= 30 || cut == std::wstring::npos ? text : text.substr(0, cut);
}

// A drop handle belongs to the process that receives it: the shell makes it
// there. From outside, the DROPFILES block is written into Setup's memory at a
// page-aligned address, which Wine's GlobalLock hands back as a fixed block,
// so DragQueryFileW reads it as the shell's own; DragFinish's GlobalFree of a
// block no heap knows fails quietly (seen under Wine 8), and the block is
// released here once Setup has handled the message.
bool drop_on_setup(const std::vector<std::wstring> &paths)
{
    std::vector<char> block = drop_block(paths);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, drv_pid());
    if (!proc)
        return false;
    void *remote = VirtualAllocEx(proc, NULL, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T put = 0;
    DWORD_PTR r = 0;
    bool ok = remote && WriteProcessMemory(proc, remote, block.data(), block.size(), &put) && put == block.size() &&
              SendMessageTimeoutW(drv_main(), WM_DROPFILES, (WPARAM)remote, 0, SMTO_NORMAL, SEND_MS, &r);
    if (remote)
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    return ok;
}

// Every end-to-end program starts and ends at 96 dpi without an earlier
// install, whatever a failed run before it left; a Setup still running in
// the prefix would make every Setup here end at once as the second instance.
class CleanPrefix : public ::testing::Environment {
public:
    void SetUp() override
    {
        tidy();
        HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, L"EmberveilSetup");
        if (m) {
            CloseHandle(m);
            ADD_FAILURE() << "another EmberveilSetup runs in this Wine prefix; every Setup here would end at once";
        }
    }
    void TearDown() override { tidy(); }

private:
    static void tidy(void)
    {
        drv_kill();
        drv_set_dpi(96);
        forget_earlier_install();
    }
};

static ::testing::Environment *const s_prefix = ::testing::AddGlobalTestEnvironment(new CleanPrefix);
static const int s_ends = at_test_end(drv_kill);
