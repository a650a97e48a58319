// What the benchmark programs share: a clock, the middle of a few repeats,
// scratch folders, and the one line format tools/bench.sh turns into a table.
// Benchmarks measure and report; they never fail a build or a test run.
#pragma once
#include <windows.h>
#include <vector>

// Milliseconds from a fixed point, to the microsecond.
double ms_now(void);
// The median of the values (0 for none).
double median(std::vector<double> v);
// The smallest value (0 for none).
double least(const std::vector<double> &v);
// A fresh folder %TEMP%\evbench-name (an earlier one is deleted first).
void work_dir(const wchar_t *name, wchar_t *out);
// Deletes a tree; 1 when it is gone.
int tree_gone(const wchar_t *path);
// A number from the environment, or fallback when it is unset or not a number.
long env_long(const char *name, long fallback);
// The folder of this program, without the trailing backslash.
void own_dir(wchar_t *out);
// One table row for tools/bench.sh: "ROW|row|measured|baseline|ratio|target|met".
void row(const char *name, const char *measured, const char *baseline, double ratio, const char *target, int met);
// Progress and details, for the log of the run (never part of the table).
void note(const char *format, ...);
