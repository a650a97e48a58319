// Command line, output and error reporting of the powershell.exe stand-in.
#include "ps.h"
#include <string.h>
#include <wchar.h>

const char *s_line = "";
int s_code = 0;

void put(const char *p, int n, int err)
{
    HANDLE h = GetStdHandle(err ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    while (n > 0)
    {
        DWORD done = 0;
        if (!WriteFile(h, p, (DWORD)n, &done, NULL) || done == 0)
            return;
        p += done;
        n -= (int)done;
    }
}

void put_text(const char *s, int err)
{
    put(s, (int)strlen(s), err);
}

int unsupported(void)
{
    put_text("powershell stand-in: unsupported: ", 1);
    put_text(s_line, 1);
    put_text("\r\n", 1);
    s_code = 1;
    return 0;
}

int cmd_error(const char *what, const char *detail)
{
    put_text("powershell stand-in: ", 1);
    put_text(what, 1);
    put_text(": ", 1);
    put_text(detail, 1);
    put_text("\r\n", 1);
    Value v;
    get_var("ErrorActionPreference", 21, &v);
    if (v.kind == V_STR && lstrcmpiA(v.text, "Stop") == 0)
    {
        s_code = 1;
        return 0;
    }
    return 1;
}

// Writes a message with a wide argument to standard error.
static void complain(const char *what, const wchar_t *arg)
{
    char bytes[MAX_PATH * 3];
    if (!WideCharToMultiByte(CP_UTF8, 0, arg, -1, bytes, sizeof bytes, NULL, NULL))
        bytes[0] = 0;
    put_text("powershell stand-in: ", 1);
    put_text(what, 1);
    put_text(bytes, 1);
    put_text("\r\n", 1);
}

// Reads the options powershell.exe is started with; the script or NULL (reported).
static const wchar_t *script_of(int argc, wchar_t **argv)
{
    for (int i = 1; i < argc; i++)
    {
        if (_wcsicmp(argv[i], L"-NoProfile") == 0 || _wcsicmp(argv[i], L"-NonInteractive") == 0)
            continue;
        if (_wcsicmp(argv[i], L"-ExecutionPolicy") == 0 && i + 1 < argc)
        {
            i++;
            continue;
        }
        // What follows the script are its own arguments; no script here reads them.
        if (_wcsicmp(argv[i], L"-File") == 0 && i + 1 < argc)
            return argv[i + 1];
        complain("unsupported option: ", argv[i]);
        return NULL;
    }
    complain("no -File given", L"");
    return NULL;
}

int main(void)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 1;
    const wchar_t *script = script_of(argc, argv);
    int code = script ? run_script(script) : 1;
    LocalFree(argv);
    return code;
}
