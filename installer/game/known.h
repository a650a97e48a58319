// The port's list of known good game files, game-files.sha256: per line the
// SHA-256 of one disc file as sha256sum writes it; a path on several lines has
// several accepted versions (regional releases, an executable an image tool
// patched). Pure: the list's bytes in, a table sorted for lookups out, so that
// the tests and the fuzzer reach it as it is.
// The release packer checks lists by the same rules (known_line in
// tools/pack/pack.py): a change to the rules here is a change there.
#pragma once
#include <stddef.h>
#include <wchar.h>

enum {
    KNOWN_MAX_BYTES = 4 << 20, // a longer list is refused whole; a real disc's takes a few hundred KB
    KNOWN_PATH_MAX = 259,      // UTF-16 units of a path at most: a disc file's path fits MAX_PATH
    KNOWN_SHA = 32,            // bytes of a SHA-256
};

// One accepted version of one file.
struct KnownSum {
    const wchar_t *path; // as listed, "\" between parts, "." parts dropped; in the room
    unsigned char sha[KNOWN_SHA];
};

// One listed file: its versions are sums[first] to sums[first + count - 1].
struct KnownFile {
    const wchar_t *path;
    size_t first, count;
};

// The parsed list. Paths compare with the ASCII letters folded and "/" taken
// for "\"; files are sorted by path so, and every version is distinct.
struct KnownList {
    KnownFile *files;
    size_t nfiles;
    KnownSum *sums;
    size_t nsums;
    size_t bad; // malformed lines, each told to the callback
};

// Told about each malformed line: its number (from 1), its bytes without the
// line end (n of them, not terminated) and why, a short fixed text.
typedef void (*KnownBadFn)(void *ctx, size_t line, const char *text, size_t n, const char *why);

// The bytes of room known_parse needs for a list of n bytes; 0 when n is over
// KNOWN_MAX_BYTES. About three times n where wchar_t is two bytes (Windows).
size_t known_room(size_t n);
// Parses the n bytes of a list (UTF-8, with or without a byte-order mark, LF
// or CR LF; blank lines and lines starting with "#" are comments) into list,
// whose tables live in room (aligned as malloc's; known_room(n) bytes, owned
// by the caller, which keeps it as long as the list). Each malformed line is
// left out and told to bad (may be null) with ctx. 1 when parsed; 0 when n is
// over KNOWN_MAX_BYTES or the room is short (list then empty).
int known_parse(const void *bytes, size_t n, void *room, size_t room_bytes, KnownList *list, KnownBadFn bad,
                void *ctx);
// The listed file at rel, a path relative to the disc's top folder as the
// copy walks it ("\" or "/" between parts, any ASCII letter case); null when
// the list doesn't hold it.
const KnownFile *known_find(const KnownList *list, const wchar_t *rel);
// 1 when sha is one of file's accepted versions.
int known_match(const KnownList *list, const KnownFile *file, const unsigned char sha[KNOWN_SHA]);
