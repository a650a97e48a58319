// The install log, logs\install.log: the installer's own time-stamped lines in
// UTF-8 with CR LF, and the tools' output byte for byte between them.
#pragma once
#include "../common.h"

// Writes "[hh:mm:ss] " and the formatted text (2034 characters at most) and CR LF.
// Does nothing while no log is open.
void logw(const wchar_t *format, ...);
// Writes count bytes as they are, with one WriteFile. Does nothing while no log is open.
void log_raw(const void *bytes, DWORD count);
// Makes <dir>\logs and opens (truncates) <dir>\logs\install.log into s_log;
// s_log stays INVALID_HANDLE_VALUE when that fails.
void log_open(const wchar_t *dir);
// Closes the log when it is open.
void log_close(void);
