// The walk over a zip archive's central directory, on archives put together
// here byte by byte after the format's own description: plain, with a comment,
// zip64, and damaged in the ways a cut or corrupt download is.
#include "stages/zipdir.h"
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

typedef std::string Bytes;

void le(Bytes &b, uint64_t v, int n)
{
    for (int i = 0; i < n; i++)
        b += (char)(v >> (8 * i) & 0xFF);
}

struct Entry {
    std::string name, data;
    unsigned flags;
};

// A stored archive of the entries; zip64 gives it the zip64 end records with
// the classic fields saturated, as writers do for big archives.
Bytes archive(const std::vector<Entry> &entries, bool zip64 = false, const std::string &comment = "")
{
    Bytes b, cd;
    for (const Entry &e : entries) {
        uint64_t at = b.size();
        le(b, 0x04034b50, 4), le(b, 20, 2), le(b, e.flags, 2), le(b, 0, 2), le(b, 0, 4), le(b, 0, 4);
        le(b, e.data.size(), 4), le(b, e.data.size(), 4), le(b, e.name.size(), 2), le(b, 0, 2);
        b += e.name + e.data;
        le(cd, 0x02014b50, 4), le(cd, 20, 2), le(cd, 20, 2), le(cd, e.flags, 2), le(cd, 0, 2), le(cd, 0, 4);
        le(cd, 0, 4), le(cd, e.data.size(), 4), le(cd, e.data.size(), 4), le(cd, e.name.size(), 2);
        le(cd, 0, 2), le(cd, 0, 2), le(cd, 0, 2), le(cd, 0, 2), le(cd, 0, 4), le(cd, at, 4);
        cd += e.name;
    }
    uint64_t cd_at = b.size();
    b += cd;
    if (zip64) {
        uint64_t rec = b.size();
        le(b, 0x06064b50, 4), le(b, 44, 8), le(b, 45, 2), le(b, 45, 2), le(b, 0, 4), le(b, 0, 4);
        le(b, entries.size(), 8), le(b, entries.size(), 8), le(b, cd.size(), 8), le(b, cd_at, 8);
        le(b, 0x07064b50, 4), le(b, 0, 4), le(b, rec, 8), le(b, 1, 4);
    }
    le(b, 0x06054b50, 4), le(b, 0, 2), le(b, 0, 2);
    le(b, zip64 ? 0xFFFF : entries.size(), 2), le(b, zip64 ? 0xFFFF : entries.size(), 2);
    le(b, zip64 ? 0xFFFFFFFF : cd.size(), 4), le(b, zip64 ? 0xFFFFFFFF : cd_at, 4);
    le(b, comment.size(), 2);
    return b + comment;
}

// The names the walk gives, each as "name" or "name (utf-8)".
std::vector<std::string> walk(const Bytes &b, bool *opened = NULL)
{
    std::vector<std::string> out;
    ZipDir z;
    bool ok = zip_dir_open(&z, b.data(), b.size()) != 0;
    if (opened)
        *opened = ok;
    const char *name;
    size_t n;
    unsigned flags;
    while (ok && zip_dir_next(&z, &name, &n, &flags))
        out.push_back(std::string(name, n) + (flags & ZIP_UTF8 ? " (utf-8)" : ""));
    return out;
}

const std::vector<Entry> k_entries = {
    {"scripts/", "", 0},
    {"scripts/build.ps1", "Write-Output 'x'\r\n", 0},
    {"emberveil.ini", "[video]\r\n", 0},
    {"src/\xC5\x81\xC3\xB3" "d\xC5\xBA.c", "int x;\n", ZIP_UTF8},
};
const std::vector<std::string> k_names = {"scripts/", "scripts/build.ps1", "emberveil.ini",
                                          "src/\xC5\x81\xC3\xB3" "d\xC5\xBA.c (utf-8)"};

TEST(ZipDir, ListsEveryEntryOfSoundArchives)
{
    const struct {
        const char *what;
        Bytes bytes;
    } rows[] = {
        {"plain", archive(k_entries)},
        {"with a comment", archive(k_entries, false, "packed by hand")},
        {"with a comment holding an end record's signature", archive(k_entries, false, "PK\x05\x06 not this one")},
        {"zip64 end records", archive(k_entries, true)},
        {"zip64 with a comment", archive(k_entries, true, "c")},
    };
    for (const auto &r : rows)
        EXPECT_EQ(k_names, walk(r.bytes)) << r.what;
    bool opened = false;
    EXPECT_TRUE(walk(archive({}), &opened).empty());
    EXPECT_TRUE(opened) << "an empty archive is still an archive";
}

TEST(ZipDir, StopsAtDamageAndNeverReadsPastTheBytes)
{
    const Bytes good = archive(k_entries);
    const size_t cd_at = good.find("PK\x01\x02");
    Bytes bad_sig = good, bad_count = good, long_name = good, cd_past = good, zip64_lost = archive(k_entries, true);
    bad_sig[good.find("PK\x01\x02", good.find("PK\x01\x02") + 1) + 2] = 9; // the second entry's signature
    bad_count[good.size() - 22 + 10] = 9;                                   // nine entries promised, four there
    long_name[cd_at + 28] = (char)0xFF;                                     // the first name runs past the directory
    cd_past[good.size() - 22 + 16] = (char)0xF0;                            // the directory "starts" past the end record
    zip64_lost[zip64_lost.size() - 22 - 20] = 'X';                          // the zip64 locator damaged
    const struct {
        const char *what;
        Bytes bytes;
        bool opens;
        size_t names;
    } rows[] = {
        {"cut in its central directory", good.substr(0, good.size() - 30), false, 0},
        {"cut to nothing", "", false, 0},
        {"not a zip at all", "MZ\x90\x00 an executable, say", false, 0},
        {"trailing bytes behind the end record", good + "xx", false, 0},
        {"second entry damaged", bad_sig, true, 1},
        {"more entries promised than there are", bad_count, true, 4},
        {"a name longer than the directory", long_name, true, 0},
        {"directory offset past the end record", cd_past, false, 0},
        {"zip64 locator damaged", zip64_lost, false, 0},
    };
    for (const auto &r : rows) {
        bool opened = false;
        std::vector<std::string> names = walk(r.bytes, &opened);
        EXPECT_EQ(r.opens, opened) << r.what;
        EXPECT_EQ(r.names, names.size()) << r.what;
    }
}

// What Setup reads of an entry besides its name: how long a path it makes (in
// UTF-16 units, as Windows counts), and the checksum and size that tell a
// settings file in place from the payload's default.
TEST(ZipDir, NameLengthsChecksumsAndSizes)
{
    const struct {
        const char *name;
        unsigned flags;
        size_t units;
    } names[] = {
        {"scripts/", 0, 7},
        {"docs/Gr\xC3\xBC\xC3\x9F" "e.txt", ZIP_UTF8, 14},
        {"docs/Gr\xC3\xBC\xC3\x9F" "e.txt", 0, 16}, // without the flag: a character a byte
        {"a\xF0\x9F\x98\x80.txt", ZIP_UTF8, 7},      // beyond the BMP: two units
        {"\x80x", ZIP_UTF8, 2},                         // a stray continuation byte counts once
    };
    for (const auto &r : names)
        EXPECT_EQ(r.units, zip_name_units(r.name, strlen(r.name), r.flags)) << r.name;
    EXPECT_EQ(0xCBF43926u, zip_crc32("123456789", 9));
    EXPECT_EQ(0u, zip_crc32("", 0));
    const Bytes b = archive(k_entries, true);
    ZipDir z;
    ASSERT_TRUE(zip_dir_find(&z, b.data(), b.size(), "EMBERVEIL.INI"));
    EXPECT_EQ(9u, z.unpacked);
    EXPECT_FALSE(zip_dir_find(&z, b.data(), b.size(), "emberveil.in"));
    EXPECT_FALSE(zip_dir_find(&z, b.data(), b.size(), "mkb.ini"));
}

} // namespace
