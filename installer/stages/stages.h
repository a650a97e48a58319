// The build stages of an install: unpacking the payload, translating the
// game's code, compiling it and finishing. Each returns R_OK, R_FAIL or R_CANCEL.
#pragma once
#include "../engine/context.h"

// Payload resource ids (RT_RCDATA).
#include "../resource.h"

int stage_unpack(void);
int stage_lift(void);
int stage_build(void);
int stage_finish(void);

// The bytes of the RT_RCDATA resource id as the executable carries them, and
// their count; null with size 0 when it is missing or empty.
const void *payload_bytes(int id, DWORD *size);
// 1 when the whole RT_RCDATA resource id was written to the file path, which
// must not exist yet (nothing is left behind when it fails).
int write_resource(int id, const wchar_t *path);
// The file's bytes in a heap buffer (the caller frees it) and their count in
// n; null with n 0 when it can't be opened or read whole (a file that shrinks
// or grows while it is read too).
unsigned char *slurp(const wchar_t *path, DWORD *n);
// Creates or truncates the file and writes the n bytes; reports nothing.
void spill(const wchar_t *path, const void *bytes, DWORD n);
// Clears the read-only attribute of the file path, when it has it, and no other.
void writable(const wchar_t *path);
// Writes the n bytes to "<path>.part" and only then puts that in place of
// path: 1 when path holds them, else 0 and path is as it was.
int spill_safe(const wchar_t *path, const void *bytes, DWORD n);

// tar.exe replaces a file by deleting it first, which a read-only file refuses
// (a folder the player marked read-only, say): clears the read-only attribute
// of every file in the install folder that the archive of resource id lists.
void clear_read_only_targets(int id);
// The longest path, in characters, that the unpacking makes below the install
// folder: the longest entry name of the three archives, or of what Setup
// writes there itself, whichever is longer.
size_t payload_longest(void);
// 1 when path reaches a program with a narrow main (Windows' tar.exe) as it
// is: its round trip through the ANSI code page loses nothing.
int ansi_safe(const wchar_t *path);
// Deletes the temporary archives in folder (which ends in a backslash) that
// Setups no longer running left behind: files named by leftover_pid, never a
// folder or a link, never one of a process that still runs or can't be asked.
void sweep_leftovers(const wchar_t *folder);

// The translation and build scripts' line callbacks.
void lift_line(const char *line);
void build_line(const char *line);
// C files in folder (and, when deep, in all its subfolders); -1 when a path
// there is too long to walk (s_too_long names it).
int count_c(const wchar_t *folder, int deep);
extern int s_compiled, s_compile_total;
extern char s_first_error[300];

// The command line that runs script (relative to the install folder) with the
// system's PowerShell, named by its full path so that a powershell.exe beside
// Setup is never the one started.
void ps_command(wchar_t *out, int cap, const wchar_t *script);
// Makes a shell link at the desktop: 1 when saved.
int shortcut(const wchar_t *target, const wchar_t *folder);
