// The copy step on synthetic discs: when a second copy copies a file again,
// the prune after a disc switch, the targets that fail the step or change its
// shape, a cancel between files, a disc that already is the install's own
// copy, and the progress routine called directly on a clock turned by hand
// (Wine's CopyFileExW never calls it).
//
// The product is linked into this program, so its platform calls go through
// the program's own import slots: CopyFileExW's slot holds a wrapper that
// counts the files copied and lets a "UI thread" cancel land exactly between
// two files. Under Wine as root a read-only target is writable anyway (see the
// platform notes), so the read-only rows check that the copy leaves the
// target with the source's attributes: without the clearing, Wine's copy
// keeps the target's read-only and hidden bits (measured: 0x21 and 0x26).
#include "unit.h"
#include "disc.h"
#include "engine/log.h"
#include "game/copy.h"
#include "game/disc.h"
#include <gtest/gtest.h>
// GoogleTest pulls in io.h, whose access-mode macro R_OK (4) would hide the result code.
#undef R_OK
#include <string>

extern "C" void *__imp_CopyFileExW;

static const wchar_t *const k_msg = L"The game files couldn't be copied.";
static const wchar_t *const k_adv = L"Check that the drive has enough free space, then try again.";

typedef BOOL(WINAPI *CopyFn)(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD);
static CopyFn s_copy;
static int s_copies;       // files CopyFileExW copied while counting
static int s_cancel_after; // after this many copies the cancel is set (0: never)

static BOOL WINAPI counted_copy(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE routine, LPVOID data, LPBOOL cancel,
                                DWORD flags)
{
    BOOL ok = s_copy(from, to, routine, data, cancel, flags);
    // As cancel_install does it from the UI thread, once this file is whole.
    if (++s_copies == s_cancel_after) {
        InterlockedExchange(&s_cancel, 1);
        s_cancel_copy = TRUE;
    }
    return ok;
}

// A scratch folder holding a disc folder and an install folder, s_dir set to the latter.
struct Place {
    wchar_t root[MAX_PATH], disc[MAX_PATH], inst[MAX_PATH], target[MAX_PATH];
};

static void place(const wchar_t *name, Place *p)
{
    wchar_t made[MAX_PATH];
    test_dir(name, made);
    path_full(made, p->root);
    swprintf(p->disc, MAX_PATH, L"%ls\\disc", p->root);
    swprintf(p->inst, MAX_PATH, L"%ls\\Emberveil", p->root);
    swprintf(p->target, MAX_PATH, L"%ls\\game", p->inst);
    ASSERT_TRUE(make_dir(p->inst));
    copy_cut(s_dir, MAX_PATH, p->inst);
}

static std::wstring in(const wchar_t *dir, const wchar_t *rel)
{
    return std::wstring(dir) + L"\\" + rel;
}

// The disc at dir becomes the game selection, as an accepted pick leaves it.
static void pick(const wchar_t *dir)
{
    PickTexts texts;
    game_check(dir, &s_game, &texts);
    ASSERT_EQ(1, s_game.ok) << utf8(texts.note);
}

struct CopyRun {
    int result;
    int copies;
    std::string log;
};

// stage_copy with a fresh log and no cancel pending, its copies counted.
static CopyRun run_copy(int cancel_after = 0)
{
    test_init();
    CopyRun r;
    s_cancel = 0;
    s_cancel_copy = FALSE;
    s_fail_msg[0] = 0;
    s_fail_adv[0] = 0;
    s_copies = 0;
    s_cancel_after = cancel_after;
    log_open(s_dir);
    {
        SlotSwap counting(&__imp_CopyFileExW, (void *)counted_copy);
        s_copy = (CopyFn)counting.was();
        r.result = stage_copy();
    }
    log_close();
    r.copies = s_copies;
    r.log = log_text(s_dir);
    s_cancel = 0;
    s_cancel_copy = FALSE;
    return r;
}

// How often the log holds exactly this line (after its time stamp).
static int lines(const std::string &log, const std::wstring &text)
{
    return count_of(log, "] " + utf8(text.c_str()) + "\r\n");
}

static std::wstring removed(const std::wstring &path)
{
    return L"removed " + path + L" (not on the disc)";
}

static DWORD attrs_of(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str());
}

static FILETIME shifted(FILETIME t, long long by)
{
    ULARGE_INTEGER u;
    u.LowPart = t.dwLowDateTime;
    u.HighPart = t.dwHighDateTime;
    u.QuadPart += (ULONGLONG)by;
    FILETIME o;
    o.dwLowDateTime = u.LowPart;
    o.dwHighDateTime = u.HighPart;
    return o;
}

static int same_time(const std::wstring &a, const std::wstring &b)
{
    FILETIME x = mtime_of(a.c_str()), y = mtime_of(b.c_str());
    return CompareFileTime(&x, &y) == 0;
}

// The same length with every byte turned over.
static std::string flipped(const std::string &s)
{
    std::string o = s;
    for (char &c : o)
        c = (char)~c;
    return o;
}

TEST(CopyStep, SecondCopyOfTheSameDisc)
{
    enum Change { NONE, BYTES, LONGER, HIGH_HALF, LATER, EARLIER, READ_ONLY, HIDDEN, GONE };
    struct Row {
        const char *what;
        Change change;
        int copies;
    } rows[] = {
        {"an untouched copy", NONE, 0},
        {"other bytes, same size and time", BYTES, 0},
        {"one byte longer, same time", LONGER, 1},
        {"4 GiB longer (the high half of the size), same time", HIGH_HALF, 1},
        {"other bytes, written a second later", LATER, 1},
        {"other bytes, written 100 ns earlier", EARLIER, 1},
        {"a read-only target with other bytes and time", READ_ONLY, 1},
        {"a read-only hidden system target with other bytes and time", HIDDEN, 1},
        {"the target file deleted", GONE, 1},
    };
    const DWORD odd = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    Place p;
    ASSERT_NO_FATAL_FAILURE(place(L"again", &p));
    ASSERT_TRUE(disc_make(p.disc, NULL));
    ASSERT_NO_FATAL_FAILURE(pick(p.disc));
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_TRUE(tree_remove(p.target));
        ASSERT_EQ(R_OK, run_copy().result);
        ASSERT_EQ("", tree_diff(p.disc, p.target));

        std::wstring src = in(p.disc, L"driving\\misc.viv"), dst = in(p.target, L"driving\\misc.viv");
        std::string bytes = read_file(src.c_str());
        FILETIME t = mtime_of(src.c_str());
        switch (r.change) {
        case NONE:
            break;
        case BYTES:
            ASSERT_TRUE(put_file(dst, flipped(bytes)));
            ASSERT_TRUE(set_mtime(dst.c_str(), t));
            break;
        case LONGER:
            ASSERT_TRUE(put_file(dst, bytes + "x"));
            ASSERT_TRUE(set_mtime(dst.c_str(), t));
            break;
        case HIGH_HALF:
            ASSERT_TRUE(set_length(dst, bytes.size() + (1ull << 32)));
            ASSERT_TRUE(set_mtime(dst.c_str(), t));
            break;
        case LATER:
        case READ_ONLY:
        case HIDDEN:
            ASSERT_TRUE(put_file(dst, flipped(bytes)));
            ASSERT_TRUE(set_mtime(dst.c_str(), shifted(t, 10000000)));
            if (r.change == READ_ONLY) {
                ASSERT_TRUE(SetFileAttributesW(dst.c_str(), FILE_ATTRIBUTE_READONLY));
            }
            if (r.change == HIDDEN) {
                ASSERT_TRUE(SetFileAttributesW(dst.c_str(), odd));
            }
            break;
        case EARLIER:
            ASSERT_TRUE(put_file(dst, flipped(bytes)));
            ASSERT_TRUE(set_mtime(dst.c_str(), shifted(t, -1)));
            ASSERT_FALSE(same_time(src, dst)) << "the file system doesn't keep 100 ns";
            break;
        case GONE:
            ASSERT_TRUE(DeleteFileW(dst.c_str()));
            break;
        }
        if (r.change == READ_ONLY || r.change == HIDDEN) {
            ASSERT_NE(0u, attrs_of(dst) & FILE_ATTRIBUTE_READONLY);
        }

        CopyRun run = run_copy();
        EXPECT_EQ(R_OK, run.result);
        EXPECT_EQ(r.copies, run.copies);
        EXPECT_EQ(s_game.bytes, s_copy_total);
        EXPECT_EQ(s_copy_total, s_copy_done) << "skipped files count as done";
        EXPECT_EQ(0, count_of(run.log, "failed ("));
        EXPECT_EQ(0, count_of(run.log, "] removed "));
        if (r.change == BYTES) {
            EXPECT_EQ(flipped(bytes), read_file(dst.c_str())) << "an unchanged file was copied";
        } else {
            EXPECT_EQ("", tree_diff(p.disc, p.target));
            EXPECT_TRUE(same_time(src, dst));
            EXPECT_EQ(attrs_of(src), attrs_of(dst));
            EXPECT_EQ(0u, attrs_of(dst) & odd);
        }
    }
}

TEST(CopyStep, DiscSwitchRemovesWhatTheNewDiscLacks)
{
    struct Row {
        DWORD from, to;
        const wchar_t *video; // the earlier disc's video folder
    } rows[] = {
        {4, 1, L"corvane\\25_fps"},
        {1, 4, L"corvane\\30_fps"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "region " << r.from << " then " << r.to);
        Place p;
        ASSERT_NO_FATAL_FAILURE(place(L"switch", &p));
        std::wstring first = in(p.root, L"first"), second = in(p.root, L"second");
        DiscPlan a, b;
        disc_default(&a);
        a.region = r.from;
        a.video_files = 3;
        a.extra_files = 4;
        disc_default(&b);
        b.region = r.to;
        b.video_files = 2;
        ASSERT_TRUE(disc_make(first.c_str(), &a));
        ASSERT_TRUE(disc_make(second.c_str(), &b));
        ASSERT_TRUE(put_file(in(first.c_str(), L"notes.txt").c_str(), "only on the first disc"));
        ASSERT_TRUE(put_file(in(first.c_str(), L"corvane\\only.bin").c_str(), "only on the first disc"));

        ASSERT_NO_FATAL_FAILURE(pick(first.c_str()));
        ASSERT_EQ(R_OK, run_copy().result);
        ASSERT_EQ("", tree_diff(first.c_str(), p.target));
        ASSERT_NO_FATAL_FAILURE(pick(second.c_str()));
        CopyRun run = run_copy();
        EXPECT_EQ(R_OK, run.result);
        EXPECT_EQ("", tree_diff(second.c_str(), p.target));

        wchar_t copy_line[3 * MAX_PATH];
        swprintf(copy_line, 3 * MAX_PATH, L"copy %ls -> %ls (%llu bytes)", second.c_str(), p.target,
                 (unsigned long long)disc_total(&b));
        EXPECT_EQ(1, lines(run.log, copy_line)) << run.log;
        // One line for each removed folder and file, none for what a removed folder held.
        EXPECT_EQ(1, lines(run.log, removed(in(p.target, r.video)))) << run.log;
        EXPECT_EQ(1, lines(run.log, removed(in(p.target, L"extra")))) << run.log;
        EXPECT_EQ(1, lines(run.log, removed(in(p.target, L"notes.txt")))) << run.log;
        EXPECT_EQ(1, lines(run.log, removed(in(p.target, L"corvane\\only.bin")))) << run.log;
        EXPECT_EQ(4, count_of(run.log, "] removed ")) << run.log;
    }
}

// Targets and discs that change how the step ends. Every row starts with a
// stale file in the target that only a prune removes.
TEST(CopyStep, TargetShapes)
{
    enum Shape { FOLDER_FOR_FILE, FILE_FOR_EMPTY_FOLDER, EMPTY_FOLDERS, NO_DISC };
    struct Row {
        const char *what;
        Shape shape;
        int result;
    } rows[] = {
        {"a folder in the target where the disc has a file", FOLDER_FOR_FILE, R_FAIL},
        {"a file in the target where the disc has an empty folder", FILE_FOR_EMPTY_FOLDER, R_OK},
        {"empty folders on the disc", EMPTY_FOLDERS, R_OK},
        {"a disc folder that can't be listed", NO_DISC, R_FAIL},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        Place p;
        ASSERT_NO_FATAL_FAILURE(place(L"shapes", &p));
        ASSERT_TRUE(disc_make(p.disc, NULL));
        ASSERT_TRUE(make_dir(in(p.disc, L"empty").c_str()));
        ASSERT_TRUE(make_dir(in(p.disc, L"deep\\a\\b").c_str()));
        ASSERT_NO_FATAL_FAILURE(pick(p.disc));
        std::wstring stale = in(p.target, L"stale.txt"), inner = in(p.target, L"driving\\misc.viv\\inner.txt");
        ASSERT_TRUE(put_file(stale.c_str(), "from an earlier disc"));
        if (r.shape == FOLDER_FOR_FILE) {
            ASSERT_TRUE(put_file(inner.c_str(), "in the way"));
        }
        if (r.shape == FILE_FOR_EMPTY_FOLDER) {
            ASSERT_TRUE(put_file(in(p.target, L"empty").c_str(), "in the way"));
        }
        if (r.shape == NO_DISC)
            copy_cut(s_game.dir, MAX_PATH, in(p.root, L"nodisc").c_str());

        CopyRun run = run_copy();
        EXPECT_EQ(r.result, run.result);
        std::wstring failed = L"FAILED: " + std::wstring(k_msg) + L" " + k_adv;
        if (r.result == R_FAIL) {
            EXPECT_STREQ(k_msg, s_fail_msg);
            EXPECT_STREQ(k_adv, s_fail_adv);
            EXPECT_EQ(1, lines(run.log, failed)) << run.log;
            EXPECT_TRUE(exists(stale.c_str())) << "pruned after a failed copy";
            EXPECT_EQ(0, count_of(run.log, "] removed ")) << run.log;
        } else {
            EXPECT_STREQ(L"", s_fail_msg);
            EXPECT_EQ(0, lines(run.log, failed));
            EXPECT_FALSE(exists(stale.c_str()));
            EXPECT_EQ(1, lines(run.log, removed(stale))) << run.log;
        }
        switch (r.shape) {
        case FOLDER_FOR_FILE:
            EXPECT_EQ(1, count_of(run.log, "] copy " + utf8(in(p.disc, L"driving\\misc.viv").c_str()) + " failed ("))
                << run.log;
            EXPECT_EQ(0, count_of(run.log, " failed (0)"));
            EXPECT_TRUE(exists(inner.c_str()));
            break;
        case FILE_FOR_EMPTY_FOLDER:
            EXPECT_FALSE(exists(in(p.target, L"empty").c_str()));
            EXPECT_EQ(1, lines(run.log, removed(in(p.target, L"empty")))) << run.log;
            EXPECT_EQ(2, count_of(run.log, "] removed ")) << run.log;
            break;
        case EMPTY_FOLDERS:
            EXPECT_TRUE(is_dir(in(p.target, L"empty").c_str()));
            EXPECT_TRUE(is_dir(in(p.target, L"deep\\a\\b").c_str()));
            EXPECT_EQ("", tree_diff(p.disc, p.target));
            EXPECT_EQ(1, count_of(run.log, "] removed ")) << run.log;
            break;
        case NO_DISC:
            EXPECT_EQ(0, count_of(run.log, "failed (")) << "a listing failure has no line of its own";
            EXPECT_EQ(0, run.copies);
            break;
        }
    }
}

// The cancel lands after the k-th file is whole; no further file is started,
// nothing is pruned, and no failure is recorded.
TEST(CopyStep, CancelIsSeenBetweenFiles)
{
    Place p;
    ASSERT_NO_FATAL_FAILURE(place(L"cancel", &p));
    ASSERT_TRUE(disc_make(p.disc, NULL));
    const int files = file_count(p.disc);
    for (int k : {1, 3, 13, files}) {
        SCOPED_TRACE(testing::Message() << "cancel after " << k << " of " << files << " files");
        ASSERT_TRUE(tree_remove(p.target));
        std::wstring stale = in(p.target, L"stale.txt");
        ASSERT_TRUE(put_file(stale.c_str(), "from an earlier disc"));
        ASSERT_NO_FATAL_FAILURE(pick(p.disc));
        CopyRun run = run_copy(k);
        EXPECT_EQ(R_CANCEL, run.result);
        EXPECT_EQ(k, run.copies);
        EXPECT_EQ(k + 1, file_count(p.target));
        EXPECT_TRUE(exists(stale.c_str())) << "pruned after a cancel";
        EXPECT_STREQ(L"", s_fail_msg);
        EXPECT_STREQ(L"", s_fail_adv);
        EXPECT_EQ(0, count_of(run.log, "FAILED")) << run.log;
        EXPECT_EQ(0, count_of(run.log, "failed (")) << run.log;
    }
}

TEST(CopyStep, GameAlreadyInPlace)
{
    Place p;
    ASSERT_NO_FATAL_FAILURE(place(L"inplace", &p));
    ASSERT_TRUE(disc_make(p.disc, NULL));
    ASSERT_NO_FATAL_FAILURE(pick(p.disc));
    ASSERT_EQ(R_OK, run_copy().result);
    std::wstring stale = in(p.target, L"stale.txt");
    ASSERT_TRUE(put_file(stale.c_str(), "not on the disc"));
    // The earlier install's copy, named in other letter case.
    ASSERT_NO_FATAL_FAILURE(pick(in(p.inst, L"GAME\\default.xbe").c_str()));

    CopyRun run = run_copy();
    EXPECT_EQ(R_OK, run.result);
    EXPECT_STREQ(L"The game files are already in place", s_detail);
    EXPECT_STREQ(L"Step 2 of 5: Copying the game files", s_step);
    EXPECT_EQ(1, lines(run.log, L"== Step 2 of 5: Copying the game files ==")) << run.log;
    EXPECT_EQ(0, count_of(run.log, "] copy ")) << run.log;
    EXPECT_EQ(0, run.copies);
    EXPECT_TRUE(exists(stale.c_str())) << "pruned a copy that is the disc itself";
}

TEST(CopyProgress, FractionDetailAndCancel)
{
    test_init();
    FakeClock still(1000); // the clock stands still: only a fraction moves the bar
    const unsigned long long G = 1ull << 30;
    struct Row {
        unsigned long long total, done, transferred;
        LONG cancel;
        double frac;        // < 0: left alone
        const wchar_t *text; // null: left alone
        DWORD ret;
    } rows[] = {
        {1000, 400, 600, 0, 1.0, L"Copied 0.0 GB of 0.0 GB", PROGRESS_CONTINUE},
        {4 * G, 1 * G, 1 * G, 0, 0.5, L"Copied 2.0 GB of 4.0 GB", PROGRESS_CONTINUE},
        {4 * G, 3 * G, 0, 0, 0.75, L"Copied 3.0 GB of 4.0 GB", PROGRESS_CONTINUE},
        {8 * G, 0, 2 * G, 1, 0.25, L"Copied 2.0 GB of 8.0 GB", PROGRESS_CANCEL},
        {2 * G, 2 * G, 1 * G, 0, 1.0, L"Copied 3.0 GB of 2.0 GB", PROGRESS_CONTINUE},
        {0, 5, 7, 0, -1, NULL, PROGRESS_CONTINUE},
        {0, 5, 7, 1, -1, NULL, PROGRESS_CANCEL},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.total << " " << r.done << " " << r.transferred << " " << r.cancel);
        seg(0.06, 0.18, 60000, NULL, L"before");
        s_copy_total = r.total;
        s_copy_done = r.done;
        s_cancel = r.cancel;
        LARGE_INTEGER file_total, file_done, stream_total, stream_done;
        file_total.QuadPart = 123457;         // the file's own size: not the total
        file_done.QuadPart = (LONGLONG)r.transferred;
        stream_total.QuadPart = 99;
        stream_done.QuadPart = (LONGLONG)(r.transferred / 2);
        DWORD ret = copy_progress(file_total, file_done, stream_total, stream_done, 1, CALLBACK_CHUNK_FINISHED,
                                  NULL, NULL, NULL);
        s_cancel = 0;
        EXPECT_EQ(r.ret, ret);
        if (r.frac < 0) {
            EXPECT_LT(s_frac, 0.0) << "the fraction was set without a total";
            EXPECT_DOUBLE_EQ(0.06, progress());
        } else {
            EXPECT_DOUBLE_EQ(r.frac, s_frac);
            EXPECT_DOUBLE_EQ(0.06 + 0.12 * r.frac, progress());
        }
        EXPECT_STREQ(r.text ? r.text : L"before", s_detail);
    }
}
