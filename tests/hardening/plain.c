/* The control: a plain program that imports comctl32 the ordinary way and
   makes no effort against planted DLLs. Beside the decoys it must load one,
   or the decoy test could not fail. Test tool only. */
#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmd, int show)
{
    (void)inst, (void)prev, (void)cmd, (void)show;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    return 0;
}
