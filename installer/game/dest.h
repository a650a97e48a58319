// The checks on the chosen install folder before an install may start, and
// the required space shown while the player chooses.
#pragma once
#include "../engine/context.h"

// The room the tools, the build and the generated code take: 1600 MiB.
#define BUILD_BYTES (1600ull << 20)

// Null when the folder (as typed) can take the install, else the refusal.
const wchar_t *dest_problem(const wchar_t *text);
// 1 when emberveil.exe or emberveil_driving.exe runs.
int game_running(void);
// The required space for the install-folder text as typed (counting the game
// selection when it is ok and not already in place).
unsigned long long space_needed(const wchar_t *dest);
// Refreshes the required-space line and, in the form, status part 1.
void space_update(void);
// How a check tells the player: a message box of that style; returns its answer.
typedef int (*AskFn)(const wchar_t *text, UINT style);
// The free bytes for the calling user of the volume holding a folder (a drive
// root, say); 0 when they can't be read.
typedef int (*FreeFn)(const wchar_t *root, ULONGLONG *free_bytes);
extern FreeFn s_free_bytes;
// The checks of an install start, in their order, each refusal told through
// ask: R_OK when the install may start (s_dir set), R_FAIL when a check refused,
// R_CANCEL when the player answered No to installing into a non-empty folder.
int install_checks(const wchar_t *dest, const wchar_t *note, AskFn ask);
