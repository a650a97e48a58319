// The real EmberveilSetup.exe on the Xvfb screen: the colours of the banner,
// the panel, the accent bar, the divider and the main button where they lie
// in client coordinates; the open-file dialog and the folder browser (Wine's
// own, worked through their controls); drops; a typed game folder; and a
// screenshot of every view at 96 and 144 dpi under artifacts/look.
#include "disc.h"
#include "discimage.h"
#include "ids.h"
#include "e2e.h"
#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

const DWORD k_panel = rgb(251, 251, 251), k_border = rgb(214, 214, 214), k_accent = rgb(47, 85, 151);
const DWORD k_banner_edge = rgb(34, 34, 34);

DWORD face(void)
{
    COLORREF c = GetSysColor(COLOR_BTNFACE);
    return rgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// The discs the tests use, made when missing: two complete ones and an empty
// folder, named with a letter the ANSI code page lacks.
std::wstring disc(int n)
{
    std::wstring d = n ? scratch(L"disc\u0141" + std::to_wstring(n)) : scratch(L"empty\u0141");
    if (!has_dir(d))
        n ? disc_make(d.c_str(), NULL) : make_dir(d);
    return d;
}

std::wstring xbe_of(int n)
{
    return disc(n) + L"\\default.xbe";
}

// An image of disc 1, made once.
std::wstring image_of_disc(void)
{
    static bool made;
    std::wstring image = scratch(L"disc1.iso");
    made = made || image_make(disc(1).c_str(), image.c_str(), false);
    return image;
}

// A fresh install folder for every install a test starts.
std::wstring new_install(void)
{
    static int n;
    return scratch(L"install" + std::to_wstring(++n));
}

class Setup : public testing::Test {
protected:
    static bool start(const std::wstring &args) { return start_setup(args) != 0; }
    void TearDown() override
    {
        if (drv_main() && drv_close())
            drv_wait_exit(EXIT_MS, NULL);
        drv_kill();
    }
};

// A point given as px(a) + px(b) + c at the screen's dpi, as paint adds its
// offsets: each length scaled by itself.
struct At {
    int a, b, c;
    int at(int dpi) const { return MulDiv(a, dpi, 96) + MulDiv(b, dpi, 96) + c; }
};

struct LookRow {
    const char *what;
    At x, y;
    DWORD want; // 0xFFFFFFFF: the button face
    int dpi;    // 0: at every dpi
};

const DWORD FACE = 0xFFFFFFFF;

const LookRow k_look[] = {
    {"banner top left", {16, 0, 0}, {12, 0, 0}, k_banner_edge, 0},
    {"banner bottom right", {16, 388, -1}, {12, 140, -1}, k_banner_edge, 0},
    {"left of the banner", {16, 0, -1}, {12, 0, 0}, FACE, 0},
    {"below the banner", {16, 100, 0}, {12, 140, 0}, FACE, 0},
    // The documents' reference pixels, at 96 dpi.
    {"banner (10, 10)", {16, 0, 10}, {12, 0, 10}, rgb(9, 9, 13), 96},
    {"banner (310, 69)", {16, 0, 310}, {12, 0, 69}, rgb(114, 36, 20), 96},
    {"panel fill", {16, 388, -9}, {166, 100, 0}, k_panel, 0},
    {"panel outline left", {16, 0, 0}, {166, 100, 0}, k_border, 0},
    {"panel outline right", {16, 388, -1}, {166, 100, 0}, k_border, 0},
    {"panel outline top", {16, 200, 0}, {166, 0, 0}, k_border, 0},
    {"panel outline bottom", {16, 200, 0}, {166, 274, -1}, k_border, 0},
    {"above the panel", {16, 200, 0}, {166, 0, -1}, FACE, 0},
    {"below the panel", {16, 200, 0}, {166, 274, 0}, FACE, 0},
    {"accent bar top left", {16, 16, 0}, {166, 18, 0}, k_accent, 0},
    {"accent bar bottom right", {16, 19, -1}, {166, 46, -1}, k_accent, 0},
    {"left of the bar", {16, 16, -1}, {166, 30, 0}, k_panel, 0},
    {"right of the bar", {16, 19, 0}, {166, 30, 0}, k_panel, 0},
    {"above the bar", {16, 17, 0}, {166, 18, -1}, k_panel, 0},
    {"below the bar", {16, 17, 0}, {166, 46, 0}, k_panel, 0},
    {"divider start", {16, 16, 0}, {166, 78, 0}, k_border, 0},
    {"divider end", {16, 372, -1}, {166, 78, 0}, k_border, 0},
    {"past the divider's end", {16, 372, 0}, {166, 78, 0}, k_panel, 0},
    {"before the divider", {16, 16, -1}, {166, 78, 0}, k_panel, 0},
    {"above the divider", {16, 200, 0}, {166, 78, -1}, k_panel, 0},
    {"below the divider", {16, 200, 0}, {166, 78, 1}, k_panel, 0},
};

// The banner's scan lines lie on the screen where its own rows put them (no
// stretching, no offset), every period-th row at that dpi: read off the
// column next to its right border, in the glow and clear of the lettering.
void expect_scan_lines(const Shot &s, int dpi, int period)
{
    const int x = MulDiv(16, dpi, 96) + MulDiv(388, dpi, 96) - 2, top = MulDiv(12, dpi, 96);
    auto red = [&](int y) { return (int)(s.at(x, top + y) >> 16 & 0xFF); };
    for (int y = 1; y < MulDiv(140, dpi, 96) - 1; y++)
        EXPECT_EQ(y % period == 0, red(y) * 10 < red(y - 1) * 7 && red(y) * 10 < red(y + 1) * 7) << "banner row " << y;
}

// The main button as the shot shows it: corners in the panel's colour, the
// edge, and the gradient (sampled clear of the label and the focus rectangle).
void expect_button(const Shot &s, const GoColours &c, int dpi)
{
    RECT r;
    ASSERT_TRUE(drv_child_rect(ID_GO, &r));
    const LONG l = r.left, t = r.top, rt = r.right - 1, b = r.bottom - 1, mx = (l + rt) / 2, my = (t + b) / 2;
    for (const POINT &p : {POINT{l, t}, POINT{rt, t}, POINT{l, b}, POINT{rt, b}})
        EXPECT_EQ(hex(k_panel), hex(s.at(p.x, p.y))) << "button corner (" << p.x << ", " << p.y << ")";
    for (const POINT &p : {POINT{mx, t}, POINT{mx, b}, POINT{l, my}, POINT{rt, my}})
        EXPECT_EQ(hex(c.edge), hex(s.at(p.x, p.y))) << "button edge (" << p.x << ", " << p.y << ")";
    int in = MulDiv(6, dpi, 96);
    EXPECT_TRUE(close_to(c.top, s.at(l + in, t + 2), 4)) << "gradient top " << hex(s.at(l + in, t + 2));
    EXPECT_TRUE(close_to(c.bottom, s.at(l + in, b - 2), 4)) << "gradient bottom " << hex(s.at(l + in, b - 2));
}

// At 120 dpi px(166) + px(18) is 231 where px(184) would be 230: the
// offsets must be scaled one by one.
TEST_F(Setup, PanelBannerAndButtonOnScreen)
{
    const struct {
        int dpi, period; // the banner's scan-line period, as the documents give it
    } dpis[] = {{96, 3}, {120, 4}, {144, 5}};
    for (const auto &d : dpis) {
        const int dpi = d.dpi;
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        DpiFor screen(dpi);
        ASSERT_TRUE(start(L"/test"));
        Shot s;
        ASSERT_TRUE(take_shot(scratch(L"look.bmp"), &s));
        ASSERT_EQ(MulDiv(420, dpi, 96), s.w);
        for (const LookRow &r : k_look) {
            if (r.dpi && r.dpi != dpi)
                continue;
            int x = r.x.at(dpi), y = r.y.at(dpi);
            DWORD want = r.want == FACE ? face() : r.want;
            EXPECT_EQ(hex(want), hex(s.at(x, y))) << r.what << " (" << x << ", " << y << ")";
        }
        expect_scan_lines(s, dpi, d.period);
        expect_button(s, k_go_normal, dpi);
        TearDown();
    }
}

// Pressed through BM_SETSTATE and disabled through EnableWindow from here, as
// the player's mouse and a cancel would leave it; disabled wins over pressed.
TEST_F(Setup, ButtonColoursInItsStates)
{
    const struct {
        const char *what;
        BOOL pressed, enabled;
        const GoColours *want;
    } rows[] = {
        {"normal", FALSE, TRUE, &k_go_normal},
        {"pressed", TRUE, TRUE, &k_go_pressed},
        {"disabled", FALSE, FALSE, &k_go_disabled},
        {"disabled and pressed", TRUE, FALSE, &k_go_disabled},
    };
    ASSERT_TRUE(start(L"/test"));
    HWND go = drv_child(ID_GO);
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        EnableWindow(go, r.enabled);
        SendMessageTimeoutW(go, BM_SETSTATE, (WPARAM)r.pressed, 0, SMTO_NORMAL, 5000, NULL);
        Shot s;
        ASSERT_TRUE(take_shot(scratch(L"button.bmp"), &s));
        expect_button(s, *r.want, 96);
        SendMessageTimeoutW(go, BM_SETSTATE, FALSE, 0, SMTO_NORMAL, 5000, NULL);
        EnableWindow(go, TRUE);
    }
}

// "Browse..." opens Wine's open-file dialog on the first filter; a path typed
// into its file-name field and "Open" hand that file to the game pick (any
// XBE stands for the folder holding it, whose default.xbe is checked; a disc
// image for itself); "Cancel" changes nothing.
TEST_F(Setup, OpenFileDialog)
{
    const std::wstring blank = L"Or drop the file on this window.", found = L"Z93: Emberveil, Europe (PAL)";
    const struct {
        const char *what;
        std::wstring typed; // empty: Cancel
        std::wstring field; // the game field afterwards
        std::wstring note;  // how the note line begins
    } rows[] = {
        {"cancel", L"", L"", blank},
        {"default.xbe", xbe_of(1), xbe_of(1), found},
        {"another xbe of a disc", disc(2) + L"\\Driving.xbe", disc(2) + L"\\Driving.xbe", found},
        {"cancel keeps the pick", L"", disc(2) + L"\\Driving.xbe", found},
        {"a disc image", image_of_disc(), image_of_disc(), found},
    };
    ASSERT_TRUE(start(L"/test"));
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(drv_click(ID_XBE_BROWSE));
        HWND d = drv_msgbox(WAIT_MS);
        ASSERT_TRUE(d != NULL);
        EXPECT_EQ(L"The default.xbe of your extracted Emberveil disc", caption(d));
        HWND filter = find_kid(d, L"ComboBox", 0x470); // cmb1, the file-type list
        ASSERT_TRUE(filter != NULL);
        EXPECT_EQ(L"Emberveil (default.xbe or disc image)", caption(filter));
        DWORD_PTR count = 0;
        SendMessageTimeoutW(filter, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
        EXPECT_EQ(3u, count);
        if (r.typed.empty()) {
            ASSERT_TRUE(drv_msgbox_press(d, IDCANCEL));
        } else {
            HWND name = find_kid(d, L"Edit", 0x47c); // the edit of cmb13, the file-name box
            ASSERT_TRUE(name != NULL);
            SendMessageTimeoutW(name, WM_SETTEXT, 0, (LPARAM)r.typed.c_str(), SMTO_NORMAL, 5000, NULL);
            ASSERT_TRUE(drv_msgbox_press(d, IDOK));
        }
        EXPECT_EQ(r.field, control_text(ID_XBE));
        EXPECT_EQ(r.note, control_text(ID_NOTE).substr(0, r.note.size()));
    }
}

// "Change..." opens the folder browser with its title; "Cancel" leaves the
// install folder alone, "OK" completes the choice with "Emberveil". The
// browser's tree can't be steered from outside without its items' memory, so
// the choice is the folder it opens on: the desktop.
TEST_F(Setup, FolderBrowser)
{
    wchar_t desktop[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, desktop));
    ASSERT_TRUE(start(L"/test"));
    const struct {
        const char *what;
        int button;
        std::wstring field;
    } rows[] = {
        {"cancel", IDCANCEL, L"C:\\Games\\Emberveil"},
        {"ok", IDOK, std::wstring(desktop) + L"\\Emberveil"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(drv_click(ID_DEST_BROWSE));
        HWND d = drv_msgbox(WAIT_MS);
        ASSERT_TRUE(d != NULL);
        HWND title = find_kid(d, L"Static", 14146); // the browser's title line
        ASSERT_TRUE(title != NULL);
        EXPECT_EQ(L"The folder to install Emberveil into. A new folder \"Emberveil\" is made inside it.",
                  caption(title));
        ASSERT_TRUE(drv_msgbox_press(d, r.button));
        EXPECT_EQ(r.field, control_text(ID_DEST));
    }
}

TEST_F(Setup, DropOfSeveralFilesPicksTheFirst)
{
    ASSERT_TRUE(start(L"/test"));
    ASSERT_TRUE(drop_on_setup({xbe_of(2), xbe_of(1), disc(0)}));
    EXPECT_EQ(xbe_of(2), control_text(ID_XBE));
    ASSERT_TRUE(drop_on_setup({disc(1), xbe_of(2)}));
    EXPECT_EQ(xbe_of(1), control_text(ID_XBE)) << "a folder stands for its default.xbe";
}

// A folder typed into the game field is picked when "Install" takes the
// focus, before the install's checks: a disc starts the install, an empty
// folder is refused with what its pick found (the note), not with the
// "choose a disc first" of an empty selection.
TEST_F(Setup, TypedFolderIsPickedBeforeTheChecks)
{
    const struct {
        const char *what;
        int disc;
        bool starts;
    } rows[] = {{"a disc", 1, true}, {"an empty folder", 0, false}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(start(L"/test /dir " + new_install()));
        ASSERT_TRUE(drv_focus(ID_XBE));
        ASSERT_TRUE(drv_type(disc(r.disc).c_str()));
        ASSERT_TRUE(drv_click(ID_GO));
        if (r.starts) {
            EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
            EXPECT_EQ(xbe_of(r.disc), control_text(ID_XBE));
            EXPECT_TRUE(drv_wait_text(ID_STEP, L"Done", 60000)) << control_text(ID_STEP);
        } else {
            HWND box = drv_msgbox(WAIT_MS);
            ASSERT_TRUE(box != NULL);
            wchar_t told[512];
            ASSERT_TRUE(drv_msgbox_text(box, told, 512));
            EXPECT_EQ(control_text(ID_NOTE), told);
            EXPECT_NE(L"Choose the default.xbe of your extracted Emberveil disc first.", std::wstring(told));
            EXPECT_TRUE(drv_msgbox_press(box, IDOK));
            EXPECT_EQ(L"Not installed", status_text(0));
        }
        TearDown();
    }
}

// Every view at 96 and 144 dpi, photographed into artifacts/look: the form
// with a disc, the running view (the translation held by the demo script's
// hang hook), the done view and the failure view (its fail hook). In each the
// button keeps its look, and a drop on any view but the form changes nothing.
TEST_F(Setup, EveryViewPhotographedAndDropsOnlyInTheForm)
{
    const std::wstring dir = artifact(L"look");
    make_dir(dir);
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        DpiFor screen(dpi);
        const std::wstring tag = L"-" + std::to_wstring(dpi) + L".bmp";
        const std::wstring base = L"/test /xbe " + xbe_of(1) + L" /dir ";
        Shot s;
        {
            Hooks hang(L"EV_DEMO_LIFT_HANG", L"1");
            ASSERT_TRUE(start(base + new_install()));
            ASSERT_TRUE(take_shot(dir + L"\\form" + tag, &s));
            expect_button(s, k_go_normal, dpi);
            ASSERT_TRUE(drv_click(ID_GO));
            ASSERT_TRUE(drv_wait_text(ID_STEP, L"Step 3 of 5: Translating the game's code", WAIT_MS))
                << control_text(ID_STEP);
            ASSERT_TRUE(take_shot(dir + L"\\running" + tag, &s));
            expect_button(s, k_go_normal, dpi);
            ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
            EXPECT_EQ(xbe_of(1), control_text(ID_XBE)) << "running";
            ASSERT_TRUE(drv_click(ID_GO)); // "Cancel"
            EXPECT_TRUE(drv_wait_status(0, L"Cancelled", WAIT_MS)) << utf8(status_text(0));
            TearDown();
        }
        ASSERT_TRUE(start(base + new_install()));
        ASSERT_TRUE(drv_click(ID_GO));
        ASSERT_TRUE(drv_wait_text(ID_STEP, L"Done", 60000)) << control_text(ID_STEP);
        ASSERT_TRUE(take_shot(dir + L"\\done" + tag, &s));
        expect_button(s, k_go_normal, dpi);
        ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
        EXPECT_EQ(xbe_of(1), control_text(ID_XBE)) << "done";
        TearDown();
        {
            Hooks fail(L"EV_DEMO_FAIL_LIFT", L"1");
            ASSERT_TRUE(start(base + new_install()));
            ASSERT_TRUE(drv_click(ID_GO));
            ASSERT_TRUE(drv_wait_status(0, L"Failed", 60000)) << utf8(status_text(0));
            ASSERT_TRUE(take_shot(dir + L"\\failure" + tag, &s));
            expect_button(s, k_go_normal, dpi);
            ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
            EXPECT_EQ(xbe_of(1), control_text(ID_XBE)) << "failure";
            TearDown();
        }
    }
}

} // namespace
