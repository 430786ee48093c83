#include "search/limits.h"

#include <climits>

#include "core/platform.h"

namespace search {

Limits limits;
PollSchedule pollSchedule;
board::Move searchMoves[MaxSearchMoves + 1];
int searchState = Idle;
volatile int stopFlag = 0;

namespace {
constexpr int32_t ShortClock = 5000;     // below this the safety limit applies
constexpr int32_t MoveOverhead = 20;     // pipe, process and host latency per move
constexpr int64_t SafetyPollInterval = 1000;
}  // namespace

void ApplyClockSafety(int32_t remaining) {
    limits.safetyMax = 0;
    if (remaining >= ShortClock) return;
    int64_t cap = (int64_t(remaining) - MoveOverhead) * 2 / 5;
    if (cap < 1) cap = 1;
    limits.safetyMax = int32_t(cap);
    if (limits.hardMax > cap) limits.hardMax = int32_t(cap);
    // Without a coming time control the plan must also leave room for the
    // moves after this one.
    bool controlAhead = limits.levelMode == 2 && limits.movesToGo > 0;
    if (!controlAhead && limits.target > cap / 2) limits.target = int32_t(cap / 2 > 0 ? cap / 2 : 1);
    if (limits.target > cap) limits.target = int32_t(cap);
    if (limits.extra > limits.target) limits.extra = limits.target;
    // Look at the clock often enough to keep the limit.
    if (search::pollSchedule.pollIntervalFast > SafetyPollInterval)
        search::pollSchedule.pollIntervalFast = SafetyPollInterval;
}

bool PastSafetyLimit(int32_t elapsed) {
    return limits.clockMode && limits.safetyMax > 0 && searchState == Searching &&
           elapsed >= limits.safetyMax;
}

void SetLevel(int mode, int32_t value) {
    limits.safetyMax = 0;
    limits.levelMode = mode;
    switch (mode) {
        case 0:
            limits.target = value;
            limits.extra = value;
            limits.hardMax = value;
            limits.depthLimit = 99;
            limits.extension = 0;
            limits.extensionTotal = 0;
            limits.clockMode = 0;
            break;
        case 1:
            limits.target = INT_MAX;
            limits.extra = INT_MAX;
            limits.hardMax = INT_MAX;
            limits.extension = 0;
            limits.extensionTotal = 0;
            limits.depthLimit = value;
            limits.clockMode = 0;
            break;
        case 2:
        case 3:
            limits.target = 0;
            limits.extra = 0;
            limits.depthLimit = 99;
            limits.clockMode = 1;
            break;
        default:
            core::SendInfoString("illegal level!");
            break;
    }
}

}  // namespace search
