// The setup window: its controls, its states and views, and its procedure.
#pragma once
#include "../engine/context.h"

// Layout, in pixels at 96 dpi (every length goes through px).
enum {
    WIN_W = 420,
    BANNER_X = 16, BANNER_Y = 12, BANNER_W = 388, BANNER_H = 140,
    PANEL_X = 16, PANEL_Y = 166, PANEL_W = 388, PANEL_H = 274,
    STATUS_H = 22, BOTTOM_MARGIN = 12
};
enum { FORM_SLOTS = 12 };

extern HINSTANCE s_inst;
extern HWND s_xbe, s_dest, s_shortcut, s_go, s_space, s_note, s_step_w, s_detail_w, s_bar, s_status;
extern HWND s_form_ctl[FORM_SLOTS];
extern int s_state, s_installed;
extern int s_auto; // the install was started by "/go"
extern int s_exit; // the process exit code
extern wchar_t s_title[128], s_sub[512];
extern HFONT s_font, s_title_f, s_note_f, s_btn_f;
extern HBRUSH s_panel_br;

// A child control of s_win at 96-dpi coordinates (each scaled whole), with font
// (s_font when null); "EDIT" gets the client edge.
HWND add(const wchar_t *cls, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id, HFONT font);
void show_state(int state);
// The panel's title (127 characters at most) and subtitle (511); repaints the panel.
void set_texts(const wchar_t *title, const wchar_t *subtitle);
// The form's title, subtitle, status part 0 and required space.
void form_texts(void);
// The running view's refresh, every 250 ms.
void tick(void);
// The end of an install, with the worker's result code.
void install_done(int r);
// The main button in the form: the checks, then the install on its worker.
void start_install(void);
LRESULT CALLBACK win_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
