// Disc images of generated discs for the tests, the demo and the benchmarks:
// the files of a disc folder laid out as the image tools lay them out (xdvd.h).
#pragma once
#include "xdvd.h"
#include <string>
#include <vector>

#define IMAGE_WHOLE_PART 0x18300000ull // the game partition's offset in a whole-disc image

// Where a file's bytes lie in the image file.
struct ImagePlaced {
    std::wstring rel; // below the disc's top folder
    uint64_t at, size;
};

// Writes an image of the disc folder dir (names of 8 bits, files under 4 GiB)
// into path: the game partition alone or, with whole, a whole disc whose
// video partition is a sparse gap. Each file's place goes into placed (may be
// null), in the order of the image. 1 when the image was written whole.
int image_make(const wchar_t *dir, const wchar_t *path, bool whole, const XdvdPlan &plan = XdvdPlan(),
               std::vector<ImagePlaced> *placed = nullptr);
