// Stand-ins for symbols whose owners have not landed yet; removed once they have.
#include "board/makemove.h"
#include "board/position.h"

namespace board {
__attribute__((weak)) Tree* MainTree = nullptr;
__attribute__((weak)) uint32_t EnPassantKey[64];
}  // namespace board
