// Sanity checks of the disc generator: what the other tests build on must
// hold, namely the XBE fields at their offsets, the table files, the video
// folder rule and a byte count that matches what lands on disk.
#include "disc.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

static void tmp_dir(const wchar_t *name, wchar_t *out)
{
    wchar_t t[MAX_PATH];
    GetTempPathW(MAX_PATH, t);
    swprintf(out, MAX_PATH, L"%lsev_disc_%ls_%lu", t, name, GetCurrentProcessId());
}

// Reads up to cap bytes of dir\rel; the count read, -1 when it can't be opened.
static long read_rel(const wchar_t *dir, const wchar_t *rel, unsigned char *buf, DWORD cap)
{
    wchar_t p[MAX_PATH];
    swprintf(p, MAX_PATH, L"%ls\\%ls", dir, rel);
    HANDLE h = CreateFileW(p, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    DWORD got = 0;
    BOOL ok = ReadFile(h, buf, cap, &got, NULL);
    CloseHandle(h);
    return ok ? (long)got : -1;
}

static uint32_t le32(const unsigned char *b, size_t off)
{
    return (uint32_t)b[off] | (uint32_t)b[off + 1] << 8 | (uint32_t)b[off + 2] << 16 |
           (uint32_t)b[off + 3] << 24;
}

static uint64_t tree_bytes(const wchar_t *dir)
{
    wchar_t pat[MAX_PATH], sub[MAX_PATH];
    WIN32_FIND_DATAW fd;
    uint64_t sum = 0;
    swprintf(pat, MAX_PATH, L"%ls\\*", dir);
    HANDLE h = FindFirstFileW(pat, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L".."))
            continue;
        swprintf(sub, MAX_PATH, L"%ls\\%ls", dir, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            sum += tree_bytes(sub);
        else
            sum += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return sum;
}

static int is_dir_rel(const wchar_t *dir, const wchar_t *rel)
{
    wchar_t p[MAX_PATH];
    swprintf(p, MAX_PATH, L"%ls\\%ls", dir, rel);
    DWORD a = GetFileAttributesW(p);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(DiscGen, DefaultDiscCarriesTheCheckedFieldsAndEveryFile)
{
    wchar_t dir[MAX_PATH];
    unsigned char b[8192];
    tmp_dir(L"default", dir);
    ASSERT_EQ(1, disc_make(dir, NULL));
    long n = read_rel(dir, L"default.xbe", b, sizeof b);
    EXPECT_EQ((long)DISC_XBE_BYTES, n);
    EXPECT_EQ(0, memcmp(b, "XBEH", 4));
    EXPECT_EQ(0x00010000u, le32(b, 0x104));
    EXPECT_EQ(0x00010178u, le32(b, 0x118));
    EXPECT_EQ(0x4B560113u, le32(b, 0x178 + 0x08));
    EXPECT_EQ(4u, le32(b, 0x178 + 0xA0));
    for (int i = 0; i < DISC_NFILES; i++)
        EXPECT_GE(read_rel(dir, k_gen_files[i], b, sizeof b), 1) << i;
    EXPECT_TRUE(is_dir_rel(dir, L"corvane\\25_fps"));
    EXPECT_FALSE(is_dir_rel(dir, L"corvane\\30_fps"));
    EXPECT_EQ(disc_total(NULL), tree_bytes(dir));
    EXPECT_EQ(1, disc_remove(dir));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dir));
}

TEST(DiscGen, OptionsShapeTheDisc)
{
    wchar_t dir[MAX_PATH];
    unsigned char b[8192];
    DiscSpec s;
    disc_default(&s);
    s.region = 1;
    s.xbe_bytes = 287;
    s.big_files = 2;
    s.big_bytes = (3u << 20) + 5;
    s.extra_files = 300;
    disc_omit(&s, 5);
    disc_omit(&s, 36);
    tmp_dir(L"options", dir);
    ASSERT_EQ(1, disc_make(dir, &s));
    // A short file keeps the header fields it has room for and nothing past them.
    EXPECT_EQ(287, read_rel(dir, L"default.xbe", b, sizeof b));
    EXPECT_EQ(0x00010178u, le32(b, 0x118));
    EXPECT_EQ(-1, read_rel(dir, k_gen_files[5], b, sizeof b));
    EXPECT_EQ(-1, read_rel(dir, k_gen_files[36], b, sizeof b));
    EXPECT_GE(read_rel(dir, k_gen_files[4], b, sizeof b), 1);
    EXPECT_TRUE(is_dir_rel(dir, L"corvane\\30_fps"));
    EXPECT_FALSE(is_dir_rel(dir, L"corvane\\25_fps"));
    // Chunks of a big file differ, so a copy that repeats one is caught.
    unsigned char first[16], second[16];
    wchar_t p[MAX_PATH];
    swprintf(p, MAX_PATH, L"%ls\\%ls", dir, k_gen_files[1]);
    HANDLE h = CreateFileW(p, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD got = 0;
    ReadFile(h, first, sizeof first, &got, NULL);
    SetFilePointer(h, 1 << 20, NULL, FILE_BEGIN);
    ReadFile(h, second, sizeof second, &got, NULL);
    CloseHandle(h);
    EXPECT_NE(0, memcmp(first, second, sizeof first));
    EXPECT_EQ(disc_total(&s), tree_bytes(dir));
    EXPECT_EQ(1, disc_remove(dir));
}
