// A disc with one byte changed in one file, as a folder and as an image,
// checked against the demo payload's list of known good game files: Setup
// stops at the copy step with the file named in the log and in the failure
// view, builds nothing, keeps no copy of the file, and exits 1.
#include "ids.h"
#include "install.h"

#include "discimage.h"

#include <gtest/gtest.h>

#include <algorithm>

typedef InstallCase CheckedInstall;

TEST_F(CheckedInstall, OneByteChangedInAFileOfTheDiscFailsTheCopyStep)
{
    std::wstring disc = scratch(L"bad-dump");
    ASSERT_TRUE(disc_eu_in(disc));
    std::wstring bad = join(disc, L"driving\\misc.viv");
    std::string bytes = read_file(bad);
    ASSERT_FALSE(bytes.empty());
    bytes[100] ^= 0x20;
    ASSERT_TRUE(put_file(bad, bytes));
    std::wstring image = scratch(L"bad-dump.iso");
    ASSERT_TRUE(image_make(disc.c_str(), image.c_str(), false, XdvdPlan(), NULL));

    const std::string msg = "The game file driving\\misc.viv is damaged or changed.";
    const std::wstring advice = L"It matches no good copy of the game: dump the disc again (a read error or a file "
                                L"cut short causes this) and undo any mods or patches. This port needs Z93: "
                                L"Emberveil for Europe or North America.";
    for (const std::wstring &source : {disc, image}) {
        SCOPED_TRACE(utf8(source));
        std::wstring dir = source + L"-install";
        Outcome r = install(source, dir);
        ASSERT_TRUE(r.exited) << utf8(r.box);
        EXPECT_EQ(1u, r.code) << r.log;
        std::vector<std::string> lines = installer_lines(r.log);
        ASSERT_GE(lines.size(), 4u) << r.log;
        EXPECT_EQ("FAILED: " + msg + " " + utf8(advice), lines[lines.size() - 2]);
        EXPECT_TRUE(glob("Failed after ~ s", lines.back()));
        // What didn't match, by the file's full path: its bytes' SHA-256 and the list's.
        const std::string head = utf8(join(source, L"driving\\misc.viv")) + ": SHA-256 ",
                          tail = "; game-files.sha256 lists ";
        EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [&](const std::string &l) {
                      return !l.compare(0, head.size(), head) && !l.compare(head.size() + 64, tail.size(), tail);
                  })) << r.log;
        EXPECT_EQ(std::string::npos, r.log.find("Step 3 of 5")) << "a build ran";
        EXPECT_FALSE(has_file(join(dir, L"game\\driving\\misc.viv")));
    }

    // The failure view names the file too (its message is drawn in the panel: see the picture).
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc, disc + L"-view", false).c_str(), NULL));
    ASSERT_TRUE(drv_window(RUN_MS));
    ASSERT_TRUE(drv_wait_text(ID_GO, L"Back", RUN_MS)) << utf8(control_text(ID_GO));
    EXPECT_EQ(L"Step 2 of 5: Copying the game files", control_text(ID_STEP));
    EXPECT_EQ(advice, control_text(ID_DETAIL));
    drv_shot(artifact(L"failure-bad-file.bmp").c_str());
}
