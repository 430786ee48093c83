// Search limits written by `go` and the search state shared between the
// interpreter and the think controller.
#pragma once
#include <cstdint>

#include "board/types.h"

namespace search {

struct Limits {
    int32_t levelMode = 1;  // 0 fixed time, 1 fixed depth, 2 clock with moves to go, 3 sudden death
    int32_t target = 0;     // planned time for this move
    int32_t extra = 0;      // second allowance, a copy of target
    int32_t extension = 0;
    int32_t extensionTotal = 0;
    int32_t hardMax = 0;
    int32_t depthLimit = 3;
    int32_t movesToGo = 0, clockTime = 0, clockInc = 0;  // mode 2
    int32_t suddenTime = 0, suddenInc = 0, suddenTime2 = 0;  // mode 3
    int32_t clockMode = 0;
    int32_t nodeLimit = 0;
    int32_t infinite = 0;
    // Hard limit from what is really left on a short clock (0 = none): the
    // time formulas keep a one-second reserve and floors that would flag with
    // less than that on the clock. Tested at every iteration.
    int32_t safetyMax = 0;  // go infinite or go mate: no book, no time rules
    int32_t sideAtGo = 0;
};
extern Limits limits;

// Nodes between clock and input checks, from the start-up speed measure.
struct PollSchedule {
    int32_t calibration = 0;
    int64_t pollIntervalSlow = 0;  // 25 x calibration
    int64_t pollIntervalFast = 0;  // a quarter of it
};
extern PollSchedule pollSchedule;


constexpr int MaxSearchMoves = 239;
extern board::Move searchMoves[MaxSearchMoves + 1];  // 0-terminated; empty = all

enum SearchStateValue { Idle = 0, Searching = 1, Pondering = 2 };
extern int searchState;
extern volatile int stopFlag;

// Fills the limits record for a level mode (see `go`).
void SetLevel(int mode, int32_t value);
// Caps hardMax and target by the clock's real remaining time (clock modes).
void ApplyClockSafety(int32_t remaining);
// True when a short clock's safety limit has passed (searching on own clock).
bool PastSafetyLimit(int32_t elapsed);

}  // namespace search
