// Resource ids shared by the resource script and the code.
#pragma once

#define IDR_PROJECT 101
#define IDR_TOOLKIT 102
#define IDR_MANIFEST 103
#define IDR_TOOLCHAIN 104
