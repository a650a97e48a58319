// The form as a player meets it: the first start on a fresh computer, discs
// that are refused, and every refusal of the install folder, each in its own
// message box with nothing started behind it.
#include "disc.h"
#include "ids.h"
#include "e2e.h"

#include <gtest/gtest.h>
#include <memory>

// Each case starts its own Setup on a computer without an earlier install.
class FirstStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        forget_earlier_install();
        ASSERT_TRUE(start_setup(L"")) << "Setup did not show its window";
    }
};

TEST_F(FirstStart, ShowsTheControlsOfTheForm)
{
    EXPECT_EQ(L"Emberveil Setup", caption(drv_main()));
    struct {
        int id;
        const wchar_t *text;
    } const rows[] = {
        {ID_L_XBE, L"Game files (default.xbe of your extracted disc)"},
        {ID_XBE, L""},
        {ID_XBE_BROWSE, L"Browse..."},
        {ID_NOTE, L"Or drop the file on this window."},
        {ID_L_DEST, L"Install folder"},
        {ID_DEST, L"C:\\Games\\Emberveil"},
        {ID_DEST_BROWSE, L"Change..."},
        {ID_SHORTCUT, L"Desktop shortcut"},
        {ID_SPACE, L"Required space: 1.6 GB"},
        {ID_GO, L"Install"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(r.text, control_text(r.id)) << "control " << r.id;
        EXPECT_TRUE(drv_visible(r.id)) << "control " << r.id;
    }
    EXPECT_TRUE(drv_checked(ID_SHORTCUT));
    EXPECT_EQ(L"Not installed", status_text(0));
    EXPECT_EQ(L"1.6 GB", status_text(1));
    // The running view's lines lie over the form's rows and must not show.
    EXPECT_FALSE(drv_visible(ID_STEP));
    EXPECT_FALSE(drv_visible(ID_DETAIL));
    EXPECT_FALSE(drv_bar_visible());
}

TEST_F(FirstStart, PaintsTheTitlesAndAGreyNote)
{
    Shot shot;
    ASSERT_TRUE(take_shot(artifact(L"window-first-start.bmp"), &shot));
    EXPECT_TRUE(painted(shot, L"Install Emberveil", TITLE_FONT, INK, 96));
    EXPECT_TRUE(painted(shot, L"The game was not found on this computer.", NOTE_FONT, GREY, 96));
    EXPECT_TRUE(painted(shot, L"Or drop the file on this window.", NOTE_FONT, GREY, 96));
    EXPECT_FALSE(painted(shot, L"Or drop the file on this window.", NOTE_FONT, RED, 96));
    EXPECT_FALSE(painted(shot, L"Reinstall Emberveil", TITLE_FONT, INK, 96));
}

TEST_F(FirstStart, TabWalksTheFormInItsOrder)
{
    const int want[] = {ID_XBE, ID_XBE_BROWSE, ID_DEST, ID_DEST_BROWSE, ID_SHORTCUT, ID_GO};
    const int n = sizeof want / sizeof want[0];
    int ids[16];
    ASSERT_EQ(n, drv_tab_order(ids, 16));
    for (int i = 0; i < n; i++)
        EXPECT_EQ(want[i], ids[i]) << "stop " << i;
    // The keys go through Setup's own message loop, which must hand them to
    // the dialog navigation; once round and back to the start.
    ASSERT_TRUE(drv_focus(ID_XBE));
    for (int i = 1; i <= n; i++) {
        ASSERT_TRUE(drv_key(VK_TAB));
        int got = -1;
        wait_until([&] { return (got = drv_focused()) == want[i % n]; }, WAIT_MS);
        EXPECT_EQ(want[i % n], got) << "after " << i << " Tab";
    }
    // Tab in an edit field must not have typed anything.
    EXPECT_EQ(L"C:\\Games\\Emberveil", control_text(ID_DEST));
}

// Without a disc, "Install" and a player's "/go" (without "/test") ask for one
// in a single box; after it the form stays, and a close is a normal end.
TEST(NoDisc, AskedForOnceAndTheFormStays)
{
    const struct {
        const char *how;
        const wchar_t *args;
        bool press; // "Install" is pressed after the start
    } rows[] = {{"Install pressed", L"", true}, {"/go alone", L"/go", false}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.how);
        ASSERT_TRUE(start_setup(r.args));
        if (r.press) {
            ASSERT_TRUE(drv_click(ID_GO));
        }
        HWND box = NULL;
        EXPECT_EQ(L"Choose the default.xbe of your extracted Emberveil disc first.", box_text(&box));
        ASSERT_TRUE(box);
        EXPECT_EQ(L"Emberveil Setup", caption(box));
        EXPECT_EQ(drv_main(), GetWindow(box, GW_OWNER));
        ASSERT_TRUE(drv_msgbox_press(box, IDOK));
        EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
        ASSERT_TRUE(drv_main());
        EXPECT_EQ(L"Install", control_text(ID_GO));
        EXPECT_EQ(L"Not installed", status_text(0));
        EXPECT_TRUE(drv_visible(ID_XBE));
        EXPECT_EQ(0, close_setup());
    }
}

TEST_F(FirstStart, ClosingTheFormEndsWithZero)
{
    EXPECT_EQ(0, close_setup());
}

// Discs the check refuses: the note turns red and tells why, and "Install"
// repeats that text in its message box. A good disc after them is grey again.
TEST(RefusedDisc, RedNoteAndItsTextOnInstall)
{
    struct Row {
        const wchar_t *name;
        void (*spoil)(DiscPlan *);
        std::wstring note;
    } const rows[] = {
        {L"no-xbe", [](DiscPlan *s) { s->xbe_omit = 1; }, L"There is no default.xbe in this folder."},
        {L"other-game", [](DiscPlan *s) { s->title_id = 0x4D530004u; }, L"This default.xbe is not Z93: Emberveil."},
        {L"missing-file", [](DiscPlan *s) { disc_omit(s, 6); },
         L"Incomplete copy of the disc: corvane\\filesys.d05 is missing."},
        {L"no-video", [](DiscPlan *s) { s->video = DISC_VIDEO_NONE; },
         L"Incomplete copy of the disc: corvane\\25_fps (or 30_fps) is missing."},
    };
    for (const Row &r : rows) {
        DiscPlan plan;
        disc_default(&plan);
        r.spoil(&plan);
        ASSERT_TRUE(disc_make(scratch(r.name).c_str(), &plan)) << r.name;
    }
    ASSERT_TRUE(good_disc(scratch(L"good")));
    ASSERT_TRUE(start_setup(L""));
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        std::wstring xbe = scratch(r.name) + L"\\default.xbe";
        ASSERT_TRUE(drv_set_text_leave(ID_XBE, xbe.c_str()));
        EXPECT_EQ(r.note, control_text(ID_NOTE));
        Shot shot;
        ASSERT_TRUE(take_shot(artifact(L"window-refused-disc.bmp"), &shot));
        EXPECT_TRUE(painted(shot, lead(r.note).c_str(), NOTE_FONT, RED, 96));
        EXPECT_EQ(L"Required space: 1.6 GB", control_text(ID_SPACE));
        ASSERT_TRUE(drv_click(ID_GO));
        HWND box = NULL;
        EXPECT_EQ(r.note, box_text(&box));
        ASSERT_TRUE(drv_msgbox_press(box, IDOK));
        EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
        EXPECT_EQ(L"Install", control_text(ID_GO));
    }
    std::wstring good = scratch(L"good") + L"\\default.xbe";
    ASSERT_TRUE(drv_set_text_leave(ID_XBE, good.c_str()));
    const std::wstring ok_note = L"Z93: Emberveil, Europe (PAL), 0.0 GB";
    EXPECT_EQ(ok_note, control_text(ID_NOTE));
    Shot shot;
    ASSERT_TRUE(take_shot(artifact(L"window-good-disc.bmp"), &shot));
    EXPECT_TRUE(painted(shot, ok_note.c_str(), NOTE_FONT, GREY, 96));
    EXPECT_EQ(0, close_setup());
}

// With a good disc chosen, every refused install folder gets its own box in
// the order of the checks, and the form keeps what was typed.
TEST(FolderRefusal, EachProblemInItsOwnBox)
{
    const std::wstring full_path = L"Choose a full path, for example C:\\Games\\Emberveil.";
    const std::wstring drive = L"Choose a folder, not a whole drive.";
    const std::wstring admin = L"Windows only lets programs write here as an administrator, and the game writes "
                               L"its settings and logs beside itself. Choose another folder, for example "
                               L"C:\\Games\\Emberveil.";
    const std::wstring running = L"Emberveil is running. Close the game, then install.";
    const std::wstring in_disc = L"The install folder can't lie inside the folder of the game files. Choose "
                                 L"another folder, for example C:\\Games\\Emberveil.";
    struct Row {
        std::wstring folder;
        bool game_runs;
        std::wstring message;
    } const rows[] = {
        {L"", false, L"Choose a folder to install into."},
        {L"Games", false, full_path},
        {L"C:Games", false, full_path},
        {L"C:/Games", false, full_path},
        {L"C:\\", false, drive},
        {L"D:\\.", false, drive},
        // C:\Program Files is not empty: the known-folder refusal comes before the question.
        {L"C:\\Program Files", false, admin},
        {L"C:\\Program Files\\Emberveil", false, admin},
        {L"c:\\program files (x86)\\x", false, admin},
        {L"C:\\Windows\\Temp\\x", false, admin},
        {L"C:\\Games\\..\\Windows\\x", false, admin},
        {scratch(L"good\\install"), false, in_disc},
        // The running game is asked about after the folder's form and before
        // the not-empty question.
        {L"Games", true, full_path},
        {scratch(L"full"), true, running},
        {scratch(L"new"), true, running},
    };
    ASSERT_TRUE(good_disc(scratch(L"good")));
    ASSERT_TRUE(filled_folder(scratch(L"full")));
    ASSERT_TRUE(start_setup(L"/xbe " + scratch(L"good")));
    ASSERT_EQ(L"Z93: Emberveil, Europe (PAL), 0.0 GB", control_text(ID_NOTE));
    for (const Row &r : rows) {
        SCOPED_TRACE(r.folder + (r.game_runs ? L" (game running)" : L""));
        // The game's process, in capitals as Windows may report it.
        std::unique_ptr<RunningGame> game(r.game_runs ? new RunningGame(scratch(L"bin"), L"EMBERVEIL.EXE") : nullptr);
        if (game) {
            ASSERT_TRUE(game->running());
        }
        ASSERT_TRUE(drv_set_text(ID_DEST, r.folder.c_str()));
        ASSERT_TRUE(drv_click(ID_GO));
        HWND box = NULL;
        EXPECT_EQ(r.message, box_text(&box));
        EXPECT_EQ(L"Emberveil Setup", caption(box));
        EXPECT_FALSE(GetDlgItem(box, IDNO)) << "a refusal is no question";
        EXPECT_TRUE(drv_msgbox_press(box, IDOK));
        EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
        game.reset();
        EXPECT_EQ(r.folder, control_text(ID_DEST));
        EXPECT_EQ(L"Install", control_text(ID_GO));
        EXPECT_EQ(L"Not installed", status_text(0));
    }
    // Nothing was made for any of them.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch(L"new").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch(L"good\\install").c_str()));
    EXPECT_EQ(0, close_setup());
}

// The one question among the checks: No leaves the form as it was.
TEST(FolderRefusal, NotEmptyAnsweredNoStartsNothing)
{
    ASSERT_TRUE(good_disc(scratch(L"good")));
    ASSERT_TRUE(filled_folder(scratch(L"full")));
    ASSERT_TRUE(start_setup(L"/xbe " + scratch(L"good\\default.xbe") + L" /dir " + scratch(L"full")));
    ASSERT_TRUE(drv_click(ID_GO));
    HWND box = NULL;
    EXPECT_EQ(L"This folder is not empty. Install into it anyway?", box_text(&box));
    EXPECT_EQ(L"Emberveil Setup", caption(box));
    EXPECT_FALSE(GetDlgItem(box, IDOK)) << "the question has no OK";
    ASSERT_TRUE(drv_msgbox_press(box, IDNO));
    EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
    EXPECT_EQ(L"Install", control_text(ID_GO));
    EXPECT_EQ(L"Not installed", status_text(0));
    EXPECT_EQ(L"1.6 GB", status_text(1));
    EXPECT_TRUE(drv_visible(ID_DEST));
    EXPECT_FALSE(drv_bar_visible());
    EXPECT_FALSE(drv_visible(ID_STEP));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch(L"full\\logs").c_str()));
    EXPECT_EQ(0, close_setup());
}

// The box Setup shows after a press; when the install starts instead, Setup
// is ended at once (the disc of the space test is far larger than the drive,
// and its copy must never begin).
static HWND box_or_stop(void)
{
    HWND box = NULL;
    bool started = false;
    wait_until([&] { return (box = drv_msgbox(0)) != NULL || (started = status_text(0) == L"Installing ..."); },
               WAIT_MS);
    if (started)
        drv_kill();
    return box;
}

// A disc larger than the free space: the last check refuses, naming the drive
// and the room wanted, and no folder that needs no question gets one first.
TEST(FolderRefusal, TooLittleSpaceComesLast)
{
    // The disc holds a sparse file of 8 TiB (its size counts, its blocks are
    // never written): with the build's 1.6 GB (1600 MiB) and the disc's few
    // KiB, 8193.56 GiB are needed.
    const unsigned long long pad = 8ull << 40;
    const wchar_t *const size = L"8193.6 GB";
    ULARGE_INTEGER avail, total, all;
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &avail, &total, &all));
    ASSERT_LT(avail.QuadPart, pad) << "C: has room for the disc: the check would pass";
    const std::wstring disc = scratch(L"home\\game");
    ASSERT_TRUE(good_disc(disc));
    ASSERT_TRUE(set_length(join(disc, L"pad.bin"), pad));
    const std::wstring message =
        std::wstring(L"The drive C:\\ needs ") + size + L" free for the install. Free some space or choose another drive.";
    ASSERT_TRUE(make_dir(scratch(L"empty")));
    ASSERT_TRUE(put_file(scratch(L"again\\scripts\\build.ps1"), ""));
    ASSERT_TRUE(filled_folder(scratch(L"full")));

    ASSERT_TRUE(start_setup(L"/xbe " + disc));
    struct Row {
        std::wstring folder;
        bool asks;
    } const rows[] = {
        {scratch(L"new"), false},
        {scratch(L"empty"), false},
        {scratch(L"again"), false}, // an earlier install: no question
        {scratch(L"full"), true},   // Yes goes on to the space
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.folder);
        ASSERT_TRUE(drv_set_text(ID_DEST, r.folder.c_str()));
        EXPECT_EQ(std::wstring(L"Required space: ") + size, control_text(ID_SPACE));
        EXPECT_EQ(size, status_text(1));
        ASSERT_TRUE(drv_click(ID_GO));
        HWND box = box_or_stop();
        ASSERT_TRUE(box) << "no box: the install started";
        wchar_t t[512] = L"";
        if (r.asks) {
            drv_msgbox_text(box, t, 512);
            ASSERT_STREQ(L"This folder is not empty. Install into it anyway?", t);
            ASSERT_TRUE(drv_msgbox_press(box, IDYES));
            box = box_or_stop();
            ASSERT_TRUE(box) << "no box after Yes: the install started";
        }
        ASSERT_TRUE(drv_msgbox_text(box, t, 512));
        EXPECT_EQ(message, t);
        ASSERT_TRUE(drv_msgbox_press(box, IDOK));
        EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
        EXPECT_EQ(L"Install", control_text(ID_GO));
    }
    // The disc already in the folder's own "game" folder takes no new room.
    ASSERT_TRUE(drv_set_text(ID_DEST, scratch(L"home").c_str()));
    EXPECT_EQ(L"Required space: 1.6 GB", control_text(ID_SPACE));
    EXPECT_EQ(L"1.6 GB", status_text(1));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(scratch(L"new").c_str()));
    EXPECT_EQ(0, close_setup());
}
