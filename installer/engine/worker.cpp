#include "worker.h"
#include "context.h"
#include "log.h"
#include "../game/copy.h"
#include "../stages/stages.h"
#include "../ui/ids.h"
#include <objbase.h>
#include <shlobj.h>

StepFn s_steps[STEP_COUNT] = {stage_unpack, stage_copy, stage_lift, stage_build, stage_finish};

void new_job(void)
{
    // Closing the last handle of a kill-on-close job ends what is still in it.
    if (s_job)
        CloseHandle(s_job);
    s_job = CreateJobObjectW(NULL, NULL);
    if (!s_job)
        return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(s_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

void begin_install(int want_shortcut)
{
    s_want_shortcut = want_shortcut;
    s_cancel = 0;
    s_cancel_copy = FALSE;
    s_t0 = s_ticks();
    new_job();
    seg(0, 0.02, 2000, L"Starting", L"");
}

int launch_worker(void)
{
    HANDLE t = CreateThread(NULL, 0, install_thread, NULL, 0, NULL);
    if (!t)
        return 0;
    CloseHandle(t);
    return 1;
}

static const wchar_t *end_word(int r)
{
    return r == R_OK ? L"Done" : r == R_CANCEL ? L"Cancelled" : L"Failed";
}

DWORD WINAPI install_thread(void *unused)
{
    (void)unused;
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    SHCreateDirectoryExW(NULL, s_dir, NULL);
    log_open(s_dir);
    logw(L"Emberveil installer: game files %s (region %lu), install folder %s", s_game.dir,
         (unsigned long)s_game.region, s_dir);

    // The first step starts without a look at the cancel flag.
    int r = s_steps[0]();
    for (int i = 1; i < STEP_COUNT && r == R_OK && !s_cancel; i++)
        r = s_steps[i]();
    if (s_cancel)
        r = R_CANCEL;

    s_took = s_ticks() - s_t0;
    logw(L"%s after %lu s", end_word(r), (unsigned long)(s_took / 1000));
    log_close();
    SetThreadExecutionState(ES_CONTINUOUS);
    CoUninitialize();
    PostMessageW(s_win, WM_SETUP_DONE, (WPARAM)r, 0);
    return 0;
}

void cancel_install(void)
{
    InterlockedExchange(&s_cancel, 1);
    s_cancel_copy = TRUE;
    if (s_job)
        TerminateJobObject(s_job, 1);
    // Enabled again by the next change of the window's state; the refresh
    // leaves the step line alone from now on.
    EnableWindow(GetDlgItem(s_win, ID_GO), FALSE);
    SetDlgItemTextW(s_win, ID_STEP, L"Cancelling ...");
}
