// Entry names: UTF-8 (or, without the UTF-8 flag, possibly code page 437)
// turned into relative Windows paths that cannot leave the target folder.
#include <string.h>
#include <wchar.h>

#include "tar.h"

static const unsigned k_flag_utf8 = 0x800;

// Decodes the raw name into shown (NUL-terminated).
static int decode_name(const ZipEntry *e, wchar_t *shown, size_t cap) {
  if (e->name_len == 0) return damaged(NULL, L"entry with an empty name");
  if (memchr(e->name, 0, e->name_len)) return damaged(NULL, L"entry name contains a NUL byte");
  const char *raw = (const char *)e->name;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw, (int)e->name_len, shown, (int)cap - 1);
  if (n == 0 && !(e->flags & k_flag_utf8))
    n = MultiByteToWideChar(437, 0, raw, (int)e->name_len, shown, (int)cap - 1);
  if (n == 0) return damaged(NULL, L"entry name is not valid UTF-8 or is too long");
  shown[n] = 0;
  return 1;
}

// True for characters no Windows file name may hold.
static int bad_char(wchar_t c) {
  return c < 0x20 || wcschr(L"<>\"|?*", c) != NULL;
}

// Appends one path component to rel, refusing "..", odd characters and overflow.
static int add_part(const wchar_t *part, size_t len, wchar_t *rel, size_t *used, size_t cap,
                    const wchar_t *shown) {
  if (len == 0 || (len == 1 && part[0] == L'.')) return 1;
  if (len == 2 && part[0] == L'.' && part[1] == L'.') {
    say(L"%ls: Path contains '..'", shown);
    return 0;
  }
  for (size_t i = 0; i < len; i++) {
    if (bad_char(part[i])) {
      say(L"%ls: name holds a character Windows does not allow", shown);
      return 0;
    }
  }
  if (*used + len + 2 > cap) {
    say(L"%ls: name is too long", shown);
    return 0;
  }
  if (*used > 0) rel[(*used)++] = L'\\';
  wmemcpy(rel + *used, part, len);
  *used += len;
  rel[*used] = 0;
  return 1;
}

int entry_paths(const ZipEntry *e, wchar_t *shown, size_t shown_cap, wchar_t *rel, size_t rel_cap,
                int *is_dir) {
  if (!decode_name(e, shown, shown_cap)) return 0;
  size_t n = wcslen(shown);
  *is_dir = shown[n - 1] == L'/' || shown[n - 1] == L'\\';
  if (shown[0] == L'/' || shown[0] == L'\\') {
    say(L"%ls: Path is absolute", shown);
    return 0;
  }
  if (wcschr(shown, L':')) {
    say(L"%ls: Path holds a drive letter or a stream name (':')", shown);
    return 0;
  }
  size_t used = 0, start = 0;
  rel[0] = 0;
  for (size_t i = 0; i <= n; i++) {
    if (i < n && shown[i] != L'/' && shown[i] != L'\\') continue;
    if (!add_part(shown + start, i - start, rel, &used, rel_cap, shown)) return 0;
    start = i + 1;
  }
  return 1;
}
