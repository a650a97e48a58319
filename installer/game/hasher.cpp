#include "hasher.h"

// The ring: the copy takes a free block (s_free), reads into it, hands it over
// (s_full) and writes it out while the hasher works through the blocks in the
// order they came. A block is free again only once it is written (the copy
// moves on only then) and hashed (the hasher gives it back only then).
static HANDLE s_thread, s_free, s_full, s_caught;
static unsigned char *s_ring;
static DWORD s_len[HASH_RING];
static unsigned s_put, s_take;
static Sha s_sha;
static volatile LONG s_sha_ok;
static volatile LONG s_quit;
static int s_inline; // the file is hashed on the caller's thread
// Blocks handed over and blocks hashed: a file's hash is whole when they agree.
static LONG s_handed;
static volatile LONG s_hashed, s_want;
static LONGLONG s_wait_ticks;

static DWORD WINAPI hash_blocks(void *unused)
{
    (void)unused;
    for (;;) {
        WaitForSingleObject(s_full, INFINITE);
        if (s_quit)
            return 0;
        DWORD n = s_len[s_take];
        if (n && s_sha_ok && !sha_add(&s_sha, s_ring + (size_t)s_take * HASH_BLOCK, n))
            s_sha_ok = 0;
        s_take = (s_take + 1) % HASH_RING;
        ReleaseSemaphore(s_free, 1, NULL);
        if (InterlockedIncrement(&s_hashed) == s_want)
            SetEvent(s_caught);
    }
}

static LONGLONG ticks(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Waits for h, counting the time only when it had to wait.
static void wait_counted(HANDLE h)
{
    if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
        return;
    LONGLONG t0 = ticks();
    WaitForSingleObject(h, INFINITE);
    s_wait_ticks += ticks() - t0;
}

static int begin_thread(void)
{
    s_free = CreateSemaphoreW(NULL, HASH_RING, HASH_RING, NULL);
    s_full = CreateSemaphoreW(NULL, 0, HASH_RING + 1, NULL); // one more for the quit
    s_caught = CreateEventW(NULL, FALSE, FALSE, NULL);
    s_put = s_take = 0;
    s_handed = s_hashed = s_want = 0;
    s_quit = 0;
    if (s_free && s_full && s_caught)
        s_thread = CreateThread(NULL, 0, hash_blocks, NULL, 0, NULL);
    if (s_thread)
        return 1;
    DWORD why = GetLastError();
    hasher_stop();
    SetLastError(why ? why : ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

int hasher_start(unsigned long long size)
{
    if (!s_ring)
        s_ring = (unsigned char *)VirtualAlloc(NULL, (SIZE_T)HASH_RING * HASH_BLOCK, MEM_COMMIT | MEM_RESERVE,
                                               PAGE_READWRITE);
    if (!s_ring) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    s_inline = size <= HASH_BLOCK;
    if (!s_inline && !s_thread && !begin_thread())
        return 0;
    if (!sha_start(&s_sha)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    s_sha_ok = 1;
    return 1;
}

unsigned char *hasher_block(void)
{
    if (s_inline)
        return s_ring; // the hasher is idle between files: every block is free
    wait_counted(s_free);
    return s_ring + (size_t)s_put * HASH_BLOCK;
}

void hasher_add(DWORD n)
{
    if (s_inline) {
        LONGLONG t0 = ticks();
        if (n && s_sha_ok && !sha_add(&s_sha, s_ring, n))
            s_sha_ok = 0;
        s_wait_ticks += ticks() - t0;
        return;
    }
    s_len[s_put] = n;
    s_put = (s_put + 1) % HASH_RING;
    s_handed++;
    ReleaseSemaphore(s_full, 1, NULL);
}

int hasher_end(unsigned char out[SHA_BYTES])
{
    // The hasher signals when it reaches s_want; a signal left from an earlier
    // file only costs one more look at the count.
    InterlockedExchange(&s_want, s_handed);
    while (InterlockedCompareExchange(&s_hashed, 0, 0) != s_handed)
        wait_counted(s_caught);
    if (s_sha_ok)
        return sha_end(&s_sha, out);
    sha_drop(&s_sha);
    return 0;
}

unsigned long hasher_waited(void)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (unsigned long)(s_wait_ticks * 1000 / f.QuadPart);
}

void hasher_clear_wait(void)
{
    s_wait_ticks = 0;
}

void hasher_stop(void)
{
    if (s_thread) {
        s_quit = 1;
        ReleaseSemaphore(s_full, 1, NULL);
        WaitForSingleObject(s_thread, INFINITE);
        CloseHandle(s_thread);
        s_thread = NULL;
    }
    HANDLE *handles[] = {&s_free, &s_full, &s_caught};
    for (HANDLE *h : handles) {
        if (*h)
            CloseHandle(*h);
        *h = NULL;
    }
    if (s_ring)
        VirtualFree(s_ring, 0, MEM_RELEASE);
    s_ring = NULL;
}
