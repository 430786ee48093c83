// Temporary weak stand-ins until the board and platform land: no moves can
// be played, so the book tools replay nothing and the probe answers nothing.
#include <cstring>

#include "board/makemove.h"
#include "board/position.h"
#include "engine/platform.h"

#define WEAK __attribute__((weak))

namespace board {

WEAK void SetStartPosition(GameRecord& game) {
    std::memset(game.board, 0, sizeof game.board);
    game.board[0] = 255;
    game.startSide = 0;
    game.startFlags = 0;
}
WEAK void PlayGameMove(GameRecord&, Move) {}
WEAK void ComputeKey(const uint8_t*, uint32_t key[2]) { key[0] = key[1] = 0; }
WEAK int HalfMoveCount(const Tree&, const NodeRecord*) { return 0; }

}  // namespace board

namespace engine {
WEAK uint32_t RandomNext() {
    static uint32_t state = 2463534242u;
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
}  // namespace engine
