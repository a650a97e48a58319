// The disc image reader on game partitions laid out in memory as the image
// tools lay them out (tests/tools/disc/xdvd.h), sound and damaged in the ways
// a cut download, a broken tool or a crafted file can be.
#include "game/xiso.h"
#include "xdvd.h"
#include <gtest/gtest.h>
#include <functional>
#include <map>

namespace {

enum { NOT_IMAGE, GOOD, DAMAGED };

// The glue's reading: the descriptor, then each table the reader asks for.
int read_image(const std::string &img, XisoTree *t)
{
    XisoVolume v;
    memset(t, 0, sizeof *t);
    if (img.size() < XISO_DESC + XISO_SECTOR || !xiso_volume((const unsigned char *)img.data() + XISO_DESC, &v))
        return NOT_IMAGE;
    if (!xiso_begin(t, &v, img.size()))
        return DAMAGED;
    uint32_t sector, size;
    while (xiso_next(t, &sector, &size)) {
        std::string table = img.substr((size_t)sector * XISO_SECTOR, size);
        if (table.size() != size || !xiso_feed(t, (const unsigned char *)table.data(), size))
            return DAMAGED;
    }
    return GOOD;
}

// Every entry as "path size" (a folder's size as "/"), by path.
std::map<std::string, std::string> listing(const XisoTree *t)
{
    std::map<std::string, std::string> out;
    for (uint32_t i = 0; i < t->count; i++) {
        std::string path;
        for (uint32_t k = i; k != XISO_TOP; k = t->entry[k].parent)
            path = std::string(t->names + t->entry[k].name, t->entry[k].name_len) + (path.empty() ? "" : "\\") + path;
        out[path] = t->entry[i].dir ? "/" : std::to_string(t->entry[i].size);
    }
    return out;
}

const std::vector<XdvdItem> k_disc = {
    {"default.xbe", false, 4160}, {"Driving.xbe", false, 900},   {"corvane\\filesys.d00", false, 70000},
    {"corvane\\25_fps", true, 0}, {"extra", true, 0},            {"extra\\zzzzzzzz", false, 5},
    {"media\\Title.wmv", false, 0}, {"media\\\xC9t\xE9.bin", false, 3},
};

struct Case {
    const char *what;
    int want;
    std::function<void(std::vector<XdvdItem> &, XdvdPlan &)> plan;
    std::function<void(std::string &, const XdvdLayout &)> damage; // on the image, by item index
};

// Item i's entry field at offset off, n bytes.
void put(std::string &img, const XdvdLayout &l, int i, int off, uint64_t v, int n)
{
    xdvd_put(img, l.entry[i] + off, v, n);
}

// Item 5 ("extra\zzzzzzzz") renamed in place, its length too.
std::function<void(std::string &, const XdvdLayout &)> name(const std::string &to)
{
    return [to](std::string &img, const XdvdLayout &l) {
        img[l.entry[5] + 13] = (char)to.size();
        img.replace(l.entry[5] + 14, to.size(), to);
    };
}

// "extra" gets a table of two sectors of 0xFF holding "a" at the start and "bb"
// at the first sector's very end, its name n bytes long: 3 runs one byte of
// 0xFF (a letter of Latin-1) into the second sector.
void across(std::string &img, const XdvdLayout &l, int n = 3)
{
    std::string t(2 * XISO_SECTOR, '\xFF');
    for (uint32_t at : {0u, 2032u}) {
        xdvd_put(t, at, 0, 2);
        xdvd_put(t, at + 2, at ? 0 : 2032 / 4, 2);
        xdvd_put(t, at + 4, 0, 8);
        t[at + 12] = 0x20;
        t[at + 13] = (char)(at ? n : 1);
        t.replace(at + 14, at ? 2 : 1, at ? "bb" : "a");
    }
    put(img, l, 4, 4, img.size() / XISO_SECTOR, 4);
    put(img, l, 4, 8, t.size(), 4);
    img += t;
}

void many(std::vector<XdvdItem> &items, int n)
{
    for (int i = 0; i < n; i++)
        items.push_back({"many\\file" + std::to_string(i) + ".bin", false, 1});
}

void nested(std::vector<XdvdItem> &items, int depth)
{
    std::string p = "d";
    for (int i = 1; i < depth; i++)
        p += "\\d";
    items.push_back({p, true, 0});
}

const auto none = [](std::vector<XdvdItem> &, XdvdPlan &) {};
const auto intact = [](std::string &, const XdvdLayout &) {};

const Case k_cases[] = {
    {"balanced tables", GOOD, none, intact},
    {"3000 entries chained off one side", GOOD, [](auto &i, auto &p) { many(i, 3000); p.chain = true; }, intact},
    {"empty folders as a sector of 0xFF", GOOD, [](auto &, auto &p) { p.empty_sector = true; }, intact},
    {"a tree 32 folders deep", GOOD, [](auto &i, auto &) { nested(i, XISO_DEPTH_MAX); }, intact},
    {"names Windows takes", GOOD, [](auto &i, auto &) {
         for (const char *n : {"con1.txt", "com10", "x.nul", " lead", "\xFF", "a..b", "~$x"})
             i.push_back({std::string("odd\\") + n, false, 2});
     }, intact},
    {"no second mark", NOT_IMAGE, none, [](std::string &img, const XdvdLayout &) { img[XISO_DESC + 0x7EC] = 'm'; }},
    {"cut in a table", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { img.resize(l.head.size() - 1); }},
    {"cut in a file", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { img.resize(l.sector[2] * 2048 + 100); }},
    {"root over the descriptor", DAMAGED, none, [](std::string &img, const XdvdLayout &) { xdvd_put(img, XISO_DESC + 0x14, 32, 4); }},
    {"file over the descriptor", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 1, 4, 32, 4); }},
    {"file past the end", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 1, 8, 0xFFFFFFFF, 4); }},
    {"folder back to the top", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 4, 4, XDVD_ROOT, 4); }},
    {"folder table too big", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 4, 8, XISO_TABLE_MAX + 2048, 4); }},
    {"folder table too small", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 4, 8, 13, 4); }},
    {"a tree 33 folders deep", DAMAGED, [](auto &i, auto &) { nested(i, XISO_DEPTH_MAX + 1); }, intact},
    {"child past the table", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { put(img, l, 5, 0, 0xFFFE, 2); }},
    {"children in a circle", DAMAGED, [](auto &i, auto &p) { many(i, 40); p.chain = true; },
     [](std::string &img, const XdvdLayout &l) { put(img, l, 12, 2, l.entry[10] % 2048 / 4, 2); }},
    {"entry across a sector", DAMAGED, none, [](std::string &img, const XdvdLayout &l) { across(img, l); }},
    {"two names one for Windows", DAMAGED, [](auto &i, auto &) { i.push_back({"media\\\xE9T\xC9.BIN", false, 1}); }, intact},
    {"empty name", DAMAGED, none, name("")},
    {"dot", DAMAGED, none, name(".")},
    {"dot dot", DAMAGED, none, name("..")},
    {"backslash", DAMAGED, none, name("a\\b")},
    {"slash", DAMAGED, none, name("a/b")},
    {"colon", DAMAGED, none, name("c:x")},
    {"control character", DAMAGED, none, name("a\tb")},
    {"wildcard", DAMAGED, none, name("a*")},
    {"device", DAMAGED, none, name("CON")},
    {"device with extension", DAMAGED, none, name("lpt1.txt")},
    {"device with superscript", DAMAGED, none, name("Com\xB9")},
    {"trailing dot", DAMAGED, none, name("readme.")},
    {"trailing blank", DAMAGED, none, name("readme ")},
};

TEST(Xiso, ReadsSoundPartitionsAndRefusesDamagedOnes)
{
    for (const Case &c : k_cases) {
        SCOPED_TRACE(c.what);
        std::vector<XdvdItem> items = k_disc;
        XdvdPlan plan;
        c.plan(items, plan);
        XdvdLayout l = xdvd_layout(items, plan);
        std::string img = l.head;
        img.resize(l.part_bytes);
        for (size_t i = 0; i < items.size(); i++)
            if (!items[i].dir)
                img.replace((size_t)l.sector[i] * 2048, items[i].size, items[i].size, (char)('a' + i % 26));
        c.damage(img, l);
        XisoTree t;
        EXPECT_EQ(c.want, read_image(img, &t));
        if (c.want == GOOD) {
            std::map<std::string, std::string> have = listing(&t);
            uint64_t sum = 0;
            for (const XdvdItem &i : items) {
                EXPECT_EQ(i.dir ? "/" : std::to_string(i.size), have[i.path]) << i.path;
                sum += i.dir ? 0 : i.size;
            }
            EXPECT_EQ(sum, t.file_bytes);
            uint32_t d00 = xiso_find(&t, "CORVANE\\FileSys.D00");
            ASSERT_NE(XISO_NONE, d00);
            EXPECT_EQ(l.sector[2], t.entry[d00].sector);
            EXPECT_EQ(XISO_NONE, xiso_find(&t, "default.xbe\\x"));
            EXPECT_NE(XISO_NONE, xiso_find(&t, "MEDIA\\\xE9T\xC9.BIN")); // Latin-1 letters fold too
        }
        xiso_free(&t);
    }
}

} // namespace
