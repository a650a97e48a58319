// Demo guest memory: one small block standing for the whole address space.
#include "tidewright.h"

static unsigned char s_memory[4096];

void *tw_guest(uint32_t addr)
{
    return &s_memory[addr % sizeof s_memory];
}
