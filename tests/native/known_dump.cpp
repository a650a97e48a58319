// What Setup's parser makes of lists of known good game files, for the
// comparison with the packer's check (tests/pack/known_step.py): per file its
// name, a line "N: why" for each malformed line, then "files F versions V".
#include "game/known.h"
#include <stdio.h>
#include <vector>

static void tell(void *ctx, size_t line, const char *text, size_t n, const char *why)
{
    (void)ctx, (void)text, (void)n;
    printf("%zu: %s\n", line, why);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        FILE *f = fopen(argv[i], "rb");
        if (!f)
            return 2;
        std::vector<unsigned char> bytes;
        for (int c; (c = fgetc(f)) != EOF;)
            bytes.push_back((unsigned char)c);
        fclose(f);
        std::vector<unsigned char> room(known_room(bytes.size()) + 1);
        KnownList list;
        printf("%s\n", argv[i]);
        if (known_parse(bytes.data(), bytes.size(), room.data(), room.size(), &list, tell, NULL))
            printf("files %zu versions %zu\n", list.nfiles, list.nsums);
        else
            printf("too big\n");
    }
    return 0;
}
