// Works a running EmberveilSetup.exe from outside, as a player or a script
// would: finds its window and controls, reads and sets their state, presses
// buttons, answers message boxes and photographs the window. One Setup
// process at a time is remembered (drv_start); every call is about it.
// Functions report success as 1/0 unless they say otherwise.
#pragma once

#include <windows.h>

// Starts "exe" args in cwd (null: ours); a process still remembered is killed first.
int drv_start(const wchar_t *exe, const wchar_t *args, const wchar_t *cwd);

// Runs another program to its end without touching the remembered one; its
// exit code in *code. 0 (and the program killed) when it outlives timeout_ms.
int drv_run(const wchar_t *exe, const wchar_t *args, const wchar_t *cwd,
            DWORD timeout_ms, DWORD *code);

// Waits for a visible top-level "EvSetup" window of the process; null on timeout.
HWND drv_window(DWORD timeout_ms);

// The main window found by drv_window (looked up again when it is gone), or null.
HWND drv_main(void);

// The child control with that id, or null.
HWND drv_child(int id);

// Reads a control's text (WM_GETTEXT); out is always terminated.
int drv_text(int id, wchar_t *out, int cap);

// 1 when the control and its parents are visible.
int drv_visible(int id);

// 1 when the control and every window above it are enabled, so a player could use it.
int drv_enabled(int id);

// 1 when a check box is ticked.
int drv_checked(int id);

// Sets a control's text (WM_SETTEXT); an edit then tells its parent EN_CHANGE itself.
int drv_set_text(int id, const wchar_t *t);

// Sets an edit's text, then tells the parent EN_KILLFOCUS as the edit does
// when the player leaves it; both are handled when this returns.
int drv_set_text_leave(int id, const wchar_t *t);

// Presses a button (posts BM_CLICK, which moves the focus first as a mouse
// click does). Refuses, pressing nothing, when the control is hidden or not
// drv_enabled. Asynchronous: poll for what the press does.
int drv_click(int id);

// Gives a visible, enabled control the keyboard focus; 1 when it has it.
int drv_focus(int id);

// The id of the control holding the focus; 0 for none or the main window, -1 on error.
int drv_focused(void);

// Posts one key press (down and up) to the focused window, through Setup's
// message loop; Shift and Ctrl read as not held.
int drv_key(int vk);

// Posts the characters of text as WM_CHAR to the focused window (typed at its caret).
int drv_type(const wchar_t *text);

// 1 when Setup's UI thread answers a sent message (it is not hung).
int drv_sync(void);

// Reads one part of the status bar (SB_GETTEXTW through Setup's own memory).
int drv_status(int part, wchar_t *out, int cap);

// The progress bar's position (PBM_GETPOS), or -1.
int drv_progress(void);

// 1 when the progress bar is visible.
int drv_bar_visible(void);

// Waits for a visible message box ("#32770") of the process; null on timeout.
HWND drv_msgbox(DWORD timeout_ms);

// Reads a message box's text.
int drv_msgbox_text(HWND box, wchar_t *out, int cap);

// Presses a button of a message box or another dialog of Setup's (IDOK,
// IDYES, IDNO, IDCANCEL...) as the button reports a click, waits until the
// dialog has closed and Setup has handled what followed; 0 when it has no such
// visible, enabled button or stays open.
int drv_msgbox_press(HWND box, int button_id);

// How long the tests watch for a message box that must not come: a second box
// of the same press would come within this.
#define NO_BOX_MS 2000

// 1 when no message box of the process shows up within ms (NO_BOX_MS).
int drv_no_msgbox(DWORD ms);

// Asks the main window to close (posts WM_CLOSE).
int drv_close(void);

// Waits for the process to end; its exit code in *code (may be null). The
// process is then forgotten.
int drv_wait_exit(DWORD timeout_ms, DWORD *code);

// Ends the remembered process at once (exit code 1) and forgets it; for cleanup.
void drv_kill(void);

// The remembered process's id, 0 when none.
DWORD drv_pid(void);

// The remembered process's handle (owned by the driver, valid until it forgets
// the process), null when none: for reading its counters while it runs.
HANDLE drv_process(void);

// The main window's client size in pixels.
int drv_client_size(int *w, int *h);

// A control's rectangle in the main window's client coordinates.
int drv_child_rect(int id, RECT *r);

// Fills ids with the controls in the order GetNextDlgTabItem walks them from
// the first one (visible, enabled WS_TABSTOP controls, as Tab moves through
// them); gives the count (at most cap).
int drv_tab_order(int *ids, int cap);

// The foreground window, whoever owns it.
HWND drv_foreground(void);

// Saves the main window's client area as the screen shows it, as a 32-bit .bmp.
int drv_shot(const wchar_t *bmp_path);

// Reads the screen's colour at a client-coordinate point of the main window.
int drv_pixel(int x, int y, COLORREF *c);

// Polls (every 20 ms) until the control's text equals want.
int drv_wait_text(int id, const wchar_t *want, DWORD timeout_ms);

// Polls (every 20 ms) until the status bar part's text equals want.
int drv_wait_status(int part, const wchar_t *want, DWORD timeout_ms);

// Sets the screen's dots per inch for every Setup started afterwards (96, 120,
// 144...), as the display settings do. A test that changes it puts 96 back.
int drv_set_dpi(int dpi);
