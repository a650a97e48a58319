// Runs one external tool without a window inside the install's job object,
// copies its output raw into the log and hands it line by line to a callback.
#pragma once
#include "../common.h"
#include "lines.h"

// Runs the command line cmd in the folder cwd and blocks until its output has
// ended and it has exited. Returns its exit code, or -1 when it didn't start.
int run(const wchar_t *cmd, const wchar_t *cwd, LineFn fn);
