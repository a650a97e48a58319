// discgen.exe: makes a synthetic disc for the demo and the benchmarks.
//   discgen.exe DIR [/region N] [/omit N] [/video 25|30|both|none] [/bytes TOTAL] [/files N]
//               [/image FILE [/layout game|whole]]
// /omit takes a table index (0 = Driving.xbe) and may be given more than once;
// /bytes takes a count with an optional K, M or G suffix (powers of 1024).
// /image also writes a disc image of the disc into FILE: the game partition
// alone (game, the default) or a whole disc (whole).
// Exit code 0 when the disc was made, 1 when writing failed, 2 on a bad command line.
#include "disc.h"
#include "discimage.h"

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

// Reads a number, decimal or 0x hex, with an optional K/M/G suffix; 1/0.
static int number(const wchar_t *s, uint64_t *out)
{
    wchar_t *end = NULL;
    uint64_t v = wcstoull(s, &end, 0);
    if (end == s)
        return 0;
    if (*end == L'K' || *end == L'k')
        v <<= 10, end++;
    else if (*end == L'M' || *end == L'm')
        v <<= 20, end++;
    else if (*end == L'G' || *end == L'g')
        v <<= 30, end++;
    if (*end)
        return 0;
    *out = v;
    return 1;
}

// Maps a /video word to its DISC_VIDEO_ value; -1 when unknown.
static int video_kind(const wchar_t *s)
{
    if (!wcscmp(s, L"25"))
        return DISC_VIDEO_25;
    if (!wcscmp(s, L"30"))
        return DISC_VIDEO_30;
    if (!_wcsicmp(s, L"both"))
        return DISC_VIDEO_BOTH;
    if (!_wcsicmp(s, L"none"))
        return DISC_VIDEO_NONE;
    return -1;
}

// What the command line asks for beside the disc itself.
struct Asked {
    uint64_t bytes;
    const wchar_t *image;
    int whole;
};

// Applies one option with its value to plan; 1/0.
static int option(DiscPlan *plan, const wchar_t *name, const wchar_t *val, Asked *asked)
{
    uint64_t v = 0;
    if (!_wcsicmp(name, L"/image")) {
        asked->image = val;
        return 1;
    }
    if (!_wcsicmp(name, L"/layout")) {
        asked->whole = !_wcsicmp(val, L"whole");
        return asked->whole || !_wcsicmp(val, L"game");
    }
    if (!_wcsicmp(name, L"/video")) {
        plan->video = video_kind(val);
        return plan->video >= 0;
    }
    if (!number(val, &v))
        return 0;
    if (!_wcsicmp(name, L"/region"))
        plan->region = (uint32_t)v;
    else if (!_wcsicmp(name, L"/omit") && v < DISC_NFILES)
        disc_omit(plan, (int)v);
    else if (!_wcsicmp(name, L"/bytes"))
        asked->bytes = v;
    else if (!_wcsicmp(name, L"/files") && v <= 10000000)
        plan->extra_files = (int)v;
    else
        return 0;
    return 1;
}

static int usage(void)
{
    fwprintf(stderr, L"usage: discgen DIR [/region N] [/omit N] [/video 25|30|both|none]"
                     L" [/bytes TOTAL] [/files N] [/image FILE [/layout game|whole]]\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    DiscPlan plan;
    Asked asked = {0, NULL, 0};
    disc_default(&plan);
    if (argc < 2 || argv[1][0] == L'/')
        return usage();
    for (int i = 2; i < argc; i += 2)
        if (i + 1 >= argc || !option(&plan, argv[i], argv[i + 1], &asked))
            return usage();
    if (asked.bytes)
        disc_fill(&plan, asked.bytes);
    if (!disc_make(argv[1], &plan)) {
        fwprintf(stderr, L"discgen: could not make %ls\n", argv[1]);
        return 1;
    }
    wprintf(L"discgen: %ls, %llu bytes\n", argv[1], (unsigned long long)disc_total(&plan));
    if (asked.image) {
        if (!image_make(argv[1], asked.image, asked.whole != 0)) {
            fwprintf(stderr, L"discgen: could not write the image %ls\n", asked.image);
            return 1;
        }
        wprintf(L"discgen: image %ls (%ls)\n", asked.image, asked.whole ? L"whole disc" : L"game partition");
    }
    return 0;
}
