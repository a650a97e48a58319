// The install folder: dest_problem on typed texts (with the known folders
// where Wine puts them, C:\Program Files, C:\Program Files (x86), C:\windows)
// and the checks of an install start, told through a recording AskFn.
#include "unit.h"
#include "game/dest.h"
#include "game/disc.h"
#include <gtest/gtest.h>
// GoogleTest pulls in io.h, whose access-mode macro R_OK (4) would hide the result code.
#undef R_OK
#include <string>
#include <vector>

static const wchar_t *const k_admin =
    L"Windows only lets programs write here as an administrator, and the game writes its settings and logs "
    L"beside itself. Choose another folder, for example C:\\Games\\Emberveil.";
static const wchar_t *const k_full = L"Choose a full path, for example C:\\Games\\Emberveil.";
static const wchar_t *const k_drive = L"Choose a folder, not a whole drive.";
static const wchar_t *const k_pick = L"Choose the default.xbe of your extracted Emberveil disc first.";
static const wchar_t *const k_not_empty = L"This folder is not empty. Install into it anyway?";

struct DestRow {
    const wchar_t *text;
    const wchar_t *problem; // null: the folder can take the install
};

static const DestRow k_dest_rows[] = {
    {L"", L"Choose a folder to install into."},
    {L"Games", k_full},
    {L"C:Games", k_full},
    {L"C:/Games", k_full},
    {L"C:\\", k_drive},
    {L"D:\\.", k_drive},
    {L"C:\\Program Files", k_admin},
    {L"C:\\Program Files\\Emberveil", k_admin},
    {L"c:\\program files (x86)\\x", k_admin},
    {L"C:\\Windows\\Temp\\x", k_admin},
    {L"C:\\Games\\..\\Windows\\x", k_admin},
    {L"C:\\Program Filesx\\Emberveil", NULL},
    {L"\\\\server\\share\\Games", NULL},
    {L"C:\\Games\\Emberveil", NULL},
};

TEST(DestProblem, TypedFolderTable)
{
    for (const DestRow &r : k_dest_rows) {
        SCOPED_TRACE(utf8(r.text));
        const wchar_t *got = dest_problem(r.text);
        if (r.problem)
            EXPECT_STREQ(r.problem, got);
        else
            EXPECT_EQ(NULL, got) << utf8(got);
    }
}

// What the checks told the player, in order, and what the next answer is.
static std::vector<std::wstring> s_told;
static std::vector<UINT> s_styles;
static int s_answer = IDOK;

static int record_ask(const wchar_t *text, UINT style)
{
    s_told.push_back(text);
    s_styles.push_back(style);
    return s_answer;
}

// The free-space seam: reports s_fake_free for any root and records the roots asked.
static std::vector<std::wstring> s_roots;
static ULONGLONG s_fake_free;
static int s_fake_ok = 1;

static int fake_free(const wchar_t *root, ULONGLONG *free_bytes)
{
    s_roots.push_back(root);
    if (!s_fake_ok)
        return 0;
    *free_bytes = s_fake_free;
    return 1;
}

// Every case gets the real free-space function, selection and folder back.
class InstallChecks : public ::testing::Test {
protected:
    FreeFn kept_ = s_free_bytes;
    void TearDown() override
    {
        s_free_bytes = kept_;
        ZeroMemory(&s_game, sizeof s_game);
        s_dir[0] = 0;
    }
};

// A fresh start: an accepted disc of bytes in disc_dir, plenty of free space.
static void checks_reset(const wchar_t *disc_dir, unsigned long long bytes)
{
    test_init();
    s_told.clear();
    s_styles.clear();
    s_roots.clear();
    s_answer = IDOK;
    s_fake_ok = 1;
    s_fake_free = ~0ull;
    s_free_bytes = fake_free;
    ZeroMemory(&s_game, sizeof s_game);
    wcscpy(s_game.dir, disc_dir);
    s_game.ok = 1;
    s_game.region = 4;
    s_game.bytes = bytes;
    s_dir[0] = 0;
}

TEST_F(InstallChecks, NoDiscChosen)
{
    checks_reset(L"C:\\disc", 1);
    ZeroMemory(&s_game, sizeof s_game);
    // The install-folder text is bad too: only the first check speaks.
    EXPECT_EQ(R_FAIL, install_checks(L"", L"", record_ask));
    ASSERT_EQ(1u, s_told.size());
    EXPECT_EQ(k_pick, s_told[0]);
    EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), s_styles[0]);
}

TEST_F(InstallChecks, RefusedPickTellsTheNoteCut)
{
    struct Row {
        const char *what;
        const wchar_t *dir;
        std::wstring note;
        std::wstring told;
    } rows[] = {
        {"a 300-character note", L"C:\\disc", std::wstring(300, L'n'), std::wstring(199, L'n')},
        {"a short note", L"C:\\disc", L"There is no default.xbe in this folder.",
         L"There is no default.xbe in this folder."},
        {"a refused pick with an empty note", L"C:\\disc", L"", k_pick},
        {"no folder chosen but a note", L"", L"This default.xbe is not Z93: Emberveil.", k_pick},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        checks_reset(r.dir, 0);
        s_game.ok = 0;
        s_game.region = 0;
        EXPECT_EQ(R_FAIL, install_checks(L"C:\\Games\\Emberveil", r.note.c_str(), record_ask));
        ASSERT_EQ(1u, s_told.size());
        EXPECT_EQ(r.told, s_told[0]);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONINFORMATION), s_styles[0]);
    }
}

TEST_F(InstallChecks, EveryFolderRefusalIsAWarning)
{
    for (const DestRow &r : k_dest_rows) {
        if (!r.problem)
            continue;
        SCOPED_TRACE(utf8(r.text));
        checks_reset(L"C:\\disc", 1);
        EXPECT_EQ(R_FAIL, install_checks(r.text, L"", record_ask));
        ASSERT_EQ(1u, s_told.size());
        EXPECT_EQ(r.problem, s_told[0]);
        EXPECT_EQ((UINT)(MB_OK | MB_ICONWARNING), s_styles[0]);
        EXPECT_TRUE(s_roots.empty()) << "free space asked after a refusal";
    }
}

TEST_F(InstallChecks, InstallFolderBecomesItsFullPath)
{
    wchar_t root[MAX_PATH], typed[MAX_PATH], want[MAX_PATH];
    test_dir(L"fullpath", root);
    checks_reset(L"C:\\disc", 1);
    swprintf(typed, MAX_PATH, L"%ls\\.\\sub\\..\\Emberveil\\\\", root);
    swprintf(want, MAX_PATH, L"%ls\\Emberveil", root);
    EXPECT_EQ(R_OK, install_checks(typed, L"", record_ask));
    EXPECT_STREQ(want, s_dir);
    EXPECT_TRUE(s_told.empty());
}

TEST_F(InstallChecks, InstallFolderInsideTheDiscIsRefused)
{
    wchar_t root[MAX_PATH], disc[MAX_PATH], typed[MAX_PATH];
    test_dir(L"inside", root);
    swprintf(disc, MAX_PATH, L"%ls\\disc", root);
    make_dir(disc);
    struct Row {
        const wchar_t *tail; // after <root>
        int refused;
    } rows[] = {
        {L"\\disc\\inst", 1},
        {L"\\disc", 1},
        {L"\\DISC\\Inst\\", 1},
        {L"\\disc\\a\\b", 1},
        {L"\\disc2", 0},
        {L"\\dis", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(utf8(r.tail));
        checks_reset(disc, 1);
        swprintf(typed, MAX_PATH, L"%ls%ls", root, r.tail);
        int got = install_checks(typed, L"", record_ask);
        if (r.refused) {
            EXPECT_EQ(R_FAIL, got);
            ASSERT_EQ(1u, s_told.size());
            EXPECT_EQ(0u, s_told[0].find(L"The install folder can't lie inside the folder of the game files."))
                << utf8(s_told[0].c_str());
            EXPECT_EQ((UINT)(MB_OK | MB_ICONWARNING), s_styles[0]);
        } else {
            EXPECT_EQ(R_OK, got);
            EXPECT_TRUE(s_told.empty());
        }
    }
}

struct FolderRow {
    const char *what;
    int make;          // 0 missing, 1 empty folder, 2 a file, 3 a folder with a file, 4 an earlier install
    int answer;        // what the player answers to the question
    int asked;         // 1 when the question must come
    int result;        // what install_checks returns
};

TEST_F(InstallChecks, NonEmptyFolderQuestion)
{
    static const FolderRow rows[] = {
        {"missing folder", 0, IDNO, 0, R_OK},
        {"empty folder", 1, IDNO, 0, R_OK},
        {"a file where the folder goes", 2, IDNO, 0, R_OK},
        {"folder of something else, answer Yes", 3, IDYES, 1, R_OK},
        {"folder of something else, answer No", 3, IDNO, 1, R_CANCEL},
        {"folder of something else, box closed", 3, 0, 1, R_CANCEL},
        {"earlier install", 4, IDNO, 0, R_OK},
    };
    wchar_t root[MAX_PATH], dest[MAX_PATH], p[MAX_PATH];
    for (const FolderRow &r : rows) {
        SCOPED_TRACE(r.what);
        test_dir(L"question", root);
        swprintf(dest, MAX_PATH, L"%ls\\Emberveil", root);
        if (r.make == 1)
            make_dir(dest);
        if (r.make == 2)
            put_file(dest, "x");
        if (r.make == 3) {
            swprintf(p, MAX_PATH, L"%ls\\notes.txt", dest);
            put_file(p, "someone else's");
        }
        if (r.make == 4) {
            swprintf(p, MAX_PATH, L"%ls\\scripts\\build.ps1", dest);
            put_file(p, "# build");
            swprintf(p, MAX_PATH, L"%ls\\game\\default.xbe", dest);
            put_file(p, "XBEH");
        }
        checks_reset(L"C:\\disc", 1);
        s_answer = r.answer;
        // With No the checks must stop at the question: were they to go on,
        // this drive's lack of room would show a second message.
        s_fake_free = r.result == R_CANCEL ? 0 : ~0ull;
        EXPECT_EQ(r.result, install_checks(dest, L"", record_ask));
        if (r.asked) {
            ASSERT_EQ(1u, s_told.size());
            EXPECT_EQ(k_not_empty, s_told[0]);
            EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), s_styles[0]);
        } else {
            EXPECT_TRUE(s_told.empty()) << utf8(s_told.empty() ? L"" : s_told[0].c_str());
        }
    }
}

struct SpaceRow {
    const char *what;
    const wchar_t *dest;
    unsigned long long bytes;   // the game's size
    int in_place;               // the disc is <dest>\game
    long long free_delta;       // free space minus the need
    int free_ok;                // the query succeeds
    const wchar_t *told;        // null: passes
};

TEST_F(InstallChecks, FreeSpace)
{
    static const SpaceRow rows[] = {
        {"free equals the need", L"C:\\evspace\\Emberveil", 12345, 0, 0, 1, NULL},
        {"one byte short", L"C:\\evspace\\Emberveil", 12345, 0, -1, 1,
         L"The drive C:\\ needs 1.6 GB free for the install. Free some space or choose another drive."},
        {"one byte short of a 3 GiB disc", L"C:\\evspace\\Emberveil", 3ull << 30, 0, -1, 1,
         L"The drive C:\\ needs 4.6 GB free for the install. Free some space or choose another drive."},
        {"another drive", L"D:\\evspace\\Emberveil", 12345, 0, -1, 1,
         L"The drive D:\\ needs 1.6 GB free for the install. Free some space or choose another drive."},
        {"query fails", L"C:\\evspace\\Emberveil", 12345, 0, -1, 0, NULL},
        // The disc is the install folder's own copy: the build's share alone.
        {"in place, free equals the build", L"C:\\evspace\\Emberveil", 100ull << 30, 1, 0, 1, NULL},
        {"in place, one byte short", L"C:\\evspace\\Emberveil", 100ull << 30, 1, -1, 1,
         L"The drive C:\\ needs 1.6 GB free for the install. Free some space or choose another drive."},
    };
    wchar_t game[MAX_PATH], root[4];
    for (const SpaceRow &r : rows) {
        SCOPED_TRACE(r.what);
        swprintf(game, MAX_PATH, L"%ls\\game", r.dest);
        checks_reset(r.in_place ? game : L"C:\\disc", r.bytes);
        unsigned long long need = BUILD_BYTES + (r.in_place ? 0 : r.bytes);
        s_fake_free = need + (unsigned long long)r.free_delta;
        s_fake_ok = r.free_ok;
        int got = install_checks(r.dest, L"", record_ask);
        ASSERT_EQ(1u, s_roots.size());
        swprintf(root, 4, L"%lc:\\", r.dest[0]);
        EXPECT_EQ(std::wstring(root), s_roots[0]);
        if (r.told) {
            EXPECT_EQ(R_FAIL, got);
            ASSERT_EQ(1u, s_told.size());
            EXPECT_EQ(r.told, s_told[0]);
            EXPECT_EQ((UINT)(MB_OK | MB_ICONWARNING), s_styles[0]);
        } else {
            EXPECT_EQ(R_OK, got);
            EXPECT_TRUE(s_told.empty());
        }
    }
}

TEST_F(InstallChecks, NetworkPathGetsNoFreeSpaceQuery)
{
    checks_reset(L"C:\\disc", 12345);
    s_fake_free = 0;
    EXPECT_EQ(R_OK, install_checks(L"\\\\server\\share\\Games", L"", record_ask));
    EXPECT_TRUE(s_roots.empty());
    EXPECT_TRUE(s_told.empty());
    EXPECT_STREQ(L"\\\\server\\share\\Games", s_dir);
}

TEST_F(InstallChecks, GameRunning)
{
    struct Row {
        const wchar_t *name;
        int running;
    } rows[] = {
        {L"EMBERVEIL.EXE", 1},
        {L"Emberveil_Driving.exe", 1},
        {L"emberveil2.exe", 0},
        {L"xemberveil.exe", 0},
    };
    wchar_t root[MAX_PATH];
    test_dir(L"running", root);
    ASSERT_EQ(0, game_running()) << "a game process runs before the test";
    for (const Row &r : rows) {
        SCOPED_TRACE(utf8(r.name));
        RunningGame game(root, r.name);
        ASSERT_TRUE(game.running()) << "can't start " << utf8(r.name);
        EXPECT_EQ(r.running, game_running());
        checks_reset(L"C:\\disc", 1);
        int got = install_checks(L"C:\\evrun\\Emberveil", L"", record_ask);
        if (r.running) {
            EXPECT_EQ(R_FAIL, got);
            ASSERT_EQ(1u, s_told.size());
            EXPECT_EQ(L"Emberveil is running. Close the game, then install.", s_told[0]);
            EXPECT_EQ((UINT)(MB_OK | MB_ICONWARNING), s_styles[0]);
        } else {
            EXPECT_EQ(R_OK, got);
            EXPECT_TRUE(s_told.empty());
        }
    }
    EXPECT_EQ(0, game_running());
}
