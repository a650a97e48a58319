// Whole installs from disc images with the real Setup: one from an image of
// the game partition, one from a whole-disc image, and a reinstall from the
// first image that skips the files in place and prunes what the image lacks.
#include "install.h"

#include "discimage.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <algorithm>

namespace {

const XdvdPlan k_plan; // the images' volume time

// Every file below dir, relative to top.
void files_below(const std::wstring &top, const std::wstring &rel, std::vector<std::wstring> &out)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(join(rel.empty() ? top : join(top, rel), L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = fd.cFileName, path = rel.empty() ? name : join(rel, name);
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            files_below(top, path, out);
        else
            out.push_back(path);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// An image of the European disc in the scratch folder (emptied around every
// case, so each case makes its own): the game partition alone, or the whole disc.
std::wstring image_of(bool whole, std::vector<ImagePlaced> *placed)
{
    std::wstring p = scratch(whole ? L"discs\\whole.iso" : L"discs\\game.iso");
    std::wstring disc = disc_eu();
    return image_make(disc.c_str(), p.c_str(), whole, k_plan, placed) ? p : L"";
}

Outcome install_from(const std::wstring &image, const std::wstring &dir)
{
    std::wstring args = L"/xbe \"" + image + L"\" /dir \"" + dir + L"\" /go /test";
    if (image.empty() || !drv_start(setup_exe().c_str(), args.c_str(), NULL))
        return Outcome();
    return finish_run(dir, RUN_MS);
}

// <install>\game holds the disc's files byte for byte, all written at the volume's time.
void expect_game(const std::wstring &dir, const std::vector<ImagePlaced> &placed)
{
    std::vector<std::wstring> have;
    files_below(join(dir, L"game"), L"", have);
    EXPECT_EQ(placed.size(), have.size());
    for (const ImagePlaced &p : placed) {
        std::wstring path = join(join(dir, L"game"), p.rel);
        EXPECT_EQ(read_file(join(disc_eu(), p.rel)), read_file(path)) << utf8(p.rel);
        WIN32_FILE_ATTRIBUTE_DATA a;
        ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) << utf8(p.rel);
        EXPECT_EQ(k_plan.time, (uint64_t)a.ftLastWriteTime.dwHighDateTime << 32 | a.ftLastWriteTime.dwLowDateTime);
    }
}

typedef InstallCase ImageInstall;

std::vector<std::string> with_done(std::vector<std::string> v)
{
    v.push_back("Done after ~ s");
    return v;
}

TEST_F(ImageInstall, EachLayoutInstallsTheDiscByteForByte)
{
    for (int whole = 0; whole < 2; whole++) {
        SCOPED_TRACE(whole ? "whole disc" : "game partition");
        std::vector<ImagePlaced> placed;
        std::wstring image = image_of(whole != 0, &placed), dir = scratch(whole ? L"img-whole" : L"img-game");
        Outcome r = install_from(image, dir);
        ASSERT_TRUE(r.exited) << utf8(r.box);
        ASSERT_EQ(0u, r.code) << r.log;
        // The start line and the copy line name the image where they name a disc folder.
        expect_lines(r.log, with_done(step_lines(image, dir, 5)));
        expect_game(dir, placed);
    }
}

TEST_F(ImageInstall, ReinstallSkipsWhatIsInPlaceAndPrunesWhatTheImageLacks)
{
    std::vector<ImagePlaced> placed;
    std::wstring image = image_of(false, &placed), dir = scratch(L"img-again");
    Outcome r = install_from(image, dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    // Other bytes at the same size and time: a skip pass that reads nothing leaves them.
    std::wstring viv = join(dir, L"game\\driving\\misc.viv");
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExW(viv.c_str(), GetFileExInfoStandard, &a));
    std::string mine(a.nFileSizeLow, 'm');
    ASSERT_TRUE(put_file(viv, mine));
    HANDLE h = CreateFileW(viv.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(h != INVALID_HANDLE_VALUE && SetFileTime(h, NULL, NULL, &a.ftLastWriteTime));
    CloseHandle(h);
    ASSERT_TRUE(put_file(join(dir, L"game\\stale.bin"), "not on the disc"));
    ASSERT_TRUE(put_file(join(dir, L"game\\old\\clip.bin"), "nor this"));

    r = install_from(image, dir);
    ASSERT_TRUE(r.exited) << utf8(r.box);
    ASSERT_EQ(0u, r.code) << r.log;
    EXPECT_EQ(mine, read_file(viv));
    EXPECT_FALSE(has_file(join(dir, L"game\\stale.bin")));
    EXPECT_FALSE(has_dir(join(dir, L"game\\old")));
    std::vector<std::string> lines = installer_lines(r.log);
    for (const wchar_t *gone : {L"game\\stale.bin", L"game\\old"})
        EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "removed " + utf8(join(dir, gone)) + " (not on the disc)"))
            << utf8(gone);
}

} // namespace
