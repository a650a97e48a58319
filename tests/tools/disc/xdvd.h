// The layout of an Xbox disc file system (XDVDFS) game partition as the
// community's image tools rebuild one: ECMA-119 descriptors at 0x8000, the
// volume descriptor at 0x10000, the root table at sector 0x108, every folder's
// table after it, then the files, the whole padded to a multiple of 64 KiB.
// Pure, so that the reader's table test builds images in memory with it and
// the image writer (discimage.h) builds files with it.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

// One file or folder, its path below the top with backslashes; missing
// folders on the way are made. Names are written as they are, good or not.
struct XdvdItem {
    std::string path;
    bool dir;
    uint32_t size; // a file's bytes
};

struct XdvdPlan {
    uint64_t time = 0x01C3A1B2C3D4E5F6ull; // the volume's FILETIME
    bool chain = false;       // every table's entries hang off one side
    bool empty_sector = false; // an empty folder is a table of one sector of 0xFF (else of size 0)
};

struct XdvdLayout {
    std::string head;              // the partition from its start to the end of the last table
    std::vector<uint32_t> sector;  // per item: a file's first sector, a folder's table sector
    std::vector<uint64_t> entry;   // per item: where its table entry starts in head
    uint64_t part_bytes = 0;       // the whole partition
};

enum { XDVD_SECTOR = 2048, XDVD_ROOT = 0x108 };

XdvdLayout xdvd_layout(const std::vector<XdvdItem> &items, const XdvdPlan &plan);
// Sets n little-endian bytes of v at b[at].
void xdvd_put(std::string &b, uint64_t at, uint64_t v, int n);
