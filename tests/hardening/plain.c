/* The control: a plain program that imports comctl32 and bcrypt the ordinary
   way and makes no effort against planted DLLs. Beside the decoys it must load
   both, or the decoy test could not fail. Test tool only. */
#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmd, int show)
{
    (void)inst, (void)prev, (void)cmd, (void)show;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    BCRYPT_ALG_HANDLE alg = NULL;
    BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, NULL, 0);
    return 0;
}
