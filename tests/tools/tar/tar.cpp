// tar.exe stand-in for the tests: Wine has no tar.exe, and the installer runs
// the system's one to unpack zip archives. Only what the installer uses is
// here: -x, -m, -f ARCHIVE, -C DIR, -v. Entry times are never restored: every
// file gets the time of its extraction.
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "tar.h"

static const size_t k_path_cap = 32768;
static const unsigned k_unix_host = 3;
static const uint32_t k_unix_type_mask = 0170000;
static const uint32_t k_unix_symlink = 0120000;

static int s_extract;
static int s_verbose;
static const wchar_t *s_archive;
static const wchar_t *s_dir;
static wchar_t s_shown[k_path_cap];
static wchar_t s_rel[k_path_cap];
static wchar_t s_path[2 * k_path_cap];
static size_t s_target_len;

// Writes text to stderr: UTF-16 to a console, UTF-8 to a pipe or file.
static void emit(const wchar_t *text, int n) {
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode, done;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, text, (DWORD)n, &done, NULL);
    return;
  }
  char utf8[4 * 4096];
  int len = WideCharToMultiByte(CP_UTF8, 0, text, n, utf8, (int)sizeof utf8, NULL, NULL);
  if (len > 0) WriteFile(h, utf8, (DWORD)len, &done, NULL);
}

void say(const wchar_t *fmt, ...) {
  wchar_t msg[4096];
  int n = swprintf(msg, 4096, L"tar.exe: ");
  va_list ap;
  va_start(ap, fmt);
  int m = vswprintf(msg + n, 4096 - n - 2, fmt, ap);
  va_end(ap);
  n = m < 0 ? (int)wcslen(msg) : n + m;
  msg[n++] = L'\n';
  emit(msg, n);
}

// Lists an entry as -v does: "x name".
static void tell(const wchar_t *name) {
  wchar_t msg[4096];
  int n = swprintf(msg, 4096, L"x %ls\n", name);
  emit(msg, n < 0 ? (int)wcslen(msg) : n);
}

int damaged(const wchar_t *entry, const wchar_t *what) {
  if (entry)
    say(L"%ls: %ls: damaged archive: %ls", s_archive, entry, what);
  else
    say(L"%ls: damaged archive: %ls", s_archive, what);
  return 0;
}

// Takes the value of -f or -C: the rest of the cluster, else the next argument.
static int take_value(wchar_t opt, const wchar_t *rest, int argc, wchar_t **argv, int *i) {
  const wchar_t *v = rest;
  if (!v || !*v) {
    if (*i + 1 >= argc) {
      say(L"Option -%lc requires an argument", opt);
      return 0;
    }
    v = argv[++*i];
  }
  if (opt == L'f') s_archive = v; else s_dir = v;
  return 1;
}

// Applies one option letter; value options consume an argument.
static int apply_option(wchar_t c, const wchar_t *rest, int argc, wchar_t **argv, int *i) {
  switch (c) {
    case L'x': s_extract = 1; return 1;
    case L'm': return 1;  // entry times are never restored anyway
    case L'v': s_verbose = 1; return 1;
    case L'f':
    case L'C': return take_value(c, rest, argc, argv, i);
    default:
      say(L"Option -%lc is not supported by this stand-in", c);
      return 0;
  }
}

// Parses "-xmf A -C D" in any order and grouping, and the old "xmf A" form.
static int parse_args(int argc, wchar_t **argv) {
  for (int i = 1; i < argc; i++) {
    const wchar_t *a = argv[i];
    int old_style = i == 1 && a[0] != L'-';
    if (!old_style && (a[0] != L'-' || a[1] == 0 || a[1] == L'-')) {
      say(L"Unexpected argument '%ls'", a);
      return 0;
    }
    int at = i;
    for (const wchar_t *p = old_style ? a : a + 1; *p; p++) {
      int value_opt = *p == L'f' || *p == L'C';
      // The old form takes every value from the following arguments in turn.
      if (!apply_option(*p, old_style ? NULL : p + 1, argc, argv, &at)) return 0;
      if (value_opt && !old_style) break;
    }
    i = at;
  }
  if (!s_extract) say(L"Must specify -x (the only mode this stand-in has)");
  else if (!s_archive) say(L"No archive given (-f ARCHIVE)");
  return s_extract && s_archive;
}

// Changes into -C's folder and keeps its full path (long-path form) in s_path.
static int open_target(void) {
  if (s_dir && !SetCurrentDirectoryW(s_dir)) {
    say(L"could not chdir to '%ls'", s_dir);
    return 0;
  }
  wchar_t full[k_path_cap];
  DWORD n = GetFullPathNameW(L".", (DWORD)k_path_cap, full, NULL);
  if (n == 0 || n >= k_path_cap - 8) {
    say(L"cannot resolve the target folder");
    return 0;
  }
  int drive = n >= 3 && full[1] == L':' && full[2] == L'\\';
  swprintf(s_path, k_path_cap, L"%ls%ls", drive ? L"\\\\?\\" : L"", full);
  s_target_len = wcslen(s_path);
  if (s_path[s_target_len - 1] != L'\\') s_path[s_target_len++] = L'\\';
  s_path[s_target_len] = 0;
  return 1;
}

// Makes sure path is a folder, creating it when missing.
static int ensure_dir(const wchar_t *path) {
  if (CreateDirectoryW(path, NULL)) return 1;
  DWORD err = GetLastError();
  DWORD attr = GetFileAttributesW(path);
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return 1;
  say(L"cannot create folder '%ls' (error %lu)", path, err);
  return 0;
}

// Creates every folder on the way to s_path below the target.
static int make_parents(void) {
  for (size_t i = s_target_len; s_path[i]; i++) {
    if (s_path[i] != L'\\') continue;
    s_path[i] = 0;
    int ok = ensure_dir(s_path);
    s_path[i] = L'\\';
    if (!ok) return 0;
  }
  return 1;
}

// Gives the file the time of extraction, whatever the archive says.
static int stamp_now(HANDLE h) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (SetFileTime(h, NULL, &now, &now)) return 1;
  say(L"%ls: cannot set the file time (error %lu)", s_shown, GetLastError());
  return 0;
}

// Writes one file entry to s_path, replacing what is there (read-only too);
// a file that fails half-way is removed again.
static int write_file(const ZipEntry *e) {
  DWORD attr = GetFileAttributesW(s_path);
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) {
    say(L"%ls: a folder of that name is in the way", s_shown);
    return 0;
  }
  const DWORD locked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & locked) &&
      !SetFileAttributesW(s_path, FILE_ATTRIBUTE_NORMAL)) {
    say(L"%ls: cannot clear the read-only attribute (error %lu)", s_shown, GetLastError());
    return 0;
  }
  HANDLE h = CreateFileW(s_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    say(L"%ls: cannot create the file (error %lu)", s_shown, GetLastError());
    return 0;
  }
  int ok = unpack_entry(e, h, s_shown) && stamp_now(h);
  CloseHandle(h);
  if (!ok) DeleteFileW(s_path);
  return ok;
}

// Checks one entry fully (name, kind, method, data bounds) without writing.
static int check_entry(const ZipArchive *z, ZipEntry *e, int *is_dir) {
  if (!entry_paths(e, s_shown, k_path_cap, s_rel, k_path_cap, is_dir)) return 0;
  if ((e->made_by >> 8) == k_unix_host && ((e->ext_attr >> 16) & k_unix_type_mask) == k_unix_symlink) {
    say(L"%ls: symbolic links are not supported", s_shown);
    return 0;
  }
  if (e->flags & 1) {
    say(L"%ls: encrypted entries are not supported", s_shown);
    return 0;
  }
  if (e->method != 0 && e->method != 8) {
    say(L"%ls: unsupported compression method %u", s_shown, e->method);
    return 0;
  }
  if (!*is_dir && s_rel[0] == 0) return damaged(s_shown, L"file entry without a name");
  return zip_locate_data(z, e);
}

// Extracts one checked entry below the target folder.
static int extract_entry(const ZipEntry *e, int is_dir) {
  if (s_rel[0] == 0) return 1;  // "./" and the like: the target itself
  if (s_target_len + wcslen(s_rel) + 1 >= 2 * k_path_cap) {
    say(L"%ls: path is too long", s_shown);
    return 0;
  }
  wcscpy(s_path + s_target_len, s_rel);
  if (s_verbose) tell(s_shown);
  if (!make_parents()) return 0;
  return is_dir ? ensure_dir(s_path) : write_file(e);
}

// Goes through the central directory once; writes only when asked to.
static int walk(const ZipArchive *z, int write) {
  uint64_t pos = z->cd_off;
  for (uint64_t i = 0; i < z->count; i++) {
    ZipEntry e;
    int is_dir = 0;
    if (!zip_next_entry(z, &pos, &e) || !check_entry(z, &e, &is_dir)) return 0;
    if (write && !extract_entry(&e, is_dir)) return 0;
  }
  return 1;
}

// Checks the whole archive first, so a hostile or damaged directory writes nothing.
static int extract_mapped(const unsigned char *base, uint64_t size) {
  ZipArchive z = {base, size, 0, 0, 0};
  if (!zip_open_directory(&z) || !walk(&z, 0)) return 0;
  return open_target() && walk(&z, 1);
}

// Maps the archive read-only and extracts it.
static int extract_archive(void) {
  HANDLE f = CreateFileW(s_archive, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) {
    say(L"Error opening archive: Failed to open '%ls' (error %lu)", s_archive, GetLastError());
    return 0;
  }
  int ok = 0;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f, &size)) {
    say(L"%ls: cannot get the size (error %lu)", s_archive, GetLastError());
  } else if (size.QuadPart == 0) {
    damaged(NULL, L"empty file");
  } else {
    HANDLE m = CreateFileMappingW(f, NULL, PAGE_READONLY, 0, 0, NULL);
    const void *view = m ? MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0) : NULL;
    if (view) ok = extract_mapped((const unsigned char *)view, (uint64_t)size.QuadPart);
    else say(L"%ls: cannot map the archive (error %lu)", s_archive, GetLastError());
    if (view) UnmapViewOfFile(view);
    if (m) CloseHandle(m);
  }
  CloseHandle(f);
  return ok;
}

int wmain(int argc, wchar_t **argv) {
  if (!parse_args(argc, argv)) return 1;
  return extract_archive() ? 0 : 1;
}
