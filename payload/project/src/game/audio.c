// Demo audio mixer: a name and nothing behind it.
#include "game.h"

const wchar_t *audio_name(void)
{
    return L"demo mixer";
}
