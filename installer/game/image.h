// Xbox disc images read through their file: a file is one by its content (a
// volume descriptor where a game partition starts), whatever its name.
#pragma once
#include "disc.h"
#include "xiso.h"

// What a file holds.
enum {
    IMAGE_NONE,    // no disc image (or no file that can be read): a folder's file
    IMAGE_OK,      // an Xbox disc image whose tree was read whole
    IMAGE_DAMAGED, // an Xbox disc image that is cut short or damaged
    IMAGE_FOREIGN, // a disc image, but not of an Xbox disc
};

// An open image: its file (read access, others may read), the game partition's
// offset in it, the volume and the index of its tree.
struct Image {
    HANDLE file;
    unsigned long long part;
    XisoVolume volume;
    XisoTree tree;
};

// Looks at the file path, reading its descriptor and tables and nothing else:
// IMAGE_OK with img open (image_close it), else another kind with nothing open.
int image_open(const wchar_t *path, Image *img);
void image_close(Image *img);
// The path of entry i below the partition's top, names joined by backslashes
// (each byte a character: the names are 8-bit); 0 when it doesn't fit MAX_PATH.
int image_rel(const XisoTree *t, uint32_t i, wchar_t *out);
// The disc check of a file as game_check does it for a folder, with the same
// checks, order and texts: 1 when path is a disc image (game and texts filled),
// 0 when it is none (nothing touched: the folder rule applies).
int image_check(const wchar_t *path, Game *game, PickTexts *texts);
// Whether the open image img (an Image) holds rel, a path below the
// partition's top, as a file: the check of the game files looks up its list so.
int image_has_file(void *img, const wchar_t *rel);
// The copy step's part for an image: every file and folder of the selection's
// image into target, unchanged files skipped, then what the image doesn't hold
// removed from target; 1 when all was copied and no cancel is pending.
int image_copy(const wchar_t *target);
