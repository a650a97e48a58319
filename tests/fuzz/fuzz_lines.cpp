// Cutting tool output into lines: whatever the chunking, the same lines come
// out, without line ends and at most 1023 bytes long. (A line whose first byte
// is a NUL reaches the callback as an empty C string; nothing relies on more.)
#include "engine/lines.h"
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

static std::vector<std::string> *s_got;

static void collect(const char *line)
{
    size_t n = strlen(line);
    if (n > LINE_CAP - 1 || strchr(line, '\r') || strchr(line, '\n'))
        abort();
    s_got->push_back(line);
}

// The lines of text as a plain reading of the rule gives them.
static std::vector<std::string> expected(const std::string &text)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text + "\n") {
        if (c == '\r' || c == '\n') {
            if (!cur.empty())
                out.push_back(cur.substr(0, LINE_CAP - 1));
            cur.clear();
        } else {
            cur += c;
        }
    }
    // A NUL inside a line ends it for the callback, which gets C strings.
    for (std::string &s : out)
        s = s.substr(0, strlen(s.c_str()));
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    unsigned seed = data[0] | data[1] << 8; // chooses the chunk sizes
    std::string text((const char *)data + 2, size - 2);
    std::vector<std::string> got;
    s_got = &got;
    LineCut cut;
    cut.len = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t n = 1 + seed % 4096;
        seed = seed * 1103515245u + 12345u;
        if (n > text.size() - at)
            n = text.size() - at;
        char *chunk = (char *)malloc(n);
        memcpy(chunk, text.data() + at, n);
        lines_feed(&cut, chunk, n, collect);
        free(chunk);
        at += n;
    }
    lines_end(&cut, collect);
    if (got != expected(text))
        abort();
    return 0;
}
