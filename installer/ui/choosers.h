// The ways the player names the game's files and the install folder on the form.
#pragma once
#include <windows.h>
#include <shellapi.h>

// "Browse...": the open-file dialog, then game_pick of the chosen file.
void browse_xbe(void);
// "Change...": the folder browser, completed with "Emberveil", into the install-folder field.
void browse_dest(void);
// A drop on the window: the first item is picked, in the form only.
void on_drop(HDROP drop);
// The game field lost the focus: a typed path is picked before anything else happens.
void xbe_left(void);
