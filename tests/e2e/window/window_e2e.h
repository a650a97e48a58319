// What the window tests share: where Setup and the artifacts are, a scratch
// folder under the prefix's C:\, starting Setup and reading it, answering its
// message boxes, and finding painted text in a photograph of the window.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#define WAIT_MS 10000
#define EXIT_MS 15000

// Everything the tests make on C:\ lies below this folder; the tests' global
// set-up and tear-down delete it.
#define SCRATCH L"C:\\ev-window"

// BUILD\EmberveilSetup.exe, found from this test program in BUILD\tests.
std::wstring setup_exe(void);
// BUILD\tests\tools\<name>.
std::wstring test_tool(const wchar_t *name);
// BUILD\artifacts, made when missing.
std::wstring artifacts_dir(void);
// SCRATCH\name.
std::wstring scratch(const wchar_t *name);

// A control's text or a status bar part; "<unreadable>" when Setup did not answer.
std::wstring text(int id);
std::wstring part(int n);

// Starts Setup with args and waits for its window; 1/0.
int start_setup(const std::wstring &args);
// Closes the window as a player does and gives the exit code, or -1 when
// Setup did not end in time.
long close_setup(void);
// The exit code once Setup ended by itself, or -1 when it did not in time.
long exit_code(void);

// The text of the message box Setup shows within WAIT_MS; "<no box>" when none.
// *box gets the box (may be null).
std::wstring box_text(HWND *box);
// A window's own text (a box's title).
std::wstring caption(HWND w);

// Makes the synthetic disc used as the good one in dir; 1/0.
int good_disc(const std::wstring &dir);

// Makes dir (and its parents) holding one file, so that it is not empty.
int filled_folder(const std::wstring &dir);

// Removes the install registry value, as on a computer without an earlier install.
void forget_earlier_install(void);

// A photograph of Setup's client area (top-down rows of 0x00RRGGBB).
struct Shot {
    int w = 0, h = 0;
    std::vector<DWORD> px;
};

// Photographs the window into BUILD\artifacts\<name>.bmp and loads it; 1/0.
int take_shot(const wchar_t *name, Shot *shot);

// 1 when text, drawn in colour fg on the panel's colour with a "Segoe UI"
// font of size pixels (at 96 dpi, scaled to dpi) and weight, appears
// somewhere in the photograph pixel for pixel.
int painted(const Shot &shot, const wchar_t *text, int size, int weight, COLORREF fg, int dpi);

// The fonts and colours Setup paints with, as the tests look for them.
#define TITLE_FONT 15, FW_SEMIBOLD
#define NOTE_FONT 11, FW_NORMAL
#define INK RGB(30, 30, 30)
#define GREY RGB(110, 110, 110)
#define RED RGB(190, 40, 30)
