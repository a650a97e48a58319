// Scratch folders, files, trees, links and logs for the game-file tests.
// Everything a test makes lies under one folder of this run in %TEMP%.
#pragma once
#include <windows.h>
#include <string>

// Once per process: the install context's lock (seg, detail and seg_frac take it).
void test_init(void);
// A fresh, empty folder <run folder>\name (an earlier one of that name is removed); full path into out.
void test_dir(const wchar_t *name, wchar_t *out);
// Writes n bytes to path, making missing parent folders; 1 on success.
int put_file(const wchar_t *path, const void *bytes, DWORD n);
// put_file of a NUL-terminated text (without its terminator).
int put_text(const wchar_t *path, const char *text);
// Makes the folder with all missing parents; 1 when it is a folder afterwards.
int make_dir(const wchar_t *path);
// The whole content of a file; empty when it can't be read.
std::string read_all(const wchar_t *path);
// Empty when the two trees hold the same names (ASCII case folded), folders
// and bytes; else what differs first.
std::string tree_diff(const wchar_t *a, const wchar_t *b);
// The number of files under dir (a folder that is a link is not entered).
int file_count(const wchar_t *dir);
// Deletes a tree without following links into folders outside it; 1 when it is gone.
int tree_remove(const wchar_t *path);
// A folder link at link leading to target; 1 when it exists afterwards.
// Made with CreateSymbolicLinkW where that works, else on the Unix side
// (Wine); how it was made goes into how (may be null).
int make_link(const wchar_t *link, const wchar_t *target, const wchar_t **how);
// Removes a link made by make_link, never its target; 1 when the link is gone.
int drop_link(const wchar_t *link);
// The install log of the folder dir (after log_close), as UTF-8 bytes.
std::string log_text(const wchar_t *dir);
// How often needle occurs in hay.
int count_of(const std::string &hay, const std::string &needle);
// A wide text as UTF-8 (for looking up paths in the log).
std::string utf8(const wchar_t *w);
// The last-write time of path (zero when it can't be read).
FILETIME mtime_of(const wchar_t *path);
// Sets the last-write time of path; 1 on success.
int set_mtime(const wchar_t *path, FILETIME t);
