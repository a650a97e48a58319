// Demo input layer: the real one reads the key layout from mkb.ini.
#include "game.h"

const wchar_t *input_name(void)
{
    return L"demo input (mkb.ini)";
}
