// The window at the screen's dpi: the client area and every control scale
// with the dpi read at start-up, each number rounded by itself, and the
// photographs of the form at 96 and 144 dpi are kept as artifacts.
#include "ids.h"
#include "e2e.h"

#include <commctrl.h>
#include <gtest/gtest.h>

// Puts 96 dpi back after every case, failed or not: every later Setup start
// of the run would take the changed value.
class Dpi : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(drv_set_dpi(96)); }
};

// Where the status bar's first part ends, read through Setup's own memory
// (SB_GETPARTS writes into the caller's buffer); -1 when it can't be read.
static int first_part_end(HWND sb)
{
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, drv_pid());
    if (!proc)
        return -1;
    int parts[2] = {-1, -1}, end = -1;
    void *remote = VirtualAllocEx(proc, NULL, sizeof parts, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD_PTR n = 0;
    SIZE_T got = 0;
    if (remote && SendMessageTimeoutW(sb, SB_GETPARTS, 2, (LPARAM)remote, SMTO_NORMAL, 5000, &n) && n == 2 &&
        ReadProcessMemory(proc, remote, parts, sizeof parts, &got) && got == sizeof parts)
        end = parts[0];
    if (remote)
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    return end;
}

// v at 96 dpi scaled to dpi, half away from zero.
static int scaled(int v, int dpi)
{
    return MulDiv(v, dpi, 96);
}

TEST_F(Dpi, ClientAreaAndControlsScale)
{
    struct Size {
        int dpi, w, h;
    } const sizes[] = {{96, 420, 474}, {120, 525, 593}, {144, 630, 711}};
    // Rectangles at 96 dpi (x, y, w, h) of controls of both views.
    struct Ctl {
        int id, x, y, w, h;
    } const ctls[] = {
        {ID_L_XBE, 32, 254, 300, 16},  {ID_XBE, 32, 272, 270, 24},       {ID_XBE_BROWSE, 308, 271, 80, 26},
        {ID_NOTE, 32, 299, 356, 16},   {ID_DEST, 32, 340, 270, 24},      {ID_DEST_BROWSE, 308, 339, 80, 26},
        {ID_SHORTCUT, 32, 372, 200, 20}, {ID_SPACE, 32, 410, 200, 16},   {ID_GO, 288, 400, 100, 32},
        {ID_STEP, 32, 262, 356, 18},   {ID_DETAIL, 32, 312, 356, 80},
    };
    for (const Size &s : sizes) {
        SCOPED_TRACE(s.dpi);
        ASSERT_TRUE(drv_set_dpi(s.dpi));
        ASSERT_TRUE(start_setup(L""));
        int w = 0, h = 0;
        ASSERT_TRUE(drv_client_size(&w, &h));
        EXPECT_EQ(s.w, w);
        EXPECT_EQ(s.h, h);
        for (const Ctl &c : ctls) {
            RECT r;
            ASSERT_TRUE(drv_child_rect(c.id, &r)) << "control " << c.id;
            const int x = scaled(c.x, s.dpi), y = scaled(c.y, s.dpi);
            EXPECT_EQ(x, r.left) << "control " << c.id;
            EXPECT_EQ(y, r.top) << "control " << c.id;
            EXPECT_EQ(x + scaled(c.w, s.dpi), r.right) << "control " << c.id;
            EXPECT_EQ(y + scaled(c.h, s.dpi), r.bottom) << "control " << c.id;
        }
        // The status bar lies along the bottom, below the panel's margin.
        HWND sb = FindWindowExW(drv_main(), NULL, L"msctls_statusbar32", NULL);
        ASSERT_TRUE(sb);
        RECT r;
        GetWindowRect(sb, &r);
        MapWindowPoints(HWND_DESKTOP, drv_main(), (POINT *)&r, 2);
        EXPECT_EQ(s.h, r.bottom);
        EXPECT_EQ(0, r.left);
        EXPECT_EQ(s.w, r.right);
        EXPECT_LE(scaled(166 + 274 + 12, s.dpi), r.top);
        EXPECT_EQ(scaled(310, s.dpi), first_part_end(sb));
        EXPECT_EQ(0, close_setup());
    }
}

// The form photographed at 96 and 144 dpi; its texts must be painted at the
// size of that dpi, not at 96 dpi's.
TEST_F(Dpi, FormPhotographs)
{
    struct Row {
        int dpi;
        const wchar_t *name;
    } const rows[] = {{96, L"window-form-96dpi"}, {144, L"window-form-144dpi"}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.dpi);
        ASSERT_TRUE(drv_set_dpi(r.dpi));
        ASSERT_TRUE(start_setup(L""));
        Shot shot;
        ASSERT_TRUE(take_shot(artifact(std::wstring(r.name) + L".bmp"), &shot));
        EXPECT_EQ(scaled(420, r.dpi), shot.w);
        EXPECT_EQ(scaled(474, r.dpi), shot.h);
        EXPECT_TRUE(painted(shot, L"Install Emberveil", TITLE_FONT, INK, r.dpi));
        EXPECT_TRUE(painted(shot, L"The game was not found on this computer.", NOTE_FONT, GREY, r.dpi));
        EXPECT_TRUE(painted(shot, L"Or drop the file on this window.", NOTE_FONT, GREY, r.dpi));
        EXPECT_TRUE(painted(shot, L"Required space: 1.6 GB", NOTE_FONT, GREY, r.dpi));
        if (r.dpi != 96) {
            EXPECT_FALSE(painted(shot, L"Install Emberveil", TITLE_FONT, INK, 96));
        }
        EXPECT_EQ(0, close_setup());
    }
}
