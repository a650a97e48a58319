// Demo runtime start-up: the real one maps the guest image and the kernel shims.
#include "tidewright.h"

int tw_runtime_init(void)
{
    return tw_guest(0) != NULL;
}
