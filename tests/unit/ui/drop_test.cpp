// The drop and the game field's check, in-process: drop handles are made here
// as the shell makes them (a movable global block holding DROPFILES), which a
// test can't hand to another process, and game_pick works on synthetic discs
// with a message-only window standing in for the form.
#include "ui/choosers.h"
#include "ui/ids.h"
#include "ui/window.h"
#include "game/disc.h"
#include "disc.h"
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::wstring s_root; // this run's scratch folder

std::wstring in_root(const std::wstring &name)
{
    return s_root + L"\\" + name;
}

// Once per run: three complete discs a, b and c, a folder "junk" with a text
// file, and a hidden window with the game field and the note as the form's.
// (A failed assertion in SetUpTestSuite skips the tests without failing the
// run, so this is done from SetUp.)
void prepare(void)
{
    static bool done;
    if (done)
        return;
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    s_root = std::wstring(tmp) + L"evui-" + std::to_wstring(GetCurrentProcessId());
    for (const wchar_t *d : {L"a", L"b", L"c"})
        ASSERT_TRUE(disc_make(in_root(d).c_str(), NULL));
    CreateDirectoryW(in_root(L"junk").c_str(), NULL);
    HANDLE f = CreateFileW(in_root(L"junk\\notes.txt").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    CloseHandle(f);
    s_win = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(s_win != NULL) << GetLastError();
    s_xbe = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, s_win, (HMENU)ID_XBE, NULL, NULL);
    ASSERT_TRUE(s_xbe != NULL) << GetLastError();
    ASSERT_TRUE(CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, s_win, (HMENU)ID_NOTE, NULL, NULL));
    atexit([] { disc_remove(s_root.c_str()); });
    done = true;
}

class Choosers : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(prepare());
        s_state = S_FORM;
        ZeroMemory(&s_game, sizeof s_game);
    }

    static std::wstring field()
    {
        wchar_t t[MAX_PATH] = L"";
        GetWindowTextW(s_xbe, t, MAX_PATH);
        return t;
    }
};

// A drop handle as the shell gives one: a movable block, wide names after DROPFILES.
HDROP make_drop(const std::vector<std::wstring> &names)
{
    size_t chars = 1;
    for (const std::wstring &n : names)
        chars += n.size() + 1;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    DROPFILES *d = (DROPFILES *)GlobalLock(h);
    d->pFiles = sizeof(DROPFILES);
    d->fWide = TRUE;
    wchar_t *p = (wchar_t *)(d + 1);
    for (const std::wstring &n : names) {
        wcscpy(p, n.c_str());
        p += n.size() + 1;
    }
    GlobalUnlock(h);
    return (HDROP)h;
}

// A block DragFinish has freed is no handle any more.
bool freed(HDROP h)
{
    return GlobalFlags((HGLOBAL)h) == GMEM_INVALID_HANDLE;
}

struct DropRow {
    const char *what;
    int state;
    std::vector<const wchar_t *> names; // relative to the scratch folder
    const wchar_t *picked;              // the selection's folder afterwards; null: unchanged
    int ok;
};

TEST_F(Choosers, DropPicksTheFirstItemInTheFormOnly)
{
    const DropRow rows[] = {
        {"three files", S_FORM, {L"b\\default.xbe", L"a\\default.xbe", L"c\\default.xbe"}, L"b", 1},
        {"a folder", S_FORM, {L"c"}, L"c", 1},
        {"the first is no disc", S_FORM, {L"junk\\notes.txt", L"a\\default.xbe"}, L"junk", 0},
        {"no item", S_FORM, {}, NULL, 0},
        {"while running", S_RUN, {L"b\\default.xbe"}, NULL, 0},
        {"done view", S_DONE, {L"b\\default.xbe"}, NULL, 0},
        {"failure view", S_FAIL, {L"b\\default.xbe"}, NULL, 0},
    };
    for (const DropRow &r : rows) {
        SCOPED_TRACE(r.what);
        // Every row starts from disc a picked in the form.
        s_state = S_FORM;
        game_pick(in_root(L"a\\default.xbe").c_str());
        ASSERT_TRUE(s_game.ok);
        s_state = r.state;
        std::vector<std::wstring> names;
        for (const wchar_t *n : r.names)
            names.push_back(in_root(n));
        HDROP drop = make_drop(names);
        ASSERT_FALSE(freed(drop));
        on_drop(drop);
        EXPECT_TRUE(freed(drop)) << "DragFinish in every state";
        if (r.picked) {
            EXPECT_EQ(in_root(r.picked), s_game.dir);
            EXPECT_EQ(r.ok, s_game.ok);
        } else {
            EXPECT_EQ(in_root(L"a"), s_game.dir);
            EXPECT_EQ(in_root(L"a\\default.xbe"), field());
        }
    }
}

// Leaving the game field picks its text unless it is empty or names the
// selection's folder (any letter case); the path game_pick put there is picked
// again, so the disc is looked at afresh.
TEST_F(Choosers, LeavingTheGameField)
{
    game_pick(in_root(L"a").c_str());
    ASSERT_TRUE(s_game.ok);

    SetWindowTextW(s_xbe, L"");
    xbe_left();
    EXPECT_EQ(in_root(L"a"), s_game.dir) << "an emptied field keeps the selection";
    EXPECT_EQ(L"", field());

    std::wstring upper = in_root(L"A");
    for (wchar_t &ch : upper)
        ch = (wchar_t)towupper(ch);
    SetWindowTextW(s_xbe, upper.c_str());
    xbe_left();
    EXPECT_EQ(upper, field()) << "the selection's own folder is not picked again";

    SetWindowTextW(s_xbe, in_root(L"b").c_str());
    xbe_left();
    EXPECT_EQ(in_root(L"b"), s_game.dir);
    EXPECT_EQ(in_root(L"b\\default.xbe"), field());
    EXPECT_TRUE(s_game.ok);

    // The field now holds b\default.xbe: leaving it again re-checks disc b,
    // which has lost a file meanwhile.
    ASSERT_TRUE(DeleteFileW(in_root(L"b\\Driving.xbe").c_str()));
    xbe_left();
    EXPECT_EQ(in_root(L"b"), s_game.dir);
    EXPECT_FALSE(s_game.ok);
    disc_make(in_root(L"b").c_str(), NULL);
}

} // namespace
