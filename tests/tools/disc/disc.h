// Synthetic extracted game discs for the unit tests, the end-to-end tests,
// the demo and the benchmarks. Everything written is made up here: a
// default.xbe that carries only the fields a disc check reads, and data files
// of a counted pattern. No byte comes from a real disc.
#pragma once

#include <stdint.h>
#include <wchar.h>

#define DISC_NFILES 37
#define DISC_TITLE_ID 0x4B560113u
#define DISC_BASE 0x00010000u
#define DISC_CERT_OFF 0x178u
#define DISC_XBE_BYTES 4160u

// Which video folder(s) "corvane" gets.
enum {
    DISC_VIDEO_AUTO,     // 30_fps for region 1 exactly, else 25_fps
    DISC_VIDEO_25,
    DISC_VIDEO_30,
    DISC_VIDEO_BOTH,
    DISC_VIDEO_NONE,
    DISC_VIDEO_25_FILE   // a plain file named 25_fps, no folder
};

struct DiscPlan {
    uint32_t title_id;    // certificate + 0x08
    uint32_t region;      // certificate + 0xA0
    int video;            // DISC_VIDEO_*
    int video_files;      // files put into each video folder made
    uint32_t base;        // header 0x104
    uint32_t cert;        // header 0x118, an address: change it with base
    uint32_t xbe_bytes;   // length of default.xbe; fields past it are cut off
    int xbe_magic;        // 1 writes "XBEH" at 0, 0 leaves zeros there
    int xbe_omit;         // 1 makes no default.xbe at all
    uint64_t omit;        // bit i set: k_gen_files[i] is not made
    uint32_t file_bytes;  // size of every ordinary file
    int big_files;        // the first N table entries after Driving.xbe are big
    uint64_t big_bytes;   // size of each big file
    int extra_files;      // more files of file_bytes each, under "extra\"
};

// The files a complete disc holds, relative to its top folder, in check order.
extern const wchar_t *const k_gen_files[DISC_NFILES];

// Fills plan with a complete European disc of small files.
void disc_default(DiscPlan *plan);

// Marks table entry index (0 = Driving.xbe) as missing; other values are ignored.
void disc_omit(DiscPlan *plan, int index);

// Turns up to 8 table entries into big files so the disc holds about total bytes.
void disc_fill(DiscPlan *plan, uint64_t total);

// Gives the number of bytes disc_make writes for plan, all files counted.
uint64_t disc_total(const DiscPlan *plan);

// Makes the disc described by plan (null: the default) in dir, making dir and
// its parents; files already there are overwritten, others are left. 1/0.
int disc_make(const wchar_t *dir, const DiscPlan *plan);

// Writes into img (len bytes, the rest left as it is) the fields of an XBE
// header that a disc check reads: magic (4 bytes; null: none) at 0, the base
// address at 0x104, the certificate's address at 0x118 and, at the
// certificate (cert - base past the start, when cert >= base), the title ID
// at +0x08 and the region flags at +0xA0; each little-endian where all four
// of its bytes lie inside len.
void xbe_header(unsigned char *img, uint32_t len, const char *magic, uint32_t base, uint32_t cert, uint32_t title,
                uint32_t region);
