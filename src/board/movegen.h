// Move generation, stored-move tests and move texts.
#pragma once
#include "board/position.h"

namespace board {

enum GenMode { GenCaptures = 0, GenQuiets = 1, GenAll = 2 };

// Builds the geometry, castling and key tables. Call once at start-up.
void InitBoardTables();
// Derives the castling paths from CastleSquares (run by StartGame).
void BuildCastleTables();

void GenerateMoves(Tree& tree, NodeRecord* node, int mode, int allPromotions);
int MoveFits(Move move, const Tree& tree, uint32_t flags);
int GivesNoCheckLine(const uint8_t* boardSquares, int code, int square, int target);
Move ReadMoveText(const char* text, const uint8_t* boardSquares, int side);
int WriteMoveText(char* buffer, Move move);  // returns the length
void WriteLongMoveText(char* buffer, Move move, int leadingBlank);

}  // namespace board
