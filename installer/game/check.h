// The check of the game files against the port's list of known good dumps,
// <install>\game-files.sha256 (unpacked with the project), during the copy
// step: every listed path must be on the disc, and the bytes of each listed
// file that the copy moves must be one of its versions. Without the list
// nothing is checked. What was found good is recorded in
// <install>\game-files.checked, so that a reinstall needn't read it again.
#pragma once
#include "known.h"
#include "sha.h"

// Loads the list and the earlier record, for the disc s_game.dir: R_OK (a list
// or none), or the failure of a list that is there but can't be read whole.
int check_load(void);
// The listed file at rel (a path below the disc's top folder), or null: no
// list, or a file the list doesn't hold (counted: it is copied unchecked).
const KnownFile *check_listed(const wchar_t *rel);
// check_listed of a file of the disc folder, by its full path.
const KnownFile *check_source(const wchar_t *path);
// Whether the skip pass may keep a copy it found unchanged: 1 for an unlisted
// file, or a listed one whose copy the record vouches for with a version the
// list still holds (it counts as checked); 0 when it must be copied again.
int check_kept(const KnownFile *listed);
// The verdict on a listed file's bytes: 1 when sha is one of its versions;
// else 0, with what didn't match logged and the failure kept for check_fail.
int check_sha(const KnownFile *listed, const unsigned char sha[SHA_BYTES]);
// Whether the disc holds rel as a file (ctx: what the caller needs to look).
typedef int (*CheckHasFn)(void *ctx, const wchar_t *rel);
// Looks up every listed path before anything is copied: 1 when all are there,
// else 0 with the first missing one kept for check_fail.
int check_missing(CheckHasFn has, void *ctx);
// A CheckHasFn for a disc folder: ctx is the folder's path.
int check_has_file(void *folder, const wchar_t *rel);
// The disc chosen is <install>\game itself: the listed files must be there,
// and those the record doesn't vouch for are read (never written) and
// checked. 1 when all are good (or there is no list).
int check_in_place(const wchar_t *game);
// The end of the check for this copy step, whatever its outcome: the record
// written, the counts logged, the hasher stopped, the list let go.
void check_end(void);
// fail() with the check's own texts when the check failed the copy, else
// with msg and advice.
int check_fail(const wchar_t *msg, const wchar_t *advice);
