// A powershell.exe planted beside Setup, as one could be in a Downloads folder.
// Whatever starts it, it leaves "planted-ran.txt" beside itself and fails, so
// a test sees that it ran and an install that took it for PowerShell fails.
#include <windows.h>

int main(void)
{
    char path[MAX_PATH + 32];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\')
        n--;
    lstrcpyA(path + n, "planted-ran.txt");
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "planted powershell.exe ran\r\n", 28, &done, NULL);
    return 1;
}
