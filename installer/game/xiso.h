// Reading the Xbox disc file system (XDVDFS) of a disc image from its bytes:
// the volume descriptor, then one directory table at a time, into an index of
// every file and folder. Pure: the caller reads the bytes (so any image can be
// tried on it) and every value read is checked before it is used.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
    XISO_SECTOR = 2048,
    XISO_DESC = 0x10000,       // the descriptor's offset in the game partition
    XISO_TABLE_MAX = 0x40000,  // a table's entries are reached by 16-bit offsets of 4 bytes
    XISO_DEPTH_MAX = 32,       // deeper than any disc's tree
    XISO_ENTRIES_MAX = 1 << 18,
};
#define XISO_WHOLE 0x18300000ull // the game partition's offset in a whole-disc image
#define XISO_TOP 0xFFFFFFFEu     // the partition's top folder, which has no entry
#define XISO_NONE 0xFFFFFFFFu    // no such entry

struct XisoVolume {
    uint32_t root_sector, root_size;
    uint64_t time; // a FILETIME: what every file of the volume was written at
};

// One file or folder. A folder's entries are one run of the index, sorted by
// name without letter case, so that a name is found by halving.
struct XisoEntry {
    uint32_t parent; // XISO_TOP for the top folder's entries
    uint32_t sector; // from the partition's start: a file's bytes, a folder's table
    uint32_t size;   // a file's bytes, a folder's table bytes (0: empty)
    uint32_t first, count; // a folder's entries, once its table was read
    uint32_t name;   // the name's offset in XisoTree::names
    uint8_t name_len;
    uint8_t dir;
    uint8_t depth;   // 1 for the top folder's entries
};

// The index. Zeroed, or filled by xiso_begin, it can always be given to xiso_free.
struct XisoTree {
    XisoEntry *entry;
    uint32_t count, cap;
    char *names; // not terminated; 8-bit, as the image holds them
    uint32_t names_len, names_cap;
    uint32_t *todo; // folders whose tables are still to read: the walk's own stack
    uint32_t todo_count, todo_cap;
    uint16_t *nodes; // a table's entries still to visit
    uint64_t part_bytes; // the image's bytes from the partition's start
    uint64_t file_bytes; // the sum of every file's size
    uint32_t root_sector, root_size, top_first, top_count;
};

// 1 and v filled when the 2048 bytes are a volume descriptor (its two marks).
int xiso_volume(const unsigned char *sector, XisoVolume *v);
// Starts an index of the volume in an image that holds part_bytes from the
// partition's start: 0 when the root table lies outside them or is damaged.
int xiso_begin(XisoTree *t, const XisoVolume *v, uint64_t part_bytes);
// The next table to read (its sector and size in bytes, at most XISO_TABLE_MAX);
// 0 when every table was read.
int xiso_next(const XisoTree *t, uint32_t *sector, uint32_t *size);
// Takes the size bytes of the table xiso_next named: 1, or 0 when the table or
// an entry of it is damaged (the index can't be trusted then: free it).
int xiso_feed(XisoTree *t, const unsigned char *table, uint32_t size);
void xiso_free(XisoTree *t);
// The entry named name (n bytes) in the folder dir (XISO_TOP or a folder's
// index), letter case folded as Windows folds it; XISO_NONE when there is none.
uint32_t xiso_child(const XisoTree *t, uint32_t dir, const char *name, size_t n);
// The entry at a path of names joined by backslashes; XISO_NONE when there is none.
uint32_t xiso_find(const XisoTree *t, const char *path);
// 1 when the n bytes are a name Windows can create as they are.
int xiso_name_ok(const unsigned char *name, size_t n);
