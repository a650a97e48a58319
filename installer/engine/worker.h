// The install worker: the thread that runs the five steps, its start and its cancel.
#pragma once
#include "../common.h"

// One step of the install: returns R_OK, R_FAIL or R_CANCEL.
typedef int (*StepFn)(void);
enum { STEP_COUNT = 5 };
// The steps in their order: unpack, copy, translate, compile, finish. Tests
// put steps of their own here to drive the worker frame.
extern StepFn s_steps[STEP_COUNT];

// Prepares the context for an install that its checks accepted: the shortcut
// choice, cleared cancel flags, the start time, a new job, the "Starting" segment.
void begin_install(int want_shortcut);
// Starts install_thread; 0 when the thread couldn't be made.
int launch_worker(void);
// The worker thread: log, steps, end line, then WM_SETUP_DONE to s_win.
DWORD WINAPI install_thread(void *unused);
// Replaces s_job with a new kill-on-close job (null when it can't be made).
void new_job(void);
// The player's cancel: both flags set, every tool of the install ended, the
// main button disabled and the step line "Cancelling ...". Doesn't wait.
void cancel_install(void);
