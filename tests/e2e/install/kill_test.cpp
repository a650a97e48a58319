// Setup killed while it unpacks, at points where the player's settings files
// are only safe on disk as the kept copies: the next install must still end
// with the player's emberveil.ini and mkb.ini, byte for byte.
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
