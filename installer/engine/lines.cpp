#include "lines.h"

void lines_feed(LineCut *cut, const char *bytes, size_t n, LineFn fn)
{
    for (size_t i = 0; i < n; i++) {
        char b = bytes[i];
        if (b == '\r' || b == '\n') {
            if (cut->len) {
                cut->line[cut->len] = 0;
                if (fn)
                    fn(cut->line);
                cut->len = 0;
            }
        } else if (cut->len < LINE_CAP - 1) {
            cut->line[cut->len++] = b;
        }
    }
}

void lines_end(LineCut *cut, LineFn fn)
{
    lines_feed(cut, "\n", 1, fn);
}
