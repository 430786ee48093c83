// Stand-ins for symbols whose owners have not landed yet; removed once they have.
#include "board/movegen.h"
#include "board/position.h"

#define WEAK __attribute__((weak))

namespace board {
WEAK void SetStartPosition(GameRecord&) {}
WEAK void PlayGameMove(GameRecord&, Move) {}
WEAK Move ReadMoveText(const char*, const uint8_t*, int) { return 0; }
}  // namespace board

namespace book {
WEAK void LoadLearning() {}
WEAK void ForgetProtectedEntries() {}
}  // namespace book

namespace eval {
WEAK void CalibrationWorkload() {}
}  // namespace eval
