// xbe_parse on byte buffers: which headers are taken and which are refused,
// and that a refusal leaves both outputs alone.
#include "disc.h"
#include "game/xbe.h"
#include <gtest/gtest.h>
#include <string.h>

static const uint32_t k_title = 0x4B560113u;
static const uint32_t k_base = 0x10000u;

// A 4096-byte header image: bytes of 0xCC with the fields xbe_parse reads.
static void header(unsigned char *img, const char *magic, uint32_t base, uint32_t cert, uint32_t title,
                   uint32_t region)
{
    memset(img, 0xCC, XBE_READ);
    xbe_header(img, XBE_READ, magic, base, cert, title, region);
}

struct XbeRow {
    const char *what;
    const char *magic;
    uint32_t base, cert;
    uint32_t title, region;
    size_t n; // the count of bytes read
    int ok;
};

static const XbeRow k_rows[] = {
    {"good header", "XBEH", k_base, k_base + 0x178, k_title, 4, XBE_READ, 1},
    {"another title ID", "XBEH", k_base, k_base + 0x178, 0x4D530004u, 1, XBE_READ, 1},
    {"287 bytes", "XBEH", k_base, k_base, k_title, 4, 287, 0},
    {"288 bytes, certificate at the base", "XBEH", k_base, k_base, k_title, 1, 288, 1},
    {"no bytes at all", "XBEH", k_base, k_base + 0x178, k_title, 4, 0, 0},
    {"no magic", "XBEX", k_base, k_base + 0x178, k_title, 4, XBE_READ, 0},
    {"magic in lower case", "xbeh", k_base, k_base + 0x178, k_title, 4, XBE_READ, 0},
    {"certificate below the base", "XBEH", k_base, k_base - 1, k_title, 4, XBE_READ, 0},
    {"certificate 0xA4 one past the count", "XBEH", k_base, k_base + 0x800 - 0xA3, k_title, 4, 0x800, 0},
    {"certificate exactly fitting the count", "XBEH", k_base, k_base + 0x800 - 0xA4, k_title, 4, 0x800, 1},
    {"certificate exactly fitting 4096 bytes", "XBEH", k_base, k_base + XBE_READ - 0xA4, k_title, 2, XBE_READ, 1},
    // A 32-bit sum cert + 0xA4 wraps to 0x94 here and would look in range.
    {"certificate far above the base", "XBEH", k_base, 0xFFFFFFF0u, k_title, 4, XBE_READ, 0},
    // Here cert - base + 0xA4 itself wraps in 32 bits.
    {"certificate far above a base of 0", "XBEH", 0, 0xFFFFFFF0u, k_title, 4, XBE_READ, 0},
};

TEST(XbeParse, HeaderTable)
{
    static unsigned char img[XBE_READ];
    for (const XbeRow &r : k_rows) {
        SCOPED_TRACE(r.what);
        header(img, r.magic, r.base, r.cert, r.title, r.region);
        uint32_t title = 0xDEADBEEFu, region = 0xFEEDFACEu;
        int got = xbe_parse(img, r.n, &title, &region);
        EXPECT_EQ(r.ok, got);
        if (r.ok) {
            EXPECT_EQ(r.title, title);
            EXPECT_EQ(r.region, region);
        } else {
            EXPECT_EQ(0xDEADBEEFu, title) << "title output touched on failure";
            EXPECT_EQ(0xFEEDFACEu, region) << "region output touched on failure";
        }
    }
}

// The fields are little-endian wherever the certificate lies: a parser that
// reads the certificate from a fixed offset, or in host order of bytes taken
// the other way round, gives another value.
TEST(XbeParse, ReadsTheCertificateWhereTheHeaderSays)
{
    static unsigned char img[XBE_READ];
    for (uint32_t off : {0x0u, 0x178u, 0x400u, 0xF00u}) {
        SCOPED_TRACE(off);
        header(img, "XBEH", 0x00011000u, 0x00011000u + off, 0x01020304u + off, 0x80000001u);
        uint32_t title = 0, region = 0;
        ASSERT_EQ(1, xbe_parse(img, XBE_READ, &title, &region));
        EXPECT_EQ(0x01020304u + off, title);
        EXPECT_EQ(0x80000001u, region);
    }
}
