// The baseline window: the least a Win32 program does to show one window of
// Setup's size with a panel-coloured area, and nothing else. Built a second
// time with EV_BENCH_CC6 (minwin_cc6.exe): then it also has what Setup can't
// do without, the manifest asking for version 6 of the common controls and
// the common-control classes Setup initialises.
#include <windows.h>
#ifdef EV_BENCH_CC6
#include <commctrl.h>
#endif

static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT panel = {16, 166, 404, 440};
        HBRUSH b = CreateSolidBrush(RGB(251, 251, 251));
        FillRect(dc, &panel, b);
        DeleteObject(b);
        EndPaint(w, &ps);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmdline, int show)
{
    (void)prev, (void)cmdline;
#ifdef EV_BENCH_CC6
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
#endif
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"EvBenchMin";
    RegisterClassExW(&wc);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r = {0, 0, 420, 474};
    AdjustWindowRect(&r, style, FALSE);
    HWND w = CreateWindowExW(0, L"EvBenchMin", L"Baseline", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                             r.bottom - r.top, NULL, NULL, inst, NULL);
    if (!w)
        return 1;
    ShowWindow(w, show);
    UpdateWindow(w);
    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
