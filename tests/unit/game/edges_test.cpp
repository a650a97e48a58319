// Paths at the edges and sources that break: a disc at the root of a drive
// (a drive letter of this prefix mapped to a scratch folder, as Wine keeps its
// drives: a symbolic link in dosdevices), a disc inside the install folder's
// game folder, the tree walks at 258, 259 and 260 characters, and listings and
// attribute reads of the disc that fail half-way (the platform calls swapped in
// this program's import slots, as the copy tests do).
#include "unit.h"
#include "disc.h"
#include "engine/log.h"
#include "game/copy.h"
#include "game/dest.h"
#include "game/disc.h"
#include "stages/stages.h"
#include <gtest/gtest.h>
// GoogleTest pulls in io.h, whose access-mode macro R_OK (4) would hide the result code.
#undef R_OK
#include <string>
#include <vector>

extern "C" void *__imp_FindFirstFileW;
extern "C" void *__imp_FindNextFileW;
extern "C" void *__imp_GetFileAttributesW;

static const wchar_t *const k_inside_disc = L"The install folder can't lie inside the folder of the game files.";
static const wchar_t *const k_copy_msg = L"The game files couldn't be copied.";
static const wchar_t *const k_in_game =
    L"The game files lie inside this install folder's game folder, which the install fills with its own copy of "
    L"them. Choose another install folder, or move the game files elsewhere first.";

static std::vector<std::wstring> s_said;

static int said(const wchar_t *text, UINT style)
{
    (void)style;
    s_said.push_back(text);
    return IDOK;
}

static int plenty(const wchar_t *root, ULONGLONG *free_bytes)
{
    (void)root;
    *free_bytes = ~0ull;
    return 1;
}

// The checks of an install start into dest for the game selection as it is; what they told.
static int checks(const wchar_t *dest)
{
    s_said.clear();
    s_free_bytes = plenty;
    return install_checks(dest, L"", said);
}

static std::wstring starts(const std::wstring &s, size_t n)
{
    return s.substr(0, n);
}

// ---------------------------------------------------------------------------
// A disc at a drive root

// A Unix command run by Wine (which gives no handle back); waits until the
// drive root's presence is want.
static int unix_cmd(const std::string &cmd, const wchar_t *root, int want)
{
    std::wstring w(cmd.begin(), cmd.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(NULL, &w[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 0;
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    for (int i = 0; i < 500; i++, Sleep(10)) // a bounded wait for the link, not a measurement
        if ((GetFileAttributesW(root) != INVALID_FILE_ATTRIBUTES) == want)
            return 1;
    return 0;
}

typedef char *(CDECL *UnixNameFn)(LPCWSTR dos);

// Drive Q: of this prefix leads to a folder while the object lives.
struct DriveQ {
    std::string link;
    bool made = false;
    explicit DriveQ(const wchar_t *folder)
    {
        UnixNameFn unix_name =
            (UnixNameFn)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
        char prefix[MAX_PATH];
        if (!unix_name || !GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH))
            return;
        char *target = unix_name(folder);
        link = std::string(prefix) + "/dosdevices/q:";
        made = target && unix_cmd("/bin/ln -sfn \"" + std::string(target) + "\" \"" + link + "\"", L"Q:\\", 1);
        HeapFree(GetProcessHeap(), 0, target);
    }
    ~DriveQ()
    {
        if (!link.empty())
            unix_cmd("/bin/rm -f \"" + link + "\"", L"Q:\\", 0);
    }
};

TEST(DriveRoot, ADiscAtTheRootIsThatRootAndNoInstallFolderOnItsDriveIsTaken)
{
    test_init();
    wchar_t folder[MAX_PATH];
    test_dir(L"drive-q", folder);
    ASSERT_TRUE(disc_make(folder, NULL));
    DriveQ q(folder);
    ASSERT_TRUE(q.made) << "drive Q: couldn't be mapped to " << utf8(folder);
    const struct {
        const wchar_t *picked, *field;
    } rows[] = {
        {L"Q:\\default.xbe", L"Q:\\default.xbe"},
        {L"Q:\\Driving.xbe", L"Q:\\Driving.xbe"},
        {L"Q:\\", L"Q:\\default.xbe"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(utf8(r.picked));
        PickTexts texts;
        game_check(r.picked, &s_game, &texts);
        EXPECT_STREQ(L"Q:\\", s_game.dir);
        EXPECT_STREQ(r.field, texts.field);
        EXPECT_EQ(1, s_game.ok) << utf8(texts.note);
        EXPECT_EQ(R_FAIL, checks(L"Q:\\Emberveil"));
        EXPECT_EQ(k_inside_disc, starts(s_said.empty() ? L"" : s_said[0], wcslen(k_inside_disc)));
    }
    ZeroMemory(&s_game, sizeof s_game);
}

// The copy would copy the disc into the folder that holds it, and the prune
// then remove it as "not on the disc": a disc folder, or an image file, lying
// inside <install>\game is refused; the game folder itself is the disc in place.
TEST(DiscInGameFolder, IsRefusedUnlessItIsTheGameFolderItself)
{
    test_init();
    wchar_t root[MAX_PATH], made[MAX_PATH];
    test_dir(L"in-game", made);
    path_full(made, root);
    const std::wstring inst = std::wstring(root) + L"\\Emberveil";
    const struct {
        const wchar_t *disc; // after the install folder
        int result;
    } rows[] = {
        {L"\\game\\disc", R_FAIL},
        {L"\\GAME\\a\\b", R_FAIL},
        {L"\\game\\disc.iso", R_FAIL},
        {L"\\game", R_OK},
        {L"\\game2", R_OK},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(utf8(r.disc));
        ZeroMemory(&s_game, sizeof s_game);
        swprintf(s_game.dir, MAX_PATH, L"%ls%ls", inst.c_str(), r.disc);
        s_game.ok = 1;
        s_game.region = 4;
        EXPECT_EQ(r.result, checks(inst.c_str()));
        EXPECT_EQ(r.result == R_OK ? std::vector<std::wstring>() : std::vector<std::wstring>{k_in_game}, s_said);
    }
    ZeroMemory(&s_game, sizeof s_game);
    tree_remove(root);
}

// ---------------------------------------------------------------------------
// The tree walks at MAX_PATH

// The platform's long form of a path, which reaches past MAX_PATH.
static std::wstring longp(const std::wstring &p)
{
    return L"\\\\?\\" + p;
}

// Folders below top down to one whose full path is exactly len characters,
// holding a file "x.c"; the deepest folder's path.
static std::wstring deep_folder(const std::wstring &top, size_t len)
{
    std::wstring p = top;
    while (p.size() < len) {
        size_t part = len - p.size() - 1;
        if (part > 200)
            part = part - 200 < 2 ? part - 2 : 200;
        p += L"\\" + std::wstring(part, L'd');
        CreateDirectoryW(longp(p).c_str(), NULL);
    }
    HANDLE f = CreateFileW(longp(p + L"\\x.c").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    return p;
}

// Deletes a tree of any depth.
static void long_remove(const std::wstring &path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(longp(path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring sub = path + L"\\" + fd.cFileName;
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                long_remove(sub);
            else
                DeleteFileW(longp(sub).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(longp(path).c_str());
}

enum Walker { PICK, COPY, PRUNE, REMOVE, COUNT };

struct WalkRow {
    const char *name;
    Walker walker;
    size_t len; // the full path of the deepest folder
};

static void PrintTo(const WalkRow &r, std::ostream *os)
{
    *os << r.name;
}

static const WalkRow k_walks[] = {
    {"Pick258", PICK, 258},     {"Pick259", PICK, 259},     {"Pick260", PICK, 260},
    {"Copy258", COPY, 258},     {"Copy259", COPY, 259},     {"Copy260", COPY, 260},
    {"Prune258", PRUNE, 258},   {"Prune259", PRUNE, 259},   {"Prune260", PRUNE, 260},
    {"Remove258", REMOVE, 258}, {"Remove259", REMOVE, 259}, {"Remove260", REMOVE, 260},
    {"Count258", COUNT, 258},   {"Count259", COUNT, 259},   {"Count260", COUNT, 260},
};

class LongPath : public ::testing::TestWithParam<WalkRow> {};

// The disc <root>\d\game and the install folder <root>\i, whose game folder
// has a path as long as the disc's: a walk of either side meets the same
// lengths. Every row ends in the same refusal naming the path's start, and the
// deepest file is never skipped over or deleted. (Before, 259 overflowed the
// stack; at 260 the prune and the removal handed Wine's SHFileOperationW a
// tree with a path it can't name, and it deleted in the current folder.)
TEST_P(LongPath, TheWalkFailsAndNamesThePath)
{
    const WalkRow &r = GetParam();
    test_init();
    wchar_t made[MAX_PATH], root[MAX_PATH];
    test_dir(L"long", made);
    path_full(made, root);
    const std::wstring disc = std::wstring(root) + L"\\d\\game", inst = std::wstring(root) + L"\\i";
    const std::wstring target = inst + L"\\game", tools = inst + L"\\toolchain";
    ASSERT_TRUE(disc_make(disc.c_str(), NULL));
    ASSERT_TRUE(make_dir(target.c_str()) && make_dir(tools.c_str()));
    const std::wstring top = r.walker == PICK || r.walker == COPY ? disc : r.walker == PRUNE ? target : tools;
    const std::wstring deep = deep_folder(top, r.len), start = deep.substr(0, 72) + L"...";
    const std::wstring file = deep + L"\\x.c";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(longp(file).c_str()));
    copy_cut(s_dir, MAX_PATH, inst.c_str());
    PickTexts texts;
    game_check(disc.c_str(), &s_game, &texts);
    if (r.walker == PICK) {
        EXPECT_EQ(0, s_game.ok);
        EXPECT_EQ(L"A path of the disc is too long for Windows: " + start +
                      L" Copy the disc into a shorter folder, for example C:\\Emberveil disc.",
                  texts.note);
    } else if (r.walker == COPY || r.walker == PRUNE) {
        s_game.ok = 1;
        s_cancel = 0;
        log_open(inst.c_str());
        EXPECT_EQ(R_FAIL, stage_copy());
        log_close();
        EXPECT_EQ(L"A path is too long for Windows: " + start, std::wstring(s_fail_msg));
    } else {
        s_too_long[0] = 0;
        EXPECT_EQ(r.walker == REMOVE ? 0 : -1, r.walker == REMOVE ? remove_tree(tools.c_str()) : count_c(tools.c_str(), 1));
        EXPECT_EQ(start, std::wstring(s_too_long).substr(0, 72) + L"...");
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(longp(file).c_str()));
    s_dir[0] = 0;
    ZeroMemory(&s_game, sizeof s_game);
    long_remove(root);
}

INSTANTIATE_TEST_SUITE_P(Rows, LongPath, ::testing::ValuesIn(k_walks),
                         [](const ::testing::TestParamInfo<WalkRow> &i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// Listings and attribute reads that fail half-way

typedef HANDLE(WINAPI *FirstFn)(LPCWSTR, LPWIN32_FIND_DATAW);
typedef BOOL(WINAPI *NextFn)(HANDLE, LPWIN32_FIND_DATAW);
typedef DWORD(WINAPI *AttrFn)(LPCWSTR);
static FirstFn s_first;
static NextFn s_next;
static AttrFn s_attr;

// The listing of a folder under s_break_in stops after s_break_after more
// entries with s_break_code; an attribute read under s_blind_in fails with s_blind_code.
static std::wstring s_break_in, s_blind_in;
static HANDLE s_breaking = INVALID_HANDLE_VALUE;
static int s_break_after;
static DWORD s_break_code, s_blind_code;

static bool under(const wchar_t *path, const std::wstring &folder)
{
    return !folder.empty() && ieqn(path, folder.c_str(), folder.size());
}

static HANDLE WINAPI first_of(LPCWSTR pattern, LPWIN32_FIND_DATAW fd)
{
    HANDLE h = s_first(pattern, fd);
    if (h != INVALID_HANDLE_VALUE && under(pattern, s_break_in) && s_breaking == INVALID_HANDLE_VALUE)
        s_breaking = h;
    return h;
}

static BOOL WINAPI next_of(HANDLE h, LPWIN32_FIND_DATAW fd)
{
    if (h == s_breaking && s_break_after-- <= 0) {
        SetLastError(s_break_code);
        return FALSE;
    }
    return s_next(h, fd);
}

static DWORD WINAPI attr_of(LPCWSTR path)
{
    if (under(path, s_blind_in)) {
        SetLastError(s_blind_code);
        return INVALID_FILE_ATTRIBUTES;
    }
    return s_attr(path);
}

struct Breaking {
    SlotSwap first{&__imp_FindFirstFileW, (void *)first_of}, next{&__imp_FindNextFileW, (void *)next_of},
        attr{&__imp_GetFileAttributesW, (void *)attr_of};
    Breaking()
    {
        s_first = (FirstFn)first.was();
        s_next = (NextFn)next.was();
        s_attr = (AttrFn)attr.was();
    }
    ~Breaking()
    {
        s_break_in.clear();
        s_blind_in.clear();
        s_breaking = INVALID_HANDLE_VALUE;
    }
};

TEST(BrokenSource, OnlyTheListingsEndAndANameNotFoundCount)
{
    test_init();
    enum { NOTHING, DISC_LISTING, COPY_LISTING, DISC_ATTRIBUTES };
    const struct {
        const char *what;
        int breaks;   // what fails half-way
        DWORD code;   // with this error
        int result;
        bool removed; // the file only the copy holds was removed
    } rows[] = {
        {"the disc's listing breaks", DISC_LISTING, ERROR_NETNAME_DELETED, R_FAIL, false},
        {"the copy's listing breaks in the prune", COPY_LISTING, ERROR_NETNAME_DELETED, R_FAIL, false},
        {"the disc drive is gone in the prune", DISC_ATTRIBUTES, ERROR_NOT_READY, R_FAIL, false},
        {"the disc folder is gone in the prune", DISC_ATTRIBUTES, ERROR_PATH_NOT_FOUND, R_FAIL, false},
        {"nothing breaks", NOTHING, 0, R_OK, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        wchar_t made[MAX_PATH], root[MAX_PATH];
        test_dir(L"broken", made);
        path_full(made, root);
        const std::wstring disc = std::wstring(root) + L"\\disc", inst = std::wstring(root) + L"\\Emberveil";
        const std::wstring target = inst + L"\\game", extra = target + L"\\driving\\extra.bin";
        ASSERT_TRUE(disc_make(disc.c_str(), NULL));
        // An earlier install's whole copy, and a file the disc doesn't hold.
        ASSERT_TRUE(disc_make(target.c_str(), NULL));
        ASSERT_TRUE(put_file(extra.c_str(), "only in the copy"));
        ASSERT_EQ(L"", copy_start(disc, inst));
        log_open(inst.c_str());
        int result;
        {
            Breaking b;
            if (r.breaks == DISC_ATTRIBUTES)
                s_blind_in = disc + L"\\driving\\";
            if (r.breaks == DISC_LISTING || r.breaks == COPY_LISTING)
                s_break_in = r.breaks == DISC_LISTING ? disc : target;
            s_break_after = 3;
            s_break_code = s_blind_code = r.code;
            result = stage_copy();
        }
        log_close();
        EXPECT_EQ(r.result, result) << log_text(inst.c_str());
        EXPECT_STREQ(r.result == R_FAIL ? k_copy_msg : L"", s_fail_msg);
        EXPECT_EQ(r.removed, GetFileAttributesW(extra.c_str()) == INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(r.removed ? 1 : 0, count_of(log_text(inst.c_str()), "(not on the disc)")) << log_text(inst.c_str());
    }
    s_dir[0] = 0;
    ZeroMemory(&s_game, sizeof s_game);
}
