// evchild: a tool for the tool runner's tests. Its arguments are a program of
// commands, run left to right; each output command is one WriteFile on the
// raw standard handle (no CRT buffering), so the tests decide how the output
// is cut into writes.
//
//   print TEXT    TEXT to standard output; escapes \r \n \t \\ \xHH
//   err TEXT      the same to standard error
//   line N        N bytes of a..z repeated, then CR LF, in one write
//   flood MB LEN  MB mebibytes of LEN-byte lines (a..z, then CR LF) in writes
//                 of whole lines of about 64 KiB: bulk output for the benchmarks
//   count N       the lines "1" to "N", one write each
//   pause MS      sleeps MS milliseconds
//   tick MS N     N times: "tick <pid>" CR LF, then a pause of MS
//   pid           "pid <pid>" CR LF
//   stdin         reads standard input once: "stdin char eof" for the null
//                 device at its end, else what it found
//   touch PATH    creates the file PATH (proof that the program ran)
//   wait PATH N   waits until the file PATH holds N bytes or more (at most 30 s):
//                 the runner copies what it reads into its log, so output
//                 written after this is surely another read
//   spawn K ARGS  starts evchild with the next K arguments, sharing this
//                 process's standard handles, and goes on with the rest
//   exit N        ends now with exit code N (may be negative)
// Without an exit command the code is 0. A bad command prints "bad" and ends with 99.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put(DWORD which, const char *bytes, DWORD n)
{
    DWORD done = 0;
    WriteFile(GetStdHandle(which), bytes, n, &done, NULL);
}

static int hex(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// The bytes of an escaped argument into out (which holds at least wcslen(in) bytes).
static DWORD unescape(const wchar_t *in, char *out)
{
    DWORD n = 0;
    for (size_t i = 0; in[i]; i++) {
        wchar_t c = in[i];
        if (c == L'\\' && in[i + 1]) {
            wchar_t e = in[++i];
            if (e == L'r')
                c = L'\r';
            else if (e == L'n')
                c = L'\n';
            else if (e == L't')
                c = L'\t';
            else if (e == L'x' && hex(in[i + 1]) >= 0 && hex(in[i + 2]) >= 0) {
                c = (wchar_t)(hex(in[i + 1]) * 16 + hex(in[i + 2]));
                i += 2;
            } else
                c = e;
        }
        out[n++] = c < 0x100 ? (char)c : '?';
    }
    return n;
}

static void print_escaped(DWORD which, const wchar_t *text)
{
    size_t len = wcslen(text);
    char *bytes = (char *)HeapAlloc(GetProcessHeap(), 0, len + 1);
    if (!bytes)
        return;
    put(which, bytes, unescape(text, bytes));
    HeapFree(GetProcessHeap(), 0, bytes);
}

static void print_line(long n)
{
    char *bytes = (char *)HeapAlloc(GetProcessHeap(), 0, (size_t)n + 2);
    if (!bytes)
        return;
    for (long i = 0; i < n; i++)
        bytes[i] = (char)('a' + i % 26);
    bytes[n] = '\r';
    bytes[n + 1] = '\n';
    put(STD_OUTPUT_HANDLE, bytes, (DWORD)n + 2);
    HeapFree(GetProcessHeap(), 0, bytes);
}

// Whole lines fill each write, so the line count is writes times lines per write.
static void flood(long mb, long len)
{
    if (mb <= 0 || len <= 0)
        return;
    size_t unit = (size_t)len + 2, per = unit < 65536 ? 65536 / unit : 1, size = per * unit;
    char *bytes = (char *)HeapAlloc(GetProcessHeap(), 0, size);
    if (!bytes)
        return;
    for (size_t k = 0; k < per; k++) {
        char *l = bytes + k * unit;
        for (long i = 0; i < len; i++)
            l[i] = (char)('a' + i % 26);
        l[len] = '\r';
        l[len + 1] = '\n';
    }
    unsigned long long total = (unsigned long long)mb << 20;
    for (unsigned long long done = 0; done < total; done += size)
        put(STD_OUTPUT_HANDLE, bytes, (DWORD)size);
    HeapFree(GetProcessHeap(), 0, bytes);
}

static void print_number(const char *word, unsigned long v)
{
    char text[64];
    int n = snprintf(text, sizeof text, "%s%lu\r\n", word, v);
    if (n > 0)
        put(STD_OUTPUT_HANDLE, text, (DWORD)n);
}

static void read_stdin(void)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buf[256];
    DWORD got = 0;
    const char *kind = GetFileType(in) == FILE_TYPE_CHAR ? "char" : "other";
    char text[96];
    int n;
    if (!ReadFile(in, buf, sizeof buf, &got, NULL))
        n = snprintf(text, sizeof text, "stdin %s error %lu\r\n", kind, GetLastError());
    else if (got == 0)
        n = snprintf(text, sizeof text, "stdin %s eof\r\n", kind);
    else
        n = snprintf(text, sizeof text, "stdin %s %lu bytes\r\n", kind, got);
    if (n > 0)
        put(STD_OUTPUT_HANDLE, text, (DWORD)n);
}

static void touch(const wchar_t *path)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

static void wait_for_size(const wchar_t *path, unsigned long long n)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    for (int i = 0; i < 3000; i++) {
        if (GetFileAttributesExW(path, GetFileExInfoStandard, &d) &&
            ((unsigned long long)d.nFileSizeHigh << 32 | d.nFileSizeLow) >= n)
            return;
        Sleep(10);
    }
}

// Starts a copy of this program with args[0..k-1]; 1 when it started.
static int spawn(wchar_t **args, int k)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    size_t cap = wcslen(self) + 4;
    for (int i = 0; i < k; i++)
        cap += wcslen(args[i]) + 1;
    wchar_t *cmd = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, cap * sizeof(wchar_t));
    if (!cmd)
        return 0;
    wcscpy(cmd, L"\"");
    wcscat(cmd, self);
    wcscat(cmd, L"\"");
    for (int i = 0; i < k; i++) {
        wcscat(cmd, L" ");
        wcscat(cmd, args[i]);
    }
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // The grandchild must hold the same pipe: that is what the test is about.
    SetHandleInformation(si.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(si.hStdError, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(si.hStdInput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION pi;
    BOOL ok = CreateProcessW(NULL, cmd, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi);
    HeapFree(GetProcessHeap(), 0, cmd);
    if (!ok)
        return 0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return 1;
}

static int bad(void)
{
    put(STD_OUTPUT_HANDLE, "bad\r\n", 5);
    return 99;
}

int wmain(int argc, wchar_t **argv)
{
    for (int i = 1; i < argc; i++) {
        const wchar_t *c = argv[i];
        int left = argc - i - 1;
        if (!wcscmp(c, L"pid")) {
            print_number("pid ", GetCurrentProcessId());
        } else if (!wcscmp(c, L"stdin")) {
            read_stdin();
        } else if (left < 1) {
            return bad();
        } else if (!wcscmp(c, L"print") || !wcscmp(c, L"err")) {
            print_escaped(c[0] == L'p' ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, argv[++i]);
        } else if (!wcscmp(c, L"line")) {
            print_line(wcstol(argv[++i], NULL, 10));
        } else if (!wcscmp(c, L"count")) {
            long n = wcstol(argv[++i], NULL, 10);
            for (long k = 1; k <= n; k++)
                print_number("", (unsigned long)k);
        } else if (!wcscmp(c, L"pause")) {
            Sleep((DWORD)wcstol(argv[++i], NULL, 10));
        } else if (!wcscmp(c, L"touch")) {
            touch(argv[++i]);
        } else if (!wcscmp(c, L"wait") && left >= 2) {
            wait_for_size(argv[i + 1], (unsigned long long)wcstol(argv[i + 2], NULL, 10));
            i += 2;
        } else if (!wcscmp(c, L"exit")) {
            ExitProcess((UINT)wcstol(argv[++i], NULL, 10));
        } else if (!wcscmp(c, L"flood") && left >= 2) {
            flood(wcstol(argv[i + 1], NULL, 10), wcstol(argv[i + 2], NULL, 10));
            i += 2;
        } else if (!wcscmp(c, L"tick") && left >= 2) {
            DWORD ms = (DWORD)wcstol(argv[i + 1], NULL, 10);
            long n = wcstol(argv[i + 2], NULL, 10);
            i += 2;
            for (long k = 0; k < n; k++) {
                print_number("tick ", GetCurrentProcessId());
                Sleep(ms);
            }
        } else if (!wcscmp(c, L"spawn")) {
            int k = (int)wcstol(argv[i + 1], NULL, 10);
            if (k < 0 || k > left - 1)
                return bad();
            if (!spawn(argv + i + 2, k)) {
                put(STD_OUTPUT_HANDLE, "spawn failed\r\n", 14);
                return 98;
            }
            i += 1 + k;
        } else {
            return bad();
        }
    }
    return 0;
}
