// Demo renderer: a name and nothing behind it.
#include "game.h"

const wchar_t *render_name(void)
{
    return L"demo renderer";
}
