// The think controller: one whole search for `go`.
#pragma once
#include "board/position.h"

namespace search {

// Returns the move to play (0 = none) and leaves the ponder move.
board::Move Think(board::Tree& tree);
extern board::Move ponderMove;

void ComputeTimeBudget();
void HardMaxAfterScoreChange(int delta);

}  // namespace search
