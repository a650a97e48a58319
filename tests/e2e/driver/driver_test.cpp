// The driver against a stand-in window (ev_fake_setup.exe, built beside this
// program): each case starts a fresh one and checks that what the driver
// reads, presses and photographs is what the window really did.
#include "driver.h"

#include <gtest/gtest.h>
#include <string>

#define WAIT_MS 10000

static std::wstring fake_exe(void)
{
    wchar_t p[MAX_PATH];
    GetModuleFileNameW(NULL, p, MAX_PATH);
    wchar_t *cut = wcsrchr(p, L'\\');
    if (cut)
        cut[1] = 0;
    return std::wstring(p) + L"ev_fake_setup.exe";
}

static std::wstring text(int id)
{
    wchar_t t[512];
    return drv_text(id, t, 512) ? t : L"<unreadable>";
}

static std::wstring part(int n)
{
    wchar_t t[512];
    return drv_status(n, t, 512) ? t : L"<unreadable>";
}

// Polls the focus until control id holds it.
static int focus_is(int id)
{
    for (int i = 0; i < WAIT_MS / 20; i++) {
        if (drv_focused() == id)
            return 1;
        Sleep(20);
    }
    return 0;
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, drv_start(fake_exe().c_str(), L"", NULL));
        ASSERT_NE((HWND)NULL, drv_window(WAIT_MS));
    }
    void TearDown() override { drv_kill(); }
};

TEST_F(Driver, ReadsTheControlsAsTheWindowSetThem)
{
    wchar_t cls[32];
    ASSERT_TRUE(GetClassNameW(drv_main(), cls, 32));
    EXPECT_STREQ(L"EvSetup", cls);
    EXPECT_NE(0u, drv_pid());
    EXPECT_EQ(L"C:\\Games\\Emberveil", text(102));
    EXPECT_EQ(0, drv_visible(101));
    EXPECT_EQ(1, drv_visible(103));
    EXPECT_EQ(0, drv_enabled(103));
    EXPECT_EQ(1, drv_enabled(102));
    EXPECT_EQ(1, drv_checked(104));
    EXPECT_EQ(L"Not installed", part(0));
    EXPECT_EQ(L"ready", part(1));
    EXPECT_EQ(250, drv_progress());
    EXPECT_EQ(1, drv_bar_visible());
    wchar_t cut[4];
    ASSERT_EQ(1, drv_status(0, cut, 4));
    EXPECT_STREQ(L"Not", cut);
}

TEST_F(Driver, SettingTextNotifiesTheParentLikeThePlayer)
{
    // WM_SETTEXT alone makes the edit send EN_CHANGE to its parent.
    ASSERT_EQ(1, drv_set_text(102, L"D:\\Games"));
    EXPECT_TRUE(drv_wait_status(1, L"changes 1", WAIT_MS)) << part(1);
    EXPECT_EQ(L"Or drop the file on this window.", text(109));
    ASSERT_EQ(1, drv_set_text_leave(100, L"D:\\disc"));
    EXPECT_EQ(L"left: D:\\disc", text(109));
    // Typed characters arrive one EN_CHANGE each.
    ASSERT_EQ(1, drv_focus(102));
    ASSERT_EQ(1, drv_type(L"xy"));
    EXPECT_TRUE(drv_wait_status(1, L"changes 3", WAIT_MS)) << part(1);
    EXPECT_EQ(L"xyD:\\Games", text(102));
}

TEST_F(Driver, ClickRefusesWhatAPlayerCouldNotPress)
{
    EXPECT_EQ(0, drv_click(103)); // disabled
    EXPECT_EQ(0, drv_click(101)); // hidden
    ASSERT_EQ(1, drv_click(104));
    for (int i = 0; i < WAIT_MS / 20 && drv_checked(104); i++)
        Sleep(20);
    EXPECT_EQ(0, drv_checked(104));
    // Clicks are handled in order, so a refused one that had slipped through
    // would show by now.
    EXPECT_EQ(L"Not installed", part(0));
    // The check box took the focus as under a mouse click.
    EXPECT_EQ(104, drv_focused());
}

TEST_F(Driver, AnswersAMessageBox)
{
    EXPECT_EQ(1, drv_no_msgbox(200));
    ASSERT_EQ(1, drv_click(105));
    HWND box = drv_msgbox(WAIT_MS);
    ASSERT_NE((HWND)NULL, box);
    wchar_t t[256];
    ASSERT_TRUE(GetWindowTextW(box, t, 256));
    EXPECT_STREQ(L"Emberveil Setup", t);
    ASSERT_EQ(1, drv_msgbox_text(box, t, 256));
    EXPECT_STREQ(L"Go on?", t);
    EXPECT_EQ(GetWindowThreadProcessId(box, NULL), GetWindowThreadProcessId(drv_main(), NULL));
    // The box makes the window unusable, as it does for a player.
    EXPECT_EQ(0, drv_enabled(104));
    EXPECT_EQ(0, drv_click(104));
    EXPECT_EQ(0, drv_msgbox_press(box, IDOK));
    ASSERT_EQ(1, drv_msgbox_press(box, IDNO));
    EXPECT_TRUE(drv_wait_status(0, L"no", WAIT_MS)) << part(0);
    EXPECT_EQ(1, drv_no_msgbox(200));
    EXPECT_EQ(1, drv_checked(104));
}

TEST_F(Driver, MeasuresTheLayoutAndTheTabOrder)
{
    int w = 0, h = 0;
    ASSERT_EQ(1, drv_client_size(&w, &h));
    EXPECT_EQ(420, w);
    EXPECT_EQ(480, h);
    RECT r;
    ASSERT_EQ(1, drv_child_rect(102, &r));
    EXPECT_EQ(32, r.left);
    EXPECT_EQ(340, r.top);
    EXPECT_EQ(302, r.right);
    EXPECT_EQ(364, r.bottom);
    int ids[16];
    ASSERT_EQ(4, drv_tab_order(ids, 16));
    const int want[4] = {100, 102, 104, 105};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(want[i], ids[i]) << i;
    // The Tab key, through the window's own message loop, walks the same way.
    ASSERT_EQ(1, drv_focus(100));
    for (int i = 1; i < 5; i++) {
        ASSERT_EQ(1, drv_key(VK_TAB));
        EXPECT_TRUE(focus_is(want[i % 4])) << i << " focus " << drv_focused();
    }
}

TEST_F(Driver, ReadsTheScreen)
{
    COLORREF c = 0;
    ASSERT_EQ(1, drv_pixel(100, 50, &c));
    EXPECT_EQ(RGB(200, 30, 30), c);
    ASSERT_EQ(1, drv_pixel(338, 416, &c)); // inside the owner-drawn button
    EXPECT_EQ(RGB(40, 90, 160), c);
    EXPECT_EQ(0, drv_pixel(420, 0, &c));
    EXPECT_EQ(drv_main(), drv_foreground());

    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    wcscat(path, L"ev_driver_shot.bmp");
    ASSERT_EQ(1, drv_shot(path));
    HANDLE f = CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    DWORD px = 0, got = 0;
    ReadFile(f, &fh, sizeof fh, &got, NULL);
    ReadFile(f, &ih, sizeof ih, &got, NULL);
    // Bottom-up rows: client row 50 is file row 480 - 1 - 50.
    SetFilePointer(f, (LONG)(fh.bfOffBits + ((480 - 1 - 50) * 420 + 100) * 4), NULL, FILE_BEGIN);
    ReadFile(f, &px, 4, &got, NULL);
    CloseHandle(f);
    DeleteFileW(path);
    EXPECT_EQ(0x4D42, fh.bfType);
    EXPECT_EQ(420, ih.biWidth);
    EXPECT_EQ(480, ih.biHeight);
    EXPECT_EQ(32, ih.biBitCount);
    EXPECT_EQ(0x00C81E1Eu, px & 0xFFFFFF);
}

TEST_F(Driver, ClosesAndReportsTheExitCode)
{
    ASSERT_EQ(1, drv_close());
    DWORD code = 0;
    ASSERT_EQ(1, drv_wait_exit(WAIT_MS, &code));
    EXPECT_EQ(7u, code);
    EXPECT_EQ(0u, drv_pid());
    EXPECT_EQ((HWND)NULL, drv_window(0));
}

TEST(DriverRun, RunsAProgramToItsEnd)
{
    DWORD code = 0;
    ASSERT_EQ(1, drv_run(fake_exe().c_str(), L"/quit 3", NULL, WAIT_MS, &code));
    EXPECT_EQ(3u, code);
    EXPECT_EQ(0, drv_run(L"C:\\no\\such.exe", L"", NULL, WAIT_MS, &code));
}
