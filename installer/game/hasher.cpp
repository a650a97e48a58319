#include "hasher.h"

// The ring: the copy takes a free block, reads into it, hands it over and
// writes it out while the hasher works through the blocks in the order they
// came. A block is free again only once it is written (the copy moves on only
// then) and hashed (the hasher gives it back only then). The two threads meet
// through a slim lock and two condition variables, which wait in the process
// itself (Wine's wait on a semaphore or an event asks its server every time,
// and on a busy machine each ask can cost a time slice).
static SRWLOCK s_lock = SRWLOCK_INIT;
static CONDITION_VARIABLE s_work = CONDITION_VARIABLE_INIT; // a block to hash, or the quit
static CONDITION_VARIABLE s_back = CONDITION_VARIABLE_INIT; // a block hashed
static HANDLE s_thread;
static unsigned char *s_ring;
static DWORD s_len[HASH_RING];
// Blocks handed over and blocks hashed, since the thread started: the ring
// holds s_handed - s_hashed blocks, and a file's hash is whole when they agree.
static unsigned long s_handed, s_hashed;
static int s_quit;
static Sha s_sha;
static int s_sha_ok;
static int s_inline; // the file is hashed on the caller's thread
static LONGLONG s_wait_ticks;

static LONGLONG ticks(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static DWORD WINAPI hash_blocks(void *unused)
{
    (void)unused;
    AcquireSRWLockExclusive(&s_lock);
    for (;;) {
        while (s_hashed == s_handed && !s_quit)
            SleepConditionVariableSRW(&s_work, &s_lock, INFINITE, 0);
        if (s_quit)
            break;
        unsigned at = (unsigned)(s_hashed % HASH_RING);
        DWORD n = s_len[at];
        ReleaseSRWLockExclusive(&s_lock);
        // s_sha and the block are the hasher's alone until it says it is done.
        if (n && s_sha_ok && !sha_add(&s_sha, s_ring + (size_t)at * HASH_BLOCK, n))
            s_sha_ok = 0;
        AcquireSRWLockExclusive(&s_lock);
        s_hashed++;
        WakeConditionVariable(&s_back);
    }
    ReleaseSRWLockExclusive(&s_lock);
    return 0;
}

// Waits (the lock held) until at most most blocks are still to be hashed,
// counting the time only when it had to wait.
static void wait_until(unsigned long most)
{
    if (s_handed - s_hashed <= most)
        return;
    LONGLONG t0 = ticks();
    while (s_handed - s_hashed > most)
        SleepConditionVariableSRW(&s_back, &s_lock, INFINITE, 0);
    s_wait_ticks += ticks() - t0;
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
    if (!s_inline && !s_thread) {
        s_handed = s_hashed = 0;
        s_quit = 0;
        s_thread = CreateThread(NULL, 0, hash_blocks, NULL, 0, NULL);
        if (!s_thread)
            return 0;
    }
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
    AcquireSRWLockExclusive(&s_lock);
    wait_until(HASH_RING - 1);
    unsigned at = (unsigned)(s_handed % HASH_RING);
    ReleaseSRWLockExclusive(&s_lock);
    return s_ring + (size_t)at * HASH_BLOCK;
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
    AcquireSRWLockExclusive(&s_lock);
    s_len[s_handed % HASH_RING] = n;
    s_handed++;
    ReleaseSRWLockExclusive(&s_lock);
    WakeConditionVariable(&s_work);
}

int hasher_end(unsigned char out[SHA_BYTES])
{
    if (!s_inline) {
        AcquireSRWLockExclusive(&s_lock);
        wait_until(0);
        ReleaseSRWLockExclusive(&s_lock);
    }
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
        AcquireSRWLockExclusive(&s_lock);
        s_quit = 1;
        ReleaseSRWLockExclusive(&s_lock);
        WakeConditionVariable(&s_work);
        WaitForSingleObject(s_thread, INFINITE);
        CloseHandle(s_thread);
        s_thread = NULL;
    }
    if (s_ring)
        VirtualFree(s_ring, 0, MEM_RELEASE);
    s_ring = NULL;
}
