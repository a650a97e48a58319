// Setup killed while it unpacks, at points where the player's settings files
// are only safe on disk as the kept copies: the next install must still end
// with the player's emberveil.ini and mkb.ini, byte for byte; and the archive a
// Setup killed while tar runs leaves in the temporary folder goes with it.
#include "setup_run.h"

#include "driver.h"

#include <gtest/gtest.h>

#define SPOT_MS 30000

enum Spot {
    KEPT,           // the second kept copy, "mkb.ini.kept", has been written
    TEMP_TOOLKIT,   // the toolkit archive is in the temporary folder: the project archive is in
    TEMP_TOOLCHAIN, // the build tools' archive is in the temporary folder
};

struct KillCase {
    const char *name;
    Spot spot;
    Settings player;
};

// gtest names a failing row by its name rather than by its bytes.
static void PrintTo(const KillCase &c, std::ostream *os)
{
    *os << c.name;
}

static const KillCase k_kill[] = {
    {"WhenTheKeptCopiesExist", KEPT, {"[video]\r\nwidth=800\r\n", "[keys]\r\njump=Space\r\n"}},
    {"AfterTheProjectArchive", TEMP_TOOLKIT, {"[audio]\r\nvolume=7", "[keys]\r\nup=I\r\ndown=K\r\n"}},
    {"DuringTheBuildTools", TEMP_TOOLCHAIN, {"[video]\r\nvsync=1\r\n", ""}},
};

// The path whose appearance marks the spot, for the Setup with process id pid.
static std::wstring spot_path(Spot spot, const std::wstring &dir, DWORD pid)
{
    if (spot == KEPT)
        return join(dir, L"mkb.ini.kept");
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"emberveil_setup_" + std::to_wstring(pid) + (spot == TEMP_TOOLKIT ? L"_1" : L"_2") +
           L".zip";
}

class Killed : public ::testing::TestWithParam<KillCase> {
protected:
    std::wstring dir_;
    DWORD pid_ = 0;

    void TearDown() override
    {
        drv_kill();
        if (pid_)
            remove_temp_archives(pid_);
        if (!dir_.empty())
            remove_dir(dir_);
    }
};

TEST_P(Killed, TheNextInstallGivesThePlayerBackTheirSettings)
{
    const KillCase &c = GetParam();
    dir_ = scratch(widen(c.name).c_str());
    ASSERT_TRUE(seed_earlier_install(dir_, c.player));
    ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir_, true).c_str(), NULL));
    pid_ = drv_pid();
    HANDLE setup = OpenProcess(SYNCHRONIZE, FALSE, pid_);
    ASSERT_NE((HANDLE)NULL, setup);

    // The unpacking takes a blink: look without pausing, kill at first sight.
    std::wstring mark = spot_path(c.spot, dir_, pid_);
    bool hit = false;
    DWORD t0 = GetTickCount();
    while (!hit && GetTickCount() - t0 < SPOT_MS && WaitForSingleObject(setup, 0) == WAIT_TIMEOUT)
        hit = GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (hit)
        drv_kill();
    CloseHandle(setup);
    ASSERT_TRUE(hit) << "never saw " << narrow(mark);

    // The kill came inside the unpacking: the kept copies are on disk, and past
    // the project archive the files in place are the payload's, not the player's.
    EXPECT_TRUE(has_file(join(dir_, L"emberveil.ini.kept")));
    EXPECT_TRUE(has_file(join(dir_, L"mkb.ini.kept")));
    if (c.spot != KEPT) {
        EXPECT_NE(c.player.emberveil, read_file(join(dir_, L"emberveil.ini")));
    }

    Outcome r = install(disc_eu(), dir_);
    ASSERT_TRUE(r.exited) << narrow(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    EXPECT_EQ(c.player.emberveil, read_file(join(dir_, L"emberveil.ini")));
    EXPECT_TRUE(has_file(join(dir_, L"mkb.ini")));
    EXPECT_EQ(c.player.mkb, read_file(join(dir_, L"mkb.ini")));
    EXPECT_TRUE(files_ending(dir_, L".kept").empty());
    EXPECT_TRUE(files_ending(dir_, L".part").empty());
    // The rest of the install is whole again.
    EXPECT_TRUE(has_file(join(dir_, L"toolchain\\zig\\zig.exe")));
    EXPECT_EQ(read_file(join(dir_, L"scripts\\build.ps1")).substr(0, 26), "# Emberveil build script, ");
}

INSTANTIATE_TEST_SUITE_P(Rows, Killed, ::testing::ValuesIn(k_kill),
                         [](const ::testing::TestParamInfo<KillCase> &i) { return std::string(i.param.name); });

// A Setup killed while tar runs leaves its archive in the temporary folder; the
// next install removes it, and only what is surely such a leftover: not the
// archive of a Setup that still runs (this test's own process stands in for
// one), nor a file that isn't Setup's by its name.
TEST(KilledWhileTarRuns, TheNextInstallSweepsAwayTheArchiveLeftBehind)
{
    std::wstring dir = scratch(L"killedtar");
    // An earlier install's folder, so that the second install asks nothing of
    // a folder the killed one left half-filled.
    ASSERT_TRUE(seed_earlier_install(dir, {"[video]\r\n", "[keys]\r\n"}));
    wchar_t t[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, t);
    const std::wstring temp = t;
    const std::wstring running = temp + L"emberveil_setup_" + std::to_wstring(GetCurrentProcessId()) + L"_0.zip",
                       other = temp + L"emberveil_setup_notes.zip";
    ASSERT_TRUE(put_file(running, "PK, of a Setup that runs"));
    ASSERT_TRUE(put_file(other, "PK, of somebody else"));
    DWORD killed = 0;
    {
        BadTar bad;
        ASSERT_TRUE(bad.in_place());
        Hooks hang(Hooks::Vars{{L"EV_TAR_MODE", L"hang"}});
        ASSERT_TRUE(drv_start(setup_exe().c_str(), install_args(disc_eu(), dir, true).c_str(), NULL));
        killed = drv_pid();
        ASSERT_TRUE(wait_log(dir, "badtar: hanging on purpose", RUN_MS));
        std::vector<DWORD> tars = children(killed, L"tar.exe");
        ASSERT_EQ(1u, tars.size());
        HANDLE tar = OpenProcess(SYNCHRONIZE, FALSE, tars[0]);
        ASSERT_NE((HANDLE)NULL, tar);
        drv_kill();
        // The job's last handle went with Setup, and the tar in it with that.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tar, EXIT_MS));
        CloseHandle(tar);
    }
    std::vector<std::wstring> left = temp_archives(killed);
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(temp + L"emberveil_setup_" + std::to_wstring(killed) + L"_0.zip", left[0]);

    Outcome r = install(disc_eu(), dir);
    ASSERT_TRUE(r.exited) << narrow(r.box);
    EXPECT_EQ(0u, r.code) << r.log;
    EXPECT_TRUE(temp_archives(killed).empty());
    EXPECT_TRUE(temp_archives(r.pid).empty());
    EXPECT_EQ("PK, of a Setup that runs", read_file(running));
    EXPECT_EQ("PK, of somebody else", read_file(other));
    DeleteFileW(running.c_str());
    DeleteFileW(other.c_str());
    remove_dir(dir);
}
