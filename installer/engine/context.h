// The install context: the state that the window and the install worker share
// for one install, and the progress model every step reports through.
#pragma once
#include "../common.h"

// The game selection: the chosen disc folder or disc image and what its check found.
struct Game {
    wchar_t dir[MAX_PATH];   // the disc's top folder, or the image file (full path), set by every pick
    int ok;                  // 1 when the disc passed every check
    DWORD region;            // region flags from the certificate; 0 unless ok
    unsigned long long bytes; // size of every file under dir (or in the image); 0 unless ok
    int image;               // 1 when dir is a disc image file
    unsigned long long part; // the game partition's offset in the image file
};

extern CRITICAL_SECTION s_cs; // guards s_lo, s_hi, s_frac, s_seg_t0, s_seg_ms, s_step, s_detail
extern double s_lo, s_hi, s_frac;
extern DWORD s_seg_t0, s_seg_ms;
extern wchar_t s_step[128];
extern wchar_t s_detail[256];
extern DWORD s_t0, s_took;
extern wchar_t s_dir[MAX_PATH];
extern Game s_game;
extern wchar_t s_fail_msg[256];
extern wchar_t s_fail_adv[512];
extern volatile LONG s_cancel;
extern BOOL s_cancel_copy;
extern HANDLE s_job;
extern HANDLE s_log;
extern int s_want_shortcut;
extern int s_test; // "/test": no registry value, no shortcut
extern HWND s_win; // the main window; the worker only posts to it

// The clock of the progress model and of the install's duration. Tests put a
// clock of their own here to walk the creeping curve and the tick wrap exactly.
extern DWORD (WINAPI *s_ticks)(void);

// Initialises s_cs; called once at start-up, before any worker can exist.
void context_init(void);
// Starts a progress segment over lo..hi of the bar expected to take ms (0 counts
// as 1); step (may be null: unchanged) is logged as "== %s ==", detail may be null.
void seg(double lo, double hi, DWORD ms, const wchar_t *step, const wchar_t *detail_text);
// Gives the current segment a real fraction, clamped into 0..1.
void seg_frac(double f);
// Formats the detail text (255 characters at most).
void detail(const wchar_t *format, ...);
// The bar position 0..1 now: the real fraction, or the creep of the elapsed time.
double progress(void);
// The creeping fraction of a segment after elapsed of expected ms: 0.95 (1 - e^-t).
double creep(DWORD elapsed, DWORD expected);
// Records a failure (texts and a "FAILED" log line) and returns R_FAIL, or, with
// a cancel pending, records nothing and returns R_CANCEL.
int fail(const wchar_t *msg, const wchar_t *advice);
