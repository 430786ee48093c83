// Stand-ins for symbols whose owners have not landed yet; removed once they have.
#include <cstdio>

#include "board/makemove.h"
#include "board/position.h"
#include "engine/platform.h"
#include "search/limits.h"

namespace engine {

__attribute__((weak)) void SendLine(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

__attribute__((weak)) void SendInfoString(const char* text) {
    std::printf("info string %s\n", text);
    std::fflush(stdout);
}

}  // namespace engine

namespace search {
__attribute__((weak)) int searchState = Idle;
}

namespace board {
__attribute__((weak)) Tree* MainTree = nullptr;
__attribute__((weak)) uint32_t EnPassantKey[64];
}  // namespace board
