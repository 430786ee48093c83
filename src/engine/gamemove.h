// Move texts from the host checked against the game position.
#pragma once
#include "board/types.h"

namespace engine {

// The legal move of the current game position that the coordinate text names,
// or 0 when the text is unreadable or the move is not legal.
board::Move LegalGameMove(const char* text);
void ReleaseGameMoveBoard();

}  // namespace engine
