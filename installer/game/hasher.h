// The SHA-256 of the bytes a copy moves, taken on a thread of its own: the
// copy reads and writes one block while the block before it is hashed, so a
// good disc costs no pass of its own. One file is hashed at a time; the
// thread and its blocks last until hasher_stop.
#pragma once
#include "sha.h"

enum {
    HASH_BLOCK = 1 << 20, // bytes of one block; the copy's own block size
    HASH_RING = 4,        // blocks: the copy runs up to three ahead of the hash
};

// Starts the hash of one file of size bytes (and the thread, the first time
// one needs it): 1, or 0 with the reason in GetLastError. A file of one block
// is hashed on the caller's thread: handing it over costs more than its hash.
int hasher_start(unsigned long long size);
// A block of HASH_BLOCK bytes to read the file's next bytes into; waits while
// the hasher still holds every block.
unsigned char *hasher_block(void);
// Hands the block hasher_block gave last to the hasher, with n bytes of the
// file in it (0 when the read failed: the block only comes back). The block
// must not change afterwards; it may still be read (written to the target).
void hasher_add(DWORD n);
// Waits until every block handed over is hashed and ends the file's hash: 1
// with its SHA-256 in out, or 0 when CNG failed on the way.
int hasher_end(unsigned char out[SHA_BYTES]);
// Milliseconds the copy spent on the hash (waiting for the hasher, or hashing
// a file of one block itself) since hasher_clear_wait.
unsigned long hasher_waited(void);
void hasher_clear_wait(void);
// Ends the thread and frees the blocks (between files only); nothing when
// none was started.
void hasher_stop(void);
