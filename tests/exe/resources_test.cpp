// The resources the built Setup carries, read back from the executable the way
// the loader and the shell read them: the payload byte for byte, the shell
// icon's sizes, the version block and the manifest's demands.
#include "support.h"

#include <gtest/gtest.h>

namespace {

class Exe : public ::testing::Test {
protected:
    static HMODULE s_exe;
    static void SetUpTestSuite()
    {
        s_exe = LoadLibraryExW(win_path(EV_EXE).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite()
    {
        if (s_exe)
            FreeLibrary(s_exe);
    }
    // The bytes of one resource, or "" with found false.
    std::string resource(const wchar_t *type, const wchar_t *name, bool *found)
    {
        HRSRC r = FindResourceW(s_exe, name, type);
        *found = r != NULL;
        if (!r)
            return "";
        HGLOBAL g = LoadResource(s_exe, r);
        const char *p = (const char *)LockResource(g);
        return p ? std::string(p, SizeofResource(s_exe, r)) : "";
    }
    void SetUp() override { ASSERT_NE(s_exe, (HMODULE)NULL) << EV_EXE; }
};
HMODULE Exe::s_exe;

TEST_F(Exe, PayloadIsCarriedByteForByte)
{
    const struct {
        int id;
        const char *file;
    } rows[] = {{101, "project.zip"}, {102, "toolkit.zip"}, {103, "manifest.txt"}, {104, "toolchain.zip"}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.file);
        bool found = false;
        std::string carried = resource(RT_RCDATA, MAKEINTRESOURCEW(r.id), &found);
        ASSERT_TRUE(found);
        std::string want = read_file(win_path(EV_PAYLOAD) + L"\\" + widen(r.file));
        ASSERT_FALSE(want.empty()) << "the packed payload file is missing";
        EXPECT_TRUE(carried == want) << carried.size() << " bytes carried, " << want.size() << " packed";
    }
}

TEST_F(Exe, ShellIconHasTheUsualSizes)
{
    bool found = false;
    std::string group = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1), &found);
    ASSERT_TRUE(found);
    ASSERT_GE(group.size(), 6u);
    const BYTE *p = (const BYTE *)group.data();
    int count = p[4] | p[5] << 8;
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (int i = 0; i < count; i++) {
        const BYTE *e = p + 6 + 14 * i; // width, height (0 stands for 256), ..., bit count at 6
        sizes.push_back(e[0] ? e[0] : 256);
        EXPECT_EQ(e[0], e[1]) << "not square";
        EXPECT_EQ(e[6] | e[7] << 8, 32) << "not 32-bit with alpha";
    }
    for (int want : {16, 32, 48, 256}) {
        bool has = false;
        for (int s : sizes)
            has |= s == want;
        EXPECT_TRUE(has) << "no " << want << " pixel image";
    }
}

// The shell makes an icon of each size, the PNG-compressed large one included:
// the corner is transparent and the tile's red stands opaque at the top edge.
TEST_F(Exe, ShellIconDecodesAtEachSize)
{
    for (int size : {16, 32, 48, 256}) {
        SCOPED_TRACE(size);
        HICON icon = (HICON)LoadImageW(s_exe, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, (HICON)NULL);
        ICONINFO ii;
        ASSERT_TRUE(GetIconInfo(icon, &ii));
        BITMAPINFO bi;
        ZeroMemory(&bi, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = size;
        bi.bmiHeader.biHeight = -size;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        std::vector<DWORD> px((size_t)size * size);
        HDC dc = CreateCompatibleDC(NULL);
        int rows = ii.hbmColor ? GetDIBits(dc, ii.hbmColor, 0, (UINT)size, px.data(), &bi, DIB_RGB_COLORS) : 0;
        DeleteDC(dc);
        DeleteObject(ii.hbmColor);
        DeleteObject(ii.hbmMask);
        DestroyIcon(icon);
        ASSERT_EQ(rows, size);
        EXPECT_EQ(px[0] >> 24, 0u) << "corner not transparent";
        EXPECT_EQ(px[size / 2], 0xFFB0241Cu) << "top edge not the opaque tile";
    }
}

TEST_F(Exe, VersionIsOnePointZero)
{
    bool found = false;
    std::string block = resource(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), &found);
    ASSERT_TRUE(found);
    std::vector<char> copy(block.begin(), block.end());
    VS_FIXEDFILEINFO *info = NULL;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", (void **)&info, &n));
    ASSERT_EQ(info->dwSignature, 0xFEEF04BDu);
    const DWORD one = MAKELONG(0, 1); // 1.0 in the high word's order
    EXPECT_EQ(info->dwFileVersionMS, one);
    EXPECT_EQ(info->dwFileVersionLS, 0u);
    EXPECT_EQ(info->dwProductVersionMS, one);
    EXPECT_EQ(info->dwProductVersionLS, 0u);
}

TEST_F(Exe, ManifestAsksForWhatSetupNeeds)
{
    bool found = false;
    std::string m = resource(RT_MANIFEST, MAKEINTRESOURCEW(1), &found);
    ASSERT_TRUE(found);
    const char *wanted[] = {
        "level=\"asInvoker\"", "uiAccess=\"false\"", "name=\"Microsoft.Windows.Common-Controls\"",
        "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"",
    };
    for (const char *w : wanted)
        EXPECT_NE(m.find(w), std::string::npos) << w;
}

} // namespace
