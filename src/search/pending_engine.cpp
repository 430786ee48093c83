// Temporary stand-ins until the engine layer and the search state land.
#include <ctime>

#include "engine/platform.h"
#include "engine/report.h"
#include "search/limits.h"

namespace engine {

__attribute__((weak)) ShellState shell;
__attribute__((weak)) int InputPending() { return 0; }
__attribute__((weak)) void SleepMs(int ms) {
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}
__attribute__((weak)) int32_t Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int32_t(int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}
__attribute__((weak)) uint32_t RandomNext() {
    static uint32_t state = 2463534242u;
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
__attribute__((weak)) void ReadAndDispatch() {}
__attribute__((weak)) void ReportCurrentLine(board::Tree&, board::NodeRecord*) {}
__attribute__((weak)) void ReportPeriodic(board::Tree&, int32_t) {}

}  // namespace engine

namespace search {

__attribute__((weak)) Limits limits;
__attribute__((weak)) int searchState = 0;
__attribute__((weak)) volatile int stopFlag = 0;

}  // namespace search
