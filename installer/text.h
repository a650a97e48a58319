// Text helpers that need nothing of the platform, so that the native fuzzing
// build and the unit tests reach them as they are.
#pragma once
#include <stddef.h>
#include <wchar.h>

// ASCII-only letter folding: A..Z equal a..z, every other character compares
// exactly (paths, file names, process names and options are compared this way).
wchar_t fold(wchar_t c);
// 1 when a and b are equal under fold.
int ieq(const wchar_t *a, const wchar_t *b);
// 1 when the first n characters of a and b are equal under fold (both may end sooner, together).
int ieqn(const wchar_t *a, const wchar_t *b, size_t n);
// Copies src into out (cap units with the terminator), cutting it; cap > 0.
void copy_cut(wchar_t *out, size_t cap, const wchar_t *src);
// 1 when path lies strictly inside folder: its first characters equal folder
// under fold and the next one is a backslash (or, for a folder that ends in
// one, a drive root E:\, any character).
int path_inside(const wchar_t *path, const wchar_t *folder);
// 1 when path is folder itself (under fold) or lies inside it.
int path_is_or_inside(const wchar_t *path, const wchar_t *folder);
// Completes a folder chosen in the folder browser (a buffer of cap units) with
// "Emberveil", unless its last part already is that name (any letter case);
// no second backslash after a drive root. 0 when the name doesn't fit: the
// path is then left as it was, never cut.
int dest_complete(wchar_t *path, size_t cap);
// The process id in the name of a temporary archive that a Setup writes while
// it unpacks, "emberveil_setup_<pid>_<i>.zip" or "emberveil_setup_<pid>_<i>_<k>.zip"
// (i the archive 0 to 2, k 1 to 99, decimal without leading zeros, letter case
// folded); 0 for any other name.
unsigned long leftover_pid(const wchar_t *name);
// The length of the first n bytes of s without a UTF-8 sequence that the end
// cuts short (a line cut at a byte limit); n when none is.
size_t utf8_whole(const char *s, size_t n);
