// Recognising and checking the player's extracted game disc.
#pragma once
#include "../engine/context.h"

#define EV_TITLE_ID 0x4B560113u

enum { DISC_FILES = 37 };
extern const wchar_t *const k_disc_files[DISC_FILES];

// What a pick shows: the game field's text and the note line's text.
struct PickTexts {
    wchar_t field[MAX_PATH];
    wchar_t note[MAX_PATH];
};

// The record and the texts for a path as the player gave it (no window).
void game_check(const wchar_t *path, Game *game, PickTexts *texts);
// game_check into s_game, then the game field, the note line and the required space.
void game_pick(const wchar_t *path);
// 1 and both outputs when the file is a readable XBE (its certificate inside
// the first 4096 bytes); else 0, outputs untouched.
int xbe_read(const wchar_t *path, DWORD *title_id, DWORD *region);
// Null when dir holds a complete disc, else the first missing item's text.
const wchar_t *disc_missing(const wchar_t *dir);
// Total bytes of every file under dir; a folder that can't be listed adds 0.
// A path under dir that doesn't fit MAX_PATH ends the walk, and s_too_long
// names it: the copy could never make it.
unsigned long long dir_bytes(const wchar_t *dir);
// 1 when the game selection's folder is the "game" folder of dest (as typed).
int game_in_place(const wchar_t *dest);
// "USA (NTSC)", "Europe (PAL)" or "other region".
const wchar_t *region_name(DWORD region);
