// The unit tests' half of the support; see unit.h.
#include "unit.h"

#include "engine/context.h"
#include "game/disc.h"

DWORD s_now;

DWORD WINAPI fake_ticks(void)
{
    return s_now;
}

void test_init(void)
{
    static int done;
    if (!done)
        context_init();
    done = 1;
}

FakeClock::FakeClock(DWORD start)
{
    s_now = start;
    s_ticks = fake_ticks;
}

FakeClock::~FakeClock()
{
    s_ticks = GetTickCount;
}

static void *put_slot(void **slot, void *to)
{
    DWORD old;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    void *was = *slot;
    *slot = to;
    VirtualProtect(slot, sizeof *slot, old, &old);
    return was;
}

SlotSwap::SlotSwap(void **slot, void *to) : slot_(slot), was_(put_slot(slot, to))
{
}

SlotSwap::~SlotSwap()
{
    put_slot(slot_, was_);
}

std::wstring copy_start(const std::wstring &disc, const std::wstring &install)
{
    make_dir(install);
    copy_cut(s_dir, MAX_PATH, install.c_str());
    PickTexts texts;
    game_check(disc.c_str(), &s_game, &texts);
    s_cancel = 0;
    s_cancel_copy = FALSE;
    s_fail_msg[0] = 0;
    s_fail_adv[0] = 0;
    return s_game.ok ? L"" : texts.note;
}
