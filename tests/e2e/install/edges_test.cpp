// Whole installs at the edges: the settings an install that stopped half-way
// kept, meeting a newer edit in place.
#include "setup_run.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(StaleKept, ANewerEditInPlaceWinsAndTheOlderCopyStaysBeside)
{
    CleanSlate slate;
    std::wstring dir = scratch(L"stalekept");
    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited && r.code == 0) << r.log;
    // An install stopped half-way: its kept copies stay. The player then played
    // the earlier build and changed emberveil.ini; mkb.ini is still the payload's.
    const Settings older = {"[video]\r\nwidth=800\r\n", "[keys]\r\njump=Space\r\n"};
    const std::string newer = "[video]\r\nwidth=2560\r\n";
    ASSERT_TRUE(put_file(join(dir, L"emberveil.ini.kept"), older.emberveil));
    ASSERT_TRUE(put_file(join(dir, L"mkb.ini.kept"), older.mkb));
    ASSERT_TRUE(put_file(join(dir, L"emberveil.ini"), newer));

    r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << narrow(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    EXPECT_EQ(newer, read_file(join(dir, L"emberveil.ini")));
    EXPECT_EQ(older.emberveil, read_file(join(dir, L"emberveil (older copy).ini")));
    EXPECT_EQ(older.mkb, read_file(join(dir, L"mkb.ini")));
    EXPECT_FALSE(has_file(join(dir, L"mkb (older copy).ini")));
    EXPECT_TRUE(files_ending(dir, L".kept").empty());
    const std::string told = narrow(join(dir, L"emberveil.ini")) + " changed after an earlier install stopped "
                             "half-way: it is kept, and the older copy that install set aside is now " +
                             narrow(join(dir, L"emberveil (older copy).ini"));
    std::vector<std::string> lines = installer_lines(r.log);
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), told)) << r.log;
    remove_dir(dir);
}
