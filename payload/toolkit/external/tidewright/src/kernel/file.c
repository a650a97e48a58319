// Demo kernel shim for game files: knows no file.
#include "../tidewright.h"

uint32_t tw_file_open(const char *guest_path)
{
    (void)guest_path;
    return 0;
}
