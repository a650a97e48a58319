// What the whole-install tests add to e2e.h: synthetic discs, whole runs of
// Setup with their logs, the player's settings, the registry value, the
// desktop shortcut, the processes of a run, and one fixture that leaves the
// prefix as it found it.
#pragma once

#include "e2e.h"

#include <gtest/gtest.h>

// The two synthetic discs, made when missing: European (region 4,
// corvane\25_fps) and North-American (region 1, corvane\30_fps). Each is a
// folder of the scratch folder holding default.xbe.
std::wstring disc_eu(void);
std::wstring disc_us(void);
// The European disc made anew in folder, whatever its name.
bool disc_eu_in(const std::wstring &folder);
// The bytes the copy step counts for a disc (disc_eu or disc_us).
uint64_t disc_bytes(const std::wstring &disc);

// The player's two settings files.
struct Settings {
    std::string emberveil; // emberveil.ini
    std::string mkb;       // mkb.ini
};
bool put_settings(const std::wstring &dir, const Settings &s);
// What an earlier install leaves that the tests look for: its build script (so no
// "not empty" question comes), the player's settings and a toolchain of its own.
bool seed_earlier_install(const std::wstring &dir, const Settings &s);
// The player's settings are in dir byte for byte, and no ".kept" or ".part"
// copy of anything is left there (gtest failures otherwise).
void expect_settings(const std::wstring &dir, const Settings &s);

// Setup's command line for an install of disc (a disc folder, or an image file
// ending in ".iso") into dir, "/go" and, with test, "/test".
std::wstring install_args(const std::wstring &disc, const std::wstring &dir, bool test);

// One finished run of Setup.
struct Outcome {
    bool exited = false; // false: it was still running after the timeout (and was killed)
    DWORD code = 0;
    DWORD pid = 0;
    std::string log;  // logs\install.log of the install folder afterwards
    std::wstring box; // the text of a message box it showed when it hung, if any
};
// Starts Setup (exe, null: the build's) with install_args and waits for its end.
Outcome install(const std::wstring &disc, const std::wstring &dir, bool test = true, const wchar_t *exe = NULL,
                const wchar_t *cwd = NULL);
// Waits for the end of the Setup the driver started; kills it after timeout_ms.
Outcome finish_run(const std::wstring &dir, DWORD timeout_ms);

// The lines the check of the game files writes at the end of a copy step that
// succeeded with the demo's list and disc (patterns for glob).
std::vector<std::string> check_lines(void);
// The lines a first try at each step writes, up to and including the step last_step
// (1 to 5): start line, step lines and, from step 2 on, the list's and the copy
// line, and from step 3 on the check's lines.
std::vector<std::string> step_lines(const std::wstring &disc, const std::wstring &dir, int last_step);
// Checks that the log's own lines match the patterns one to one (gtest failures otherwise).
void expect_lines(const std::string &log, const std::vector<std::string> &want);

// The install registry value as Windows holds it.
struct RegValue {
    bool found = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};
RegValue read_install_value(void);
// Takes the install registry value and the desktop shortcut out of the way for
// a test and puts back what was there before when it ends.
class CleanSlate {
public:
    CleanSlate();
    ~CleanSlate();
    CleanSlate(const CleanSlate &) = delete;
    CleanSlate &operator=(const CleanSlate &) = delete;

private:
    bool key_existed_ = false, link_existed_ = false;
    RegValue before_;
    std::string link_before_;
};
// The desktop shortcut's path: Emberveil.lnk in the user's desktop folder.
std::wstring desktop_link(void);
// The shortcut's target, working folder and description, read through the shell.
struct Link {
    bool loaded = false;
    std::wstring target, folder, description;
};
Link read_link(const std::wstring &path);

// Ids of the running processes named exe whose parent is pid.
std::vector<DWORD> children(DWORD pid, const wchar_t *exe);
// The size of an executable's payload resource id: -1 when it has none, -2 when
// the executable can't be loaded as data.
long resource_size(const std::wstring &exe, int id);
// The bytes of an executable's payload resource id.
std::string resource_bytes(const std::wstring &exe, int id);

// The fixture of whole-install cases: a clean slate for the case. (For every
// case of these programs the support ends the driver's Setup, removes the
// temporary archives Setups left and empties the scratch folder, on every
// path the case ends on.)
class InstallCase : public ::testing::Test {
private:
    CleanSlate slate_;
};
