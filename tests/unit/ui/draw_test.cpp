// The drawn look, measured in memory: the banner bitmap at three dpi settings,
// the icon's shape through DrawIconEx on two backgrounds, and the main
// button's colourings in a DIB section. Lettering comes from Wine's fonts, not
// the Windows ones, so the checks on it are about where it lies, not its shape.
#include "support.h"
#include "ui/draw.h"
#include "ui/ids.h"
#include "ui/window.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

// A 32-bit top-down DIB section selected into a memory DC, for drawing into.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bmp = NULL;
    HGDIOBJ old = NULL;
    DWORD *bits = NULL;
    int w = 0, h = 0;

    Canvas(int width, int height, DWORD fill) : w(width), h(height)
    {
        BITMAPINFO bi;
        ZeroMemory(&bi, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(NULL);
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
        old = SelectObject(dc, bmp);
        for (int i = 0; i < w * h; i++)
            bits[i] = fill;
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    DWORD at(int x, int y) const
    {
        GdiFlush();
        return bits[y * w + x] & 0xFFFFFF;
    }
};

// The banner as banner_make leaves it at one dpi: its size and raw words.
struct Banner {
    int w = 0, h = 0, line = 0;
    std::vector<DWORD> px;
    DWORD at(int x, int y) const { return px[(size_t)y * w + x]; }
};

Banner banner_at(int dpi)
{
    Banner b;
    s_dpi = dpi;
    if (s_banner)
        DeleteObject(s_banner);
    s_banner = NULL;
    banner_make();
    DIBSECTION ds;
    if (s_banner && GetObjectW(s_banner, sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBits) {
        b.w = ds.dsBm.bmWidth;
        b.h = ds.dsBm.bmHeight;
        b.line = px(3) > 3 ? px(3) : 3;
        const DWORD *bits = (const DWORD *)ds.dsBm.bmBits;
        b.px.assign(bits, bits + (size_t)b.w * b.h);
    }
    s_dpi = 96;
    return b;
}

// The documents' reference pixels at 96 dpi (388 by 140, scan lines every
// third row), and border pixels: the border is never darkened, scan line or not.
TEST(BannerPixel, ReferencePixelsAt96Dpi)
{
    const struct {
        int x, y;
        DWORD want;
    } rows[] = {
        {310, 70, rgb(210, 68, 37)}, // near the glow's centre
        {310, 69, rgb(114, 36, 20)}, // the same on a scan line
        {10, 10, rgb(9, 9, 13)},     // outside the glow
        {387, 70, rgb(34, 34, 34)},  // border
        {0, 0, rgb(34, 34, 34)},     // border, on a scan line
        {0, 69, rgb(34, 34, 34)},    // border, on a scan line
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.want, banner_pixel(r.x, r.y, 388, 140, 3)) << "(" << r.x << ", " << r.y << ")";
}

// What holds at every size whatever the formula's numbers: along an ordinary
// row through the glow the red rises to one peak on the right and falls after
// it; outside the glow (the left edge) each channel only grows downwards; a
// scan line is darker than the rows around it.
TEST(BannerPixel, GlowRampAndScanLinesAtEachSize)
{
    const struct {
        int w, h, line;
    } sizes[] = {{388, 140, 3}, {485, 175, 4}, {582, 210, 5}};
    for (const auto &z : sizes) {
        SCOPED_TRACE(testing::Message() << z.w << "x" << z.h);
        auto px = [&](int x, int y) { return banner_pixel(x, y, z.w, z.h, z.line); };
        auto red = [&](int x, int y) { return (int)(px(x, y) >> 16 & 0xFF); };
        int mid = z.h / 2 % z.line ? z.h / 2 : z.h / 2 + 1, peak = 1;
        for (int x = 1; x < z.w - 1; x++)
            peak = red(x, mid) > red(peak, mid) ? x : peak;
        EXPECT_GT(peak, z.w / 2) << "the glow is on the right";
        for (int x = 2; x < z.w - 1; x++)
            ASSERT_TRUE(x <= peak ? red(x, mid) >= red(x - 1, mid) : red(x, mid) <= red(x - 1, mid)) << "column " << x;
        for (int y = 2; y < z.h - 1; y++) {
            int above = y - 1 - ((y - 1) % z.line ? 0 : 1);
            if (y % z.line == 0 || above < 1)
                continue;
            for (int s = 0; s < 24; s += 8)
                ASSERT_GE(px(1, y) >> s & 0xFF, px(1, above) >> s & 0xFF) << "row " << y;
        }
        for (int y = z.line; y < z.h - 1; y += z.line)
            EXPECT_LT(red(z.w - 2, y) * 10, red(z.w - 2, y - 1) * 7) << "scan line " << y;
    }
}

// Row y of a banner is darkened at column x when it is well below both of
// its neighbours (a scan line is 0.55 of an ordinary row).
bool darker(const Banner &b, int x, int y)
{
    int red = (int)(b.at(x, y) >> 16 & 0xFF);
    int above = (int)(b.at(x, y - 1) >> 16 & 0xFF), below = (int)(b.at(x, y + 1) >> 16 & 0xFF);
    return red * 10 < above * 7 && red * 10 < below * 7;
}

struct DpiRow {
    int dpi, w, h, period;
};

// The sizes and scan-line periods the documents give.
const DpiRow k_dpi[] = {
    {96, 388, 140, 3},
    {120, 485, 175, 4},
    {144, 582, 210, 5}, // px(3) is 4.5 there, rounded up
};

TEST(Banner, SizeBorderAndScanLinesAtEachDpi)
{
    for (const DpiRow &r : k_dpi) {
        SCOPED_TRACE(testing::Message() << r.dpi << " dpi");
        Banner b = banner_at(r.dpi);
        ASSERT_EQ(r.w, b.w);
        ASSERT_EQ(r.h, b.h);
        // A reference pixel clear of the lettering with Wine's fonts; (310, 70)
        // lies under the title's white.
        if (r.dpi == 96) {
            EXPECT_EQ(rgb(114, 36, 20), b.at(310, 69));
        }
        EXPECT_EQ(rgb(9, 9, 13), b.at(1, 1)); // the ramp's top, outside the glow
        for (int x = 0; x < b.w; x++)
            for (int y : {0, b.h - 1})
                ASSERT_EQ(rgb(34, 34, 34), b.at(x, y)) << "border (" << x << ", " << y << ")";
        for (int y = 0; y < b.h; y++)
            for (int x : {0, b.w - 1})
                ASSERT_EQ(rgb(34, 34, 34), b.at(x, y)) << "border (" << x << ", " << y << ")";
        // The scan lines, read off the pixels next to the right border, which
        // lie in the glow (bright enough to tell) and away from the lettering.
        int x = b.w - 2;
        for (int y = 1; y < b.h - 1; y++)
            EXPECT_EQ(y % r.period == 0, darker(b, x, y)) << "row " << y;
        // The highest byte is 0 everywhere, lettering included.
        int high = 0;
        for (DWORD v : b.px)
            high += (v >> 24) != 0;
        EXPECT_EQ(0, high);
    }
}

// Where the lettering of one band lies: the pixels that differ from the formula.
struct Ink {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    int count = 0;
    void add(int x, int y)
    {
        left = x < left ? x : left;
        right = x > right ? x : right;
        top = y < top ? y : top;
        bottom = y > bottom ? y : bottom;
        count++;
    }
};

// The lettering: the three lines within their bands (the first line's band,
// the title from its top edge down to the last line's band, the last line's
// band), each centred across (the small ones down too); nothing outside them; the title's two words in
// their colours, "Z93" left of "EMBERVEIL".
TEST(Banner, LetteringLiesCentredInItsBands)
{
    for (const DpiRow &r : k_dpi) {
        SCOPED_TRACE(testing::Message() << r.dpi << " dpi");
        Banner b = banner_at(r.dpi);
        ASSERT_EQ(r.w, b.w);
        const int edge[4] = {(int)(0.16 * b.h), (int)(0.32 * b.h), (int)(0.72 * b.h), (int)(0.88 * b.h)};
        Ink band[3], outside;
        int grey_right = -1, white_left = 1 << 30, first_colour = 0, last_colour = 0;
        for (int y = 0; y < b.h; y++)
            for (int x = 0; x < b.w; x++) {
                DWORD v = b.at(x, y);
                if (v == banner_pixel(x, y, b.w, b.h, b.line))
                    continue;
                int k = y < edge[0] ? -1 : y < edge[1] ? 0 : y < edge[2] ? 1 : y < edge[3] ? 2 : -1;
                (k < 0 ? outside : band[k]).add(x, y);
                if (k == 0 && v == rgb(196, 186, 168))
                    first_colour++;
                if (k == 2 && v == rgb(226, 82, 58))
                    last_colour++;
                if (k == 1 && v == rgb(222, 222, 222) && x > grey_right)
                    grey_right = x;
                if (k == 1 && v == rgb(255, 255, 255) && x < white_left)
                    white_left = x;
            }
        EXPECT_EQ(0, outside.count) << "lettering at rows " << outside.top << ".." << outside.bottom;
        for (int k = 0; k < 3; k++) {
            SCOPED_TRACE(testing::Message() << "band " << k);
            ASSERT_GT(band[k].count, 0);
            // The title's shadow (px(2) to the right) and the slant of its
            // second word may add a little on the right.
            int slack = k == 1 ? px(2) + 2 : 2;
            EXPECT_LE(abs(band[k].left - (b.w - 1 - band[k].right)), slack)
                << "from " << band[k].left << " to " << band[k].right;
        }
        // The two small lines are centred down their bands as well.
        for (int k : {0, 2}) {
            int top = band[k].top - edge[k], below = edge[k + 1] - 1 - band[k].bottom;
            EXPECT_LE(abs(top - below), 2) << "band " << k << ": rows " << band[k].top << ".." << band[k].bottom;
        }
        EXPECT_GE(band[1].top, edge[1]); // TextOutW's point is the top left corner
        EXPECT_GT(first_colour, 0);
        EXPECT_GT(last_colour, 0);
        EXPECT_GE(grey_right, 0);
        EXPECT_LT(grey_right, white_left);
    }
}

std::vector<DWORD> colour_words(HBITMAP bmp, int size)
{
    std::vector<DWORD> words((size_t)size * size);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = -size;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(NULL);
    GetDIBits(dc, bmp, 0, (UINT)size, words.data(), &bi, DIB_RGB_COLORS);
    DeleteDC(dc);
    return words;
}

struct IconRow {
    int size, x, y;
    bool inside;
};

// The corner radius is size / 6: 2, 5 and 8. The other three corners mirror these.
const IconRow k_icon[] = {
    {16, 0, 0, false}, {16, 1, 0, false}, {16, 0, 1, false}, {16, 2, 0, true},
    {16, 0, 2, true},  {16, 1, 1, true},
    {32, 0, 0, false}, {32, 1, 1, false}, {32, 4, 0, false}, {32, 5, 0, true},
    {32, 0, 5, true},  {32, 2, 1, true},  {32, 1, 2, true},
    {48, 0, 0, false}, {48, 7, 0, false}, {48, 2, 2, false}, {48, 8, 0, true},
    {48, 0, 8, true},  {48, 3, 3, true},
};

// The icon's colour bitmap (as GetIconInfo gives it back) carries the shape
// in its alpha: 255 inside the rounded tile, and outside it a word of 0. Drawn
// over a background, the corners show the background.
TEST(Icon, RoundedTileAtEachSize)
{
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(testing::Message() << size << " pixels");
        HICON icon = make_icon(size);
        ASSERT_TRUE(icon != NULL);
        ICONINFO ii;
        ASSERT_TRUE(GetIconInfo(icon, &ii));
        EXPECT_TRUE(ii.fIcon);
        BITMAP bm;
        ASSERT_TRUE(GetObjectW(ii.hbmColor, sizeof bm, &bm));
        EXPECT_EQ(size, bm.bmWidth);
        EXPECT_EQ(size, bm.bmHeight);
        std::vector<DWORD> words = colour_words(ii.hbmColor, size);
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
        auto word = [&](int x, int y) { return words[(size_t)y * size + x]; };

        int n = size - 1, half_alpha = 0;
        for (DWORD v : words)
            half_alpha += v != 0 && (v >> 24) != 0xFF;
        EXPECT_EQ(0, half_alpha) << "every word is opaque or 0";
        for (const IconRow &r : k_icon) {
            if (r.size != size)
                continue;
            const int mirror[4][2] = {{r.x, r.y}, {n - r.x, r.y}, {r.x, n - r.y}, {n - r.x, n - r.y}};
            for (const auto &p : mirror) {
                SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ")");
                if (r.inside)
                    EXPECT_EQ(0xFFu, word(p[0], p[1]) >> 24);
                else
                    EXPECT_EQ(0u, word(p[0], p[1]));
            }
        }
        // The tile's red along its top edge, clear of the letters, and the
        // white letters centred in the square.
        EXPECT_EQ(0xFFB0241Cu, word(size / 2, 0));
        Ink white;
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++)
                if ((word(x, y) & 0xFF) > 200 && (word(x, y) >> 8 & 0xFF) > 200)
                    white.add(x, y);
        ASSERT_GT(white.count, 0);
        EXPECT_LE(abs(white.left - (n - white.right)), 2) << white.left << ".." << white.right;
        EXPECT_LE(abs(white.top - (n - white.bottom)), 2) << white.top << ".." << white.bottom;

        Canvas on_green(size, size, 0x00FF00);
        DrawIconEx(on_green.dc, 0, 0, icon, size, size, 0, NULL, DI_NORMAL);
        EXPECT_EQ(0x00FF00u, on_green.at(0, 0));
        EXPECT_EQ(0x00FF00u, on_green.at(n, n));
        EXPECT_EQ(0xB0241Cu, on_green.at(size / 2, 0));
        DestroyIcon(icon);
    }
}

// The main button drawn into a canvas larger than its rectangle, which does
// not start at (0, 0), with a label of its own window.
class GoButton : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dpi = 96;
        if (!s_panel_br)
            s_panel_br = CreateSolidBrush(k_panel);
        if (!s_btn_f)
            s_btn_f = CreateFontW(-12, 0, 0, 0, FW_SEMIBOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        s_label = CreateWindowExW(0, L"STATIC", L"Install", 0, 0, 0, 10, 10, HWND_MESSAGE, NULL, NULL, NULL);
    }
    static void TearDownTestSuite() { DestroyWindow(s_label); }

    static const RECT k_item;
    static HWND s_label;

    static void draw(Canvas &c, UINT state)
    {
        DRAWITEMSTRUCT di;
        ZeroMemory(&di, sizeof di);
        di.CtlType = ODT_BUTTON;
        di.CtlID = ID_GO;
        di.itemAction = ODA_DRAWENTIRE;
        di.itemState = state;
        di.hwndItem = s_label;
        di.hDC = c.dc;
        di.rcItem = k_item;
        draw_go(&di);
    }
};

const RECT GoButton::k_item = {10, 5, 110, 37};
HWND GoButton::s_label;

struct GoRow {
    UINT state;
    const GoColours *want;
};

const GoRow k_go[] = {
    {0, &k_go_normal},
    {ODS_FOCUS, &k_go_normal},
    {ODS_SELECTED, &k_go_pressed},
    {ODS_DISABLED, &k_go_disabled},
    {ODS_DISABLED | ODS_SELECTED, &k_go_disabled}, // disabled wins
};

TEST_F(GoButton, ColoursByState)
{
    const DWORD magenta = 0xFF00FF, panel = 0xFBFBFB;
    const LONG l = k_item.left, t = k_item.top, r = k_item.right - 1, b = k_item.bottom - 1;
    for (const GoRow &row : k_go) {
        SCOPED_TRACE(testing::Message() << "state 0x" << std::hex << row.state);
        Canvas c(120, 42, magenta);
        draw(c, row.state);
        // Nothing outside the item rectangle; its corners in the panel's colour.
        EXPECT_EQ(magenta, c.at(l - 1, t));
        EXPECT_EQ(magenta, c.at(l, t - 1));
        EXPECT_EQ(magenta, c.at(r + 1, b));
        EXPECT_EQ(magenta, c.at(r, b + 1));
        for (const POINT &p : {POINT{l, t}, POINT{r, t}, POINT{l, b}, POINT{r, b}})
            EXPECT_EQ(panel, c.at(p.x, p.y)) << "corner (" << p.x << ", " << p.y << ")";
        // The one-pixel edge on all four sides.
        EXPECT_EQ(row.want->edge, c.at(l + 20, t));
        EXPECT_EQ(row.want->edge, c.at(l + 20, b));
        EXPECT_EQ(row.want->edge, c.at(l, t + 16));
        EXPECT_EQ(row.want->edge, c.at(r, t + 16));
        // The gradient from top to bottom, left of the label.
        EXPECT_TRUE(close_to(row.want->top, c.at(l + 6, t + 1), 3)) << hex(c.at(l + 6, t + 1));
        EXPECT_TRUE(close_to(row.want->bottom, c.at(l + 6, b - 1), 3)) << hex(c.at(l + 6, b - 1));
        // The white label, centred.
        Ink label;
        for (int y = t + 1; y < b; y++)
            for (int x = l + 1; x < r; x++)
                if (c.at(x, y) == 0xFFFFFF)
                    label.add(x, y);
        ASSERT_GT(label.count, 0);
        EXPECT_LE(abs((label.left - l) - (r - label.right)), 2) << label.left << ".." << label.right;
        EXPECT_LE(abs((label.top - t) - (b - label.bottom)), 2) << label.top << ".." << label.bottom;
    }
}

// The focus rectangle px(3) inside the edge, only with ODS_FOCUS and without
// ODS_NOFOCUSRECT; it is all that changes.
TEST_F(GoButton, FocusRectangleOnlyWhenCuesShow)
{
    const struct {
        UINT state;
        bool drawn;
    } rows[] = {{ODS_FOCUS, true}, {ODS_FOCUS | ODS_NOFOCUSRECT, false}, {ODS_NOFOCUSRECT, false}};
    Canvas plain(120, 42, 0);
    draw(plain, 0);
    RECT f = k_item;
    InflateRect(&f, -3, -3);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "state 0x" << std::hex << row.state);
        Canvas c(120, 42, 0);
        draw(c, row.state);
        int on_outline = 0, elsewhere = 0;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                if (c.at(x, y) == plain.at(x, y))
                    continue;
                bool outline = x >= f.left && x < f.right && y >= f.top && y < f.bottom &&
                               (x == f.left || x == f.right - 1 || y == f.top || y == f.bottom - 1);
                (outline ? on_outline : elsewhere)++;
            }
        EXPECT_EQ(0, elsewhere);
        if (row.drawn)
            EXPECT_GT(on_outline, 100); // dotted: about half of the outline's 246 pixels
        else
            EXPECT_EQ(0, on_outline);
    }
}

} // namespace
