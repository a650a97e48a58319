#include "context.h"
#include "log.h"
#include <math.h>
#include <stdarg.h>

CRITICAL_SECTION s_cs;
double s_lo, s_hi, s_frac = -1;
DWORD s_seg_t0, s_seg_ms = 1;
wchar_t s_step[128];
wchar_t s_detail[256];
DWORD s_t0, s_took;
wchar_t s_dir[MAX_PATH];
Game s_game;
wchar_t s_fail_msg[256];
wchar_t s_fail_adv[512];
volatile LONG s_cancel;
BOOL s_cancel_copy;
HANDLE s_job;
HANDLE s_log = INVALID_HANDLE_VALUE;
int s_want_shortcut;
int s_test;
HWND s_win;
DWORD (WINAPI *s_ticks)(void) = GetTickCount;

void context_init(void)
{
    InitializeCriticalSection(&s_cs);
}

void seg(double lo, double hi, DWORD ms, const wchar_t *step, const wchar_t *detail_text)
{
    EnterCriticalSection(&s_cs);
    s_lo = lo;
    s_hi = hi;
    s_frac = -1;
    s_seg_t0 = s_ticks();
    s_seg_ms = ms ? ms : 1;
    if (step)
        copy_cut(s_step, 128, step);
    copy_cut(s_detail, 256, detail_text ? detail_text : L"");
    LeaveCriticalSection(&s_cs);
    // The log is written outside the lock: nothing waits while holding it.
    if (step)
        logw(L"== %s ==", step);
}

void seg_frac(double f)
{
    EnterCriticalSection(&s_cs);
    s_frac = f < 0 ? 0 : f > 1 ? 1 : f;
    LeaveCriticalSection(&s_cs);
}

void detail(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    EnterCriticalSection(&s_cs);
    vfmt(s_detail, 256, format, args);
    LeaveCriticalSection(&s_cs);
    va_end(args);
}

double creep(DWORD elapsed, DWORD expected)
{
    return 0.95 * (1.0 - exp(-(double)elapsed / (double)expected));
}

double progress(void)
{
    EnterCriticalSection(&s_cs);
    // Unsigned subtraction keeps the elapsed time right across a tick wrap.
    double f = s_frac >= 0 ? s_frac : creep(s_ticks() - s_seg_t0, s_seg_ms);
    double at = s_lo + (s_hi - s_lo) * f;
    LeaveCriticalSection(&s_cs);
    return at;
}

int fail(const wchar_t *msg, const wchar_t *advice)
{
    // A cancel ends the running tool with a failure of its own: that is the
    // cancel showing through, not something to tell the player about.
    if (s_cancel)
        return R_CANCEL;
    copy_cut(s_fail_msg, 256, msg);
    copy_cut(s_fail_adv, 512, advice ? advice : L"");
    logw(L"FAILED: %s %s", msg, advice ? advice : L"");
    return R_FAIL;
}
