#include "stages.h"
#include "../engine/log.h"
#include <objbase.h>
#include <shlobj.h>

int shortcut(const wchar_t *target, const wchar_t *folder)
{
    wchar_t desk[MAX_PATH], link[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, desk)) || !path_join(link, desk, L"Emberveil.lnk"))
        return 0;
    IShellLinkW *sl = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&sl)))
        return 0;
    sl->SetPath(target);
    sl->SetWorkingDirectory(folder);
    sl->SetDescription(L"Z93: Emberveil");
    IPersistFile *pf = NULL;
    int saved = 0;
    if (SUCCEEDED(sl->QueryInterface(IID_IPersistFile, (void **)&pf))) {
        saved = SUCCEEDED(pf->Save(link, TRUE));
        pf->Release();
    }
    sl->Release();
    return saved;
}

int stage_finish(void)
{
    HRSRC res = FindResourceW(NULL, MAKEINTRESOURCEW(IDR_MANIFEST), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = res ? LoadResource(NULL, res) : NULL;
    const void *manifest = loaded ? LockResource(loaded) : NULL;
    seg(0.99, 1.0, 2000, L"Step 5 of 5: Finishing", L"");
    wchar_t info[MAX_PATH], launcher[MAX_PATH];
    if (manifest) {
        path_join(info, s_dir, L"install-info.txt");
        spill(info, manifest, SizeofResource(NULL, res));
    }
    path_join(launcher, s_dir, L"Emberveil Launcher.exe");
    if (s_test)
        return R_OK;
    RegSetKeyValueW(HKEY_CURRENT_USER, REG_KEY, REG_VALUE, REG_SZ, s_dir, (DWORD)((wcslen(s_dir) + 1) * sizeof(wchar_t)));
    if (s_want_shortcut && !shortcut(launcher, s_dir))
        logw(L"the desktop shortcut could not be made");
    return R_OK;
}
