// Cutting output into lines: every output of the table is fed whole, in every
// split into two chunks and byte by byte, and must give the same lines.
#include "engine/lines.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> s_lines;

void collect(const char *line)
{
    s_lines.push_back(line);
}

// Feeds the pieces of out cut at the given offsets, then the end.
std::vector<std::string> cut_at(const std::string &out, const std::vector<size_t> &cuts)
{
    s_lines.clear();
    LineCut cut;
    cut.len = 0;
    size_t from = 0;
    for (size_t to : cuts) {
        lines_feed(&cut, out.data() + from, to - from, collect);
        from = to;
    }
    lines_feed(&cut, out.data() + from, out.size() - from, collect);
    lines_end(&cut, collect);
    return s_lines;
}

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; i++)
        s += (char)('a' + i % 26);
    return s;
}

struct Row {
    const char *name;
    std::string out;
    std::vector<std::string> lines;
};

std::vector<Row> rows(void)
{
    return {
        {"two lines, CR LF", "a\r\nb", {"a", "b"}},
        {"only line ends", "\r\n\n\r\r\n\n\n", {}},
        {"nothing", "", {}},
        {"every kind of line end", "one\ntwo\rthree\r\n\r\nfour\n\rfive\r\n", {"one", "two", "three", "four", "five"}},
        {"last line without line end", "first\r\nlast", {"first", "last"}},
        {"a single line without end", "only", {"only"}},
        {"1500-byte line", letters(1500) + "\r\n", {letters(1023)}},
        {"1500-byte line, then a short one", letters(1500) + "\nyz", {letters(1023), "yz"}},
        {"1023 bytes exactly", letters(1023) + "\n", {letters(1023)}},
        {"1024 bytes", letters(1024), {letters(1023)}},
        {"bytes above 127", "caf\xc3\xa9\r\n\xff\xfe", {"caf\xc3\xa9", "\xff\xfe"}},
        {"blanks and tabs are text", " \r\n\t\r\n", {" ", "\t"}},
    };
}

TEST(Lines, SameLinesHoweverTheOutputIsCut)
{
    for (const Row &r : rows()) {
        EXPECT_EQ(cut_at(r.out, {}), r.lines) << r.name << ", whole";
        for (size_t at = 0; at <= r.out.size(); at++)
            ASSERT_EQ(cut_at(r.out, {at}), r.lines) << r.name << ", cut at " << at;
        std::vector<size_t> each;
        for (size_t at = 1; at < r.out.size(); at++)
            each.push_back(at);
        EXPECT_EQ(cut_at(r.out, each), r.lines) << r.name << ", byte by byte";
    }
}

TEST(Lines, LastLineIsDeliveredOnce)
{
    s_lines.clear();
    LineCut cut;
    cut.len = 0;
    lines_feed(&cut, "tail", 4, collect);
    EXPECT_TRUE(s_lines.empty());
    lines_end(&cut, collect);
    lines_end(&cut, collect);
    std::vector<std::string> want = {"tail"};
    EXPECT_EQ(s_lines, want);
}

TEST(Lines, WithoutCallbackLinesAreStillConsumed)
{
    s_lines.clear();
    LineCut cut;
    cut.len = 0;
    lines_feed(&cut, "dropped\r\nhalf", 13, NULL);
    lines_feed(&cut, "\r\n", 2, NULL);
    lines_feed(&cut, "kept\r\n", 6, collect);
    lines_end(&cut, collect);
    std::vector<std::string> want = {"kept"};
    EXPECT_EQ(s_lines, want);
}

} // namespace
