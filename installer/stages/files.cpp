#include "stages.h"

const void *payload_bytes(int id, DWORD *size)
{
    *size = 0;
    HRSRC res = FindResourceW(NULL, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!res)
        return NULL;
    HGLOBAL loaded = LoadResource(NULL, res);
    const void *bytes = loaded ? LockResource(loaded) : NULL;
    *size = bytes ? SizeofResource(NULL, res) : 0;
    return *size ? bytes : NULL;
}

int write_resource(int id, const wchar_t *path)
{
    DWORD size = 0;
    const void *bytes = payload_bytes(id, &size);
    if (!bytes)
        return 0;
    // A new file only: a file or link of that name planted in the shared
    // temporary folder is never followed or reused.
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(f, bytes, size, &written, NULL);
    CloseHandle(f);
    if (!ok || written != size)
        DeleteFileW(path);
    return ok && written == size;
}

void writable(const wchar_t *path)
{
    DWORD a = GetFileAttributesW(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY))
        SetFileAttributesW(path, a & ~FILE_ATTRIBUTE_READONLY);
}

int spill_safe(const wchar_t *path, const void *bytes, DWORD n)
{
    wchar_t part[MAX_PATH];
    fmt(part, MAX_PATH, L"%s.part", path);
    HANDLE f = CreateFileW(part, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL ok = WriteFile(f, bytes, n, &written, NULL) && written == n && FlushFileBuffers(f);
    CloseHandle(f);
    // The target is replaced only by a complete file: a full disk leaves it as it was.
    if (ok)
        ok = MoveFileExW(part, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(part);
    return ok;
}

unsigned char *slurp(const wchar_t *path, DWORD *n)
{
    *n = 0;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD size = GetFileSize(f, NULL), got = 0;
    unsigned char *buf = NULL;
    if (size != INVALID_FILE_SIZE)
        buf = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size + 1); // an empty file still gets one
    // A read that fails gives nothing rather than an empty file, which a caller
    // could write back over the player's own; so does one that finds another
    // length than the file had (a byte more is asked for, to see it grow).
    if (buf && (!ReadFile(f, buf, size + 1, &got, NULL) || got != size)) {
        HeapFree(GetProcessHeap(), 0, buf);
        buf = NULL;
    }
    CloseHandle(f);
    *n = buf ? size : 0;
    return buf;
}

void spill(const wchar_t *path, const void *bytes, DWORD n)
{
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(f, bytes, n, &written, NULL);
    CloseHandle(f);
}

void ps_command(wchar_t *out, int cap, const wchar_t *script)
{
    wchar_t sys[MAX_PATH];
    UINT n = GetSystemDirectoryW(sys, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        sys[0] = 0;
    fmt(out, cap, L"\"%s\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -ExecutionPolicy RemoteSigned -File \"%s\\%s\"",
        sys, s_dir, script);
}
