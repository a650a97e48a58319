#include "stages.h"
#include "match.h"
#include "../engine/runner.h"

#define LIFT_LO 0.18
#define LIFT_HI 0.60

struct LiftRow {
    double at, next; // where the tool's stretch begins and ends, as fractions of the stage
    DWORD ms;        // what the tool takes on an average PC
    const wchar_t *text;
};

// In the order the script runs the main executable's tools (names in match.cpp).
static const LiftRow k_lift[LIFT_TOOLS] = {
    {0.00, 0.01, 3000, L"Reading the game's program files"},
    {0.01, 0.62, 120000, L"Finding every function in the game's code"},
    {0.62, 0.63, 3000, L"Recognising library code"},
    {0.63, 0.64, 3000, L"Working out how the functions call each other"},
    {0.64, 1.00, 70000, L"Writing the game's code as C"},
};

static const wchar_t *const SEE_LOG = L"The details are in logs\\install.log in the install folder.";

void lift_line(const char *line)
{
    int row = lift_match(line);
    if (row == LIFT_SKIP) {
        seg(LIFT_LO + (LIFT_HI - LIFT_LO) * 0.99, LIFT_HI, 1000, NULL, L"The game's code is already translated");
    } else if (row != LIFT_NONE) {
        const LiftRow *r = &k_lift[row];
        seg(LIFT_LO + (LIFT_HI - LIFT_LO) * r->at, LIFT_LO + (LIFT_HI - LIFT_LO) * r->next, r->ms, NULL, r->text);
    }
}

int stage_lift(void)
{
    seg(LIFT_LO, LIFT_LO + 0.005, 3000, L"Step 3 of 5: Translating the game's code", L"Starting");
    wchar_t cmd[2 * MAX_PATH];
    ps_command(cmd, 2 * MAX_PATH, L"scripts\\recompile.ps1");
    if (run(cmd, s_dir, lift_line) != 0)
        return fail(L"The game's code couldn't be translated.", SEE_LOG);
    return R_OK;
}
