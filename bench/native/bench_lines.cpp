// GB per second of lines_feed over output held in memory, in 4096-byte chunks
// as the tool runner reads them, against a memchr scan for the line ends of
// the same bytes in the same chunks: the least work that finds every line.
//   bench_lines [MiB]     (default 256)
#include "engine/lines.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static long long s_lines;

static void count_line(const char *line)
{
    if (line[0])
        s_lines++;
}

static double secs_now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// size bytes of len-byte lines, each ended by CR LF.
static std::vector<char> output(size_t size, size_t len)
{
    std::vector<char> out(size);
    for (size_t i = 0; i < size; i++) {
        size_t at = i % (len + 2);
        out[i] = at == len ? '\r' : at == len + 1 ? '\n' : (char)('a' + at % 26);
    }
    return out;
}

static long long cut(const std::vector<char> &bytes)
{
    LineCut c;
    c.len = 0;
    s_lines = 0;
    for (size_t at = 0; at < bytes.size(); at += 4096) {
        size_t n = bytes.size() - at < 4096 ? bytes.size() - at : 4096;
        lines_feed(&c, bytes.data() + at, n, count_line);
    }
    lines_end(&c, count_line);
    return s_lines;
}

static long long scan(const std::vector<char> &bytes)
{
    long long n = 0;
    for (size_t at = 0; at < bytes.size(); at += 4096) {
        size_t left = bytes.size() - at < 4096 ? bytes.size() - at : 4096;
        const char *p = bytes.data() + at, *end = p + left;
        while ((p = (const char *)memchr(p, '\n', (size_t)(end - p))) != nullptr) {
            n++;
            p++;
        }
    }
    return n;
}

// The best of five runs, in seconds; the count of the last.
static double best(long long (*fn)(const std::vector<char> &), const std::vector<char> &bytes, long long *count)
{
    double least = 1e9;
    for (int i = 0; i < 5; i++) {
        double t0 = secs_now();
        *count = fn(bytes);
        double t = secs_now() - t0;
        if (t < least)
            least = t;
    }
    return least;
}

int main(int argc, char **argv)
{
    size_t mib = argc > 1 ? (size_t)strtoul(argv[1], nullptr, 10) : 256;
    const size_t lens[2] = {40, 1500};
    int bad = 0;
    for (size_t len : lens) {
        std::vector<char> bytes = output(mib << 20, len);
        long long ours = 0, lfs = 0;
        double a = best(cut, bytes, &ours), b = best(scan, bytes, &lfs);
        double gb = (double)bytes.size() / 1e9;
        printf("  %zu-byte lines: lines_feed %.3f s (%lld lines), memchr scan %.3f s (%lld line ends)\n", len, a,
               ours, b, lfs);
        if (ours != lfs + (bytes.size() % (len + 2) ? 1 : 0)) {
            printf("bench_lines: %lld lines cut, %lld line ends found\n", ours, lfs);
            bad = 1;
        }
        printf("ROW|line cutting alone, native, %zu-byte lines (GB/s)|%.2f|%.2f|%.3f|(info)|-\n", len, gb / a, gb / b,
               b / a);
    }
    return bad;
}
