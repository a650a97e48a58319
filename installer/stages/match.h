// The line protocols of the translation and build scripts, judged on a line's
// bytes alone (pure: no state, no platform).
#pragma once

enum { LIFT_TOOLS = 5, LIFT_NONE = -1, LIFT_SKIP = LIFT_TOOLS };

// The row of the translation tool whose start the line announces (0..4),
// LIFT_SKIP for the "inputs unchanged" line, or LIFT_NONE.
int lift_match(const char *line);
// The module name of translation tool row i, as the script prints it.
const char *lift_tool(int row);
// 1 when the line names one compiled C file alone (after trimming).
int build_is_c(const char *line);
// 1 when the line is a compiler error in the Microsoft form.
int build_is_error(const char *line);
