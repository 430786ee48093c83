#include "search/limits.h"

#include <climits>

#include "engine/platform.h"

namespace search {

Limits limits;
board::Move searchMoves[MaxSearchMoves + 1];
int searchState = Idle;
volatile int stopFlag = 0;

void SetLevel(int mode, int32_t value) {
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
            engine::SendInfoString("illegal level!");
            break;
    }
}

}  // namespace search
