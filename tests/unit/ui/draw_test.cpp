// The drawn look, measured in memory: the banner bitmap at three dpi settings,
// the icon's shape through DrawIconEx on two backgrounds, and the main
// button's colourings in a DIB section. Lettering comes from Wine's fonts, not
// the Windows ones, so the checks on it are about where it lies, not its shape.
#include "ui/draw.h"
#include "ui/ids.h"
#include "ui/window.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

// 0x00RRGGBB, the banner's own pixel form.
DWORD rgb(int r, int g, int b)
{
    return (DWORD)r << 16 | (DWORD)g << 8 | (DWORD)b;
}

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

struct PixelRow {
    int x, y, w, h, line;
    DWORD want;
};

// The first four are the look's own reference pixels; the others were worked
// out from the same formula by hand (in double precision, cut towards zero).
const PixelRow k_formula[] = {
    {310, 70, 388, 140, 3, rgb(210, 68, 37)},  // near the glow's centre
    {310, 69, 388, 140, 3, rgb(114, 36, 20)},  // the same on a scan line
    {10, 10, 388, 140, 3, rgb(9, 9, 13)},      // outside the glow
    {387, 70, 388, 140, 3, rgb(34, 34, 34)},   // border, not darkened
    {0, 69, 388, 140, 3, rgb(34, 34, 34)},     // border on a scan line
    {2, 137, 388, 140, 3, rgb(14, 11, 13)},    // the ramp near the bottom
    {2, 138, 388, 140, 3, rgb(8, 6, 7)},       // and darkened there
    {388, 87, 485, 175, 4, rgb(210, 68, 37)},  // 120 dpi, glow centre row + 0
    {388, 88, 485, 175, 4, rgb(115, 37, 20)},  // on a period-4 scan line
    {465, 100, 582, 210, 5, rgb(108, 35, 19)}, // 144 dpi, period 5
    {465, 105, 582, 210, 5, rgb(115, 37, 20)}, // the glow's centre row is a scan line
    {580, 5, 582, 210, 5, rgb(9, 6, 7)},
};

TEST(BannerPixel, MatchesTheFormulaAtReferencePoints)
{
    for (const PixelRow &r : k_formula) {
        SCOPED_TRACE(testing::Message() << "(" << r.x << ", " << r.y << ") of " << r.w << "x" << r.h);
        EXPECT_EQ(r.want, banner_pixel(r.x, r.y, r.w, r.h, r.line));
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
    int x, y; // a pixel of the bitmap clear of the lettering with Wine's fonts
    DWORD want;
};

// (310, 70), the look's other reference pixel, lies under the title's white
// with Wine's fonts: BannerPixel checks the formula there.
const DpiRow k_dpi[] = {
    {96, 388, 140, 3, 310, 69, rgb(114, 36, 20)},
    {120, 485, 175, 4, 460, 88, rgb(42, 16, 11)},
    {144, 582, 210, 5, 530, 105, rgb(56, 20, 13)}, // px(3) is 4.5 there, rounded up
};

TEST(Banner, SizeBorderAndScanLinesAtEachDpi)
{
    for (const DpiRow &r : k_dpi) {
        SCOPED_TRACE(testing::Message() << r.dpi << " dpi");
        Banner b = banner_at(r.dpi);
        ASSERT_EQ(r.w, b.w);
        ASSERT_EQ(r.h, b.h);
        EXPECT_EQ(r.want, b.at(r.x, r.y));
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
    DWORD top, bottom, edge;
};

const DWORD k_blue_top = 0x4C75B8, k_blue_bottom = 0x2D5293, k_blue_edge = 0x1E3868;
const GoRow k_go[] = {
    {0, k_blue_top, k_blue_bottom, k_blue_edge},
    {ODS_FOCUS, k_blue_top, k_blue_bottom, k_blue_edge},
    {ODS_SELECTED, 0x244276, 0x1E3866, 0x1E3868},
    {ODS_DISABLED, 0xAAB0BA, 0x969CA6, 0x8C929C},
    {ODS_DISABLED | ODS_SELECTED, 0xAAB0BA, 0x969CA6, 0x8C929C}, // disabled wins
};

// Each channel of a within d of b.
bool close_to(DWORD a, DWORD b, int d)
{
    for (int s = 0; s < 24; s += 8)
        if (abs((int)(a >> s & 0xFF) - (int)(b >> s & 0xFF)) > d)
            return false;
    return true;
}

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
        EXPECT_EQ(row.edge, c.at(l + 20, t));
        EXPECT_EQ(row.edge, c.at(l + 20, b));
        EXPECT_EQ(row.edge, c.at(l, t + 16));
        EXPECT_EQ(row.edge, c.at(r, t + 16));
        // The gradient from top to bottom, left of the label.
        EXPECT_TRUE(close_to(row.top, c.at(l + 6, t + 1), 3)) << std::hex << c.at(l + 6, t + 1);
        EXPECT_TRUE(close_to(row.bottom, c.at(l + 6, b - 1), 3)) << std::hex << c.at(l + 6, b - 1);
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
