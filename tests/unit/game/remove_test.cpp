// remove_tree against paths that try to reach out of the install folder, and
// the tree walks (measuring, copying, removing) meeting folder links.
//
// How Wine 8 shows a folder link (measured): CreateSymbolicLinkW returns TRUE
// and makes nothing, so the links here are made with "ln -s" on the Unix
// side (the Unix path of the target and link come from Wine's
// wine_get_unix_file_name). Such a link is listed by FindFirstFileW and read
// by GetFileAttributesW as FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
// (0x410), dwReserved0 (the reparse tag) 0; opened with backup semantics it
// gives the identity (volume, file index) of the folder it leads to.
// RemoveDirectoryW on it does not remove the link: it removes the folder it
// leads to when that is empty, and fails with ERROR_DIR_NOT_EMPTY otherwise;
// DeleteFileW fails with access denied. On Windows RemoveDirectoryW removes
// the link itself: while the product runs here, its RemoveDirectoryW does that
// too (windows_rmdir), so that what it removes through a link can be checked.
#include "unit.h"
#include "game/copy.h"
#include "game/disc.h"
#include "game/walk.h"
#include <gtest/gtest.h>
// GoogleTest pulls in io.h, whose access-mode macro R_OK (4) would hide the result code.
#undef R_OK
#include <string>

extern "C" void *__imp_RemoveDirectoryW;

typedef BOOL(WINAPI *RmdirFn)(LPCWSTR);
static RmdirFn s_rmdir;

// RemoveDirectoryW as Windows does it on a folder link: the link itself goes.
static BOOL WINAPI windows_rmdir(LPCWSTR path)
{
    DWORD a = GetFileAttributesW(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
        return drop_link(path);
    return s_rmdir(path);
}

// The install folder and the walks' counters are left as no install set them.
class Walks : public ::testing::Test {
protected:
    void SetUp() override { test_init(); }
    void TearDown() override
    {
        s_dir[0] = 0;
        s_cancel = 0;
        s_copy_done = s_copy_total = 0;
    }
};
typedef Walks RemoveTree;
typedef Walks TreeWalks;

static void full_of(const wchar_t *path, wchar_t *out)
{
    path_full(path, out);
}

static void join(wchar_t *out, const wchar_t *a, const wchar_t *b)
{
    swprintf(out, MAX_PATH, L"%ls\\%ls", a, b);
}

static void put_in(const wchar_t *dir, const wchar_t *name, const char *text)
{
    wchar_t p[MAX_PATH];
    join(p, dir, name);
    ASSERT_TRUE(put_file(p, text)) << utf8(p);
}

// <root>\Emberveil (the install folder) with a few folders, and its sibling
// <root>\Emberveil2 that no removal may touch.
static void rt_build(const wchar_t *root, wchar_t *install, wchar_t *sibling)
{
    join(install, root, L"Emberveil");
    join(sibling, root, L"Emberveil2");
    put_in(sibling, L"keep.txt", "sibling");
    put_in(sibling, L"x\\keep2.txt", "sibling x");
    put_in(install, L"file.txt", "file");
    put_in(install, L"sub\\a.txt", "a");
    put_in(install, L"sub2\\b.txt", "b");
    put_in(install, L"Case\\f.txt", "f");
    put_in(install, L"a\\keep.txt", "keep");
    put_in(install, L"a\\b\\c.txt", "c");
    put_in(install, L"ro\\locked.txt", "locked");
    wchar_t p[MAX_PATH];
    join(p, install, L"ro\\locked.txt");
    SetFileAttributesW(p, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

static void ascii_upper(wchar_t *s)
{
    for (; *s; s++)
        if (*s >= L'a' && *s <= L'z')
            *s = (wchar_t)(*s - L'a' + L'A');
}

static void ascii_lower(wchar_t *s)
{
    for (; *s; s++)
        if (*s >= L'A' && *s <= L'Z')
            *s = (wchar_t)(*s - L'A' + L'a');
}

struct RemoveRow {
    const char *what;
    int from_parent;       // the text starts at the install folder's parent, else at the install folder
    const wchar_t *tail;
    int fold;              // 1 upper-cases, 2 lower-cases the whole text
    int result;
    const wchar_t *gone;   // relative to the install folder; null: nothing is deleted
};

static const RemoveRow k_remove_rows[] = {
    {"the install folder", 0, L"", 0, 0, NULL},
    {"the install folder, trailing backslash", 0, L"\\", 0, 0, NULL},
    {"the install folder, two trailing backslashes", 0, L"\\\\", 0, 0, NULL},
    {"the install folder in lower case", 0, L"", 2, 0, NULL},
    {"the install folder's parent", 0, L"\\..", 0, 0, NULL},
    {"the sibling", 1, L"\\Emberveil2", 0, 0, NULL},
    {"the sibling in upper case", 1, L"\\Emberveil2", 1, 0, NULL},
    {"the sibling through sub\\..\\..", 0, L"\\sub\\..\\..\\Emberveil2", 0, 0, NULL},
    {"a folder of the sibling through ..", 0, L"\\..\\Emberveil2\\x", 0, 0, NULL},
    {"a file inside", 0, L"\\file.txt", 0, 0, NULL},
    {"a file deeper inside", 0, L"\\sub\\a.txt", 0, 0, NULL},
    {"a missing path inside", 0, L"\\nothing", 0, 1, NULL},
    {"a missing path outside", 1, L"\\nowhere", 0, 1, NULL},
    {"a folder inside", 0, L"\\sub", 0, 1, L"sub"},
    {"a folder inside, trailing backslash", 0, L"\\sub\\", 0, 1, L"sub"},
    {"a folder inside in other case", 0, L"\\SUB", 0, 1, L"sub"},
    {"a folder inside, whole path in upper case", 0, L"\\case", 1, 1, L"Case"},
    {"a folder inside, whole path in lower case", 0, L"\\Case", 2, 1, L"Case"},
    {"a folder two levels down", 0, L"\\a\\b", 0, 1, L"a\\b"},
    {"a folder reached through ..", 0, L"\\a\\..\\sub2", 0, 1, L"sub2"},
    {"a folder holding a read-only hidden system file", 0, L"\\ro", 0, 1, L"ro"},
};

TEST_F(RemoveTree, HostilePathTable)
{
    wchar_t scratch[MAX_PATH], root[MAX_PATH], install[MAX_PATH], sibling[MAX_PATH], text[MAX_PATH],
        p[MAX_PATH], q[MAX_PATH];
    for (const RemoveRow &r : k_remove_rows) {
        SCOPED_TRACE(r.what);
        test_dir(L"rt", scratch);
        full_of(scratch, root);
        rt_build(root, install, sibling);
        copy_cut(s_dir, MAX_PATH, install);
        int files = file_count(root), gone_files = 0;
        if (r.gone) {
            join(p, install, r.gone);
            gone_files = file_count(p);
            ASSERT_LT(0, gone_files);
        }
        swprintf(text, MAX_PATH, L"%ls%ls", r.from_parent ? root : install, r.tail);
        if (r.fold == 1)
            ascii_upper(text);
        if (r.fold == 2)
            ascii_lower(text);
        SCOPED_TRACE(utf8(text));
        EXPECT_EQ(r.result, remove_tree(text));
        EXPECT_EQ(files - gone_files, file_count(root)) << "files removed beyond what the row allows";
        join(q, sibling, L"x\\keep2.txt");
        EXPECT_TRUE(exists(q));
        EXPECT_TRUE(is_dir(install));
        if (r.gone) {
            join(p, install, r.gone);
            EXPECT_FALSE(exists(p));
        }
    }
}

TEST_F(RemoveTree, NoInstallFolderDeletesNothing)
{
    wchar_t scratch[MAX_PATH], root[MAX_PATH], install[MAX_PATH], sibling[MAX_PATH], p[MAX_PATH];
    test_dir(L"rt0", scratch);
    full_of(scratch, root);
    rt_build(root, install, sibling);
    s_dir[0] = 0;
    join(p, install, L"sub");
    EXPECT_EQ(0, remove_tree(p));
    EXPECT_TRUE(is_dir(p));
}

// A folder outside the install folder, reached through links inside it: the
// link goes, with the folder that holds it, and nothing it leads to.
TEST_F(RemoveTree, LinksInsideAreNotFollowedOut)
{
    wchar_t scratch[MAX_PATH], root[MAX_PATH], install[MAX_PATH], outside[MAX_PATH], p[MAX_PATH],
        f1[MAX_PATH], f2[MAX_PATH];
    test_dir(L"rtlinks", scratch);
    full_of(scratch, root);
    join(install, root, L"Emberveil");
    join(outside, root, L"outside");
    put_in(outside, L"f1.txt", "outside 1");
    put_in(outside, L"deep\\f2.txt", "outside 2");
    join(f1, outside, L"f1.txt");
    join(f2, outside, L"deep\\f2.txt");
    put_in(install, L"holder\\mine.txt", "mine");
    put_in(install, L"holder2\\deep\\mine.txt", "mine");
    copy_cut(s_dir, MAX_PATH, install);

    const wchar_t *links[] = {L"link", L"holder\\link", L"holder2\\deep\\link"};
    const wchar_t *removed[] = {L"link", L"holder", L"holder2"};
    const wchar_t *how = L"";
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(utf8(links[i]));
        join(p, install, links[i]);
        ASSERT_TRUE(make_link(p, outside, &how)) << "can't make a folder link";
        // Every link guard in the product rests on this attribute.
        EXPECT_EQ((DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
                  GetFileAttributesW(p) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        join(p, install, removed[i]);
        int r;
        {
            SlotSwap windows(&__imp_RemoveDirectoryW, (void *)windows_rmdir);
            s_rmdir = (RmdirFn)windows.was();
            r = remove_tree(p);
        }
        EXPECT_EQ(1, r);
        EXPECT_FALSE(exists(p)) << "the link, or the folder holding it, is still there";
        EXPECT_TRUE(is_dir(outside));
        EXPECT_TRUE(exists(f1)) << "deleted through the link";
        EXPECT_TRUE(exists(f2)) << "deleted through the link";
        EXPECT_EQ("outside 2", read_file(f2));
    }
    printf("folder links made with %ls\n", how);
}

// A disc folder holding a link back to its own top folder, and one to a
// folder beside it: the walks end, the loop adds nothing, the other link counts.
TEST_F(TreeWalks, LinkBackToTheTopIsWalkedOnce)
{
    wchar_t scratch[MAX_PATH], root[MAX_PATH], top[MAX_PATH], side[MAX_PATH], loop[MAX_PATH], ext[MAX_PATH],
        target[MAX_PATH], p[MAX_PATH];
    test_dir(L"walkloop", scratch);
    full_of(scratch, root);
    join(top, root, L"disc");
    join(side, root, L"side");
    join(target, root, L"copy");
    static char big[3000];
    memset(big, 'b', sizeof big);
    join(p, top, L"a.bin");
    ASSERT_TRUE(put_file(p, std::string(big, 100)));
    join(p, top, L"corvane\\b.bin");
    ASSERT_TRUE(put_file(p, std::string(big, 2000)));
    join(p, side, L"s.bin");
    ASSERT_TRUE(put_file(p, std::string(big, 50)));
    join(loop, top, L"corvane\\loop");
    join(ext, top, L"ext");
    ASSERT_TRUE(make_link(loop, top, NULL));
    ASSERT_TRUE(make_link(ext, side, NULL));

    EXPECT_EQ(2150ull, dir_bytes(top));

    s_cancel = 0;
    s_copy_done = 0;
    s_copy_total = 0;
    EXPECT_EQ(1, copy_tree(top, target));
    EXPECT_EQ(3, file_count(target));
    join(p, target, L"corvane\\b.bin");
    EXPECT_EQ(std::string(big, 2000), read_file(p));
    join(p, target, L"ext\\s.bin");
    EXPECT_EQ(std::string(big, 50), read_file(p));
    join(p, target, L"corvane\\loop");
    EXPECT_EQ(0, file_count(p)) << "the loop was copied into the copy";
    EXPECT_EQ(2150ull, s_copy_done);
}

// A link to the folder above the disc: the loop closes at the disc folder
// itself, a plain folder met below the link, not at the link.
TEST_F(TreeWalks, LinkAboveTheTopEndsAtThePlainFolder)
{
    wchar_t scratch[MAX_PATH], root[MAX_PATH], top[MAX_PATH], up[MAX_PATH], target[MAX_PATH], p[MAX_PATH];
    test_dir(L"walkabove", scratch);
    full_of(scratch, root);
    join(top, root, L"outer\\disc");
    join(target, root, L"copy");
    static char big[200];
    memset(big, 'u', sizeof big);
    join(p, top, L"a.bin");
    ASSERT_TRUE(put_file(p, std::string(big, 100)));
    join(p, root, L"outer\\other\\o.bin");
    ASSERT_TRUE(put_file(p, std::string(big, 7)));
    join(up, top, L"sub\\up");
    join(p, top, L"sub");
    ASSERT_TRUE(CreateDirectoryW(p, NULL));
    join(p, root, L"outer");
    ASSERT_TRUE(make_link(up, p, NULL));

    // disc\a.bin, and through the link outer\other\o.bin; outer\disc stops it.
    EXPECT_EQ(107ull, dir_bytes(top));
    s_cancel = 0;
    s_copy_done = 0;
    s_copy_total = 0;
    EXPECT_EQ(1, copy_tree(top, target));
    EXPECT_EQ(2, file_count(target));
    join(p, target, L"sub\\up\\other\\o.bin");
    EXPECT_EQ(std::string(big, 7), read_file(p));
    join(p, target, L"sub\\up\\disc");
    EXPECT_EQ(0, file_count(p)) << "the disc was copied into its own copy";
}

// What a walk takes for a link, by the attributes and the reparse tag a
// listing gives: only entries that lead somewhere else. A synced folder's
// placeholders and deduplicated files are walked, replaced and pruned like
// any other folder or file.
TEST_F(TreeWalks, OnlyNameSurrogateReparsePointsAreLinks)
{
    const DWORD dir = FILE_ATTRIBUTE_DIRECTORY, rp = FILE_ATTRIBUTE_REPARSE_POINT;
    const struct {
        const char *what;
        DWORD attributes, tag;
        int link;
    } rows[] = {
        {"symbolic link", dir | rp, 0xA000000C, 1},         // IO_REPARSE_TAG_SYMLINK
        {"junction or mount point", dir | rp, 0xA0000003, 1}, // IO_REPARSE_TAG_MOUNT_POINT
        {"WSL symbolic link", rp, 0xA000001D, 1},            // IO_REPARSE_TAG_LX_SYMLINK
        {"container link", dir | rp, 0xA0000027, 1},        // IO_REPARSE_TAG_WCI_LINK
        {"tag Wine leaves out", dir | rp, 0, 1},
        {"cloud placeholder folder", dir | rp, 0x9000001A, 0}, // IO_REPARSE_TAG_CLOUD
        {"cloud placeholder, flavour 3", rp | FILE_ATTRIBUTE_ARCHIVE, 0x9000301A, 0},
        {"OneDrive", dir | rp, 0x80000021, 0},
        {"deduplicated file", rp, 0x80000013, 0}, // IO_REPARSE_TAG_DEDUP
        {"compressed system file", rp, 0x80000017, 0}, // IO_REPARSE_TAG_WOF
        {"projected file system", dir | rp, 0x9000001C, 0},
        {"app execution alias", rp, 0x8000001B, 0},
        {"Unix socket", rp, 0x80000023, 0},
        {"hierarchical storage", rp, 0xC0000004, 0},
        {"plain folder", dir, 0, 0},
        {"plain folder, stale reserved field", dir, 0xA000000C, 0},
        {"plain file", FILE_ATTRIBUTE_ARCHIVE, 0, 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.link, is_link(r.attributes, r.tag)) << r.what;
}
