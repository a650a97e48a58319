// What the whole-install tests share: where Setup and the test programs are,
// scratch install folders and synthetic discs, files as bytes, the test
// hooks of the payload scripts, whole runs of EmberveilSetup.exe with their
// logs, the registry value, the desktop shortcut and the processes of a run.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>
#include <utility>
#include <vector>

#define RUN_MS 90000  // a whole install takes a few seconds; this bounds a hung one
#define EXIT_MS 10000 // a cancelled or closed Setup is gone well within this

// The build folder (parent of the folder this test program runs from).
std::wstring build_dir(void);
// EmberveilSetup.exe as the build made it, or the one EV_SETUP_EXE names.
std::wstring setup_exe(void);
// A program of this test folder's own (the payload variants, the planted PowerShell).
std::wstring own_exe(const wchar_t *name);
// BUILD\artifacts, made when missing.
std::wstring artifacts_dir(void);

std::wstring join(const std::wstring &dir, const std::wstring &name);
std::string narrow(const std::wstring &w); // UTF-8
std::wstring widen(const std::string &s);  // from UTF-8

// C:\ev-install\<name>, deleted with everything in it: a fresh folder to install into.
std::wstring scratch(const wchar_t *name);
// Deletes a folder tree (quietly).
void remove_dir(const std::wstring &dir);

// The two synthetic discs, made once per run: European (region 4, corvane\25_fps)
// and North-American (region 1, corvane\30_fps). Each is a folder holding default.xbe.
const std::wstring &disc_eu(void);
const std::wstring &disc_us(void);
// The bytes the copy step counts for a disc (disc_eu or disc_us).
uint64_t disc_bytes(const std::wstring &disc);

// Files as bytes. read_file gives "" for a missing file; has_file tells the two apart.
std::string read_file(const std::wstring &path);
bool put_file(const std::wstring &path, const std::string &bytes); // makes missing parents
bool has_file(const std::wstring &path);
bool has_dir(const std::wstring &path);
// Names of the files directly in dir whose names end in suffix.
std::vector<std::wstring> files_ending(const std::wstring &dir, const wchar_t *suffix);
// The C files of a folder (and of its subfolders with deep).
int c_files(const std::wstring &dir, bool deep);

// The player's two settings files.
struct Settings {
    std::string emberveil; // emberveil.ini
    std::string mkb;       // mkb.ini
};
bool put_settings(const std::wstring &dir, const Settings &s);
// What an earlier install leaves that the tests look for: its build script (so no
// "not empty" question comes), the player's settings and a toolchain of its own.
bool seed_earlier_install(const std::wstring &dir, const Settings &s);

// Environment variables for the payload scripts' test hooks, set for every
// Setup started while the object lives (Setup hands its environment on).
class Hooks {
public:
    typedef std::vector<std::pair<const wchar_t *, std::wstring>> Vars;
    explicit Hooks(const Vars &vars);
    ~Hooks();
    Hooks(const Hooks &) = delete;
    Hooks &operator=(const Hooks &) = delete;

private:
    std::vector<std::wstring> names_;
};

// tests\tools\badtar.exe in place of the system's tar.exe while the object
// lives, the real one put back after; it finds the real one, beside it as
// bsdtar.exe, for its "pass" mode (see tests/tools/tar/badtar.c).
class BadTar {
public:
    BadTar();
    ~BadTar();
    BadTar(const BadTar &) = delete;
    BadTar &operator=(const BadTar &) = delete;
    bool in_place() const { return moved_ && copied_; }

private:
    std::wstring tar_, aside_;
    bool moved_ = false, copied_ = false;
};
// The system's tar.exe as Setup starts it.
std::wstring system_tar(void);

// Setup's command line for an install of disc into dir, "/go" and, with test, "/test".
std::wstring install_args(const std::wstring &disc, const std::wstring &dir, bool test);

// One finished run of Setup.
struct Outcome {
    bool exited = false; // false: it was still running after the timeout (and was killed)
    DWORD code = 0;
    DWORD pid = 0;
    std::string log;      // logs\install.log of the install folder afterwards
    std::wstring box;     // the text of a message box it showed when it hung, if any
};
// Starts Setup (exe, null: the build's) with install_args and waits for its end.
Outcome install(const std::wstring &disc, const std::wstring &dir, bool test = true, const wchar_t *exe = NULL,
            const wchar_t *cwd = NULL);
// Waits for the end of the Setup the driver started; kills it after timeout_ms.
Outcome finish_run(const std::wstring &dir, DWORD timeout_ms);

// The log's own lines: the text behind each time stamp "[hh:mm:ss] " up to its CR LF,
// wherever the stamp stands (tool output without a line end puts it mid-line).
// A stamp that is not a valid time of day is kept with "BAD STAMP " before its text.
std::vector<std::string> installer_lines(const std::string &log);
// Pattern match where '#' stands for one digit, '~' for one or more, and all else is literal.
bool glob(const char *pattern, const std::string &text);
// The lines a first try at each step writes, up to and including the step last_step
// (1 to 5): start line, step lines and, from step 2 on, the copy line.
std::vector<std::string> step_lines(const std::wstring &disc, const std::wstring &dir, int last_step);
// Checks that the log's own lines match the patterns one to one (gtest failures otherwise).
void expect_lines(const std::string &log, const std::vector<std::string> &want);

// Polls the install folder's log until it holds needle; false after timeout_ms.
bool wait_log(const std::wstring &dir, const std::string &needle, DWORD timeout_ms);
// The number written behind prefix in the log (a process id), 0 when absent.
DWORD number_after(const std::string &log, const std::string &prefix);

// The running view's texts.
std::wstring control_text(int id);
std::wstring status_text(int part);

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
    bool key_existed_ = false;
    RegValue before_;
    std::string link_before_;
    bool link_existed_ = false;
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
// The temporary archives Setup with that process id left in the temporary folder.
std::vector<std::wstring> temp_archives(DWORD pid);
// Deletes them.
void remove_temp_archives(DWORD pid);
