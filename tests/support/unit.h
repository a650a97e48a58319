// What the unit tests of the product's own functions add to support.h: the
// install context's lock, a clock the tests turn by hand, and the program's
// import slots, through which the linked-in product calls the platform.
#pragma once

#include "support.h"

// Once per process: the install context's lock (seg, detail and seg_frac take it).
void test_init(void);

// The copy step's start as an accepted pick and the folder checks leave it:
// the install folder made and in s_dir, the game at disc (a disc folder, a
// file of it, or an image) picked into s_game, no cancel pending and no
// failure kept. "" then, else the note of the refused pick.
std::wstring copy_start(const std::wstring &disc, const std::wstring &install);

// The fake clock: s_ticks reads s_now while a FakeClock lives, and the real
// clock again afterwards.
extern DWORD s_now;
DWORD WINAPI fake_ticks(void);
class FakeClock {
public:
    explicit FakeClock(DWORD start);
    ~FakeClock();
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;
};

// The import slot (a linker's __imp_X) holding to while the object lives: the
// product's calls of that platform function come to the test instead.
class SlotSwap {
public:
    SlotSwap(void **slot, void *to);
    ~SlotSwap();
    // The function the slot held before: the real one.
    void *was() const { return was_; }
    SlotSwap(const SlotSwap &) = delete;
    SlotSwap &operator=(const SlotSwap &) = delete;

private:
    void **slot_;
    void *was_;
};
