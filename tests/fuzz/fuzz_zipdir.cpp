// The central directory walk on any bytes: every name it gives lies inside
// them, and the walk ends.
#include "stages/zipdir.h"
#include <stdint.h>
#include <stddef.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ZipDir z;
    if (!zip_dir_open(&z, data, size))
        return 0;
    const char *name;
    size_t n;
    unsigned flags;
    size_t count = 0;
    while (zip_dir_next(&z, &name, &n, &flags)) {
        const uint8_t *p = (const uint8_t *)name;
        if (p < data || p + n > data + size || ++count > size)
            abort();
    }
    return 0;
}
