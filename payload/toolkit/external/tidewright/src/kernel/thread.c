// Demo kernel shim for guest threads: hands out ids and runs nothing.
#include "../tidewright.h"

static uint32_t s_next_id = 1;

uint32_t tw_thread_start(uint32_t entry, uint32_t arg)
{
    (void)entry;
    (void)arg;
    return s_next_id++;
}
