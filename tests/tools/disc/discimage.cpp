#include "discimage.h"
#include <windows.h>
#include <winioctl.h>
#include <algorithm>

namespace {

// The files and folders below dir, their paths relative to top.
bool gather(const std::wstring &top, const std::wstring &rel, std::vector<XdvdItem> &items,
            std::vector<std::wstring> &wide)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((top + (rel.empty() ? L"" : L"\\" + rel) + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = rel.empty() ? name : rel + L"\\" + name;
        std::string narrow;
        for (wchar_t c : path)
            narrow += (char)c;
        bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        ok = std::all_of(path.begin(), path.end(), [](wchar_t c) { return c <= 0xFF; }) && !fd.nFileSizeHigh;
        items.push_back({narrow, dir, fd.nFileSizeLow});
        wide.push_back(path);
        if (ok && dir)
            ok = gather(top, path, items, wide);
    } while (ok && FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

bool write_at(HANDLE f, uint64_t at, const void *bytes, DWORD n)
{
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)at;
    DWORD put = 0;
    return SetFilePointerEx(f, to, NULL, FILE_BEGIN) && WriteFile(f, bytes, n, &put, NULL) && put == n;
}

bool copy_in(HANDLE f, uint64_t at, const std::wstring &from, std::vector<char> &buf)
{
    HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    DWORD got = 0;
    while (ok && ReadFile(in, buf.data(), (DWORD)buf.size(), &got, NULL) && got) {
        ok = write_at(f, at, buf.data(), got);
        at += got;
    }
    CloseHandle(in);
    return ok;
}

} // namespace

int image_make(const wchar_t *dir, const wchar_t *path, bool whole, const XdvdPlan &plan,
               std::vector<ImagePlaced> *placed)
{
    std::vector<XdvdItem> items;
    std::vector<std::wstring> wide;
    if (!gather(dir, L"", items, wide))
        return 0;
    XdvdLayout l = xdvd_layout(items, plan);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    // The video partition is a gap the disc check never reads: sparse on
    // Windows by this mark, and on Wine because a write past the end leaves
    // a hole on the Unix side.
    DWORD none = 0;
    DeviceIoControl(f, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &none, NULL);
    uint64_t part = whole ? IMAGE_WHOLE_PART : 0;
    bool ok = write_at(f, part, l.head.data(), (DWORD)l.head.size());
    std::vector<char> buf(1 << 20);
    std::vector<ImagePlaced> out;
    for (size_t i = 0; i < items.size() && ok; i++) {
        if (items[i].dir)
            continue;
        uint64_t at = part + (uint64_t)l.sector[i] * XDVD_SECTOR;
        out.push_back({wide[i], at, items[i].size});
        ok = copy_in(f, at, std::wstring(dir) + L"\\" + wide[i], buf);
    }
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)(part + l.part_bytes);
    ok = ok && SetFilePointerEx(f, end, NULL, FILE_BEGIN) && SetEndOfFile(f);
    ok = CloseHandle(f) && ok;
    std::sort(out.begin(), out.end(), [](const ImagePlaced &a, const ImagePlaced &b) { return a.at < b.at; });
    if (placed)
        *placed = out;
    return ok;
}
