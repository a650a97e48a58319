#include "helpers.h"
#include "engine/context.h"
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>

DWORD s_now;

DWORD WINAPI fake_ticks(void)
{
    return s_now;
}

void engine_init(void)
{
    static int done;
    if (!done)
        context_init();
    done = 1;
}

void scratch_dir(wchar_t *out)
{
    static unsigned s_serial;
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    size_t n = wcslen(tmp);
    if (n && tmp[n - 1] == L'\\')
        tmp[n - 1] = 0;
    swprintf(out, MAX_PATH, L"%ls\\evengine-%lu-%u", tmp, GetCurrentProcessId(), ++s_serial);
    tree_remove(out);
    SHCreateDirectoryExW(NULL, out, NULL);
}

int tree_remove(const wchar_t *path)
{
    // SHFileOperationW wants a list ending in two terminators.
    wchar_t from[MAX_PATH + 1];
    ZeroMemory(from, sizeof from);
    wcsncpy(from, path, MAX_PATH - 1);
    SHFILEOPSTRUCTW op;
    ZeroMemory(&op, sizeof op);
    op.wFunc = FO_DELETE;
    op.pFrom = from;
    op.fFlags = FOF_NO_UI;
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        SHFileOperationW(&op);
    return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
}

std::string read_bytes(const wchar_t *path)
{
    std::string out;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

std::string log_of(const wchar_t *dir)
{
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls\\logs\\install.log", dir);
    return read_bytes(path);
}

std::vector<std::string> split_crlf(const std::string &bytes)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(at));
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

static int two_digits(const std::string &s, size_t at, int below)
{
    if (s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9')
        return 0;
    return (s[at] - '0') * 10 + (s[at + 1] - '0') < below;
}

int stamped(const std::string &line)
{
    return line.size() >= 11 && line[0] == '[' && two_digits(line, 1, 24) && line[3] == ':' &&
           two_digits(line, 4, 60) && line[6] == ':' && two_digits(line, 7, 60) && line[9] == ']' &&
           line[10] == ' ';
}

std::vector<std::string> log_texts(const wchar_t *dir)
{
    std::vector<std::string> texts;
    for (const std::string &line : split_crlf(log_of(dir)))
        texts.push_back(stamped(line) ? line.substr(11) : "?" + line);
    return texts;
}

const wchar_t *child_exe(void)
{
    static wchar_t s_path[MAX_PATH];
    if (!s_path[0]) {
        GetModuleFileNameW(NULL, s_path, MAX_PATH);
        wchar_t *slash = wcsrchr(s_path, L'\\');
        if (slash)
            slash[1] = 0;
        wcsncat(s_path, L"tools\\evchild.exe", MAX_PATH - wcslen(s_path) - 1);
    }
    return s_path;
}

std::wstring child_cmd(const std::wstring &args)
{
    return L"\"" + std::wstring(child_exe()) + L"\" " + args;
}
