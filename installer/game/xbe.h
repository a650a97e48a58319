// Reading the title ID and region flags from the first bytes of an XBE file.
// Pure: it takes the bytes that were read, so any header can be tried on it.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum { XBE_READ = 0x1000 }; // only the file's first 4096 bytes are read

// 1 and both outputs filled when the n bytes start an XBE whose certificate
// (title ID at +0x08, region flags at +0xA0) lies inside them; else 0, outputs untouched.
int xbe_parse(const unsigned char *bytes, size_t n, uint32_t *title_id, uint32_t *region);
