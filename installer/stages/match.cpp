#include "match.h"
#include <string.h>

static const char *const k_tools[LIFT_TOOLS] = {
    "tools.xbe_parser", "tools.disasm", "tools.func_id", "tools.abi_analysis", "tools.recomp",
};

const char *lift_tool(int row)
{
    return k_tools[row];
}

int lift_match(const char *line)
{
    // The driving executable is translated at the same moment into the same
    // stream, so "main: " is looked for anywhere in the line.
    const char *at = strstr(line, "main: ");
    if (!at)
        return LIFT_NONE;
    const char *rest = at + 6;
    if (strstr(rest, "unchanged, skipped"))
        return LIFT_SKIP;
    for (int i = 0; i < LIFT_TOOLS; i++) {
        size_t n = strlen(k_tools[i]);
        if (strncmp(rest, k_tools[i], n) != 0)
            continue;
        char after = rest[n];
        // The name must end there, so one tool is never taken for a longer one,
        // and a tool's closing " done (...)" line is not its start.
        if ((after == 0 || after == ' ' || after == '\r') && strncmp(rest + n, " done", 5) != 0)
            return i;
    }
    return LIFT_NONE;
}

int build_is_c(const char *line)
{
    while (*line == ' ' || *line == '\t')
        line++;
    size_t n = strlen(line);
    while (n && (line[n - 1] == ' ' || line[n - 1] == '\r'))
        n--;
    if (n <= 2 || line[n - 2] != '.' || (line[n - 1] != 'c' && line[n - 1] != 'C'))
        return 0;
    for (size_t i = 0; i < n; i++)
        if (line[i] == ' ' || line[i] == ':')
            return 0;
    return 1;
}

int build_is_error(const char *line)
{
    return strstr(line, ": error ") != NULL || strstr(line, ": fatal error ") != NULL;
}
