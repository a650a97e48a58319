// The path rules on any wide text: the browser completion stays inside its
// buffer and keeps what it was given (all of it when the name doesn't fit); the folder test never reads past either
// text; a temporary archive's name gives a process id only in Setup's own form;
// a UTF-8 cut drops at most one character's bytes.
#include "text.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t cap = 1 + data[0] % 64;
    size_t n = (size - 1) / sizeof(wchar_t);
    if (n >= cap)
        n = cap - 1;
    wchar_t *buf = (wchar_t *)malloc(cap * sizeof(wchar_t));
    memcpy(buf, data + 1, n * sizeof(wchar_t));
    buf[n] = 0;
    size_t before = wcslen(buf);
    wchar_t *orig = (wchar_t *)malloc((before + 1) * sizeof(wchar_t));
    memcpy(orig, buf, (before + 1) * sizeof(wchar_t));
    int completed = dest_complete(buf, cap);
    if (wcslen(buf) >= cap || wcsncmp(buf, orig, before) != 0 || (!completed && wcslen(buf) != before))
        abort();
    if (path_inside(buf, orig) && !path_is_or_inside(buf, orig))
        abort();
    path_inside(orig, buf);
    ieq(orig, buf);
    unsigned long pid = leftover_pid(orig);
    if (pid && (before < 23 || !ieqn(orig, L"emberveil_setup_", 16) || !ieq(orig + before - 4, L".zip")))
        abort();
    size_t whole = utf8_whole((const char *)data, size);
    if (whole > size || whole + 3 < size)
        abort();
    free(orig);
    free(buf);
    return 0;
}
