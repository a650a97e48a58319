// The XBE header check on any bytes: never reads outside them, and what it
// accepts really has its certificate inside them.
#include "game/xbe.h"
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > XBE_READ)
        size = XBE_READ;
    // A heap copy of exactly the bytes "read", so that AddressSanitizer sees any overread.
    unsigned char *bytes = (unsigned char *)malloc(size ? size : 1);
    memcpy(bytes, data, size);
    uint32_t title = 0xAAAAAAAA, region = 0x55555555;
    if (xbe_parse(bytes, size, &title, &region)) {
        uint32_t base, cert;
        memcpy(&base, bytes + 0x104, 4);
        memcpy(&cert, bytes + 0x118, 4);
        if (cert < base || (uint64_t)(cert - base) + 0xA4 > size)
            abort();
    } else if (title != 0xAAAAAAAA || region != 0x55555555) {
        abort(); // a refusal leaves the outputs untouched
    }
    free(bytes);
    return 0;
}
