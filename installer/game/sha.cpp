#include "sha.h"

// The algorithm provider is opened once for the process, by whichever thread
// asks first, and never closed, like the other objects made for the whole run:
// opening one costs far more than a hash, and a hash made from it may be used
// on any thread.
static INIT_ONCE s_sha_once = INIT_ONCE_STATIC_INIT;
static BCRYPT_ALG_HANDLE s_sha_alg;

static BOOL CALLBACK open_alg(PINIT_ONCE once, PVOID param, PVOID *context)
{
    (void)once, (void)param, (void)context;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&s_sha_alg, BCRYPT_SHA256_ALGORITHM, NULL, 0)))
        s_sha_alg = NULL;
    return TRUE;
}

int sha_start(Sha *s)
{
    s->h = NULL;
    InitOnceExecuteOnce(&s_sha_once, open_alg, NULL, NULL);
    // CNG keeps the hash's working memory itself when given none.
    if (!s_sha_alg || !BCRYPT_SUCCESS(BCryptCreateHash(s_sha_alg, &s->h, NULL, 0, NULL, 0, 0)))
        s->h = NULL;
    return s->h != NULL;
}

int sha_add(Sha *s, const void *bytes, ULONG n)
{
    // CNG's prototype takes the bytes as writable; it only reads them.
    return s->h && BCRYPT_SUCCESS(BCryptHashData(s->h, (PUCHAR)bytes, n, 0));
}

int sha_end(Sha *s, unsigned char out[SHA_BYTES])
{
    int ok = s->h && BCRYPT_SUCCESS(BCryptFinishHash(s->h, out, SHA_BYTES, 0));
    sha_drop(s);
    return ok;
}

void sha_drop(Sha *s)
{
    if (s->h)
        BCryptDestroyHash(s->h);
    s->h = NULL;
}
