// Cutting a tool's output into lines, chunk by chunk, as it arrives. Needs
// nothing of the platform: it takes the chunks as read and calls back per line.
#pragma once
#include <stddef.h>

// A per-line callback: one output line, NUL-terminated, without its line end.
typedef void (*LineFn)(const char *line);

enum { LINE_CAP = 1024 }; // at most 1023 bytes of a line reach the callback

// The line being gathered; it carries over from one chunk to the next.
struct LineCut {
    char line[LINE_CAP];
    size_t len;
};

// Feeds n bytes: every CR or LF ends a non-empty line, which goes to fn (when
// given); bytes past the first 1023 of a line are dropped.
void lines_feed(LineCut *cut, const char *bytes, size_t n, LineFn fn);
// The end of the output: delivers a last line that had no line end of its own.
void lines_end(LineCut *cut, LineFn fn);
