// The disc check on synthetic discs: which item a copy lacks, which video
// folder counts, the region names and the summary, the paths a player may
// name, the header as it is read from the file, each pick replacing the one
// before, and whether a disc already is an install's own game folder.
#include "unit.h"
#include "disc.h"
#include "game/dest.h"
#include "game/disc.h"
#include <gtest/gtest.h>
// GoogleTest pulls in io.h, whose access-mode macro R_OK (4) would hide the result code.
#undef R_OK
#include <string>
#include <vector>

static const wchar_t *const k_no_xbe = L"There is no default.xbe in this folder.";
static const wchar_t *const k_not_game = L"This default.xbe is not Z93: Emberveil.";
static const wchar_t *const k_no_video = L"corvane\\25_fps (or 30_fps)";

static std::wstring incomplete(const wchar_t *item)
{
    return std::wstring(L"Incomplete copy of the disc: ") + item + L" is missing.";
}

static std::wstring summary(const wchar_t *region, const wchar_t *size)
{
    return std::wstring(L"Z93: Emberveil, ") + region + L", " + size;
}

static std::wstring in(const wchar_t *dir, const wchar_t *rel)
{
    return std::wstring(dir) + L"\\" + rel;
}

struct Checked {
    Game game;
    PickTexts texts;
};

// game_check into a record full of leftovers, so that a field it forgets to set shows.
static Checked check(const std::wstring &path)
{
    Checked c;
    memset(&c, 0x5A, sizeof c);
    game_check(path.c_str(), &c.game, &c.texts);
    return c;
}

// A fresh scratch folder (full path) holding a generated disc (null: the default one).
static void fresh_disc(const wchar_t *name, const DiscPlan *plan, wchar_t *dir)
{
    wchar_t made[MAX_PATH];
    test_dir(name, made);
    path_full(made, dir);
    ASSERT_TRUE(disc_make(dir, plan)) << utf8(dir);
}

static void expect_refused(const Checked &c, const wchar_t *dir, const std::wstring &note)
{
    EXPECT_EQ(note, c.texts.note);
    EXPECT_STREQ(dir, c.game.dir);
    EXPECT_EQ(0, c.game.ok);
    EXPECT_EQ(0u, c.game.region);
    EXPECT_EQ(0ull, c.game.bytes);
}

// What a complete disc carries, in the order the check looks for it, as the
// documents list it: Driving.xbe, "corvane\filesys.d00" to ".d10", four files
// of driving\, then a .mus, a .viv and an en.spe for each mission. (Written
// here, not taken from the product's table or the generator's.)
static std::vector<std::wstring> documented_files(void)
{
    std::vector<std::wstring> v = {L"Driving.xbe"};
    for (int i = 0; i <= 10; i++)
        v.push_back(L"corvane\\filesys.d" + std::wstring(i < 10 ? L"0" : L"") + std::to_wstring(i));
    for (const wchar_t *f : {L"halden.dat", L"debug.xfn", L"misc.viv", L"race.viv"})
        v.push_back(std::wstring(L"driving\\") + f);
    for (const wchar_t *m : {L"mis01", L"mis11", L"mis13a", L"mis13b", L"mis13c", L"mis3", L"mis4"})
        for (const wchar_t *ext : {L".mus", L".viv", L"en.spe"})
            v.push_back(std::wstring(L"driving\\") + m + ext);
    return v;
}

// Moves file n of the list out of the disc (back = 0) or back in (back = 1).
static int set_aside(const wchar_t *dir, const wchar_t *aside, const std::vector<std::wstring> &files, int n, int back)
{
    std::wstring there = in(dir, files[n].c_str()), away = in(aside, std::to_wstring(n).c_str());
    return back ? MoveFileW(away.c_str(), there.c_str()) : MoveFileW(there.c_str(), away.c_str());
}

TEST(DiscCheck, EachMissingItemIsNamedInTableOrder)
{
    test_init();
    const std::vector<std::wstring> files = documented_files();
    ASSERT_EQ(37u, files.size());
    struct Omit {
        int a, b;   // files left out (-1: none)
        int named;  // the file the note names
    };
    std::vector<Omit> rows;
    for (int i = 0; i < (int)files.size(); i++)
        rows.push_back({i, -1, i});
    // Neighbours pin the whole order: any two entries out of order would be named the other way.
    for (int i = 0; i + 1 < (int)files.size(); i++)
        rows.push_back({i + 1, i, i});

    wchar_t dir[MAX_PATH], made[MAX_PATH], aside[MAX_PATH];
    ASSERT_NO_FATAL_FAILURE(fresh_disc(L"omit", NULL, dir));
    EXPECT_EQ(NULL, disc_missing(dir)) << utf8(disc_missing(dir));
    test_dir(L"omit-aside", made);
    path_full(made, aside);
    for (const Omit &r : rows) {
        SCOPED_TRACE(testing::Message() << "without " << utf8(files[r.a]) << (r.b < 0 ? "" : " and ")
                                        << (r.b < 0 ? "" : utf8(files[r.b])));
        ASSERT_TRUE(set_aside(dir, aside, files, r.a, 0));
        if (r.b >= 0) {
            ASSERT_TRUE(set_aside(dir, aside, files, r.b, 0));
        }
        const wchar_t *item = disc_missing(dir);
        Checked c = check(dir);
        ASSERT_TRUE(set_aside(dir, aside, files, r.a, 1));
        if (r.b >= 0) {
            ASSERT_TRUE(set_aside(dir, aside, files, r.b, 1));
        }
        ASSERT_TRUE(item != NULL);
        EXPECT_EQ(files[r.named], item);
        expect_refused(c, dir, incomplete(files[r.named].c_str()));
    }
}

TEST(DiscCheck, VideoFolderAndWhatCountsAsPresent)
{
    test_init();
    enum { AS_IS, FILE_25, FOLDER_D05 };
    struct Row {
        const char *what;
        int video;
        int video_files;
        int omit;   // a table entry left out, -1: none
        int extra;  // what is made by hand afterwards
        const wchar_t *missing; // null: complete
    } rows[] = {
        {"25_fps alone", DISC_VIDEO_25, 1, -1, AS_IS, NULL},
        {"30_fps alone", DISC_VIDEO_30, 1, -1, AS_IS, NULL},
        {"both video folders", DISC_VIDEO_BOTH, 1, -1, AS_IS, NULL},
        {"an empty 25_fps folder", DISC_VIDEO_25, 0, -1, AS_IS, NULL},
        {"neither video folder", DISC_VIDEO_NONE, 1, -1, AS_IS, k_no_video},
        {"a file named 25_fps", DISC_VIDEO_25_FILE, 1, -1, AS_IS, k_no_video},
        {"a file named 25_fps beside a 30_fps folder", DISC_VIDEO_30, 1, -1, FILE_25, NULL},
        {"a folder named like a table file", DISC_VIDEO_25, 1, 6, FOLDER_D05, NULL},
        {"a table file missing and no video folder", DISC_VIDEO_NONE, 1, 6, AS_IS, L"corvane\\filesys.d05"},
    };
    wchar_t dir[MAX_PATH];
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        DiscPlan plan;
        disc_default(&plan);
        plan.video = r.video;
        plan.video_files = r.video_files;
        disc_omit(&plan, r.omit);
        ASSERT_NO_FATAL_FAILURE(fresh_disc(L"video", &plan, dir));
        if (r.extra == FILE_25) {
            ASSERT_TRUE(put_file(in(dir, L"corvane\\25_fps").c_str(), "not a folder"));
        }
        if (r.extra == FOLDER_D05) {
            ASSERT_TRUE(make_dir(in(dir, L"corvane\\filesys.d05").c_str()));
        }
        const wchar_t *got = disc_missing(dir);
        Checked c = check(dir);
        if (r.missing) {
            EXPECT_STREQ(r.missing, got);
            expect_refused(c, dir, incomplete(r.missing));
        } else {
            EXPECT_EQ(NULL, got) << utf8(got);
            EXPECT_EQ(1, c.game.ok) << utf8(c.texts.note);
        }
    }
}

TEST(DiscCheck, RegionNamesInTheSummary)
{
    test_init();
    struct Row {
        DWORD region;
        const wchar_t *name;
    } rows[] = {
        {1, L"USA (NTSC)"},
        {4, L"Europe (PAL)"},
        {5, L"Europe (PAL)"},
        {2, L"other region"},
        {0x80000001u, L"other region"},
    };
    wchar_t dir[MAX_PATH];
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "region " << std::hex << r.region);
        EXPECT_STREQ(r.name, region_name(r.region));
        DiscPlan plan;
        disc_default(&plan);
        plan.region = r.region;
        ASSERT_NO_FATAL_FAILURE(fresh_disc(L"region", &plan, dir));
        Checked c = check(dir);
        EXPECT_EQ(1, c.game.ok) << utf8(c.texts.note);
        EXPECT_EQ(r.region, c.game.region);
        EXPECT_EQ(disc_total(&plan), c.game.bytes);
        EXPECT_EQ(summary(r.name, L"0.0 GB"), c.texts.note);
        EXPECT_STREQ(dir, c.game.dir);
    }
}

// Sizes past 32 bits, deep folders, hidden and system files: every byte counts.
TEST(DiscCheck, SizeCountsEveryFile)
{
    test_init();
    wchar_t dir[MAX_PATH];
    ASSERT_NO_FATAL_FAILURE(fresh_disc(L"size", NULL, dir));
    const unsigned long long big = (5ull << 30) + 12345;
    ASSERT_TRUE(set_length(in(dir, L"extra\\big.bin"), big));
    WIN32_FILE_ATTRIBUTE_DATA d;
    ASSERT_TRUE(GetFileAttributesExW(in(dir, L"extra\\big.bin").c_str(), GetFileExInfoStandard, &d));
    ASSERT_EQ(1u, d.nFileSizeHigh) << "the big file didn't get its size";
    std::wstring hidden = in(dir, L"extra\\a\\b\\c\\hidden.bin");
    ASSERT_TRUE(put_file(hidden, "0123456789"));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    const unsigned long long want = disc_total(NULL) + big + 10;

    EXPECT_EQ(want, dir_bytes(dir));
    Checked c = check(dir);
    EXPECT_EQ(1, c.game.ok) << utf8(c.texts.note);
    EXPECT_EQ(want, c.game.bytes);
    EXPECT_EQ(summary(L"Europe (PAL)", L"5.0 GB"), c.texts.note);
    EXPECT_EQ(0ull, dir_bytes(in(dir, L"nowhere").c_str()));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(DiscCheck, WhatThePlayerNamed)
{
    test_init();
    wchar_t made[MAX_PATH], root[MAX_PATH];
    test_dir(L"named", made);
    path_full(made, root);
    std::wstring disc = in(root, L"disc");
    ASSERT_TRUE(disc_make(disc.c_str(), NULL));
    ASSERT_TRUE(put_file(in(root, L"bare\\notes.txt").c_str(), "no disc here"));
    struct Row {
        const wchar_t *given; // relative to the scratch folder
        const wchar_t *field; // what the game field shows
        const wchar_t *dir;   // the folder checked
        int ok;
    } rows[] = {
        {L"disc", L"disc\\default.xbe", L"disc", 1},
        {L"disc\\", L"disc\\default.xbe", L"disc", 1},
        {L"disc\\default.xbe", L"disc\\default.xbe", L"disc", 1},
        {L"disc\\Driving.xbe", L"disc\\Driving.xbe", L"disc", 1},
        {L"disc\\nothing", L"disc\\nothing", L"disc", 1},
        {L"disc/./Driving.xbe", L"disc\\Driving.xbe", L"disc", 1},
        {L"disc\\corvane\\..\\Driving.xbe", L"disc\\Driving.xbe", L"disc", 1},
        {L"disc\\corvane\\filesys.d00", L"disc\\corvane\\filesys.d00", L"disc\\corvane", 0},
        {L"disc\\corvane", L"disc\\corvane\\default.xbe", L"disc\\corvane", 0},
        {L"bare", L"bare\\default.xbe", L"bare", 0},
        {L"bare\\notes.txt", L"bare\\notes.txt", L"bare", 0},
        {L"gone\\default.xbe", L"gone\\default.xbe", L"gone", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(utf8(r.given));
        Checked c = check(in(root, r.given));
        EXPECT_EQ(in(root, r.field), c.texts.field);
        std::wstring dir = in(root, r.dir);
        if (r.ok) {
            EXPECT_STREQ(dir.c_str(), c.game.dir);
            EXPECT_EQ(1, c.game.ok) << utf8(c.texts.note);
            EXPECT_EQ(4u, c.game.region);
            EXPECT_EQ(disc_total(NULL), c.game.bytes);
            EXPECT_EQ(summary(L"Europe (PAL)", L"0.0 GB"), c.texts.note);
        } else {
            expect_refused(c, dir.c_str(), k_no_xbe);
        }
    }
}

// What only reading the file can get wrong: the count of bytes actually read,
// the 4096-byte limit on a longer file, a file that can't be opened, and the
// title ID comparison after a good parse. (xbe_test covers the parse itself.)
TEST(DiscCheck, HeaderAsReadFromTheFile)
{
    test_init();
    enum { AS_IS, XBE_FOLDER, HELD_OPEN };
    struct Row {
        const char *what;
        uint32_t bytes;    // length of default.xbe
        uint32_t cert_off; // certificate address minus base address
        uint32_t title;
        int how;
        int ok;
    } rows[] = {
        {"a good header", DISC_XBE_BYTES, DISC_CERT_OFF, DISC_TITLE_ID, AS_IS, 1},
        {"another game's title ID", DISC_XBE_BYTES, DISC_CERT_OFF, 0x4D530004u, AS_IS, 0},
        {"a title ID one off", DISC_XBE_BYTES, DISC_CERT_OFF, DISC_TITLE_ID + 1, AS_IS, 0},
        {"a file of 287 bytes", 287, 0, DISC_TITLE_ID, AS_IS, 0},
        {"a file of 288 bytes", 288, 0, DISC_TITLE_ID, AS_IS, 1},
        {"an empty file", 0, 0, DISC_TITLE_ID, AS_IS, 0},
        {"a certificate ending at byte 4096 of a longer file", 8192, 0x1000 - 0xA4, DISC_TITLE_ID, AS_IS, 1},
        {"a certificate past byte 4096 of a longer file", 8192, 0x1000 - 0xA4 + 4, DISC_TITLE_ID, AS_IS, 0},
        {"a certificate past the end of a short file", 1024, 1024 - 0xA4 + 1, DISC_TITLE_ID, AS_IS, 0},
        {"a folder named default.xbe", DISC_XBE_BYTES, DISC_CERT_OFF, DISC_TITLE_ID, XBE_FOLDER, 0},
        {"a default.xbe held open without sharing", DISC_XBE_BYTES, DISC_CERT_OFF, DISC_TITLE_ID, HELD_OPEN, 0},
    };
    wchar_t dir[MAX_PATH];
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        DiscPlan plan;
        disc_default(&plan);
        plan.region = 0x80000004u;
        plan.xbe_bytes = r.bytes;
        plan.cert = plan.base + r.cert_off;
        plan.title_id = r.title;
        plan.xbe_omit = r.how == XBE_FOLDER;
        ASSERT_NO_FATAL_FAILURE(fresh_disc(L"header", &plan, dir));
        std::wstring xbe = in(dir, L"default.xbe");
        if (r.how == XBE_FOLDER) {
            ASSERT_TRUE(make_dir(xbe.c_str()));
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        if (r.how == HELD_OPEN) {
            held = CreateFileW(xbe.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        DWORD title = 0xDEADBEEFu, region = 0xFEEDFACEu;
        int read = xbe_read(xbe.c_str(), &title, &region);
        Checked c = check(dir);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);

        int parsed = r.ok || r.title != DISC_TITLE_ID;
        EXPECT_EQ(parsed, read);
        EXPECT_EQ(parsed ? r.title : 0xDEADBEEFu, title);
        EXPECT_EQ(parsed ? 0x80000004u : 0xFEEDFACEu, region);
        if (r.ok) {
            EXPECT_EQ(1, c.game.ok);
            EXPECT_EQ(0x80000004u, c.game.region);
            EXPECT_EQ(summary(L"Europe (PAL)", L"0.0 GB"), c.texts.note);
        } else {
            expect_refused(c, dir, k_not_game);
        }
    }
}

// game_pick into s_game: a refused pick forgets the accepted one before it
// wholly, and the required space drops back to the build's own share.
TEST(DiscCheck, EachPickReplacesTheLast)
{
    test_init();
    wchar_t made[MAX_PATH], root[MAX_PATH];
    test_dir(L"picks", made);
    path_full(made, root);
    DiscPlan eu, us, other, gap;
    disc_default(&eu);
    disc_default(&us);
    us.region = 1;
    us.extra_files = 3;
    disc_default(&other);
    other.title_id = 0x4D530004u;
    other.region = 1;
    disc_default(&gap);
    disc_omit(&gap, 5);
    ASSERT_TRUE(disc_make(in(root, L"eu").c_str(), &eu));
    ASSERT_TRUE(disc_make(in(root, L"us").c_str(), &us));
    ASSERT_TRUE(disc_make(in(root, L"other").c_str(), &other));
    ASSERT_TRUE(disc_make(in(root, L"gap").c_str(), &gap));
    ASSERT_NE(disc_total(&eu), disc_total(&us));
    struct Row {
        const wchar_t *given;
        const wchar_t *dir;
        int ok;
        DWORD region;
        unsigned long long bytes;
    } rows[] = {
        {L"eu\\default.xbe", L"eu", 1, 4, disc_total(&eu)},
        {L"other\\default.xbe", L"other", 0, 0, 0},
        {L"us", L"us", 1, 1, disc_total(&us)},
        {L"gap\\Driving.xbe", L"gap", 0, 0, 0},
        {L"eu", L"eu", 1, 4, disc_total(&eu)},
        {L"nowhere\\default.xbe", L"nowhere", 0, 0, 0},
        {L"us\\nothing", L"us", 1, 1, disc_total(&us)},
    };
    const wchar_t *dest = L"C:\\Games\\Emberveil";
    for (const Row &r : rows) {
        SCOPED_TRACE(utf8(r.given));
        game_pick(in(root, r.given).c_str());
        EXPECT_EQ(in(root, r.dir), s_game.dir);
        EXPECT_EQ(r.ok, s_game.ok);
        EXPECT_EQ(r.region, s_game.region);
        EXPECT_EQ(r.bytes, s_game.bytes);
        EXPECT_EQ(BUILD_BYTES + r.bytes, space_needed(dest));
    }
    ZeroMemory(&s_game, sizeof s_game);
}

TEST(GameInPlace, TypedFolderTable)
{
    std::wstring d254 = L"C:\\" + std::wstring(251, L'a'), d255 = L"C:\\" + std::wstring(252, L'a');
    ASSERT_EQ(254u, d254.size());
    struct Row {
        std::wstring dest, game;
        int in_place;
    } rows[] = {
        {L"c:\\games\\emberveil\\", L"C:\\Games\\Emberveil\\game", 1},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil\\game2", 0},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil", 0},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil\\game\\", 1},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil\\sub\\..\\GAME", 1},
        {L"C:\\Games\\x\\..\\Emberveil\\.", L"C:\\Games\\Emberveil\\game", 1},
        {L"C:\\Games\\Emberveil", L"C:\\Games\\Emberveil\\game\\sub", 0},
        {L"C:\\Games\\Emberveil", L"D:\\Games\\Emberveil\\game", 0},
        {L"C:\\Games\\Emberveil", L"", 0},
        // Only the ASCII letters fold: A-umlaut and a-umlaut stay apart.
        {L"C:\\Games\\\u00C4", L"C:\\Games\\\u00E4\\game", 0},
        {L"C:\\Games\\\u00C4", L"C:\\Games\\\u00C4\\GAME", 1},
        // 254 characters and "\game" still fit in MAX_PATH; 255 can't, and a
        // cut-off "\gam" must not pass for the game folder.
        {d254, d254 + L"\\game", 1},
        {d255, d255 + L"\\gam", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(utf8(r.dest.c_str()) + " | " + utf8(r.game.c_str()));
        ZeroMemory(&s_game, sizeof s_game);
        copy_cut(s_game.dir, MAX_PATH, r.game.c_str());
        s_game.ok = 0; // not looked at
        EXPECT_EQ(r.in_place, game_in_place(r.dest.c_str()));
    }
    ZeroMemory(&s_game, sizeof s_game);
}
