// What every part of Setup shares: result codes, window states, the window
// messages between the worker and the window, and the path and size helpers.
#pragma once
#include <windows.h>
#include "text.h"
// The C runtime's io.h defines R_OK as a mode of access(). Taken in first, its
// include guard keeps a later include (GoogleTest's, say) from bringing the
// macro back over the result code.
#include <io.h>
#undef R_OK

enum { R_OK = 0, R_FAIL = 1, R_CANCEL = 2 };
enum { S_FORM = 0, S_RUN = 1, S_DONE = 2, S_FAIL = 3 };

#define WM_SETUP_DONE (WM_APP + 1)
#define REG_KEY L"Software\\Emberveil Vavudo"
#define REG_VALUE L"InstallDir"
#define APP_TITLE L"Emberveil Setup"

extern int s_dpi; // the screen's dpi, read once at start-up; 96 until then

// Formats into out (cap units with the terminator); a longer text is cut.
void fmt(wchar_t *out, int cap, const wchar_t *format, ...);
void vfmt(wchar_t *out, int cap, const wchar_t *format, va_list args);
// "%s\%s" of dir and name into a MAX_PATH buffer ("E:\" and name make "E:\name"):
// 1 when it fits whole, 0 when it was cut (out then names another path, which
// must not be used).
int path_join(wchar_t *out, const wchar_t *dir, const wchar_t *name);
// The full path of in (or in itself when that fails) into a MAX_PATH buffer,
// without trailing backslashes past the third character ("C:\" keeps its own):
// 1 when it fits whole, 0 when it was cut (out then names another path).
int path_full(const wchar_t *in, wchar_t *out);
// The last path that a walk of a folder tree found too long for MAX_PATH, as
// far as it fits; empty until then. Each step, and each pick, clears it first.
extern wchar_t s_too_long[MAX_PATH];
// Records path (as path_join cut it) in s_too_long; returns 0, the walk's failure.
int too_long(const wchar_t *path);
// format, whose one %s gets the start of s_too_long, into out (cap units).
void too_long_text(wchar_t *out, int cap, const wchar_t *format);
// The failure message of a step that met such a path.
#define TOO_LONG_MSG L"A path is too long for Windows: %s..."
// 1 when the path's attributes can be read.
int exists(const wchar_t *path);
// 1 when the path is a folder.
int is_dir(const wchar_t *path);
// "%.1f GB" of bytes / 2^30 into out.
void gb(unsigned long long bytes, wchar_t *out, int cap);
// v pixels at 96 dpi scaled to s_dpi, rounded half away from zero.
int px(int v);
