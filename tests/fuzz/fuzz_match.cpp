// The translation and build line matchers on any line the runner can deliver
// (at most 1023 bytes, NUL-terminated).
#include "stages/match.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1023)
        size = 1023;
    char *line = (char *)malloc(size + 1);
    memcpy(line, data, size);
    line[size] = 0;
    int row = lift_match(line);
    if (row < LIFT_NONE || row > LIFT_SKIP)
        abort();
    if (row >= 0 && row < LIFT_TOOLS && !strstr(line, lift_tool(row)))
        abort();
    if (build_is_c(line) && (strchr(line, ':') || strlen(line) < 3))
        abort();
    build_is_error(line);
    free(line);
    return 0;
}
