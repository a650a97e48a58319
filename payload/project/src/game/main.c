// The demo build of the game: it only shows that the build ran and which
// parts went into it.
#include <windows.h>
#include <stdio.h>
#include "game.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show)
{
    (void)instance;
    (void)previous;
    (void)command;
    (void)show;
    wchar_t text[512];
    _snwprintf(text, 511, L"This is the demo build of Emberveil.\n\nParts: %ls, %ls, %ls.",
               render_name(), input_name(), audio_name());
    text[511] = 0;
    MessageBoxW(NULL, text, L"Emberveil (demo build)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
