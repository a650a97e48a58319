// What the end-to-end tests add to support.h: the real Setup started, read
// and answered through the driver, photographs of its window, and text
// painted in them. Every case's Setup is ended when the case ends.
#pragma once

#include "driver.h"
#include "support.h"

#define WAIT_MS 20000 // a window or a box Setup shows comes well within this
#define EXIT_MS 15000 // a closed or cancelled Setup is gone well within this (Xvfb: about 2 s)
#define RUN_MS 90000  // a whole install takes a few seconds; this bounds a hung one

// A control's text or a status bar part; "<unreadable>" when Setup did not answer.
std::wstring control_text(int id);
std::wstring status_text(int part);

// Starts Setup (setup_exe) with args and waits for its window; 1/0.
int start_setup(const std::wstring &args);
// Closes the window as a player does and gives the exit code, or -1 when
// Setup did not end in time.
long close_setup(void);
// The exit code once Setup ended by itself, or -1 when it did not in time.
long exit_code(void);

// The text of the message box Setup shows within WAIT_MS; "<no box>" when none.
// *box gets the box (may be null).
std::wstring box_text(HWND *box);
// A window's own text (a box's title, a dialog's control).
std::wstring caption(HWND w);
// The first descendant of parent with that class and control id, or null.
HWND find_kid(HWND parent, const wchar_t *cls, int id);

// Makes the synthetic disc used as the good one in dir; 1/0.
int good_disc(const std::wstring &dir);
// Makes dir (and its parents) holding one file, so that it is not empty.
int filled_folder(const std::wstring &dir);
// Removes the install registry value, as on a computer without an earlier install.
void forget_earlier_install(void);

// The screen's dpi for the Setups started while the object lives; 96 after.
class DpiFor {
public:
    explicit DpiFor(int dpi) { drv_set_dpi(dpi); }
    ~DpiFor() { drv_set_dpi(96); }
};

// Photographs Setup's client area into the .bmp at path and reads it back; 1/0.
int take_shot(const std::wstring &path, Shot *shot);
// 1 when text, drawn in colour fg on the panel's colour with a "Segoe UI"
// font of size pixels (at 96 dpi, scaled to dpi) and weight, appears
// somewhere in the photograph pixel for pixel.
int painted(const Shot &shot, const wchar_t *text, int size, int weight, COLORREF fg, int dpi);
// The fonts and colours Setup paints the panel with, as the tests look for them.
#define TITLE_FONT 15, FW_SEMIBOLD
#define NOTE_FONT 11, FW_NORMAL
#define INK RGB(30, 30, 30)
#define GREY RGB(110, 110, 110)
#define RED RGB(190, 40, 30)
// The first words of a text, as many as surely fit on a line of the panel
// or the note before its ellipsis or its wrap.
std::wstring lead(const std::wstring &text);

// Drops the files on Setup's window as the shell does, through a DROPFILES
// block in Setup's own memory; true when Setup handled the message.
bool drop_on_setup(const std::vector<std::wstring> &paths);
