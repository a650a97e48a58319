// Start-up as a script or the shell drives it: the command line, the exit
// codes of "/test /go" when a check refuses, a second start, and an earlier
// install found through the registry.
#include "ids.h"
#include "e2e.h"

#include <gtest/gtest.h>

#define OK_NOTE L"Z93: Emberveil, Europe (PAL), 0.0 GB"
#define NO_NOTE L"Or drop the file on this window."
#define DEFAULT_DEST L"C:\\Games\\Emberveil"

// Each row is one start: what the form shows after that command line.
TEST(CommandLine, OptionsAndALonePath)
{
    const std::wstring good = scratch(L"good"), xbe = good + L"\\default.xbe";
    const std::wstring other = scratch(L"other");
    // A lone "/xbe" is a path, made full from the folder Setup starts in (ours).
    wchar_t lone[MAX_PATH];
    ASSERT_TRUE(GetFullPathNameW(L"/xbe", MAX_PATH, lone, NULL));
    struct Row {
        std::wstring args;
        std::wstring field, note, dest;
        bool ticked;
    } const rows[] = {
        {L"/xbe " + xbe + L" /dir " + other, xbe, OK_NOTE, other, true},
        {L"/XBE " + xbe + L" /Dir " + other + L" /TeSt", xbe, OK_NOTE, other, false},
        {L"/test", L"", NO_NOTE, DEFAULT_DEST, false},
        // A file or a folder dropped on Setup's icon.
        {xbe, xbe, OK_NOTE, DEFAULT_DEST, true},
        {good, xbe, OK_NOTE, DEFAULT_DEST, true},
        // With more than one argument a path alone is no option.
        {xbe + L" /test", L"", NO_NOTE, DEFAULT_DEST, false},
        {L"/dir " + other + L" " + xbe, L"", NO_NOTE, other, true},
        // "/xbe" with nothing after it is skipped...
        {L"/dir " + other + L" /xbe", L"", NO_NOTE, other, true},
        // ...unless it is the only argument: then it is a path like any other.
        {L"/xbe", lone, L"There is no default.xbe in this folder.", DEFAULT_DEST, true},
        // A later option overrides an earlier one.
        {L"/xbe " + scratch(L"nothing") + L" /dir C:\\x /xbe " + xbe + L" /dir " + other, xbe, OK_NOTE, other, true},
        // Only the slash and the whole word make an option.
        {L"/xbe " + xbe + L" -test /tests /TEST:1", xbe, OK_NOTE, DEFAULT_DEST, true},
    };
    ASSERT_TRUE(good_disc(good));
    for (const Row &r : rows) {
        SCOPED_TRACE(r.args);
        ASSERT_TRUE(start_setup(r.args));
        EXPECT_EQ(r.field, control_text(ID_XBE));
        EXPECT_EQ(r.note, control_text(ID_NOTE));
        EXPECT_EQ(r.dest, control_text(ID_DEST));
        EXPECT_EQ(r.ticked, drv_checked(ID_SHORTCUT) != 0);
        EXPECT_EQ(L"Install", control_text(ID_GO));
        EXPECT_EQ(0, close_setup());
    }
}

// Starts Setup with args, handing it a file as its standard error, as a
// script that redirects it does; the process, or null.
static HANDLE start_redirected(const std::wstring &args, const std::wstring &err)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE f = CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdError = f;
    std::wstring cmd = L"\"" + setup_exe() + L"\" " + args;
    PROCESS_INFORMATION pi = {};
    BOOL ok = f != INVALID_HANDLE_VALUE && CreateProcessW(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    if (!ok)
        return NULL;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

static std::string file_text(const std::wstring &path)
{
    std::string out;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    char buf[4096];
    DWORD got = 0;
    while (f != INVALID_HANDLE_VALUE && ReadFile(f, buf, sizeof buf, &got, NULL) && got)
        out.append(buf, got);
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    return out;
}

// "/test /go" is how a script installs: nobody is there to answer a box. A
// start that the checks refuse ends at once with its code, its text written
// to standard error and to the file the README names; a question is answered No.
TEST(TestGo, RefusedStartsEndAtOnceWithTheirCodeAndText)
{
    const std::wstring good = scratch(L"good"), full = scratch(L"full");
    const std::wstring bad = scratch(L"bad");
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
    const std::wstring refused = std::wstring(temp) + L"EmberveilSetup-refused.txt";
    struct Row {
        std::wstring args;
        std::string line;
        DWORD code;
    } const rows[] = {
        {L"/test /go", "Choose the default.xbe of your extracted Emberveil disc first.", 1},
        {L"/Go /xbe " + bad + L" /TEST", "There is no default.xbe in this folder.", 1},
        {L"/test /go /xbe " + good + L" /dir Games", "Choose a full path, for example C:\\Games\\Emberveil.", 1},
        {L"/test /go /xbe " + good + L" /dir " + full, "This folder is not empty. Install into it anyway? No", 2},
    };
    ASSERT_TRUE(good_disc(good));
    ASSERT_TRUE(filled_folder(full));
    ASSERT_TRUE(make_dir(bad));
    int row = 0;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.args);
        DeleteFileW(refused.c_str());
        // A file of its own for each start: Wine's services, which a start
        // may bring up, keep the standard handles they were started with.
        const std::wstring err = scratch((L"stderr-" + std::to_wstring(++row) + L".txt").c_str());
        HANDLE p = start_redirected(r.args, err);
        ASSERT_TRUE(p);
        DWORD code = 99;
        bool ended = WaitForSingleObject(p, EXIT_MS) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(p, 99); // a box nobody answers
        GetExitCodeProcess(p, &code);
        CloseHandle(p);
        ASSERT_TRUE(ended) << "Setup waited for an answer";
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.line + "\r\n", file_text(err));
        EXPECT_EQ(r.line + "\r\n", file_text(refused));
    }
    DeleteFileW(refused.c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((full + L"\\logs").c_str()));
}

// Counts the visible Setup windows on the desktop, whoever made them.
static BOOL CALLBACK count_setup(HWND h, LPARAM l)
{
    wchar_t cls[32];
    if (IsWindowVisible(h) && GetClassNameW(h, cls, 32) && !wcscmp(cls, L"EvSetup"))
        ++*(int *)l;
    return TRUE;
}

static HWND wait_foreground(HWND want)
{
    HWND fg = NULL;
    wait_until([&] { return (fg = drv_foreground()) == want; }, WAIT_MS);
    return fg;
}

// A second start brings the first window to the front and ends at once with
// 0, its own command line unread.
TEST(SecondStart, BringsTheFirstToTheFront)
{
    ASSERT_TRUE(good_disc(scratch(L"good")));
    ASSERT_TRUE(start_setup(L"/xbe " + scratch(L"good")));
    HWND first = drv_main();
    // Something else in front first, so that the second start has to move it.
    HWND other = CreateWindowExW(0, L"STATIC", L"in front", WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 300, 100, NULL,
                                 NULL, NULL, NULL);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    ASSERT_EQ(other, wait_foreground(other));

    DWORD code = 99;
    std::wstring args = L"/test /dir " + scratch(L"second") + L" /xbe " + scratch(L"nothing") + L" /go";
    ASSERT_TRUE(drv_run(setup_exe().c_str(), args.c_str(), NULL, EXIT_MS, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(first, wait_foreground(first));
    DestroyWindow(other);
    int windows = 0;
    EnumWindows(count_setup, (LPARAM)&windows);
    EXPECT_EQ(1, windows);
    EXPECT_EQ(DEFAULT_DEST, control_text(ID_DEST));
    EXPECT_EQ(OK_NOTE, control_text(ID_NOTE));
    EXPECT_TRUE(drv_checked(ID_SHORTCUT));
    EXPECT_TRUE(drv_no_msgbox(NO_BOX_MS));
    EXPECT_EQ(0, close_setup());
}

// Points the install registry value at folder (a string, or a number when
// as_number); 1/0.
static int earlier_install(const std::wstring &folder, bool as_number)
{
    if (as_number) {
        DWORD v = 7;
        return RegSetKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value, REG_DWORD, &v, sizeof v) ==
               ERROR_SUCCESS;
    }
    return RegSetKeyValueW(HKEY_CURRENT_USER, k_install_key, k_install_value, REG_SZ, folder.c_str(),
                           (DWORD)((folder.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Makes folder look like an earlier install: its built game, and its disc
// copy when with_disc.
static int installed_folder(const std::wstring &folder, bool with_disc)
{
    return put_file(folder + L"\\build\\Release\\emberveil.exe", "") && (!with_disc || good_disc(folder + L"\\game"));
}

class EarlierInstall : public ::testing::Test {
protected:
    void TearDown() override { forget_earlier_install(); }
};

// What the registry value leads to at start-up, one start per row.
TEST_F(EarlierInstall, FoundThroughTheRegistryValue)
{
    const std::wstring done = scratch(L"earlier"), bare = scratch(L"bare"), empty = scratch(L"empty");
    const std::wstring other = scratch(L"other");
    const std::wstring done_xbe = done + L"\\game\\default.xbe";
    ASSERT_TRUE(installed_folder(done, true));
    ASSERT_TRUE(installed_folder(bare, false));
    ASSERT_TRUE(filled_folder(empty + L"\\game"));
    struct Row {
        const wchar_t *name;
        std::wstring value;
        bool as_number;
        std::wstring args;
        bool found;
        std::wstring dest, field, note, space;
    } const rows[] = {
        // Its own game folder holds the disc: the copy needs no new room.
        {L"built with disc", done, false, L"", true, done, done_xbe, OK_NOTE, L"1.6 GB"},
        {L"built without disc", bare, false, L"", true, bare, L"", NO_NOTE, L"1.6 GB"},
        {L"no built game", empty, false, L"", false, DEFAULT_DEST, L"", NO_NOTE, L"1.6 GB"},
        {L"not a string", L"", true, L"", false, DEFAULT_DEST, L"", NO_NOTE, L"1.6 GB"},
        // The command line comes after the registry and wins; the subtitle
        // names the folder now in the field.
        {L"overridden", done, false, L"/dir " + other, true, other, done_xbe, OK_NOTE, L"1.6 GB"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(earlier_install(r.value, r.as_number));
        ASSERT_TRUE(start_setup(r.args));
        EXPECT_EQ(r.dest, control_text(ID_DEST));
        EXPECT_EQ(r.field, control_text(ID_XBE));
        EXPECT_EQ(r.note, control_text(ID_NOTE));
        EXPECT_EQ(r.found ? L"Reinstall" : L"Install", control_text(ID_GO));
        EXPECT_EQ(r.found ? L"Installed" : L"Not installed", status_text(0));
        EXPECT_EQ(r.space, status_text(1));
        Shot shot;
        ASSERT_TRUE(take_shot(artifact(L"window-earlier-install.bmp"), &shot));
        EXPECT_EQ(r.found, painted(shot, L"Reinstall Emberveil", TITLE_FONT, INK, 96) != 0);
        EXPECT_EQ(!r.found, painted(shot, L"Install Emberveil", TITLE_FONT, INK, 96) != 0);
        if (r.found) {
            std::wstring sub = L"Installed in " + r.dest + L".";
            EXPECT_TRUE(painted(shot, sub.c_str(), NOTE_FONT, GREY, 96)) << "subtitle naming " << r.dest;
        }
        EXPECT_EQ(0, close_setup());
    }
}
