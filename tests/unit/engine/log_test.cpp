// The install log: the line form, the cut, UTF-8, truncation, a log that
// can't be made, and raw bytes.
#include "unit.h"
#include "engine/context.h"
#include "engine/log.h"
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>

namespace {

class Log : public ::testing::Test {
protected:
    wchar_t dir[MAX_PATH];
    void SetUp() override
    {
        test_init();
        log_close();
        test_dir(L"log", dir);
    }
    void TearDown() override { log_close(); }
};

TEST_F(Log, NothingIsWrittenWhileNoLogIsOpen)
{
    ASSERT_EQ(s_log, INVALID_HANDLE_VALUE);
    logw(L"before the open %d", 1);
    log_raw("raw before", 10);
    log_open(dir);
    ASSERT_NE(s_log, INVALID_HANDLE_VALUE);
    logw(L"inside");
    log_close();
    EXPECT_EQ(s_log, INVALID_HANDLE_VALUE);
    logw(L"after the close");
    log_raw("raw after", 9);
    std::vector<std::string> want = {"inside"};
    EXPECT_EQ(log_texts(dir), want);
}

TEST_F(Log, LineIsStampTextCrLf)
{
    log_open(dir);
    logw(L"Hello %d %s", 42, L"world");
    logw(L"");
    log_close();
    std::string bytes = log_text(dir);
    ASSERT_EQ(bytes.size(), (11 + 14 + 2) + (11 + 2u));
    std::string first = bytes.substr(0, 27), second = bytes.substr(27);
    EXPECT_TRUE(stamped(first)) << first;
    EXPECT_EQ(first.substr(11), "Hello 42 world\r\n");
    EXPECT_TRUE(stamped(second)) << second;
    EXPECT_EQ(second.substr(11), "\r\n");
}

TEST_F(Log, LongTextIsCutAfter2034Characters)
{
    const struct {
        size_t given, kept;
    } rows[] = {{2033, 2033}, {2034, 2034}, {2035, 2034}, {3000, 2034}};
    for (const auto &r : rows) {
        std::wstring text;
        for (size_t i = 0; i < r.given; i++)
            text += (wchar_t)(L'a' + i % 26);
        log_open(dir);
        logw(L"%s", text.c_str());
        log_close();
        std::string bytes = log_text(dir);
        ASSERT_EQ(bytes.size(), 11 + r.kept + 2) << r.given;
        EXPECT_TRUE(stamped(bytes));
        EXPECT_EQ(bytes.substr(11, r.kept), std::string(text.begin(), text.begin() + (long)r.kept));
        EXPECT_EQ(bytes.substr(11 + r.kept), "\r\n");
    }
}

TEST_F(Log, FullLineOfThreeByteCharactersFits)
{
    log_open(dir);
    logw(L"%s", std::wstring(3000, L'\u4e2d').c_str());
    log_close();
    std::string want;
    for (int i = 0; i < 2034; i++)
        want += "\xe4\xb8\xad";
    std::vector<std::string> texts = log_texts(dir);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], want);
}

TEST_F(Log, TextArrivesAsUtf8)
{
    const wchar_t accents[] = L"C:\\Spiele\\\u00dcber Caf\u00e9 \u00e0\u00f1";
    const wchar_t cyrillic[] = L"\u0418\u0433\u0440\u044b";
    const wchar_t cjk[] = L"\u6e38\u620f";
    const wchar_t pair[] = {L'<', 0xD83D, 0xDD25, L'>', 0};   // U+1F525
    const wchar_t lone_high[] = {L'a', 0xD800, L'b', 0};
    const wchar_t lone_low[] = {L'a', 0xDC00, 0};
    const wchar_t high_at_end[] = {L'z', 0xDBFF, 0};
    const struct {
        const wchar_t *text;
        const char *utf8;
    } rows[] = {
        {accents, "C:\\Spiele\\\xc3\x9c" "ber Caf\xc3\xa9 \xc3\xa0\xc3\xb1"},
        {cyrillic, "\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b"},
        {cjk, "\xe6\xb8\xb8\xe6\x88\x8f"},
        {pair, "<\xf0\x9f\x94\xa5>"},
        {lone_high, "a\xef\xbf\xbd" "b"},
        {lone_low, "a\xef\xbf\xbd"},
        {high_at_end, "z\xef\xbf\xbd"},
    };
    for (const auto &r : rows) {
        log_open(dir);
        logw(L"%s", r.text);
        log_close();
        std::vector<std::string> want = {r.utf8};
        EXPECT_EQ(log_texts(dir), want);
    }
}

TEST_F(Log, SecondOpenOfTheFolderTruncates)
{
    log_open(dir);
    for (int i = 0; i < 20; i++)
        logw(L"first install, line %d of a longer log", i);
    log_close();
    log_open(dir);
    logw(L"second");
    log_close();
    std::vector<std::string> want = {"second"};
    EXPECT_EQ(log_texts(dir), want);
}

TEST_F(Log, OthersCanReadEachLineAsItIsWritten)
{
    log_open(dir);
    logw(L"one");
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls\\logs\\install.log", dir);
    std::string seen = read_file(path); // while the log is still open
    log_close();
    EXPECT_TRUE(stamped(seen)) << seen;
    EXPECT_EQ(seen.substr(seen.size() < 11 ? 0 : 11), "one\r\n");
}

TEST_F(Log, LogThatCantBeMadeFailsNothing)
{
    wchar_t blocked[MAX_PATH], missing[MAX_PATH], folder[MAX_PATH];
    swprintf(blocked, MAX_PATH, L"%ls\\blocked", dir);
    swprintf(folder, MAX_PATH, L"%ls\\blocked\\logs\\install.log", dir);
    ASSERT_EQ(SHCreateDirectoryExW(NULL, folder, NULL), ERROR_SUCCESS);
    swprintf(missing, MAX_PATH, L"%ls\\not here\\Emberveil", dir);
    const wchar_t *rows[] = {blocked, missing};
    for (const wchar_t *where : rows) {
        log_open(where);
        EXPECT_EQ(s_log, INVALID_HANDLE_VALUE) << "log_open(" << std::wstring(where) << ")";
        logw(L"lost line %s", L"x");
        log_raw("lost", 4);
        log_close();
        EXPECT_EQ(s_log, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(GetFileAttributesW(folder) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(missing), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Log, RawBytesAreWrittenUnchanged)
{
    std::string all;
    for (int b = 0; b < 256; b++)
        all += (char)b;
    all += std::string("\r\r\n\n\0end", 8);
    log_open(dir);
    size_t at = 0;
    const size_t pieces[] = {1, 0, 7, 100, 2, 4096};
    for (size_t p : pieces) {
        size_t n = p < all.size() - at ? p : all.size() - at;
        log_raw(all.data() + at, (DWORD)n);
        at += n;
    }
    ASSERT_EQ(at, all.size());
    // Output without a line end of its own: the next stamp follows on its line.
    log_raw("tool tail", 9);
    logw(L"next");
    log_close();
    std::string bytes = log_text(dir);
    ASSERT_GE(bytes.size(), all.size() + 9);
    EXPECT_EQ(bytes.substr(0, all.size()), all);
    std::string rest = bytes.substr(all.size());
    EXPECT_EQ(rest.substr(0, 9), "tool tail");
    EXPECT_TRUE(stamped(rest.substr(9)));
    EXPECT_EQ(rest.substr(9 + 11), "next\r\n");
}

} // namespace
