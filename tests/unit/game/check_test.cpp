// The copy step with the demo payload's list of known good game files in the
// install folder, on the generator's discs and an image of one: what passes,
// what fails and names its file, and what a reinstall and an install in place
// read. Opens of files
// below one folder are counted through the program's import slot of
// CreateFileW, as copy_test.cpp counts its calls.
#include "unit.h"
#include "disc.h"
#include "discimage.h"
#include "engine/log.h"
#include "game/copy.h"
#include "game/disc.h"
#include "game/hasher.h"
#include <gtest/gtest.h>
#undef R_OK
#include <string>

extern "C" void *__imp_CreateFileW;
extern "C" void *__imp_ReadFile;

typedef HANDLE(WINAPI *OpenFn)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
typedef BOOL(WINAPI *ReadFn)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
static OpenFn s_open;
static ReadFn s_read;
static std::wstring s_watch; // opens below this folder are counted
static int s_reads, s_writes;

static HANDLE WINAPI watched_open(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD how,
                                  DWORD flags, HANDLE tmpl)
{
    HANDLE h = s_open(path, access, share, sa, how, flags, tmpl);
    if (h != INVALID_HANDLE_VALUE && !_wcsnicmp(path, s_watch.c_str(), s_watch.size()))
        ++*(access & GENERIC_WRITE ? &s_writes : &s_reads);
    return h;
}

// The UI thread's cancel, once the first whole block of the big file is read.
static BOOL WINAPI cancelling_read(HANDLE h, LPVOID buf, DWORD n, LPDWORD got, LPOVERLAPPED ov)
{
    BOOL ok = s_read(h, buf, n, got, ov);
    if (n == HASH_BLOCK) {
        InterlockedExchange(&s_cancel, 1);
        s_cancel_copy = TRUE;
    }
    return ok;
}

// 2.5 MiB over three of the copy's blocks, and its SHA-256 by Python's hashlib.
static std::string big_bytes(void)
{
    std::string b(5u << 19, '\0');
    for (size_t i = 0; i < b.size(); i++)
        b[i] = (char)(i * 7 + i / 4093);
    return b;
}
static const char k_big_sha[] = "e0bdd258bd0d4db310445e209322bd6e06ba6d393133a61eec589888dd695981";

enum Change {
    NONE, ONE_BYTE, MISSING, FOLDER, BIG, BIG_BAD, BIG_CANCEL, NO_RECORD, UNLISTED_RECORD, HUGE_LIST, EDITED,
    IMAGE, IMAGE_BYTE // the disc as an image (the game partition alone), a byte changed inside it
};
struct Row {
    const char *what;
    int region;
    bool again;    // a first checked copy comes before the change
    bool in_place; // the counted run installs from <install>\game
    Change change;
    int result, reads; // reads: files opened for reading below the disc (or <install>\game)
    const char *log;   // in the log, or null
    const wchar_t *msg; // the failure message with %ls for the file's path on the disc, or null
    const wchar_t *file;
};

static const wchar_t k_bad[] = L"The game file %ls is damaged or changed.";
static const wchar_t k_gone[] = L"The game file %ls is missing from the disc.";
static const Row k_rows[] = {
    {"the European disc", 4, false, false, NONE, R_OK, 38,
     "checked 38 files against game-files.sha256 (0 by an earlier install's check)", NULL, NULL},
    {"the North-American disc (second versions), 22 malformed lines", 1, false, false, NONE, R_OK, 38,
     "] game-files.sha256: 2 more malformed lines ignored\r\n", NULL, NULL},
    {"again, untouched", 4, true, false, NONE, R_OK, 0, "(38 by an earlier install's check)", NULL, NULL},
    {"again, no record (a copy made before the check)", 4, true, false, NO_RECORD, R_OK, 38, "(0 by an", NULL, NULL},
    {"again, the record's version no longer listed", 4, true, false, UNLISTED_RECORD, R_OK, 1, "(37 by an", NULL, NULL},
    {"one byte changed", 4, false, false, ONE_BYTE, R_FAIL, -1, "misc.viv: SHA-256 ", k_bad, L"driving\\misc.viv"},
    {"a listed file missing", 4, false, false, MISSING, R_FAIL, 0, NULL, k_gone, L"corvane\\filesys.d03"},
    {"a listed file a folder", 4, false, false, FOLDER, R_FAIL, 0, NULL, k_gone, L"corvane\\filesys.d03"},
    {"a big file, its second version", 4, false, false, BIG, R_OK, 39, "checked 39 files", NULL, L"big.bin"},
    {"a big file, its last byte changed", 4, false, false, BIG_BAD, R_FAIL, -1, NULL, k_bad, L"big.bin"},
    {"a big file, cancelled", 4, false, false, BIG_CANCEL, R_CANCEL, -1, NULL, NULL, L"big.bin"},
    {"a list of 4 MiB and a byte", 4, false, false, HUGE_LIST, R_FAIL, 0, NULL,
     L"The installer's list of game files is damaged.", NULL},
    {"in place, vouched for", 4, true, true, NONE, R_OK, 0, "(38 by an earlier install's check)", NULL, NULL},
    {"an image of the European disc", 4, false, false, IMAGE, R_OK, -1, "checked 38 files", NULL, NULL},
    {"an image, one byte changed", 4, false, false, IMAGE_BYTE, R_FAIL, -1, "misc.viv: SHA-256 ", k_bad,
     L"driving\\misc.viv"},
    {"in place, a file edited later", 4, true, true, EDITED, R_FAIL, -1, NULL, k_bad, L"driving\\misc.viv"},
};

static int stage(bool cancel)
{
    log_open(s_dir);
    s_reads = s_writes = 0;
    int r;
    {
        SlotSwap open(&__imp_CreateFileW, (void *)watched_open);
        SlotSwap read(&__imp_ReadFile, cancel ? (void *)cancelling_read : __imp_ReadFile);
        s_open = (OpenFn)open.was();
        s_read = (ReadFn)read.was();
        r = stage_copy();
    }
    log_close();
    s_cancel = 0;
    s_cancel_copy = FALSE;
    return r;
}

TEST(CheckStep, AgainstTheDemoList)
{
    test_init();
    for (const Row &r : k_rows) {
        SCOPED_TRACE(r.what);
        wchar_t root[MAX_PATH], made[MAX_PATH];
        test_dir(L"check", made);
        path_full(made, root);
        std::wstring disc = std::wstring(root) + L"\\disc", inst = std::wstring(root) + L"\\inst",
                     game = inst + L"\\game", file = r.file ? disc + L"\\" + r.file : L"";
        DiscPlan plan;
        disc_default(&plan);
        plan.region = (uint32_t)r.region;
        ASSERT_TRUE(disc_make(disc.c_str(), &plan));
        std::string list = read_file(win_path(EV_DEMO_LIST)), big = big_bytes();
        ASSERT_NE(std::string::npos, list.find("  default.xbe\n"));
        for (int i = 0; r.region == 1 && i < 22; i++)
            list += "xyz  default.xbe\r\n";
        if (r.change >= BIG && r.change <= BIG_CANCEL) {
            list += std::string(64, 'e') + "  big.bin\n" + k_big_sha + " *BIG.BIN\n";
            big.back() ^= r.change == BIG_BAD;
            ASSERT_TRUE(put_file(file, big));
        }
        if (r.change == HUGE_LIST)
            list.append((4u << 20) + 1 - list.size(), '#');
        ASSERT_TRUE(put_file(inst + L"\\game-files.sha256", list));
        std::wstring picked = disc;
        if (r.change >= IMAGE) {
            std::vector<ImagePlaced> placed;
            picked = disc + L".iso";
            ASSERT_TRUE(image_make(disc.c_str(), picked.c_str(), false, XdvdPlan(), &placed));
            for (const ImagePlaced &f : placed) {
                if (r.change == IMAGE_BYTE && f.rel == r.file) {
                    std::string image = read_file(picked);
                    image[(size_t)f.at + 7] ^= 1;
                    ASSERT_TRUE(put_file(picked, image));
                }
            }
            file = r.file ? picked + L"\\" + r.file : L"";
        }
        ASSERT_EQ(L"", copy_start(picked, inst));
        if (r.again) {
            ASSERT_EQ(R_OK, stage(false));
            if (r.in_place) {
                ASSERT_EQ(L"", copy_start(game, inst));
                disc = game;
                file = r.file ? disc + L"\\" + r.file : L"";
            }
        }
        std::wstring record = inst + L"\\game-files.checked";
        std::string rec = read_file(record), bytes = read_file(file);
        FILETIME later;
        GetSystemTimeAsFileTime(&later);
        later.dwHighDateTime += 10; // about five days on
        switch (r.change) {
        case ONE_BYTE:
        case EDITED:
            bytes[7] ^= 1;
            ASSERT_TRUE(put_file(file, bytes));
            if (r.change == EDITED) {
                ASSERT_TRUE(set_mtime(file, later));
            }
            break;
        case MISSING:
            ASSERT_TRUE(DeleteFileW(file.c_str()));
            break;
        case FOLDER:
            ASSERT_TRUE(DeleteFileW(file.c_str()) && make_dir(file));
            break;
        case NO_RECORD:
            ASSERT_TRUE(DeleteFileW(record.c_str()));
            break;
        case UNLISTED_RECORD:
            ASSERT_NE(std::string::npos, rec.find("  default.xbe\n"));
            rec.replace(rec.find("  default.xbe\n") - 64, 64, std::string(64, '0'));
            ASSERT_TRUE(put_file(record, rec));
            break;
        default:
            break;
        }
        s_watch = disc + L"\\";
        EXPECT_EQ(r.result, stage(r.change == BIG_CANCEL));
        std::string log = log_text(inst);
        if (r.reads >= 0) {
            EXPECT_EQ(r.reads, s_reads) << log;
        }
        EXPECT_EQ(0, r.in_place ? s_writes : 0) << "a file in place was written";
        if (r.log) {
            EXPECT_NE(std::string::npos, log.find(r.log)) << log;
        }
        wchar_t msg[2 * MAX_PATH];
        swprintf(msg, 2 * MAX_PATH, r.msg ? r.msg : L"", r.file);
        EXPECT_STREQ(r.result == R_FAIL ? msg : L"", s_fail_msg);
        if (r.result == R_OK) {
            EXPECT_EQ("", tree_diff(disc, game));
            std::string done = read_file(record);
            EXPECT_EQ(r.change == BIG ? 39 : 38, count_of(done, "\n") - 2) << done;
        }
        if (r.file && r.result != R_OK) {
            // A file that failed in a copy is never left behind; one in place is never touched.
            EXPECT_EQ(r.in_place, exists((game + L"\\" + r.file).c_str()));
            std::string rel = utf8(r.file);
            for (char &c : rel)
                c = c == '\\' ? '/' : c;
            EXPECT_EQ(0, count_of(read_file(record), "  " + rel + "\n"));
        }
        s_fail_msg[0] = 0;
    }
}
