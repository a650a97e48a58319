// Setup's process entry. The C runtime's own start-up code prepares what this
// program never uses (C++ constructors, thread-local data, stdio, pseudo
// relocations, the argument vector: the command line is parsed from
// GetCommandLineW) and costs a tenth of the executable; this entry passes
// wWinMain what that code would and ends the process with its result.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmdline, int show);

// The command line after the program's name, as the runtime hands it over:
// the name may be quoted and contain blanks.
static wchar_t *after_name(wchar_t *s)
{
    if (*s == L'"') {
        for (s++; *s && *s != L'"'; s++) {
        }
        if (*s)
            s++;
    } else {
        while (*s && *s != L' ' && *s != L'\t')
            s++;
    }
    while (*s == L' ' || *s == L'\t')
        s++;
    return s;
}

extern "C" void __stdcall setup_entry(void)
{
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess((UINT)wWinMain(GetModuleHandleW(NULL), NULL, after_name(GetCommandLineW()), show));
}
