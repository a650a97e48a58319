// SHA-256 through CNG against the examples published with the standard
// (FIPS 180-2, appendix B), fed whole, byte by byte, in pieces that straddle
// its 64-byte blocks, and half from a second thread, as the copy will feed it.
#include "game/sha.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <stdio.h>
#include <string>

namespace {

struct Feed {
    Sha *sha;
    std::string bytes;
    size_t piece;
    int ok;
};

DWORD WINAPI add_all(void *arg)
{
    Feed *f = static_cast<Feed *>(arg);
    for (size_t at = 0; at < f->bytes.size() && f->ok; at += f->piece)
        f->ok = sha_add(f->sha, f->bytes.data() + at, (ULONG)std::min(f->piece, f->bytes.size() - at));
    return 0;
}

TEST(Sha, PublishedExamplesInAnyPieces)
{
    const struct {
        std::string bytes;
        const char *sha;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    const struct {
        size_t piece;
        bool other_thread; // the second half is added by another thread
    } feeds[] = {{1u << 30, false}, {1, false}, {63, false}, {65, true}, {4096, true}};
    for (const auto &v : vectors) {
        for (const auto &f : feeds) {
            SCOPED_TRACE(std::to_string(v.bytes.size()) + " bytes in pieces of " + std::to_string(f.piece));
            Sha sha;
            ASSERT_EQ(1, sha_start(&sha));
            size_t half = f.other_thread ? v.bytes.size() / 2 : v.bytes.size();
            Feed first = {&sha, v.bytes.substr(0, half), f.piece, 1}, rest = {&sha, v.bytes.substr(half), f.piece, 1};
            add_all(&first);
            HANDLE t = CreateThread(NULL, 0, add_all, &rest, 0, NULL);
            ASSERT_NE(nullptr, t);
            WaitForSingleObject(t, INFINITE);
            CloseHandle(t);
            unsigned char out[SHA_BYTES];
            char got[2 * SHA_BYTES + 1];
            EXPECT_EQ(1, first.ok && rest.ok && sha_end(&sha, out));
            for (int i = 0; i < SHA_BYTES; i++)
                snprintf(got + 2 * i, 3, "%02x", out[i]);
            EXPECT_STREQ(v.sha, got);
            EXPECT_EQ(nullptr, sha.h);
        }
    }
}

} // namespace
