// The install log read back; see support.h.
#include "support.h"

#include <stdlib.h>

std::string log_text(const std::wstring &dir)
{
    return read_file(join(dir, L"logs\\install.log"));
}

static bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// The stamp "[hh:mm:ss] " at p (11 bytes); its seconds since midnight, -1 when not a
// stamp, -2 when shaped like one but not a time of day.
static int stamp_at(const std::string &s, size_t p)
{
    if (p + 11 > s.size() || s[p] != '[' || s[p + 3] != ':' || s[p + 6] != ':' || s[p + 9] != ']' ||
        s[p + 10] != ' ')
        return -1;
    const size_t at[] = {1, 2, 4, 5, 7, 8};
    for (size_t i : at)
        if (!digit(s[p + i]))
            return -1;
    int h = (s[p + 1] - '0') * 10 + s[p + 2] - '0';
    int m = (s[p + 4] - '0') * 10 + s[p + 5] - '0';
    int sec = (s[p + 7] - '0') * 10 + s[p + 8] - '0';
    return h < 24 && m < 60 && sec < 60 ? (h * 60 + m) * 60 + sec : -2;
}

int stamped(const std::string &line)
{
    return stamp_at(line, 0) >= 0;
}

std::vector<std::string> installer_lines(const std::string &log)
{
    std::vector<std::string> out;
    size_t p = 0;
    while ((p = log.find('[', p)) != std::string::npos) {
        int t = stamp_at(log, p);
        if (t == -1) {
            p++;
            continue;
        }
        size_t end = log.find("\r\n", p + 11);
        std::string text = log.substr(p + 11, end == std::string::npos ? std::string::npos : end - p - 11);
        out.push_back(t == -2 ? "BAD STAMP " + text : text);
        if (end == std::string::npos)
            break;
        p = end + 2;
    }
    return out;
}

std::vector<std::string> log_texts(const std::wstring &dir)
{
    std::vector<std::string> texts;
    std::string bytes = log_text(dir);
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find("\r\n", at);
        std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
        int t = stamp_at(line, 0);
        texts.push_back(t >= 0 ? line.substr(11) : t == -2 ? "BAD STAMP " + line.substr(11) : "?" + line);
        at = end == std::string::npos ? bytes.size() : end + 2;
    }
    return texts;
}

bool glob(const char *pattern, const std::string &text)
{
    size_t i = 0;
    for (const char *q = pattern; *q; q++) {
        if (*q == '~') {
            size_t start = i;
            while (i < text.size() && digit(text[i]))
                i++;
            if (i == start)
                return false;
        } else if (*q == '#') {
            if (i >= text.size() || !digit(text[i]))
                return false;
            i++;
        } else if (i < text.size() && text[i] == *q) {
            i++;
        } else {
            return false;
        }
    }
    return i == text.size();
}

bool wait_log(const std::wstring &dir, const std::string &needle, DWORD timeout_ms)
{
    return wait_until([&] { return log_text(dir).find(needle) != std::string::npos; }, timeout_ms);
}

DWORD number_after(const std::string &log, const std::string &prefix)
{
    size_t p = log.find(prefix);
    if (p == std::string::npos)
        return 0;
    return (DWORD)strtoul(log.c_str() + p + prefix.size(), NULL, 10);
}
