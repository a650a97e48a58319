// The driver's process and control half: starting and ending Setup, finding
// its window, reading and changing its controls, keys and waits.
#include "driver.h"

#include <commctrl.h>
#include <stdio.h>
#include <wchar.h>

#define POLL_MS 20
#define SEND_MS 5000
#define KILL_MS 5000

static HANDLE s_proc;   // the remembered Setup process
static HANDLE s_thread; // its first thread
static DWORD s_pid;
static HWND s_win;      // its main window, once found

// Sends a message and waits for the answer; 0 when Setup did not answer in time.
static int ask(HWND h, UINT msg, WPARAM w, LPARAM l, DWORD_PTR *res)
{
    DWORD_PTR r = 0;
    if (!h || !SendMessageTimeoutW(h, msg, w, l, SMTO_NORMAL, SEND_MS, &r))
        return 0;
    if (res)
        *res = r;
    return 1;
}

// Builds "exe" args and starts it; fills pi. 1/0.
static int spawn(const wchar_t *exe, const wchar_t *args, const wchar_t *cwd,
                 PROCESS_INFORMATION *pi)
{
    wchar_t cmd[4096];
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    int n = swprintf(cmd, 4096, L"\"%ls\" %ls", exe, args ? args : L"");
    if (n < 0 || n >= 4096)
        return 0;
    return CreateProcessW(exe, cmd, NULL, NULL, FALSE, 0, NULL, cwd, &si, pi) != 0;
}

// Closes the remembered process's handles and forgets it.
static void forget(void)
{
    if (s_thread)
        CloseHandle(s_thread);
    if (s_proc)
        CloseHandle(s_proc);
    s_proc = s_thread = NULL;
    s_pid = 0;
    s_win = NULL;
}

// Starts Setup and remembers it.
int drv_start(const wchar_t *exe, const wchar_t *args, const wchar_t *cwd)
{
    PROCESS_INFORMATION pi;
    drv_kill();
    if (!spawn(exe, args, cwd, &pi))
        return 0;
    s_proc = pi.hProcess;
    s_thread = pi.hThread;
    s_pid = pi.dwProcessId;
    return 1;
}

// Runs a program to its end.
int drv_run(const wchar_t *exe, const wchar_t *args, const wchar_t *cwd,
            DWORD timeout_ms, DWORD *code)
{
    PROCESS_INFORMATION pi;
    if (!spawn(exe, args, cwd, &pi))
        return 0;
    int ok = WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0;
    if (!ok) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, KILL_MS);
    }
    DWORD c = 0;
    if (ok && code && GetExitCodeProcess(pi.hProcess, &c))
        *code = c;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ok;
}

// What find_main looks for and what it found.
struct Find {
    DWORD pid;
    const wchar_t *cls;
    HWND hit;
};

static BOOL CALLBACK find_cb(HWND h, LPARAM l)
{
    Find *f = (Find *)l;
    wchar_t cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != f->pid || !IsWindowVisible(h) || !GetClassNameW(h, cls, 64))
        return TRUE;
    if (wcscmp(cls, f->cls))
        return TRUE;
    f->hit = h;
    return FALSE;
}

// The first visible top-level window of the process with that class, or null.
static HWND find_top(const wchar_t *cls)
{
    Find f = {s_pid, cls, NULL};
    if (s_pid)
        EnumWindows(find_cb, (LPARAM)&f);
    return f.hit;
}

// Waits for a visible top-level window of class cls; null on timeout or exit.
static HWND wait_top(const wchar_t *cls, DWORD timeout_ms)
{
    DWORD t0 = GetTickCount();
    for (;;) {
        HWND h = find_top(cls);
        if (h)
            return h;
        if (!s_proc || WaitForSingleObject(s_proc, 0) == WAIT_OBJECT_0)
            return NULL;
        if (GetTickCount() - t0 >= timeout_ms)
            return NULL;
        Sleep(POLL_MS);
    }
}

// The window its thread has made active, or null.
static HWND active_of(HWND w)
{
    GUITHREADINFO gi;
    ZeroMemory(&gi, sizeof gi);
    gi.cbSize = sizeof gi;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, NULL), &gi))
        return NULL;
    return gi.hwndActive;
}

// Waits for Setup's window, and then for its thread to have taken the
// activation that showing it brings: that arrives later and moves the focus.
HWND drv_window(DWORD timeout_ms)
{
    DWORD t0 = GetTickCount();
    s_win = wait_top(L"EvSetup", timeout_ms);
    while (s_win && !active_of(s_win) && GetTickCount() - t0 < timeout_ms)
        Sleep(POLL_MS);
    if (s_win)
        drv_sync();
    return s_win;
}

// The message-box search shares the process's window search.
HWND drv_msgbox(DWORD timeout_ms)
{
    return wait_top(L"#32770", timeout_ms);
}

// 1 when no message box shows up within ms.
int drv_no_msgbox(DWORD ms)
{
    DWORD t0 = GetTickCount();
    do {
        if (find_top(L"#32770"))
            return 0;
        Sleep(POLL_MS);
    } while (GetTickCount() - t0 < ms);
    return find_top(L"#32770") == NULL;
}

HWND drv_main(void)
{
    if (!s_win || !IsWindow(s_win))
        s_win = find_top(L"EvSetup");
    return s_win;
}

HWND drv_child(int id)
{
    HWND w = drv_main();
    return w ? GetDlgItem(w, id) : NULL;
}

DWORD drv_pid(void)
{
    return s_pid;
}

HANDLE drv_process(void)
{
    return s_proc;
}

// Reads a control's text.
int drv_text(int id, wchar_t *out, int cap)
{
    if (cap < 1)
        return 0;
    out[0] = 0;
    int ok = ask(drv_child(id), WM_GETTEXT, (WPARAM)cap, (LPARAM)out, NULL);
    out[cap - 1] = 0;
    return ok;
}

int drv_visible(int id)
{
    HWND c = drv_child(id);
    return c && IsWindowVisible(c);
}

// 1 when c and every ancestor up to the top-level window are enabled.
static int usable(HWND c)
{
    for (HWND h = c; h; h = GetAncestor(h, GA_PARENT)) {
        if (!IsWindowEnabled(h))
            return 0;
        if (h == GetAncestor(c, GA_ROOT))
            break;
    }
    return c != NULL;
}

int drv_enabled(int id)
{
    return usable(drv_child(id));
}

int drv_checked(int id)
{
    DWORD_PTR r = 0;
    return ask(drv_child(id), BM_GETCHECK, 0, 0, &r) && r == BST_CHECKED;
}

// Sets a control's text.
int drv_set_text(int id, const wchar_t *t)
{
    DWORD_PTR r = 0;
    return ask(drv_child(id), WM_SETTEXT, 0, (LPARAM)t, &r) && r;
}

// Sets an edit's text and tells its parent the player left it.
int drv_set_text_leave(int id, const wchar_t *t)
{
    HWND c = drv_child(id);
    if (!drv_set_text(id, t))
        return 0;
    return ask(drv_main(), WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), (LPARAM)c, NULL);
}

// Presses a button a player could press.
int drv_click(int id)
{
    HWND c = drv_child(id);
    if (!c || !IsWindowVisible(c) || !usable(c))
        return 0;
    return PostMessageW(c, BM_CLICK, 0, 0) != 0;
}

// The window holding the focus in Setup's UI thread, or null.
static HWND focus_window(void)
{
    HWND w = drv_main();
    GUITHREADINFO gi;
    ZeroMemory(&gi, sizeof gi);
    gi.cbSize = sizeof gi;
    if (!w || !GetGUIThreadInfo(GetWindowThreadProcessId(w, NULL), &gi))
        return NULL;
    return gi.hwndFocus;
}

int drv_focused(void)
{
    HWND w = drv_main();
    if (!w)
        return -1;
    HWND f = focus_window();
    if (!f || f == w)
        return 0;
    return GetDlgCtrlID(f);
}

// Gives c the focus by sharing Setup's input state for one SetFocus call.
static void set_focus(HWND c)
{
    DWORD me = GetCurrentThreadId();
    DWORD them = GetWindowThreadProcessId(c, NULL);
    if (!AttachThreadInput(me, them, TRUE))
        return;
    SetFocus(c);
    AttachThreadInput(me, them, FALSE);
}

// Moves the focus, again while a late activation takes it back, until it has
// stayed on c for two polls in a row.
int drv_focus(int id)
{
    HWND c = drv_child(id);
    if (!c || !IsWindowVisible(c) || !usable(c))
        return 0;
    int held = 0;
    DWORD t0 = GetTickCount();
    while (held < 2 && GetTickCount() - t0 < SEND_MS) {
        if (focus_window() != c) {
            held = 0;
            set_focus(c);
        } else {
            held++;
        }
        Sleep(POLL_MS);
    }
    return held >= 2;
}

// Posts a key down and up to the focused window.
int drv_key(int vk)
{
    HWND f = focus_window();
    if (!f)
        f = drv_main();
    if (!f)
        return 0;
    LPARAM scan = (LPARAM)MapVirtualKeyW((UINT)vk, MAPVK_VK_TO_VSC) << 16;
    if (!PostMessageW(f, WM_KEYDOWN, (WPARAM)vk, scan | 1))
        return 0;
    return PostMessageW(f, WM_KEYUP, (WPARAM)vk, scan | 1 | (3LL << 30)) != 0;
}

// Posts the characters of text to the focused window.
int drv_type(const wchar_t *text)
{
    HWND f = focus_window();
    if (!f)
        return 0;
    for (const wchar_t *p = text; *p; p++)
        if (!PostMessageW(f, WM_CHAR, (WPARAM)*p, 1))
            return 0;
    return 1;
}

int drv_sync(void)
{
    return ask(drv_main(), WM_NULL, 0, 0, NULL);
}

// Reads a status bar part through a buffer in Setup's own memory.
int drv_status(int part, wchar_t *out, int cap)
{
    HWND sb = drv_main() ? FindWindowExW(drv_main(), NULL, STATUSCLASSNAMEW, NULL) : NULL;
    DWORD_PTR len = 0;
    if (cap < 1)
        return 0;
    out[0] = 0;
    if (!ask(sb, SB_GETTEXTLENGTHW, (WPARAM)part, 0, &len))
        return 0;
    SIZE_T chars = LOWORD(len) + 1;
    void *remote = VirtualAllocEx(s_proc, NULL, chars * sizeof(wchar_t),
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return 0;
    SIZE_T want = (chars < (SIZE_T)cap ? chars : (SIZE_T)cap) * sizeof(wchar_t);
    SIZE_T got = 0;
    int ok = ask(sb, SB_GETTEXTW, (WPARAM)part, (LPARAM)remote, NULL) &&
             ReadProcessMemory(s_proc, remote, out, want, &got) && got == want;
    VirtualFreeEx(s_proc, remote, 0, MEM_RELEASE);
    out[cap - 1] = 0;
    if (ok && chars <= (SIZE_T)cap)
        out[chars - 1] = 0;
    if (!ok)
        out[0] = 0;
    return ok;
}

static HWND bar(void)
{
    HWND w = drv_main();
    return w ? FindWindowExW(w, NULL, PROGRESS_CLASSW, NULL) : NULL;
}

int drv_progress(void)
{
    DWORD_PTR r = 0;
    return ask(bar(), PBM_GETPOS, 0, 0, &r) ? (int)r : -1;
}

int drv_bar_visible(void)
{
    HWND b = bar();
    return b && IsWindowVisible(b);
}

int drv_close(void)
{
    HWND w = drv_main();
    return w && PostMessageW(w, WM_CLOSE, 0, 0);
}

// Waits for the end of the process, then forgets it.
int drv_wait_exit(DWORD timeout_ms, DWORD *code)
{
    if (!s_proc || WaitForSingleObject(s_proc, timeout_ms) != WAIT_OBJECT_0)
        return 0;
    DWORD c = 0;
    int ok = GetExitCodeProcess(s_proc, &c) != 0;
    if (ok && code)
        *code = c;
    forget();
    return ok;
}

void drv_kill(void)
{
    if (s_proc && WaitForSingleObject(s_proc, 0) != WAIT_OBJECT_0) {
        TerminateProcess(s_proc, 1);
        WaitForSingleObject(s_proc, KILL_MS);
    }
    forget();
}

HWND drv_foreground(void)
{
    return GetForegroundWindow();
}

// Polls a text source until it reads want.
static int wait_for(int (*read)(int, wchar_t *, int), int which, const wchar_t *want,
                    DWORD timeout_ms)
{
    wchar_t have[1024];
    DWORD t0 = GetTickCount();
    for (;;) {
        if (read(which, have, 1024) && !wcscmp(have, want))
            return 1;
        if (GetTickCount() - t0 >= timeout_ms)
            return 0;
        Sleep(POLL_MS);
    }
}

int drv_wait_text(int id, const wchar_t *want, DWORD timeout_ms)
{
    return wait_for(drv_text, id, want, timeout_ms);
}

int drv_wait_status(int part, const wchar_t *want, DWORD timeout_ms)
{
    return wait_for(drv_status, part, want, timeout_ms);
}
