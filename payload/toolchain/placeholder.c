// Stands in for one build tool of the real toolchain in the demo payload
// (built once per tool with EV_TOOL set to its name). It names itself and
// exits 0. With "--demo-spin" it keeps printing a line with its process id
// every 200 ms, so that tests have a tool that runs until something ends it;
// it gives up after two minutes, or as soon as nobody reads its output.
#include <windows.h>

#define EV_STR2(x) #x
#define EV_STR(x) EV_STR2(x)
#define EV_TOOL_NAME EV_STR(EV_TOOL)

// Writes text to standard output; 1 when all of it was written.
static int say(const char *text)
{
    DWORD n = 0;
    DWORD len = (DWORD)lstrlenA(text);
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, len, &n, NULL) && n == len;
}

// Prints a line every 200 ms until the output is gone or two minutes have passed.
static int spin(void)
{
    char line[128];
    for (int tick = 1; tick <= 600; tick++)
    {
        wsprintfA(line, "demo placeholder for %s: still running, pid %lu, tick %d\r\n", EV_TOOL_NAME,
                  GetCurrentProcessId(), tick);
        if (!say(line))
            return 1;
        Sleep(200);
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc > 1 && lstrcmpA(argv[1], "--demo-spin") == 0)
        return spin();
    say("demo placeholder for " EV_TOOL_NAME "\r\n");
    return 0;
}
