// The list of known good game files: each line as sha256sum or a maintainer
// writes it, taken or told as malformed; whole lists with a byte-order mark,
// CR LF, comments and several versions of one path; the largest list.
#include "game/known.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

const std::string A(64, 'a'), F(64, 'F'); // hashes of bytes 0xAA and 0xFF

struct Parsed {
    KnownList list;
    std::vector<unsigned char> room;
    std::vector<std::string> told; // "line: why"
};

void tell(void *ctx, size_t line, const char *text, size_t n, const char *why)
{
    (void)text, (void)n;
    static_cast<Parsed *>(ctx)->told.push_back(std::to_string(line) + ": " + why);
}

void parse(Parsed &p, const std::string &bytes)
{
    p.room.resize(known_room(bytes.size()));
    ASSERT_EQ(1, known_parse(bytes.data(), bytes.size(), p.room.data(), p.room.size(), &p.list, tell, &p));
}

TEST(Known, EachLineTakenOrToldWhy)
{
    const std::string longest(KNOWN_PATH_MAX, 'n');
    const struct {
        std::string line;
        std::wstring path; // as listed after tidying, when the line is taken
        const char *why;   // else why it is malformed
    } rows[] = {
        {A + "  default.xbe", L"default.xbe", NULL},
        {A + " *corvane/filesys.d00", L"corvane\\filesys.d00", NULL},
        {F + "  corvane\\filesys.d01", L"corvane\\filesys.d01", NULL},
        {A + "  ./driving/./misc.viv", L"driving\\misc.viv", NULL},
        {A + "  na\xC3\xAFve \xF0\x9F\x98\x80.bin", L"na\u00EFve \U0001F600.bin", NULL},
        {A + "  " + longest, std::wstring(longest.begin(), longest.end()), NULL},
        {A.substr(1) + "g  default.xbe", L"", "hash not hexadecimal"},
        {A.substr(2) + "  default.xbe", L"", "hash not 64 digits"},
        {"  " + A + "  default.xbe", L"", "no hash"},
        {A + "  ", L"", "no path"},
        {A + " default.xbe", L"", "no blank or * before the path"},
        {A + "  \\\\server\\disc\\default.xbe", L"", "absolute path"},
        {A + "  d:default.xbe", L"", "drive letter"},
        {A + "  corvane/../../x", L"", "leads out of the disc (..)"},
        {A + "  corvane//filesys.d00", L"", "empty part in the path"},
        {A + "  default.xbe:stream", L"", "character Windows forbids in names"},
        {A + "  corvane./x", L"", "name ending in a dot or blank"},
        {A + "  ./.", L"", "names no file"},
        {A + "  caf\xE9.bin", L"", "not UTF-8"},
        {A + "  " + longest.substr(1) + "\xF0\x9F\x98\x80", L"", "path too long"}, // 260 UTF-16 units
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.line);
        Parsed p;
        parse(p, r.line + "\n");
        EXPECT_EQ(r.why ? 0u : 1u, p.list.nsums);
        EXPECT_EQ(r.why ? std::vector<std::string>{std::string("1: ") + r.why} : std::vector<std::string>{}, p.told);
        if (p.list.nsums == 1) {
            EXPECT_EQ(r.path, std::wstring(p.list.sums[0].path));
            EXPECT_EQ(r.line[0] == 'F' ? 0xFF : 0xAA, p.list.sums[0].sha[31]);
        }
    }
}

TEST(Known, WholeListsGroupVersionsAndFindPathsAsTheCopyWalksThem)
{
    const std::string body = "# made with sha256sum\r\n\r\n" + A + "  Driving.xbe\r\n" + F + " *driving/Halden.dat\r\n" +
                             "   \t\r\n" + F + "  DRIVING.XBE\r\n" + A + "  driving\\halden.dat\r\n" + F +
                             "  driving/HALDEN.dat\r\n" + "xyz  default.xbe\r\n" + A + "  na\xC3\xAFve.bin";
    for (const std::string &bom : {std::string(), std::string("\xEF\xBB\xBF")}) {
        for (bool crlf : {true, false}) {
            std::string bytes = bom + body;
            for (size_t at; !crlf && (at = bytes.find('\r')) != std::string::npos;)
                bytes.erase(at, 1);
            SCOPED_TRACE(std::string(bom.empty() ? "no BOM, " : "BOM, ") + (crlf ? "CR LF" : "LF"));
            Parsed p;
            parse(p, bytes);
            EXPECT_EQ(3u, p.list.nfiles);
            EXPECT_EQ(5u, p.list.nsums) << "the repeated version counts once";
            EXPECT_EQ(std::vector<std::string>{"9: hash not hexadecimal"}, p.told);
            unsigned char a[KNOWN_SHA], other[KNOWN_SHA] = {0xAB};
            memset(a, 0xAA, sizeof a);
            const KnownFile *f = known_find(&p.list, L"driving.xbe");
            ASSERT_NE(nullptr, f);
            EXPECT_EQ(2u, f->count);
            EXPECT_TRUE(known_match(&p.list, f, a));
            EXPECT_FALSE(known_match(&p.list, f, other));
            EXPECT_NE(nullptr, known_find(&p.list, L"Driving\\halden.DAT"));
            EXPECT_NE(nullptr, known_find(&p.list, L"NA\u00EFVE.bin"));
            EXPECT_EQ(nullptr, known_find(&p.list, L"NA\u00CFVE.bin")) << "only ASCII letters fold";
            EXPECT_EQ(nullptr, known_find(&p.list, L"driving"));
        }
    }
}

TEST(Known, TheLargestListFitsItsRoomAndALargerOneIsRefused)
{
    // The most versions the largest list can hold: 68-byte lines, the last
    // without its line end, each a hash of its own for one path.
    const size_t most = (KNOWN_MAX_BYTES + 1) / 68;
    std::string full;
    char hash[65];
    for (size_t i = 0; i < most; i++) {
        snprintf(hash, sizeof hash, "%064llx", (unsigned long long)i);
        full += std::string(hash) + "  x" + (i + 1 < most ? "\n" : "");
    }
    Parsed p;
    parse(p, full);
    EXPECT_EQ(most, p.list.nsums);
    EXPECT_EQ(1u, p.list.nfiles);
    EXPECT_EQ(0, known_parse(full.data(), full.size(), p.room.data(), p.room.size() - 1, &p.list, NULL, NULL));
    EXPECT_EQ(0u, known_room(KNOWN_MAX_BYTES + 1));
}

} // namespace
