// The progress model and fail: the creeping curve on a clock turned by hand,
// real fractions, the cut step and detail texts, and what fail records.
#include "unit.h"
#include "engine/context.h"
#include "engine/log.h"
#include <gtest/gtest.h>
#include <string>

namespace {

class Progress : public ::testing::Test {
protected:
    wchar_t dir[MAX_PATH];
    void SetUp() override
    {
        test_init();
        log_close();
        s_ticks = fake_ticks;
        s_now = 5000;
        s_cancel = 0;
        test_dir(L"progress", dir);
    }
    void TearDown() override
    {
        log_close();
        s_ticks = GetTickCount;
        s_cancel = 0;
    }
};

// Where the bar stands within the current stretch lo..hi.
double within(double lo, double hi)
{
    return (progress() - lo) / (hi - lo);
}

std::wstring repeat(wchar_t c, size_t n)
{
    return std::wstring(n, c);
}

TEST_F(Progress, CreepFollowsTheCurveInEveryStretch)
{
    const struct {
        double lo, hi;
        DWORD ms;
    } stretches[] = {{0, 1, 1000}, {0.18, 0.185, 3000}, {0.60, 0.99, 240000}, {0, 0.06, 40000}};
    const struct {
        double times; // elapsed, in expected durations
        double share; // of the stretch, to 3 decimals
    } curve[] = {{0.25, 0.210}, {0.5, 0.374}, {1, 0.601}, {2, 0.821}, {3, 0.903}};
    for (const auto &s : stretches) {
        for (const auto &c : curve) {
            s_now = 77777;
            seg(s.lo, s.hi, s.ms, NULL, NULL);
            EXPECT_DOUBLE_EQ(progress(), s.lo) << "at the segment's first moment";
            s_now += (DWORD)(c.times * s.ms);
            EXPECT_NEAR(within(s.lo, s.hi), c.share, 0.0005) << s.lo << ".." << s.hi << " after " << c.times;
        }
        // Time alone never takes the bar to the end of a stretch.
        s_now = 77777 + 20 * s.ms;
        EXPECT_GT(within(s.lo, s.hi), 0.949);
        EXPECT_LT(progress(), s.lo + 0.95 * (s.hi - s.lo));
    }
}

TEST_F(Progress, ZeroMillisecondsCountAsOne)
{
    seg(0.2, 0.6, 0, NULL, NULL);
    EXPECT_EQ(s_seg_ms, 1u);
    EXPECT_DOUBLE_EQ(progress(), 0.2);
    const struct {
        DWORD elapsed;
        double share;
    } rows[] = {{1, 0.601}, {2, 0.821}, {3, 0.903}};
    DWORD t0 = s_now;
    for (const auto &r : rows) {
        s_now = t0 + r.elapsed;
        EXPECT_NEAR(within(0.2, 0.6), r.share, 0.0005) << r.elapsed << " ms";
    }
}

TEST_F(Progress, TickWrapGivesTheTrueElapsedTime)
{
    const struct {
        DWORD t0, now, ms;
        double share;
    } rows[] = {
        {0xFFFFFF00u, 0x100u, 512, 0.601},   // 512 ms across the wrap
        {0xFFFFFFFFu, 0x1F3u, 1000, 0.374},  // 500 ms
        {0xFFFFFC18u, 0x7D0u, 1000, 0.903},  // 1000 + 2000 ms
    };
    for (const auto &r : rows) {
        s_now = r.t0;
        seg(0.1, 0.5, r.ms, NULL, NULL);
        s_now = r.now;
        EXPECT_NEAR(within(0.1, 0.5), r.share, 0.0005) << std::hex << r.t0 << " -> " << r.now;
    }
}

TEST_F(Progress, RealFractionIsClampedAndRulesTheBar)
{
    const struct {
        double given, stored;
    } rows[] = {{-0.5, 0}, {1.7, 1}, {0, 0}, {0.4, 0.4}, {1, 1}, {-1e-9, 0}, {1e300, 1}};
    for (const auto &r : rows) {
        seg(0.18, 0.6, 1000, NULL, NULL);
        s_now += 3000; // the creep alone would stand at 0.903
        seg_frac(r.given);
        EXPECT_DOUBLE_EQ(s_frac, r.stored) << r.given;
        EXPECT_NEAR(progress(), 0.18 + 0.42 * r.stored, 1e-12) << r.given;
        s_now += 100000; // time no longer moves a bar with a real fraction
        EXPECT_NEAR(progress(), 0.18 + 0.42 * r.stored, 1e-12) << r.given;
    }
}

TEST_F(Progress, NewSegmentDropsTheRealFraction)
{
    seg(0, 0.02, 2000, NULL, NULL);
    seg_frac(0.9);
    double before = progress();
    seg(0, 0.06, 40000, NULL, NULL);
    EXPECT_LT(s_frac, 0);
    // Back to lo, below where the previous segment stood, and creeping again.
    EXPECT_DOUBLE_EQ(progress(), 0.0);
    EXPECT_LT(progress(), before);
    s_now += 40000;
    EXPECT_NEAR(within(0, 0.06), 0.601, 0.0005);
}

TEST_F(Progress, StepTextIsCutAndKeptWithoutAStep)
{
    const struct {
        size_t given, kept;
    } rows[] = {{1, 1}, {126, 126}, {127, 127}, {128, 127}, {200, 127}};
    for (const auto &r : rows) {
        std::wstring step = repeat(L's', r.given);
        seg(0, 0.1, 1000, step.c_str(), NULL);
        EXPECT_EQ(std::wstring(s_step), step.substr(0, r.kept)) << r.given;
    }
    log_open(dir);
    seg(0, 0.06, 40000, L"Step 1 of 5: Unpacking", L"Unpacking the recompiler");
    seg(0.18, 0.2, 1000, NULL, L"Sub-part");
    seg(0.2, 0.3, 1000, NULL, NULL);
    log_close();
    EXPECT_EQ(std::wstring(s_step), L"Step 1 of 5: Unpacking");
    EXPECT_EQ(std::wstring(s_detail), L"");
    std::vector<std::string> want = {"== Step 1 of 5: Unpacking =="};
    EXPECT_EQ(log_texts(dir), want);
}

TEST_F(Progress, DetailTextIsCutAt255)
{
    const struct {
        size_t given, kept;
    } rows[] = {{0, 0}, {254, 254}, {255, 255}, {256, 255}, {300, 255}};
    for (const auto &r : rows) {
        std::wstring text = repeat(L'd', r.given);
        seg(0, 0.1, 1000, NULL, text.c_str());
        EXPECT_EQ(std::wstring(s_detail), text.substr(0, r.kept)) << "seg " << r.given;
        detail(L"%s", repeat(L'e', r.given).c_str());
        EXPECT_EQ(std::wstring(s_detail), repeat(L'e', r.kept)) << "detail " << r.given;
    }
    detail(L"Compiled %d of %d code files", 12, 340);
    EXPECT_EQ(std::wstring(s_detail), L"Compiled 12 of 340 code files");
    detail(L"%s:%s", repeat(L'a', 250).c_str(), L"0123456789");
    EXPECT_EQ(std::wstring(s_detail), repeat(L'a', 250) + L":0123");
}

TEST_F(Progress, FailRecordsAndLogs)
{
    std::wstring long_msg = repeat(L'm', 300), long_adv = repeat(L'a', 600);
    const struct {
        const wchar_t *msg, *adv;
        std::wstring kept_msg, kept_adv;
        std::string line;
    } rows[] = {
        {L"The game files could not be copied.", L"Check the disc.", L"The game files could not be copied.",
         L"Check the disc.", "FAILED: The game files could not be copied. Check the disc."},
        // No advice: an empty advice, and the line ends in the blank before it.
        {L"Unpacking failed.", NULL, L"Unpacking failed.", L"", "FAILED: Unpacking failed. "},
        {L"x", L"", L"x", L"", "FAILED: x "},
        {long_msg.c_str(), long_adv.c_str(), repeat(L'm', 255), repeat(L'a', 511),
         "FAILED: " + std::string(300, 'm') + " " + std::string(600, 'a')},
    };
    for (const auto &r : rows) {
        copy_cut(s_fail_adv, 512, L"stale advice of an earlier install");
        log_open(dir);
        EXPECT_EQ(fail(r.msg, r.adv), R_FAIL);
        log_close();
        EXPECT_EQ(std::wstring(s_fail_msg), r.kept_msg);
        EXPECT_EQ(std::wstring(s_fail_adv), r.kept_adv);
        std::vector<std::string> want = {r.line};
        EXPECT_EQ(log_texts(dir), want);
    }
}

TEST_F(Progress, FailAfterCancelRecordsNothing)
{
    const wchar_t *advices[] = {L"Some advice.", NULL};
    for (const wchar_t *adv : advices) {
        copy_cut(s_fail_msg, 256, L"earlier message");
        copy_cut(s_fail_adv, 512, L"earlier advice");
        s_cancel = 1;
        log_open(dir);
        EXPECT_EQ(fail(L"The build failed.", adv), R_CANCEL);
        log_close();
        EXPECT_EQ(std::wstring(s_fail_msg), L"earlier message");
        EXPECT_EQ(std::wstring(s_fail_adv), L"earlier advice");
        EXPECT_EQ(log_text(dir), "");
    }
}

} // namespace
