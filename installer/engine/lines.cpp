#include "lines.h"
#include <string.h>

// The first CR or LF from p on, or end. Each is looked for with memchr, which
// scans far faster than a byte loop, and a find is kept until p passes it:
// CR LF output costs two scans a line, long lines barely more than a copy.
static const char *next_of(const char *p, const char *end, char c, const char *known)
{
    if (known && known >= p)
        return known;
    const char *f = (const char *)memchr(p, c, (size_t)(end - p));
    return f ? f : end;
}

void lines_feed(LineCut *cut, const char *bytes, size_t n, LineFn fn)
{
    const char *p = bytes, *end = bytes + n, *cr = NULL, *lf = NULL;
    while (p < end) {
        cr = next_of(p, end, '\r', cr);
        lf = next_of(p, end, '\n', lf);
        const char *stop = cr < lf ? cr : lf;
        size_t span = (size_t)(stop - p), room = LINE_CAP - 1 - cut->len;
        size_t take = span < room ? span : room;
        memcpy(cut->line + cut->len, p, take);
        cut->len += take;
        if (stop == end)
            return;
        if (cut->len) {
            cut->line[cut->len] = 0;
            if (fn)
                fn(cut->line);
            cut->len = 0;
        }
        p = stop + 1;
    }
}

void lines_end(LineCut *cut, LineFn fn)
{
    lines_feed(cut, "\n", 1, fn);
}
