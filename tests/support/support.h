// What every test program of the project shares, unit and end-to-end alike:
// waiting, files and trees, the program's scratch folder, the install log
// read back, the build's own programs, the environment and registry value of
// a test, a game that runs, tar.exe put aside, Setup's temporary archives,
// and pixels. Nothing here needs the product or a running Setup.
#pragma once

#include <windows.h>

#include <functional>
#include <stdint.h>
#include <string>
#include <utility>
#include <vector>

// Polls ok every 20 ms until it holds; false when it still doesn't after ms.
// Every wait of the tests for something that happens on its own goes through here.
bool wait_until(const std::function<bool()> &ok, DWORD ms);

// ---- Text and paths

std::string utf8(const std::wstring &w);
std::string utf8(const wchar_t *w); // null gives "(null)"
std::wstring widen(const std::string &utf8_text);
// dir + "\" + name.
std::wstring join(const std::wstring &dir, const std::wstring &name);
// A Unix path as Wine's Z: drive names it (the build passes Unix paths).
std::wstring win_path(const char *unix_path);
// How often needle occurs in hay.
int count_of(const std::string &hay, const std::string &needle);

// ---- Files and trees

// The whole content of a file, opened while others may still write or delete
// it; "" when it can't be read (has_file tells the two apart).
std::string read_file(const std::wstring &path);
// Writes bytes as the whole file, making missing parent folders; true on success.
bool put_file(const std::wstring &path, const std::string &bytes);
bool has_file(const std::wstring &path);
bool has_dir(const std::wstring &path);
// Makes the folder with all missing parents; true when it is a folder afterwards.
bool make_dir(const std::wstring &path);
// Gives the file (made when missing) this length without writing its bytes:
// the host keeps it sparse, so sizes past any disk cost nothing.
bool set_length(const std::wstring &path, uint64_t size);
// Deletes a file or tree, read-only files too, without following links into
// folders outside it; tries again for a while when something still holds a
// file (a console program's conhost can outlive it). True when it is gone.
bool tree_remove(const std::wstring &path);
// Empty when the two trees hold the same names (ASCII case folded), folders
// and bytes; else what differs first.
std::string tree_diff(const std::wstring &a, const std::wstring &b);
// The number of files under dir (a folder that is a link is not entered).
int file_count(const std::wstring &dir);
// Names of the files directly in dir whose names end in suffix (any case).
std::vector<std::wstring> files_ending(const std::wstring &dir, const wchar_t *suffix);
// The last-write time of path (zero when it can't be read), and setting it.
FILETIME mtime_of(const std::wstring &path);
bool set_mtime(const std::wstring &path, FILETIME t);
// A folder link at link leading to target; true when it exists afterwards.
// Made with CreateSymbolicLinkW where that works, else on the Unix side
// (Wine 8's CreateSymbolicLinkW reports success and makes nothing); how it
// was made goes into how (may be null).
bool make_link(const std::wstring &link, const std::wstring &target, const wchar_t **how);
// Removes a link made by make_link, never what it leads to; true when it is gone.
bool drop_link(const std::wstring &link);

// ---- The scratch folder

// This test program's own folder on the prefix's C: drive. It is emptied
// before and after every test case, so a case finds nothing of another and
// leaves nothing behind, whatever path it ended on.
const std::wstring &scratch_root(void);
// <scratch root>\name; nothing is made or removed.
std::wstring scratch(const std::wstring &name);
// A fresh, empty folder <scratch root>\name (what was there is removed);
// its full path into out (MAX_PATH).
void test_dir(const wchar_t *name, wchar_t *out);
// Runs fn at the end of every test case, before the scratch folder is emptied
// (the end-to-end tests end the Setup they started there). Returns 1.
int at_test_end(void (*fn)(void));

// ---- The build's programs and folders

// The build folder: the parent of BUILD\tests, where the test programs run.
std::wstring build_dir(void);
// BUILD\tests\tools\<name>: the test tools (evchild.exe, badtar.exe, ...).
std::wstring test_tool(const wchar_t *name);
// EmberveilSetup.exe as the build made it, or the one EV_SETUP_EXE names
// (the packer's test runs the installs again with the Setups it packed).
std::wstring setup_exe(void);
// BUILD\tests\install\<name>: Setups with broken payloads, the planted PowerShell.
std::wstring own_exe(const wchar_t *name);
// BUILD\artifacts, made when missing, and a file in it.
std::wstring artifacts_dir(void);
std::wstring artifact(const std::wstring &name);
// evchild.exe, and a command line of it with args (evchild's commands).
std::wstring child_exe(void);
std::wstring child_cmd(const std::wstring &args);

// ---- The test's surroundings

// Environment variables for the programs started while the object lives
// (Setup hands its environment on to the scripts and tools it runs); each
// gets its earlier value back at the end. A null value unsets it.
class Hooks {
public:
    typedef std::vector<std::pair<const wchar_t *, std::wstring>> Vars;
    explicit Hooks(const Vars &vars);
    Hooks(const wchar_t *name, const wchar_t *value);
    ~Hooks();
    Hooks(const Hooks &) = delete;
    Hooks &operator=(const Hooks &) = delete;

private:
    void set(const wchar_t *name, const wchar_t *value);
    std::vector<std::pair<std::wstring, std::wstring>> before_; // "\1" marks one that was unset
};

// The install registry value, as the documents name it (under HKCU).
extern const wchar_t *const k_install_key;   // "Software\Emberveil Vavudo"
extern const wchar_t *const k_install_value; // "InstallDir"

// A process running under the game's executable name, as Setup's check looks
// for it: a copy of evchild.exe named name in folder (made), waiting, for as
// long as the object lives; it is ended on every path.
class RunningGame {
public:
    RunningGame(const std::wstring &folder, const wchar_t *name);
    ~RunningGame();
    bool running() const;
    RunningGame(const RunningGame &) = delete;
    RunningGame &operator=(const RunningGame &) = delete;

private:
    HANDLE proc_ = NULL;
};

// The system's tar.exe as Setup starts it.
std::wstring system_tar(void);
// The system's tar.exe moved aside while the object lives and put back after;
// with a stand-in (a test tool's name), that one stands in its place.
class TarAside {
public:
    explicit TarAside(const wchar_t *stand_in);
    ~TarAside();
    // The system's tar.exe is away, and the stand-in (if any) in its place.
    bool in_place() const { return moved_ && copied_; }
    TarAside(const TarAside &) = delete;
    TarAside &operator=(const TarAside &) = delete;

private:
    std::wstring tar_, aside_;
    bool moved_ = false, copied_ = false;
};
// badtar.exe in tar.exe's place; it finds the real one, kept beside it as
// bsdtar.exe, for its "pass" mode (see tests/tools/tar/badtar.c).
class BadTar : public TarAside {
public:
    BadTar() : TarAside(L"badtar.exe") {}
};

// The temporary folder, with its backslash.
std::wstring temp_dir(void);
// The archives "emberveil_setup_<pid>_*" Setup left in dir (default: the
// temporary folder); pid 0 takes any Setup's. Full paths.
std::vector<std::wstring> temp_archives(DWORD pid, const std::wstring &dir = L"");
void remove_temp_archives(DWORD pid);

// ---- The install log read back

// <dir>\logs\install.log as UTF-8 bytes.
std::string log_text(const std::wstring &dir);
// 1 when line begins with a "[hh:mm:ss] " that is a time of day.
int stamped(const std::string &line);
// The log's own lines: the text behind each time stamp up to its CR LF,
// wherever the stamp stands (tool output without a line end puts it
// mid-line). A stamp shaped right but no time of day is kept with
// "BAD STAMP " before its text.
std::vector<std::string> installer_lines(const std::string &log);
// Every line of the log of the folder dir, each without its CR LF: the text
// behind its stamp, or "?" and the whole line when it has none (so that a
// comparison shows it); a rest without CR LF is the last line.
std::vector<std::string> log_texts(const std::wstring &dir);
// Pattern match where '#' stands for one digit, '~' for one or more, and all else is literal.
bool glob(const char *pattern, const std::string &text);
// Polls the install folder's log until it holds needle; false after timeout_ms.
bool wait_log(const std::wstring &dir, const std::string &needle, DWORD timeout_ms);
// The number written behind prefix in the log (a process id), 0 when absent.
DWORD number_after(const std::string &log, const std::string &prefix);

// ---- Pixels

// 0x00RRGGBB, the form of the banner's words and of Shot's pixels.
DWORD rgb(int r, int g, int b);
// Each channel of a within d of b.
bool close_to(DWORD a, DWORD b, int d);
// "rrggbb", for messages.
std::string hex(DWORD v);

// A picture of a window's client area: top-down rows of 0x00RRGGBB.
struct Shot {
    int w = 0, h = 0;
    std::vector<DWORD> px;
    DWORD at(int x, int y) const { return px[(size_t)y * w + x]; }
};
// Reads a 32-bit .bmp as the driver writes it; true on success.
bool load_bmp(const std::wstring &path, Shot *shot);

// The main button's colours in its states, as the documents give them.
struct GoColours {
    DWORD top, bottom, edge;
};
extern const GoColours k_go_normal, k_go_pressed, k_go_disabled;

// A DROPFILES block naming paths (wide, each ended, the list ended), as the
// shell hands it over with a drop.
std::vector<char> drop_block(const std::vector<std::wstring> &paths);
