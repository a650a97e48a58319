#include "draw.h"
#include "ids.h"
#include "window.h"
#include "../game/disc.h"
#include "../game/dest.h"
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

// A "Segoe UI" font of size pixels at 96 dpi.
static HFONT font(int size, int weight)
{
    return CreateFontW(-px(size), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Segoe UI");
}

// 1 when another Setup already runs (its window, when it has one, brought to the front).
static int second_instance(void)
{
    HANDLE m = CreateMutexW(NULL, FALSE, L"EmberveilSetup"); // held until the process ends
    if (!m || GetLastError() != ERROR_ALREADY_EXISTS)
        return 0;
    HWND other = FindWindowW(L"EvSetup", NULL);
    if (other)
        SetForegroundWindow(other);
    return 1;
}

static void prepare_process(void)
{
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    context_init();
    HDC screen = GetDC(NULL);
    s_dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(NULL, screen);
    if (s_dpi <= 0)
        s_dpi = 96;
    s_font = font(12, FW_NORMAL);
    s_title_f = font(15, FW_SEMIBOLD);
    s_note_f = font(11, FW_NORMAL);
    s_btn_f = font(12, FW_SEMIBOLD);
    s_panel_br = CreateSolidBrush(k_panel);
    banner_make();
}

static HWND make_window(void)
{
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = win_proc;
    wc.hInstance = s_inst;
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"EvSetup";
    wc.hIcon = make_icon(GetSystemMetrics(SM_CXICON));
    wc.hIconSm = make_icon(GetSystemMetrics(SM_CXSMICON));
    RegisterClassExW(&wc);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r = {0, 0, px(WIN_W), px(PANEL_Y + PANEL_H + BOTTOM_MARGIN + STATUS_H)};
    AdjustWindowRect(&r, style, FALSE);
    CreateWindowExW(0, L"EvSetup", APP_TITLE, style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                    NULL, NULL, s_inst, NULL);
    return s_win;
}

// Options act in the order given; returns 1 when "/go" was among them.
static int apply_command_line(void)
{
    int n = 0, go = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!argv)
        return 0;
    for (int i = 1; i < n;) {
        if (ieq(argv[i], L"/xbe") && i + 1 < n) {
            game_pick(argv[i + 1]);
            i += 2;
        } else if (ieq(argv[i], L"/dir") && i + 1 < n) {
            SetWindowTextW(s_dest, argv[i + 1]);
            i += 2;
        } else if (ieq(argv[i], L"/go")) {
            go = 1;
            i++;
        } else if (ieq(argv[i], L"/test")) {
            s_test = 1;
            i++;
        } else {
            if (n == 2) // a file dropped on Setup's icon
                game_pick(argv[i]);
            i++;
        }
    }
    LocalFree(argv);
    return go;
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmdline, int show)
{
    // Before anything can load a DLL: only the system's own, never one planted
    // beside Setup in a Downloads folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    (void)prev, (void)cmdline;
    s_inst = inst;
    if (second_instance())
        return 0;
    prepare_process();
    if (!make_window())
        return 1;
    int go = apply_command_line();
    if (s_test)
        SendMessageW(s_shortcut, BM_SETCHECK, BST_UNCHECKED, 0);
    form_texts();
    ShowWindow(s_win, show);
    UpdateWindow(s_win);
    if (go) {
        s_auto = 1;
        start_install();
    }
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (IsDialogMessageW(s_win, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (s_job)
        CloseHandle(s_job);
    CoUninitialize();
    return s_exit;
}
