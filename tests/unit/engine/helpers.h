// What the engine's tests share: scratch folders, the install log read back as
// lines, a clock the tests turn by hand, and the child tool evchild.exe.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Once per process: the install context's lock.
void engine_init(void);
// A fresh folder of this run under %TEMP% (made; unique per call); full path into out.
void scratch_dir(wchar_t *out);
// Deletes a tree; 1 when it is gone.
int tree_remove(const wchar_t *path);
// The whole content of a file; empty when it can't be read.
std::string read_bytes(const wchar_t *path);
// The bytes of <dir>\logs\install.log (read after log_close).
std::string log_of(const wchar_t *dir);
// The lines of bytes, each without its CR LF; a rest without CR LF is the last line.
std::vector<std::string> split_crlf(const std::string &bytes);
// 1 when line begins with "[hh:mm:ss] ": digits in range, brackets, colons, a blank.
int stamped(const std::string &line);
// The texts of the installer lines of the log of dir; a line without a valid
// stamp comes back as "?" followed by the whole line, so a comparison shows it.
std::vector<std::string> log_texts(const wchar_t *dir);

// The fake clock: tests set s_now and put fake_ticks into s_ticks.
extern DWORD s_now;
DWORD WINAPI fake_ticks(void);

// The full path of evchild.exe, which the build puts in tools\ beside the tests.
const wchar_t *child_exe(void);
// "<evchild.exe>" args as a command line for run (args: evchild's commands).
std::wstring child_cmd(const std::wstring &args);
