// Setup killed while it unpacks, at points where the player's settings files
// are only safe on disk as the kept copies: the next install must still end
// with the player's emberveil.ini and mkb.ini, byte for byte; and the archive a
// Setup killed while tar runs leaves in the temporary folder goes with it.
#include "install.h"

#include <gtest/gtest.h>

struct KillCase {
    const char *name;
    int archive; // the archive (0 project, 1 toolkit, 2 build tools) whose tar Setup is killed in
    Settings player;
};

// gtest names a failing row by its name rather than by its bytes.
static void PrintTo(const KillCase &c, std::ostream *os)
{
    *os << c.name;
}

static const KillCase k_kill[] = {
    {"WhenTheKeptCopiesExist", 0, {"[video]\r\nwidth=800\r\n", "[keys]\r\njump=Space\r\n"}},
    {"AfterTheProjectArchive", 1, {"[audio]\r\nvolume=7", "[keys]\r\nup=I\r\ndown=K\r\n"}},
    {"DuringTheBuildTools", 2, {"[video]\r\nvsync=1\r\n", ""}},
};

// Kills the Setup the driver started once its tar hangs, and waits until the
// tar in its job has gone with it.
static void kill_in_tar(const std::wstring &dir)
{
    ASSERT_TRUE(wait_log(dir, "badtar: hanging on purpose", RUN_MS));
    std::vector<DWORD> tars = children(drv_pid(), L"tar.exe");
    ASSERT_EQ(1u, tars.size());
    HANDLE tar = OpenProcess(SYNCHRONIZE, FALSE, tars[0]);
    ASSERT_NE((HANDLE)NULL, tar);
    drv_kill();
    // The job's last handle went with Setup, and the tar in it with that.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tar, EXIT_MS));
    CloseHandle(tar);
}

class Killed : public InstallCase, public ::testing::WithParamInterface<KillCase> {};

// The unpacking takes a blink, so the kill comes while tar hangs on purpose
// on the row's archive (it unpacks the ones before it): inside the unpacking,
// at a moment that is certain.
TEST_P(Killed, TheNextInstallGivesThePlayerBackTheirSettings)
{
    const KillCase &c = GetParam();
    const std::wstring dir = scratch(widen(c.name));
    ASSERT_TRUE(seed_earlier_install(dir, c.player));
    {
        BadTar bad;
        ASSERT_TRUE(bad.in_place());
        const std::wstring only = L"_" + std::to_wstring(c.archive) + L".zip";
        Hooks hang(Hooks::Vars{{L"EV_TAR_MODE", L"hang"}, {L"EV_TAR_ONLY", only}});
        ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir, true).c_str(), NULL));
        ASSERT_NO_FATAL_FAILURE(kill_in_tar(dir));
    }

    // The kill came inside the unpacking: the kept copies are on disk, and past
    // the project archive the files in place are the payload's, not the player's.
    EXPECT_TRUE(has_file(join(dir, L"emberveil.ini.kept")));
    EXPECT_TRUE(has_file(join(dir, L"mkb.ini.kept")));
    if (c.archive > 0) {
        EXPECT_NE(c.player.emberveil, read_file(join(dir, L"emberveil.ini")));
    }

    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    expect_settings(dir, c.player);
    // The rest of the install is whole again.
    EXPECT_TRUE(has_file(join(dir, L"toolchain\\zig\\zig.exe")));
    EXPECT_EQ(read_file(join(dir, L"scripts\\build.ps1")).substr(0, 26), "# Emberveil build script, ");
}

INSTANTIATE_TEST_SUITE_P(Rows, Killed, ::testing::ValuesIn(k_kill),
                         [](const ::testing::TestParamInfo<KillCase> &i) { return std::string(i.param.name); });

// A Setup killed while tar runs leaves its archive in the temporary folder; the
// next install removes it, and only what is surely such a leftover: not the
// archive of a Setup that still runs (this test's own process stands in for
// one), nor a file that isn't Setup's by its name.
typedef InstallCase KilledWhileTarRuns;

TEST_F(KilledWhileTarRuns, TheNextInstallSweepsAwayTheArchiveLeftBehind)
{
    std::wstring dir = scratch(L"killedtar");
    // An earlier install's folder, so that the second install asks nothing of
    // a folder the killed one left half-filled.
    ASSERT_TRUE(seed_earlier_install(dir, {"[video]\r\n", "[keys]\r\n"}));
    const std::wstring temp = temp_dir();
    const std::wstring running = temp + L"emberveil_setup_" + std::to_wstring(GetCurrentProcessId()) + L"_0.zip",
                       other = temp + L"emberveil_setup_notes.zip";
    ASSERT_TRUE(put_file(running, "PK, of a Setup that runs"));
    ASSERT_TRUE(put_file(other, "PK, of somebody else"));
    DWORD killed = 0;
    {
        BadTar bad;
        ASSERT_TRUE(bad.in_place());
        Hooks hang(L"EV_TAR_MODE", L"hang");
        ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir, true).c_str(), NULL));
        killed = drv_pid();
        ASSERT_NO_FATAL_FAILURE(kill_in_tar(dir));
    }
    std::vector<std::wstring> left = temp_archives(killed);
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(temp + L"emberveil_setup_" + std::to_wstring(killed) + L"_0.zip", left[0]);

    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    EXPECT_EQ(0u, r.code) << r.log;
    EXPECT_TRUE(temp_archives(killed).empty());
    EXPECT_TRUE(temp_archives(r.pid).empty());
    EXPECT_EQ("PK, of a Setup that runs", read_file(running));
    EXPECT_EQ("PK, of somebody else", read_file(other));
}
