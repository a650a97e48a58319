// The drop and the game field's check, in-process: drop handles are made here
// as the shell makes them (a movable global block holding DROPFILES), which a
// test can't hand to another process, and game_pick works on synthetic discs
// with a message-only window standing in for the form.
#include "ui/choosers.h"
#include "ui/ids.h"
#include "ui/window.h"
#include "game/disc.h"
#include "disc.h"
#include "support.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A hidden window with the game field and the note as the form's, made once
// per run; three complete discs a, b and c and a folder "junk" with a text
// file, made for every case.
class Choosers : public testing::Test {
protected:
    void SetUp() override
    {
        if (!s_win) {
            s_win = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
            ASSERT_TRUE(s_win != NULL) << GetLastError();
            s_xbe = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, s_win, (HMENU)ID_XBE, NULL, NULL);
            ASSERT_TRUE(s_xbe != NULL) << GetLastError();
            ASSERT_TRUE(CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, s_win, (HMENU)ID_NOTE, NULL, NULL));
        }
        for (const wchar_t *d : {L"a", L"b", L"c"})
            ASSERT_TRUE(disc_make(scratch(d).c_str(), NULL));
        ASSERT_TRUE(put_file(scratch(L"junk\\notes.txt"), ""));
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

// A drop handle as the shell gives one: a movable block holding the DROPFILES block.
HDROP make_drop(const std::vector<std::wstring> &names)
{
    std::vector<char> block = drop_block(names);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, block.size());
    memcpy(GlobalLock(h), block.data(), block.size());
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
        game_pick(scratch(L"a\\default.xbe").c_str());
        ASSERT_TRUE(s_game.ok);
        s_state = r.state;
        std::vector<std::wstring> names;
        for (const wchar_t *n : r.names)
            names.push_back(scratch(n));
        HDROP drop = make_drop(names);
        ASSERT_FALSE(freed(drop));
        on_drop(drop);
        EXPECT_TRUE(freed(drop)) << "DragFinish in every state";
        if (r.picked) {
            EXPECT_EQ(scratch(r.picked), s_game.dir);
            EXPECT_EQ(r.ok, s_game.ok);
        } else {
            EXPECT_EQ(scratch(L"a"), s_game.dir);
            EXPECT_EQ(scratch(L"a\\default.xbe"), field());
        }
    }
}

// Leaving the game field picks its text unless it is empty or names the
// selection's folder (any letter case); the path game_pick put there is picked
// again, so the disc is looked at afresh.
TEST_F(Choosers, LeavingTheGameField)
{
    game_pick(scratch(L"a").c_str());
    ASSERT_TRUE(s_game.ok);

    SetWindowTextW(s_xbe, L"");
    xbe_left();
    EXPECT_EQ(scratch(L"a"), s_game.dir) << "an emptied field keeps the selection";
    EXPECT_EQ(L"", field());

    std::wstring upper = scratch(L"A");
    for (wchar_t &ch : upper)
        ch = (wchar_t)towupper(ch);
    SetWindowTextW(s_xbe, upper.c_str());
    xbe_left();
    EXPECT_EQ(upper, field()) << "the selection's own folder is not picked again";

    SetWindowTextW(s_xbe, scratch(L"b").c_str());
    xbe_left();
    EXPECT_EQ(scratch(L"b"), s_game.dir);
    EXPECT_EQ(scratch(L"b\\default.xbe"), field());
    EXPECT_TRUE(s_game.ok);

    // The field now holds b\default.xbe: leaving it again re-checks disc b,
    // which has lost a file meanwhile.
    ASSERT_TRUE(DeleteFileW(scratch(L"b\\Driving.xbe").c_str()));
    xbe_left();
    EXPECT_EQ(scratch(L"b"), s_game.dir);
    EXPECT_FALSE(s_game.ok);
}

} // namespace
