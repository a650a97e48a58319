// Stands in for a running game: the tests copy it under the game's executable
// names, start it and end it themselves; it ends on its own after a minute.
#include <windows.h>

int wmain(void)
{
    Sleep(60000);
    return 0;
}
