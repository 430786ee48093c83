// Main alpha-beta search, quiescence search and the move pickers.
#pragma once
#include "board/position.h"

namespace search {

int Search(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int depth,
           int nullAllowed, int threatExtensions, int nodeType);
int Quiesce(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int qdepth);

board::Move NextMove(board::Tree& tree, board::NodeRecord* node);
board::Move NextQuiesceMove(board::Tree& tree, board::NodeRecord* node, int qdepth);
void ResetMovePicker(board::NodeRecord* node);

}  // namespace search
