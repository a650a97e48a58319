#include "window.h"
#include "choosers.h"
#include "draw.h"
#include "ids.h"
#include "script.h"
#include "../engine/worker.h"
#include "../game/dest.h"
#include "../game/disc.h"
#include <commctrl.h>
#include <shellapi.h>

HINSTANCE s_inst;
HWND s_xbe, s_dest, s_shortcut, s_go, s_space, s_note, s_step_w, s_detail_w, s_bar, s_status;
HWND s_form_ctl[FORM_SLOTS];
int s_state = S_FORM, s_installed, s_auto, s_exit;
wchar_t s_title[128], s_sub[512];
HFONT s_font, s_title_f, s_note_f, s_btn_f;
HBRUSH s_panel_br;

static const COLORREF k_text = RGB(30, 30, 30);

HWND add(const wchar_t *cls, const wchar_t *text, DWORD style, int x, int y, int w, int h, int id, HFONT font)
{
    DWORD ex = wcscmp(cls, L"EDIT") == 0 ? WS_EX_CLIENTEDGE : 0;
    HWND c = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h), s_win,
                             (HMENU)(INT_PTR)id, s_inst, NULL);
    if (c)
        SendMessageW(c, WM_SETFONT, (WPARAM)(font ? font : s_font), TRUE);
    return c;
}

static void status(int part, const wchar_t *text)
{
    SendMessageW(s_status, SB_SETTEXTW, (WPARAM)part, (LPARAM)text);
}

void show_state(int state)
{
    s_state = state;
    for (int i = 0; i < FORM_SLOTS && s_form_ctl[i]; i++)
        ShowWindow(s_form_ctl[i], state == S_FORM ? SW_SHOW : SW_HIDE);
    ShowWindow(s_step_w, state == S_FORM ? SW_HIDE : SW_SHOW);
    ShowWindow(s_detail_w, state == S_FORM ? SW_HIDE : SW_SHOW);
    ShowWindow(s_bar, state == S_RUN || state == S_DONE ? SW_SHOW : SW_HIDE);
    static const wchar_t *const label[] = {L"Install", L"Cancel", L"Play", L"Back"};
    SetWindowTextW(s_go, state == S_FORM && s_installed ? L"Reinstall" : label[state]);
    EnableWindow(s_go, TRUE); // a cancel may have disabled it
    InvalidateRect(s_go, NULL, TRUE);
}

void set_texts(const wchar_t *title, const wchar_t *subtitle)
{
    copy_cut(s_title, 128, title);
    copy_cut(s_sub, 512, subtitle);
    InvalidateRect(s_win, NULL, TRUE);
}

void form_texts(void)
{
    if (s_installed) {
        wchar_t dest[MAX_PATH] = L"", sub[512];
        GetWindowTextW(s_dest, dest, MAX_PATH);
        fmt(sub, 512, L"Installed in %s. Installing again rebuilds it and keeps your settings and saves.", dest);
        set_texts(L"Reinstall Emberveil", sub);
    } else {
        set_texts(L"Install Emberveil", L"The game was not found on this computer.");
    }
    status(0, s_installed ? L"Installed" : L"Not installed");
    space_update();
}

static void minutes(DWORD ms, wchar_t *out, int cap)
{
    fmt(out, cap, L"%lu:%02lu", (unsigned long)(ms / 60000), (unsigned long)(ms / 1000 % 60));
}

void tick(void)
{
    DWORD elapsed = (s_ticks() - s_t0) / 1000;
    if (s_state != S_RUN)
        return;
    SendMessageW(s_bar, PBM_SETPOS, (WPARAM)(int)(progress() * 1000), 0);
    EnterCriticalSection(&s_cs);
    if (!s_cancel)
        SetWindowTextW(s_step_w, s_step);
    SetWindowTextW(s_detail_w, s_detail);
    LeaveCriticalSection(&s_cs);
    wchar_t clock[32];
    fmt(clock, 32, L"%lu:%02lu", (unsigned long)(elapsed / 60), (unsigned long)(elapsed % 60));
    status(1, clock);
}

void install_done(int r)
{
    KillTimer(s_win, ID_TIMER);
    wchar_t took[32], line[512];
    minutes(s_took, took, 32);
    if (r == R_OK) {
        s_installed = 1;
        show_state(S_DONE);
        SendMessageW(s_bar, PBM_SETPOS, 1000, 0);
        fmt(line, 512, L"It is in %s. Start it with \"Play\" or with the Emberveil Launcher in that folder%s.", s_dir,
            s_want_shortcut && !s_test ? L" (and on the desktop)" : L"");
        set_texts(L"Emberveil is installed", line);
        SetWindowTextW(s_step_w, L"Done");
        fmt(line, 512, L"Took %s.", took);
        SetWindowTextW(s_detail_w, line);
        status(0, L"Installed");
    } else if (r == R_CANCEL) {
        show_state(S_FORM);
        form_texts();
        status(0, L"Cancelled");
    } else {
        show_state(S_FAIL);
        set_texts(L"Installation failed", s_fail_msg);
        SetWindowTextW(s_step_w, s_step);
        SetWindowTextW(s_detail_w, s_fail_adv);
        status(0, L"Failed");
    }
    status(1, took);
    if (s_test && s_auto) {
        s_exit = r;
        DestroyWindow(s_win);
    }
}

static int ask_box(const wchar_t *text, UINT style)
{
    return MessageBoxW(s_win, text, APP_TITLE, style);
}

void start_install(void)
{
    // The field's whole text: a folder too long for the install is refused by
    // the checks, never cut into another one.
    int len = GetWindowTextLengthW(s_dest);
    wchar_t *dest = (wchar_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, ((SIZE_T)len + 1) * sizeof(wchar_t));
    wchar_t note[MAX_PATH] = L"";
    if (dest)
        GetWindowTextW(s_dest, dest, len + 1);
    GetWindowTextW(s_note, note, MAX_PATH);
    // "/test /go" is a script's start: nobody is there to answer a box.
    int script = s_test && s_auto;
    int r = install_checks(dest ? dest : L"", note, script ? ask_script : ask_box);
    HeapFree(GetProcessHeap(), 0, dest);
    if (r != R_OK) {
        // A script that asked for "/test /go" reads the outcome from the exit
        // code: a refused start is no success, and a No is the player's cancel.
        if (script) {
            s_exit = r;
            DestroyWindow(s_win);
        }
        return;
    }
    if (script)
        script_accepted();
    begin_install(SendMessageW(s_shortcut, BM_GETCHECK, 0, 0) == BST_CHECKED);
    show_state(S_RUN);
    set_texts(L"Installing Emberveil",
              L"This takes a few minutes, most of it translating and compiling. The PC stays awake meanwhile.");
    status(0, L"Installing ...");
    SendMessageW(s_bar, PBM_SETPOS, 0, 0);
    SetTimer(s_win, ID_TIMER, 250, NULL);
    if (!launch_worker()) {
        // Only the worker's end leads out of the running view: without a worker,
        // end the install here as a failure the player can read and go back from.
        fail(L"The installation couldn't be started.", L"Close some programs, then try again.");
        s_took = s_ticks() - s_t0;
        install_done(R_FAIL);
    }
}

static void main_button(void)
{
    if (s_state == S_FORM) {
        start_install();
    } else if (s_state == S_RUN) {
        cancel_install();
    } else if (s_state == S_DONE) {
        wchar_t launcher[MAX_PATH];
        path_join(launcher, s_dir, L"Emberveil Launcher.exe");
        ShellExecuteW(s_win, L"open", launcher, NULL, s_dir, SW_SHOWNORMAL);
        DestroyWindow(s_win);
    } else {
        show_state(S_FORM);
        form_texts();
    }
}

static void close_question(void)
{
    int answer = MessageBoxW(s_win, L"Cancel the installation?", APP_TITLE, MB_YESNO | MB_ICONQUESTION);
    // The install may have ended while the question was open: a late Yes must
    // not disable the button of the view that followed.
    if (answer == IDYES && IsWindow(s_win) && s_state == S_RUN)
        cancel_install();
}

static int make_form(void)
{
    const DWORD tab = WS_TABSTOP;
    HWND c[9];
    c[0] = add(L"STATIC", L"Game files (default.xbe of your extracted disc)", SS_LEFT, 32, 254, 300, 16, ID_L_XBE, s_font);
    c[1] = s_xbe = add(L"EDIT", L"", ES_AUTOHSCROLL | tab, 32, 272, 270, 24, ID_XBE, s_font);
    c[2] = add(L"BUTTON", L"Browse...", tab, 308, 271, 80, 26, ID_XBE_BROWSE, s_font);
    c[3] = s_note = add(L"STATIC", L"Or drop the file on this window.", SS_LEFT | SS_ENDELLIPSIS, 32, 299, 356, 16, ID_NOTE, s_note_f);
    c[4] = add(L"STATIC", L"Install folder", SS_LEFT, 32, 322, 300, 16, ID_L_DEST, s_font);
    c[5] = s_dest = add(L"EDIT", L"C:\\Games\\Emberveil", ES_AUTOHSCROLL | tab, 32, 340, 270, 24, ID_DEST, s_font);
    c[6] = add(L"BUTTON", L"Change...", tab, 308, 339, 80, 26, ID_DEST_BROWSE, s_font);
    c[7] = s_shortcut = add(L"BUTTON", L"Desktop shortcut", BS_AUTOCHECKBOX | tab, 32, 372, 200, 20, ID_SHORTCUT, s_font);
    if (s_shortcut)
        SendMessageW(s_shortcut, BM_SETCHECK, BST_CHECKED, 0);
    c[8] = s_space = add(L"STATIC", L"", SS_LEFT, 32, 410, 200, 16, ID_SPACE, s_note_f);
    for (int i = 0; i < 9; i++) {
        if (!c[i])
            return 0;
        s_form_ctl[i] = c[i];
    }
    return 1;
}

static int make_progress_view(void)
{
    s_go = add(L"BUTTON", L"Install", BS_OWNERDRAW | WS_TABSTOP, PANEL_X + PANEL_W - 16 - 100, 400, 100, 32, ID_GO, s_font);
    s_step_w = add(L"STATIC", L"", SS_LEFT | SS_ENDELLIPSIS, 32, 262, 356, 18, ID_STEP, s_btn_f);
    s_bar = CreateWindowExW(0, PROGRESS_CLASSW, NULL, WS_CHILD | PBS_SMOOTH, px(32), px(288), px(356), px(16), s_win,
                            NULL, s_inst, NULL);
    SendMessageW(s_bar, PBM_SETRANGE32, 0, 1000);
    s_detail_w = add(L"STATIC", L"", SS_LEFT, 32, 312, 356, 80, ID_DETAIL, s_note_f);
    s_status = CreateWindowExW(0, STATUSCLASSNAMEW, NULL, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, s_win, NULL, s_inst, NULL);
    if (!s_go || !s_step_w || !s_bar || !s_detail_w || !s_status)
        return 0;
    SendMessageW(s_status, WM_SETFONT, (WPARAM)s_font, TRUE);
    int parts[2] = {px(WIN_W - 110), -1};
    SendMessageW(s_status, SB_SETPARTS, 2, (LPARAM)parts);
    return 1;
}

static void find_earlier_install(void)
{
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    DWORD size = sizeof dir;
    if (RegGetValueW(HKEY_CURRENT_USER, REG_KEY, REG_VALUE, RRF_RT_REG_SZ, NULL, dir, &size) != ERROR_SUCCESS)
        return;
    // A path cut short would name another file: only whole ones are looked at.
    if (!path_join(path, dir, L"build\\Release\\emberveil.exe") || !exists(path))
        return;
    s_installed = 1;
    SetWindowTextW(s_dest, dir);
    if (path_join(path, dir, L"game\\default.xbe") && exists(path))
        game_pick(path);
}

static LRESULT on_create(HWND w)
{
    s_win = w;
    // A window without its controls is no window: CreateWindowExW then fails
    // and Setup ends with exit code 1.
    if (!make_form() || !make_progress_view()) {
        s_win = NULL;
        return -1;
    }
    find_earlier_install();
    show_state(S_FORM);
    form_texts();
    DragAcceptFiles(w, TRUE);
    return 0;
}

static HBRUSH on_ctlcolor(HDC dc, HWND ctl)
{
    SetBkColor(dc, RGB(251, 251, 251));
    int id = GetDlgCtrlID(ctl);
    COLORREF c = k_text;
    if (id == ID_NOTE)
        c = s_game.dir[0] && !s_game.ok ? k_red : k_grey;
    else if (id == ID_SPACE || id == ID_DETAIL)
        c = k_grey;
    SetTextColor(dc, c);
    return s_panel_br;
}

static LRESULT on_command(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    int id = LOWORD(wp), code = HIWORD(wp);
    switch (id) {
    case ID_GO:
        // The second click of a double-click must not cancel the install that
        // the first one started.
        if (code != BN_DOUBLECLICKED)
            main_button();
        return 0;
    case ID_XBE_BROWSE:
        browse_xbe();
        return 0;
    case ID_DEST_BROWSE:
        browse_dest();
        return 0;
    case ID_XBE:
        if (code == EN_KILLFOCUS)
            xbe_left();
        return 0;
    case ID_DEST:
        if (code == EN_CHANGE)
            space_update();
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

LRESULT CALLBACK win_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return on_create(w);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        SendMessageW(s_status, WM_SIZE, 0, 0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        paint(dc);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_CLOSE:
        if (s_state == S_RUN) {
            close_question();
            return 0;
        }
        break;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(w, &r);
        FillRect((HDC)wp, &r, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_DRAWITEM:
        if (wp == ID_GO) {
            draw_go((const DRAWITEMSTRUCT *)lp);
            return TRUE;
        }
        break;
    case WM_COMMAND:
        return on_command(w, msg, wp, lp);
    case WM_TIMER:
        tick();
        return 0;
    case WM_CTLCOLORSTATIC:
        return (LRESULT)on_ctlcolor((HDC)wp, (HWND)lp);
    case WM_DROPFILES:
        on_drop((HDROP)wp);
        return 0;
    case WM_SETUP_DONE:
        install_done((int)wp);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}
