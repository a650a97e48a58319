// The central directory walk on any bytes: every name it gives lies inside
// them, a name is never longer in UTF-16 units than in bytes, and the walk
// (and the search by name) ends.
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
        if (p < data || p + n > data + size || ++count > size || zip_name_units(name, n, flags) > n)
            abort();
    }
    zip_dir_find(&z, data, size, "mkb.ini");
    zip_crc32(data, size);
    return 0;
}
