/* A planted DLL: when anything loads it, it leaves a file named after itself
   in the folder it lies in, so a test sees that it was loaded. Test tool only. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 16];
        DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
        if (n && n < MAX_PATH) {
            lstrcatW(path, L".loaded");
            HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (f != INVALID_HANDLE_VALUE)
                CloseHandle(f);
        }
    }
    return TRUE;
}

/* The functions the control program imports, so that the loader accepts the
   comctl32 and bcrypt decoys for it and runs the DllMain above. */
__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void *icc)
{
    (void)icc;
    return TRUE;
}

__declspec(dllexport) LONG WINAPI BCryptOpenAlgorithmProvider(void **alg, const wchar_t *id, const wchar_t *impl,
                                                            ULONG flags)
{
    (void)alg, (void)id, (void)impl, (void)flags;
    return -1;
}
