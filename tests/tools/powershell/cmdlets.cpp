// The cmdlets of the stand-in's subset, each with the parameters our scripts
// use and the effect Windows PowerShell 5.1 gives them.
#include "ps.h"
#include <string.h>

// 1 for a token that can stand as a parameter's value.
static int is_value(const Token *t)
{
    return t->kind == T_WORD || t->kind == T_SQ || t->kind == T_DQ || t->kind == T_VAR;
}

// 1 for "-Name": a bareword that begins with a dash and is not a number.
static int is_param(const Token *t)
{
    return t->kind == T_WORD && t->n > 1 && t->p[0] == '-' && !(t->p[1] >= '0' && t->p[1] <= '9');
}

int bind(const Token *t, int n, Param *p, int np, const int *pos, int npos)
{
    int next = 0;
    for (int i = 0; i < n; i++)
    {
        if (is_param(&t[i]))
        {
            int k = 0;
            while (k < np && !(t[i].n - 1 == (int)strlen(p[k].name) &&
                               _strnicmp(t[i].p + 1, p[k].name, (size_t)(t[i].n - 1)) == 0))
                k++;
            if (k == np || p[k].set)
                return unsupported();
            p[k].set = 1;
            if (p[k].takes_value)
            {
                if (i + 1 == n || !is_value(&t[i + 1]) || is_param(&t[i + 1]))
                    return unsupported();
                p[k].value = &t[++i];
            }
            continue;
        }
        while (next < npos && p[pos[next]].set)
            next++;
        if (next == npos || !is_value(&t[i]))
            return unsupported();
        p[pos[next]].set = 1;
        p[pos[next]].value = &t[i];
    }
    return 1;
}

int path_of(const Token *t, wchar_t *out)
{
    Value v;
    if (!eval(t, &v))
        return 0;
    // Wildcards would match in PowerShell; here they would not.
    if (v.kind != V_STR || !v.text[0] || strpbrk(v.text, "*?[]") || !widen(v.text, out, MAX_PATH))
        return unsupported();
    return 1;
}

// 1 when the value token stands for the word w, in any case and quoted or not
// (-ItemType 'Directory' is -ItemType Directory); 0 otherwise, -1 when it has no value.
static int value_is(const Token *t, const char *w)
{
    Value v;
    if (!eval(t, &v))
        return -1;
    return v.kind == V_STR && lstrcmpiA(v.text, w) == 0;
}

// The path as text for messages.
static void narrow(const wchar_t *path, char *out, int cap)
{
    if (!WideCharToMultiByte(CP_UTF8, 0, path, -1, out, cap, NULL, NULL))
        out[0] = 0;
}

// Reports a failed file operation on path.
static int file_error(const char *cmdlet, const char *what, const wchar_t *path)
{
    char text[MAX_PATH * 2 + 64];
    char name[MAX_PATH * 2];
    narrow(path, name, sizeof name);
    lstrcpynA(text, what, 64);
    lstrcatA(text, " '");
    lstrcatA(text, name);
    lstrcatA(text, "'");
    return cmd_error(cmdlet, text);
}

static int is_dir(const wchar_t *path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

static int exists(const wchar_t *path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Creates the folder and every missing parent; 1 when it is a folder afterwards.
static int make_dirs(const wchar_t *path)
{
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path, MAX_PATH, full, NULL);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    // Past "C:\" or "\\server\share\", every backslash ends one parent.
    for (wchar_t *p = full + 3; *p; p++)
    {
        if (*p != L'\\')
            continue;
        *p = 0;
        CreateDirectoryW(full, NULL);
        *p = L'\\';
    }
    CreateDirectoryW(full, NULL);
    return is_dir(full);
}

// Makes the parent folders of a file path.
static void make_parents(const wchar_t *path)
{
    wchar_t parent[MAX_PATH];
    lstrcpynW(parent, path, MAX_PATH);
    wchar_t *slash = wcsrchr(parent, L'\\');
    if (slash && slash != parent)
    {
        *slash = 0;
        make_dirs(parent);
    }
}

// Writes n bytes to a new or truncated file; 1 when all were written.
static int write_file(const wchar_t *path, const char *bytes, int n, DWORD disposition)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD done = 0;
    int ok = n == 0 || (WriteFile(h, bytes, (DWORD)n, &done, NULL) && done == (DWORD)n);
    CloseHandle(h);
    return ok;
}

// Write-Output: one value to the pipeline, which the host prints as a line ($null prints nothing).
static int write_output(const Token *t, int n, int quiet)
{
    Param p[] = {{"InputObject", 1, 0, NULL}};
    const int pos[] = {0};
    Value v;
    if (!bind(t, n, p, 1, pos, 1))
        return 0;
    if (!p[0].set || quiet)
        return 1;
    if (!eval(p[0].value, &v))
        return 0;
    if (v.kind == V_NULL)
        return 1;
    char line[TEXT_CAP + 2];
    value_text(&v, line, TEXT_CAP);
    lstrcatA(line, "\r\n");
    put_text(line, 0);
    return 1;
}

// Write-Host: the value straight to the host, with its line end unless -NoNewline.
static int write_host(const Token *t, int n, int quiet)
{
    (void)quiet; // host output bypasses the pipeline, so Out-Null does not swallow it
    Param p[] = {{"Object", 1, 0, NULL}, {"NoNewline", 0, 0, NULL}};
    const int pos[] = {0};
    Value v;
    if (!bind(t, n, p, 2, pos, 1))
        return 0;
    char line[TEXT_CAP + 2] = "";
    if (p[0].set)
    {
        if (!eval(p[0].value, &v))
            return 0;
        value_text(&v, line, TEXT_CAP);
    }
    if (!p[1].set)
        lstrcatA(line, "\r\n");
    put_text(line, 0);
    return 1;
}

// The value of a parameter as a non-negative integer; 0 (reported) otherwise.
static int count_of(const Token *t, long long *out)
{
    Value v;
    if (!eval(t, &v))
        return 0;
    if (v.kind != V_INT || v.num < 0 || v.num > 86400000)
        return unsupported();
    *out = v.num;
    return 1;
}

// Start-Sleep -Milliseconds N or -Seconds N.
static int start_sleep(const Token *t, int n, int quiet)
{
    (void)quiet;
    Param p[] = {{"Seconds", 1, 0, NULL}, {"Milliseconds", 1, 0, NULL}};
    const int pos[] = {0};
    long long x;
    if (!bind(t, n, p, 2, pos, 1))
        return 0;
    if (p[0].set == p[1].set)
        return unsupported();
    if (!count_of(p[0].set ? p[0].value : p[1].value, &x))
        return 0;
    Sleep((DWORD)(p[0].set ? x * 1000 : x));
    return 1;
}

// New-Item -ItemType Directory|File [-Force] -Path P | Out-Null. A folder gets
// its missing parents; a file with -Force gets them too and is truncated.
static int new_item(const Token *t, int n, int quiet)
{
    Param p[] = {{"Path", 1, 0, NULL}, {"ItemType", 1, 0, NULL}, {"Force", 0, 0, NULL}};
    const int pos[] = {0};
    wchar_t path[MAX_PATH];
    // Without Out-Null PowerShell prints the new item as a table, which we do not imitate.
    if (!quiet)
        return unsupported();
    if (!bind(t, n, p, 3, pos, 1))
        return 0;
    if (!p[0].set || !p[1].set)
        return unsupported();
    if (!path_of(p[0].value, path))
        return 0;
    int dir = value_is(p[1].value, "Directory");
    int file = dir == 0 ? value_is(p[1].value, "File") : 0;
    if (dir < 0 || file < 0)
        return 0;
    if (!dir && !file)
        return unsupported();
    if (exists(path) && !(p[2].set && is_dir(path) == dir))
        return file_error("New-Item", "an item already exists at", path);
    if (dir)
        return make_dirs(path) ? 1 : file_error("New-Item", "cannot create the folder", path);
    if (p[2].set)
        make_parents(path);
    if (!write_file(path, "", 0, p[2].set ? CREATE_ALWAYS : CREATE_NEW))
        return file_error("New-Item", "cannot create the file", path);
    return 1;
}

// Set-Content -Path P -Value V [-NoNewline]: the text and CR LF, in the ANSI code page.
static int set_content(const Token *t, int n, int quiet)
{
    (void)quiet;
    Param p[] = {{"Path", 1, 0, NULL}, {"Value", 1, 0, NULL}, {"NoNewline", 0, 0, NULL}};
    const int pos[] = {0, 1};
    wchar_t path[MAX_PATH];
    Value v;
    if (!bind(t, n, p, 3, pos, 2))
        return 0;
    if (!p[0].set || !p[1].set)
        return unsupported();
    if (!path_of(p[0].value, path) || !eval(p[1].value, &v))
        return 0;
    char text[TEXT_CAP + 2] = "";
    if (v.kind != V_NULL)
    {
        value_text(&v, text, TEXT_CAP);
        if (!p[2].set)
            lstrcatA(text, "\r\n");
    }
    if (!write_file(path, text, (int)strlen(text), CREATE_ALWAYS))
        return file_error("Set-Content", "cannot write", path);
    return 1;
}

// Copy-Item [-Path] SRC [-Destination] DST [-Force]: one file, into a folder when DST is one.
static int copy_item(const Token *t, int n, int quiet)
{
    (void)quiet;
    Param p[] = {{"Path", 1, 0, NULL}, {"Destination", 1, 0, NULL}, {"Force", 0, 0, NULL}};
    const int pos[] = {0, 1};
    wchar_t src[MAX_PATH], dst[MAX_PATH];
    if (!bind(t, n, p, 3, pos, 2))
        return 0;
    if (!p[0].set || !p[1].set)
        return unsupported();
    if (!path_of(p[0].value, src) || !path_of(p[1].value, dst))
        return 0;
    if (!exists(src))
        return file_error("Copy-Item", "cannot find", src);
    if (is_dir(src))
        return unsupported(); // copying folders needs -Recurse, which is not ours
    if (is_dir(dst))
    {
        const wchar_t *slash = wcsrchr(src, L'\\');
        const wchar_t *name = slash ? slash + 1 : src;
        if (lstrlenW(dst) + 1 + lstrlenW(name) >= MAX_PATH)
            return file_error("Copy-Item", "path too long", dst);
        lstrcatW(dst, L"\\");
        lstrcatW(dst, name);
    }
    if (p[2].set && exists(dst))
        SetFileAttributesW(dst, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileW(src, dst, FALSE))
        return file_error("Copy-Item", "cannot copy to", dst);
    return 1;
}

// Remove-Item [-Path] P [-Force]: one file.
static int remove_item(const Token *t, int n, int quiet)
{
    (void)quiet;
    Param p[] = {{"Path", 1, 0, NULL}, {"Force", 0, 0, NULL}};
    const int pos[] = {0};
    wchar_t path[MAX_PATH];
    if (!bind(t, n, p, 2, pos, 1))
        return 0;
    if (!p[0].set)
        return unsupported();
    if (!path_of(p[0].value, path))
        return 0;
    if (!exists(path))
        return file_error("Remove-Item", "cannot find", path);
    if (is_dir(path))
        return unsupported(); // a folder would need -Recurse
    if (p[1].set)
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path))
        return file_error("Remove-Item", "cannot delete", path);
    return 1;
}

// Start-Process as a statement.
static int start_process_cmd(const Token *t, int n, int quiet)
{
    return quiet ? unsupported() : start_process(t, n);
}

struct Cmdlet
{
    const char *name;
    int (*run)(const Token *t, int n, int quiet);
};

static const Cmdlet k_cmdlets[] = {
    {"Write-Output", write_output}, {"Write-Host", write_host},   {"Start-Sleep", start_sleep},
    {"New-Item", new_item},         {"Set-Content", set_content}, {"Copy-Item", copy_item},
    {"Remove-Item", remove_item},   {"Start-Process", start_process_cmd},
};

// The row of k_cmdlets t names, or NULL.
static const Cmdlet *find_cmdlet(const Token *t)
{
    for (size_t i = 0; i < sizeof k_cmdlets / sizeof k_cmdlets[0]; i++)
        if (is_word(t, k_cmdlets[i].name))
            return &k_cmdlets[i];
    return NULL;
}

int known_cmdlet(const Token *t)
{
    return find_cmdlet(t) != NULL;
}

int run_cmdlet(const Token *t, int n, int quiet)
{
    const Cmdlet *c = find_cmdlet(&t[0]);
    return c ? c->run(t + 1, n - 1, quiet) : unsupported();
}

int test_path(const Token *t, int n, Value *v)
{
    Param p[] = {{"Path", 1, 0, NULL}, {"PathType", 1, 0, NULL}};
    const int pos[] = {0};
    wchar_t path[MAX_PATH];
    if (!bind(t, n, p, 2, pos, 1))
        return 0;
    if (!p[0].set)
        return unsupported();
    if (!path_of(p[0].value, path))
        return 0;
    int yes = exists(path);
    if (p[1].set)
    {
        int leaf = value_is(p[1].value, "Leaf");
        int container = value_is(p[1].value, "Container");
        if (leaf < 0 || container < 0)
            return 0;
        if (leaf)
            yes = yes && !is_dir(path);
        else if (container)
            yes = is_dir(path);
        else if (value_is(p[1].value, "Any") != 1)
            return unsupported();
    }
    set_int(v, yes);
    return 1;
}

// Reads a whole file of at most TEXT_CAP - 1 bytes into out; its length, -1 when it
// cannot be read, -2 when it is too big.
static int read_small(const wchar_t *path, char *out)
{
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    DWORD size = GetFileSize(h, NULL);
    DWORD got = 0;
    int n = -2;
    if (size < TEXT_CAP && ReadFile(h, out, size, &got, NULL))
        n = (int)got;
    CloseHandle(h);
    if (n >= 0)
        out[n] = 0;
    return n;
}

int get_content(const Token *t, int n, Value *v)
{
    Param p[] = {{"Path", 1, 0, NULL}, {"Raw", 0, 0, NULL}};
    const int pos[] = {0};
    wchar_t path[MAX_PATH];
    char text[TEXT_CAP];
    v->kind = V_NULL;
    if (!bind(t, n, p, 2, pos, 1))
        return 0;
    if (!p[0].set)
        return unsupported();
    if (!path_of(p[0].value, path))
        return 0;
    int len = read_small(path, text);
    if (len == -2)
        return unsupported();
    if (len < 0)
        return file_error("Get-Content", "cannot read", path);
    if (len == 0)
        return 1; // an empty file gives $null, with -Raw too
    if (p[1].set)
    {
        set_str(v, text, len);
        return 1;
    }
    // Without -Raw a file of one line gives that line; more lines give an array, which is not ours.
    int end = (int)strcspn(text, "\r\n");
    int next = end;
    if (text[next] == '\r')
        next++;
    if (text[next] == '\n')
        next++;
    if (next < len)
        return unsupported();
    set_str(v, text, end);
    return 1;
}
