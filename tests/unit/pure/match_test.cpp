// The two scripts' line protocols, judged line by line.
#include "stages/match.h"
#include <gtest/gtest.h>
#include <string>

namespace {

struct LiftCase {
    const char *line;
    int row;
};

TEST(LiftMatch, StartsOnlyTheAnnouncedTool)
{
    const LiftCase cases[] = {
        {"  main: tools.xbe_parser", 0},
        {"  main: tools.disasm", 1},
        {"  main: tools.func_id", 2},
        {"  main: tools.abi_analysis", 3},
        {"  main: tools.recomp", 4},
        {"main: tools.recomp", 4},
        // The driving executable's text may follow after a blank on the same line.
        {"  main: tools.disasm   driving: tools.xbe_parser done (0.4s)", 1},
        {"  driving: tools.disasm  main: tools.func_id", 2},
        {"  main: tools.disasm done (71.2s)", LIFT_NONE},
        {"  main: tools.disasm done", LIFT_NONE},
        {"  main: tools.disasmx", LIFT_NONE},
        {"  main: tools.disasm_v2", LIFT_NONE},
        {"  main: tools.recomp2", LIFT_NONE},
        {"  main:tools.disasm", LIFT_NONE},
        {"  Main: tools.disasm", LIFT_NONE},
        {"  main: Tools.disasm", LIFT_NONE},
        {"  main: tools.", LIFT_NONE},
        {"  main: ", LIFT_NONE},
        {"  driving: tools.disasm", LIFT_NONE},
        {"tools.disasm", LIFT_NONE},
        {"", LIFT_NONE},
        {"  main: identify/abi/lift inputs unchanged, skipped", LIFT_SKIP},
        {"  main: tools.disasm unchanged, skipped", LIFT_SKIP},
        {"  unchanged, skipped main: x", LIFT_NONE},
    };
    for (const LiftCase &c : cases)
        EXPECT_EQ(lift_match(c.line), c.row) << '"' << c.line << '"';
}

TEST(LiftMatch, EveryToolNameEndsAtBlankOrCr)
{
    for (int row = 0; row < LIFT_TOOLS; row++) {
        std::string base = std::string("  main: ") + lift_tool(row);
        EXPECT_EQ(lift_match((base + " ").c_str()), row);
        EXPECT_EQ(lift_match((base + "\r").c_str()), row);
        EXPECT_EQ(lift_match((base + "_").c_str()), LIFT_NONE);
        EXPECT_EQ(lift_match((base + "s").c_str()), LIFT_NONE);
        EXPECT_EQ(lift_match((base + " done (3.0s)").c_str()), LIFT_NONE);
    }
}

TEST(BuildLine, CountsOnlyLinesNamingOneCFile)
{
    const struct {
        const char *line;
        int c;
    } cases[] = {
        {"main.c", 1},
        {"   main.c", 1},
        {"\t\tmain.c", 1},
        {"src\\recomp\\main\\gen\\f0001.c", 1},
        {"src/game/render.c", 1},
        {"RENDER.C", 1},
        {"main.c   ", 1},
        {"main.c\r", 1},
        {"main.c \r ", 1},
        {"main.c\t", 0},
        {"x.c", 1},
        {".c", 0},
        {"c", 0},
        {"", 0},
        {"Compiling main.c", 0},
        {"C:\\src\\main.c", 0},
        {"main.cpp", 0},
        {"main.cs", 0},
        {"main.h", 0},
        {"main.c:", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(build_is_c(c.line), c.c) << '"' << c.line << '"';
}

TEST(BuildLine, ErrorLinesInTheMicrosoftForm)
{
    EXPECT_TRUE(build_is_error("src\\game\\main.c(12): error C2065: 'x': undeclared identifier"));
    EXPECT_TRUE(build_is_error("  main.c(1): fatal error C1083: Cannot open include file"));
    EXPECT_FALSE(build_is_error("main.c(12): error: something"));
    EXPECT_FALSE(build_is_error("error C2065"));
    EXPECT_FALSE(build_is_error("main.c(12):error C2065"));
    EXPECT_FALSE(build_is_error("main.c(12): warning C4996: deprecated"));
}

} // namespace
