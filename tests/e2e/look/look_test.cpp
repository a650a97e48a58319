// The real EmberveilSetup.exe on the Xvfb screen: the colours of the banner,
// the panel, the accent bar, the divider and the main button where they lie
// in client coordinates; the open-file dialog and the folder browser (Wine's
// own, worked through their controls); drops; a typed game folder; and a
// screenshot of every view at 96 and 144 dpi under artifacts/look.
#include "screen.h"
#include "driver.h"
#include "disc.h"
#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

enum { ID_XBE = 100, ID_XBE_BROWSE, ID_DEST, ID_DEST_BROWSE, ID_SHORTCUT, ID_GO };
enum { ID_NOTE = 109, ID_STEP = 111 };
const DWORD WAIT_MS = 20000;

// 0x00RRGGBB, as Shot::at gives it.
DWORD rgb(int r, int g, int b)
{
    return (DWORD)r << 16 | (DWORD)g << 8 | (DWORD)b;
}

const DWORD k_panel = rgb(251, 251, 251), k_border = rgb(214, 214, 214), k_accent = rgb(47, 85, 151);
const DWORD k_banner_edge = rgb(34, 34, 34);

DWORD face(void)
{
    COLORREF c = GetSysColor(COLOR_BTNFACE);
    return rgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Each channel within d.
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

std::string narrow(const std::wstring &w)
{
    std::string s;
    for (wchar_t c : w)
        s += c < 128 ? (char)c : '?';
    return s;
}

std::wstring text_of(int id)
{
    wchar_t t[512];
    return drv_text(id, t, 512) ? t : L"<unreadable>";
}

std::wstring status_of(int part)
{
    wchar_t t[512];
    return drv_status(part, t, 512) ? t : L"<unreadable>";
}

std::wstring window_text(HWND h)
{
    wchar_t t[512] = L"";
    SendMessageTimeoutW(h, WM_GETTEXT, 512, (LPARAM)t, SMTO_NORMAL, 5000, NULL);
    return t;
}

// The discs every test may use, made once: two complete ones and an empty folder.
std::wstring disc(int n)
{
    static bool made;
    if (!made) {
        made = disc_make(scratch(L"disc1").c_str(), NULL) && disc_make(scratch(L"disc2").c_str(), NULL) &&
               CreateDirectoryW(scratch(L"empty").c_str(), NULL);
    }
    return n ? scratch(L"disc" + std::to_wstring(n)) : scratch(L"empty");
}

std::wstring xbe_of(int n)
{
    return disc(n) + L"\\default.xbe";
}

// A fresh install folder for every install a test starts.
std::wstring new_install(void)
{
    static int n;
    return scratch(L"install" + std::to_wstring(++n));
}

class Setup : public testing::Test {
protected:
    static bool start(const std::wstring &args)
    {
        return drv_start(setup_exe().c_str(), args.c_str(), NULL) && drv_window(WAIT_MS);
    }
    void TearDown() override
    {
        if (drv_main() && drv_close())
            drv_wait_exit(10000, NULL);
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
    {"banner (10, 10)", {16, 0, 10}, {12, 0, 10}, rgb(9, 9, 13), 96},
    {"banner (310, 69)", {16, 0, 310}, {12, 0, 69}, rgb(114, 36, 20), 96},
    {"banner (10, 10)", {16, 0, 10}, {12, 0, 10}, rgb(9, 9, 13), 120},
    {"banner (460, 87)", {16, 0, 460}, {12, 0, 87}, rgb(77, 29, 21), 120},
    {"banner (460, 88)", {16, 0, 460}, {12, 0, 88}, rgb(42, 16, 11), 120}, // period 4
    {"banner (10, 10)", {16, 0, 10}, {12, 0, 10}, rgb(5, 5, 7), 144},     // a scan line there
    {"banner (530, 104)", {16, 0, 530}, {12, 0, 104}, rgb(102, 36, 24), 144},
    {"banner (530, 105)", {16, 0, 530}, {12, 0, 105}, rgb(56, 20, 13), 144},
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

// The banner's pixels other than the border are the formula's values at
// points the lettering doesn't reach with Wine's fonts.

// The main button's colours by state (top, bottom, edge).
struct GoColours {
    DWORD top, bottom, edge;
};
const GoColours k_normal = {rgb(76, 117, 184), rgb(45, 82, 147), rgb(30, 56, 104)};
const GoColours k_pressed = {rgb(36, 66, 118), rgb(30, 56, 102), rgb(30, 56, 104)};
const GoColours k_disabled = {rgb(170, 176, 186), rgb(150, 156, 166), rgb(140, 146, 156)};

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
    for (int dpi : {96, 120, 144}) {
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
        expect_button(s, k_normal, dpi);
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
        {"normal", FALSE, TRUE, &k_normal},
        {"pressed", TRUE, TRUE, &k_pressed},
        {"disabled", FALSE, FALSE, &k_disabled},
        {"disabled and pressed", TRUE, FALSE, &k_disabled},
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
// XBE stands for the folder holding it, whose default.xbe is checked);
// "Cancel" changes nothing.
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
    };
    ASSERT_TRUE(start(L"/test"));
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(drv_click(ID_XBE_BROWSE));
        HWND d = drv_msgbox(WAIT_MS);
        ASSERT_TRUE(d != NULL);
        EXPECT_EQ(L"The default.xbe of your extracted Emberveil disc", window_text(d));
        HWND filter = find_kid(d, L"ComboBox", 0x470); // cmb1, the file-type list
        ASSERT_TRUE(filter != NULL);
        EXPECT_EQ(L"Emberveil (default.xbe)", window_text(filter));
        DWORD_PTR count = 0;
        SendMessageTimeoutW(filter, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
        EXPECT_EQ(2u, count);
        if (r.typed.empty()) {
            ASSERT_TRUE(press_and_wait(d, IDCANCEL));
        } else {
            HWND name = find_kid(d, L"Edit", 0x47c); // the edit of cmb13, the file-name box
            ASSERT_TRUE(name != NULL);
            SendMessageTimeoutW(name, WM_SETTEXT, 0, (LPARAM)r.typed.c_str(), SMTO_NORMAL, 5000, NULL);
            ASSERT_TRUE(press_and_wait(d, IDOK));
        }
        EXPECT_EQ(narrow(r.field), narrow(text_of(ID_XBE)));
        EXPECT_EQ(narrow(r.note), narrow(text_of(ID_NOTE).substr(0, r.note.size())));
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
                  window_text(title));
        ASSERT_TRUE(press_and_wait(d, r.button));
        EXPECT_EQ(narrow(r.field), narrow(text_of(ID_DEST)));
    }
}

TEST_F(Setup, DropOfSeveralFilesPicksTheFirst)
{
    ASSERT_TRUE(start(L"/test"));
    ASSERT_TRUE(drop_on_setup({xbe_of(2), xbe_of(1), disc(0)}));
    EXPECT_EQ(narrow(xbe_of(2)), narrow(text_of(ID_XBE)));
    ASSERT_TRUE(drop_on_setup({disc(1), xbe_of(2)}));
    EXPECT_EQ(narrow(xbe_of(1)), narrow(text_of(ID_XBE))) << "a folder stands for its default.xbe";
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
            EXPECT_TRUE(drv_no_msgbox(1000));
            EXPECT_EQ(narrow(xbe_of(r.disc)), narrow(text_of(ID_XBE)));
            EXPECT_TRUE(drv_wait_text(ID_STEP, L"Done", 60000)) << narrow(text_of(ID_STEP));
        } else {
            HWND box = drv_msgbox(WAIT_MS);
            ASSERT_TRUE(box != NULL);
            wchar_t told[512];
            ASSERT_TRUE(drv_msgbox_text(box, told, 512));
            EXPECT_EQ(narrow(text_of(ID_NOTE)), narrow(told));
            EXPECT_NE("Choose the default.xbe of your extracted Emberveil disc first.", narrow(told));
            EXPECT_TRUE(drv_msgbox_press(box, IDOK));
            EXPECT_EQ(L"Not installed", status_of(0));
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
    const std::wstring dir = artifacts();
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        DpiFor screen(dpi);
        const std::wstring tag = L"-" + std::to_wstring(dpi) + L".bmp";
        const std::wstring base = L"/test /xbe " + xbe_of(1) + L" /dir ";
        Shot s;
        {
            EnvFor hang(L"EV_DEMO_LIFT_HANG", L"1");
            ASSERT_TRUE(start(base + new_install()));
            ASSERT_TRUE(take_shot(dir + L"\\form" + tag, &s));
            expect_button(s, k_normal, dpi);
            ASSERT_TRUE(drv_click(ID_GO));
            ASSERT_TRUE(drv_wait_text(ID_STEP, L"Step 3 of 5: Translating the game's code", WAIT_MS))
                << narrow(text_of(ID_STEP));
            ASSERT_TRUE(take_shot(dir + L"\\running" + tag, &s));
            expect_button(s, k_normal, dpi);
            ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
            EXPECT_EQ(narrow(xbe_of(1)), narrow(text_of(ID_XBE))) << "running";
            ASSERT_TRUE(drv_click(ID_GO)); // "Cancel"
            EXPECT_TRUE(drv_wait_status(0, L"Cancelled", WAIT_MS)) << narrow(status_of(0));
            TearDown();
        }
        ASSERT_TRUE(start(base + new_install()));
        ASSERT_TRUE(drv_click(ID_GO));
        ASSERT_TRUE(drv_wait_text(ID_STEP, L"Done", 60000)) << narrow(text_of(ID_STEP));
        ASSERT_TRUE(take_shot(dir + L"\\done" + tag, &s));
        expect_button(s, k_normal, dpi);
        ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
        EXPECT_EQ(narrow(xbe_of(1)), narrow(text_of(ID_XBE))) << "done";
        TearDown();
        {
            EnvFor fail(L"EV_DEMO_FAIL_LIFT", L"1");
            ASSERT_TRUE(start(base + new_install()));
            ASSERT_TRUE(drv_click(ID_GO));
            ASSERT_TRUE(drv_wait_status(0, L"Failed", 60000)) << narrow(status_of(0));
            ASSERT_TRUE(take_shot(dir + L"\\failure" + tag, &s));
            expect_button(s, k_normal, dpi);
            ASSERT_TRUE(drop_on_setup({xbe_of(2)}));
            EXPECT_EQ(narrow(xbe_of(1)), narrow(text_of(ID_XBE))) << "failure";
            TearDown();
        }
    }
}

} // namespace
