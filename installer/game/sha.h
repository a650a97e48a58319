// SHA-256 through Windows' own cryptography (CNG, bcrypt.dll): no code of
// ours to trust, and the processor's SHA instructions where it has them.
#pragma once
#include <windows.h>
#include <bcrypt.h>

enum { SHA_BYTES = 32 };

// One hash under way. It takes its bytes from one thread at a time, but may
// pass between threads from one call to the next (the copy hands blocks to a
// thread of their own); hashes of their own run on any threads at once.
struct Sha {
    BCRYPT_HASH_HANDLE h; // null when no hash is under way
};

// Starts a hash: 1, or 0 when CNG can't give one (h stays null).
int sha_start(Sha *s);
// Adds n bytes: 1, or 0 when CNG refused them or no hash is under way.
int sha_add(Sha *s, const void *bytes, ULONG n);
// The 32 bytes of all that was added, into out: 1, or 0 on failure. Ends the
// hash (h null again) either way.
int sha_end(Sha *s, unsigned char out[SHA_BYTES]);
// Ends a hash without its result (the bytes stopped coming); nothing when
// none is under way.
void sha_drop(Sha *s);
