// The disc check and the copy step on disc images of synthetic discs: the
// verdicts and texts of a disc folder, in both layouts; damaged and foreign
// images refused; a pick that reads the descriptor, the tables and the
// header and nothing more; a second copy that reads no file data.
#include "unit.h"
#include "disc.h"
#include "discimage.h"
#include "engine/log.h"
#include "game/copy.h"
#include "game/disc.h"
#include <gtest/gtest.h>
#undef R_OK
#include <functional>
#include <string>

extern "C" void *__imp_ReadFile;

typedef BOOL(WINAPI *ReadFn)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
static ReadFn s_real_read;
static unsigned long long s_bytes_read;

static BOOL WINAPI counted_read(HANDLE h, LPVOID buf, DWORD n, LPDWORD got, LPOVERLAPPED ov)
{
    BOOL ok = s_real_read(h, buf, n, got, ov);
    if (ok && got)
        s_bytes_read += *got;
    return ok;
}

// The bytes the product read while f ran.
static unsigned long long bytes_read_by(const std::function<void()> &f)
{
    s_bytes_read = 0;
    SlotSwap read(&__imp_ReadFile, (void *)counted_read);
    s_real_read = (ReadFn)read.was();
    f();
    return s_bytes_read;
}

// A generated disc and its image in a fresh folder name; plan null: the default.
static std::wstring made_image(const wchar_t *name, const DiscPlan *plan, bool whole, std::wstring *disc = NULL)
{
    wchar_t dir[MAX_PATH], full[MAX_PATH];
    test_dir(name, dir);
    path_full(dir, full);
    std::wstring d = std::wstring(full) + L"\\disc", image = std::wstring(full) + L"\\disc.iso";
    EXPECT_TRUE(disc_make(d.c_str(), plan));
    EXPECT_TRUE(image_make(d.c_str(), image.c_str(), whole));
    if (disc)
        *disc = d;
    return image;
}

static std::wstring note_missing(const wchar_t *item)
{
    return std::wstring(L"Incomplete copy of the disc: ") + item + L" is missing.";
}

TEST(ImageCheck, ImagesAreCheckedAsFoldersAre)
{
    test_init();
    const struct Row {
        const char *what;
        std::function<void(DiscPlan *)> plan;
        bool whole;
        std::wstring note;
    } rows[] = {
        {"a game partition", [](DiscPlan *p) { disc_fill(p, 6 << 20); }, false, L"Z93: Emberveil, Europe (PAL), 0.0 GB"},
        {"a whole disc", [](DiscPlan *p) { p->region = 1; }, true, L"Z93: Emberveil, USA (NTSC), 0.0 GB"},
        {"a file missing", [](DiscPlan *p) { disc_omit(p, 5); }, false, note_missing(k_gen_files[5])},
        {"a file for the video folder", [](DiscPlan *p) { p->video = DISC_VIDEO_25_FILE; }, false,
         note_missing(L"corvane\\25_fps (or 30_fps)")},
        {"another game", [](DiscPlan *p) { p->title_id = 0x4D530004; }, true, L"This default.xbe is not Z93: Emberveil."},
        {"no default.xbe", [](DiscPlan *p) { p->xbe_omit = 1; }, false, L"There is no default.xbe in this folder."},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        DiscPlan plan;
        disc_default(&plan);
        r.plan(&plan);
        std::wstring image = made_image(L"pick", &plan, r.whole);
        Game g;
        PickTexts texts;
        unsigned long long read = bytes_read_by([&] { game_check(image.c_str(), &g, &texts); });
        EXPECT_EQ(r.note, texts.note);
        EXPECT_EQ(image, texts.field);
        EXPECT_EQ(image, g.dir);
        EXPECT_EQ(1, g.image);
        EXPECT_EQ(r.whole ? IMAGE_WHOLE_PART : 0, g.part);
        EXPECT_EQ(r.note[0] == L'Z' ? disc_total(&plan) : 0, g.bytes);
        // Two places for the descriptor, four tables of a sector and the header: no file data.
        EXPECT_LE(read, 2048u * 6 + 4096) << "bytes read for a pick";
    }
}

TEST(ImageCheck, DamagedAndForeignImagesAreRefused)
{
    test_init();
    std::wstring disc, image = made_image(L"bad", NULL, false, &disc);
    std::wstring cut = image + L".cut", foreign = image + L".foreign", xbe = disc + L"\\Driving.xbe";
    std::string bytes = read_file(image);
    ASSERT_TRUE(put_file(cut, bytes.substr(0, 0x84000 + 2048 + 100))); // into the first file
    bytes.replace(0x10000, 20, 20, 'x');
    ASSERT_TRUE(put_file(foreign, bytes));
    const struct {
        std::wstring path, dir, note;
        int image;
    } rows[] = {
        {cut, cut, L"This disc image is damaged. Make it again from your disc.", 1},
        {foreign, foreign, L"This image is not an Xbox disc. Choose your Emberveil image.", 1},
        {xbe, disc, L"Z93: Emberveil, Europe (PAL), 0.0 GB", 0}, // a disc's own file: the folder rule
    };
    for (const auto &r : rows) {
        Game g;
        PickTexts texts;
        game_check(r.path.c_str(), &g, &texts);
        EXPECT_EQ(r.note, texts.note);
        EXPECT_EQ(r.dir, g.dir);
        EXPECT_EQ(r.image, g.image);
        EXPECT_EQ(r.image ? 0 : 1, g.ok);
    }
}

TEST(ImageCopy, ASecondCopyReadsNoFileDataAndAFolderInTheWayFails)
{
    test_init();
    std::wstring disc, image = made_image(L"copy", NULL, true, &disc);
    std::wstring inst = disc.substr(0, disc.size() - 5) + L"\\Emberveil", target = inst + L"\\game";
    ASSERT_EQ(L"", copy_start(image, inst));
    ASSERT_EQ(R_OK, stage_copy());
    EXPECT_EQ("", tree_diff(disc.c_str(), target.c_str()));
    EXPECT_EQ(s_game.bytes, s_copy_done);

    unsigned long long read = bytes_read_by([] { EXPECT_EQ(R_OK, stage_copy()); });
    EXPECT_LE(read, 2048u * 6) << "a skip pass reads the descriptor and the tables only";

    std::wstring d00 = target + L"\\corvane\\filesys.d00";
    ASSERT_TRUE(DeleteFileW(d00.c_str()));
    ASSERT_TRUE(make_dir(d00.c_str()));
    log_open(s_dir);
    EXPECT_EQ(R_FAIL, stage_copy());
    log_close();
    EXPECT_STREQ(L"The game files couldn't be copied.", s_fail_msg);
    EXPECT_EQ(1, count_of(log_text(s_dir), "copy " + utf8(image.c_str()) + "\\corvane\\filesys.d00 failed ("));
}
