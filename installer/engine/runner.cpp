#include "runner.h"
#include "context.h"
#include "log.h"
#include <stdlib.h>

// A one-entry attribute list that creates the process inside the job; null
// when it can't be had, and the caller falls back to assigning after the start.
static LPPROC_THREAD_ATTRIBUTE_LIST job_list(HANDLE *job)
{
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &size);
    if (size == 0)
        return NULL;
    LPPROC_THREAD_ATTRIBUTE_LIST list = (LPPROC_THREAD_ATTRIBUTE_LIST)HeapAlloc(GetProcessHeap(), 0, size);
    if (!list)
        return NULL;
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        HeapFree(GetProcessHeap(), 0, list);
        return NULL;
    }
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, job, sizeof(HANDLE), NULL, NULL)) {
        DeleteProcThreadAttributeList(list);
        HeapFree(GetProcessHeap(), 0, list);
        return NULL;
    }
    return list;
}

static void read_output(HANDLE pipe, LineFn fn)
{
    char chunk[4096];
    LineCut cut;
    cut.len = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &got, NULL) || got == 0)
            break;
        log_raw(chunk, got);
        lines_feed(&cut, chunk, got, fn);
    }
    lines_end(&cut, fn);
}

int run(const wchar_t *cmd, const wchar_t *cwd, LineFn fn)
{
    // A cancel that came after the job was emptied would otherwise let the next
    // tool start in it and run to its end; it ends the way a cancelled tool does.
    if (s_cancel)
        return 1;
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE rd, wr;
    if (!CreatePipe(&rd, &wr, &sa, 0))
        return -1;
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    // A tool that asks for input sees its end at once instead of waiting for a key.
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, NULL);

    STARTUPINFOEXW si;
    ZeroMemory(&si, sizeof si);
    si.StartupInfo.cb = sizeof(STARTUPINFOW);
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = nul;
    si.StartupInfo.hStdOutput = wr;
    si.StartupInfo.hStdError = wr;

    // CreateProcessW may write into the command line it is given.
    size_t len = wcslen(cmd) + 1;
    wchar_t *line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, len * sizeof(wchar_t));
    if (line)
        memcpy(line, cmd, len * sizeof(wchar_t));

    HANDLE job = s_job;
    LPPROC_THREAD_ATTRIBUTE_LIST list = job ? job_list(&job) : NULL;
    DWORD flags = CREATE_NO_WINDOW;
    if (list) {
        flags |= EXTENDED_STARTUPINFO_PRESENT;
        si.StartupInfo.cb = sizeof si;
        si.lpAttributeList = list;
    }
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    BOOL started = line && CreateProcessW(NULL, line, NULL, NULL, TRUE, flags, NULL, cwd, &si.StartupInfo, &pi);
    if (list) {
        DeleteProcThreadAttributeList(list);
        HeapFree(GetProcessHeap(), 0, list);
    }
    if (line)
        HeapFree(GetProcessHeap(), 0, line);
    CloseHandle(wr);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!started) {
        CloseHandle(rd);
        return -1;
    }
    // Without the list (before Windows 10) the child joins the job just after
    // its start; it is never created suspended, which scanners hold against us.
    if (job && !list)
        AssignProcessToJobObject(job, pi.hProcess);

    read_output(rd, fn);

    CloseHandle(rd);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0xFFFFFFFF;
    if (!GetExitCodeProcess(pi.hProcess, &code))
        code = 0xFFFFFFFF;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}
