// The demo build's launcher: says what it is and which project it was
// installed from, as install-info.txt beside it records. With "/info" it
// writes those keys to its standard output instead, for tests.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

// The path of install-info.txt in the launcher's own folder; 0 when it doesn't fit.
static int info_path(wchar_t *out)
{
    DWORD n = GetModuleFileNameW(NULL, out, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    wchar_t *slash = wcsrchr(out, L'\\');
    if (!slash || (size_t)(slash - out) + 18 >= MAX_PATH)
        return 0;
    wcscpy(slash + 1, L"install-info.txt");
    return 1;
}

// One key of section "install"; "(not recorded)" when the file or key is absent.
static void info_key(const wchar_t *ini, const wchar_t *key, wchar_t *out, DWORD cap)
{
    GetPrivateProfileStringW(L"install", key, L"(not recorded)", out, cap, ini);
}

// Writes text to standard output as UTF-8; 1 when all of it was written.
static int print_utf8(const wchar_t *text)
{
    char bytes[2048];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    if (n <= 1)
        return 0;
    DWORD done = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, (DWORD)(n - 1), &done, NULL) &&
           done == (DWORD)(n - 1);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    wchar_t ini[MAX_PATH], project[64], repo[MAX_PATH], branch[64], text[1024];
    if (!info_path(ini))
        ini[0] = 0;
    info_key(ini, L"project", project, 64);
    info_key(ini, L"repo", repo, MAX_PATH);
    info_key(ini, L"branch", branch, 64);
    if (lstrcmpiA(command, "/info") == 0)
    {
        _snwprintf(text, 1023, L"project=%ls\r\nrepo=%ls\r\nbranch=%ls\r\n", project, repo, branch);
        text[1023] = 0;
        return print_utf8(text) ? 0 : 1;
    }
    _snwprintf(text, 1023,
               L"This is the launcher of the Emberveil demo build.\n\n"
               L"Project: %ls\nRepository: %ls\nBranch: %ls",
               project, repo, branch);
    text[1023] = 0;
    MessageBoxW(NULL, text, L"Emberveil Launcher (demo build)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
