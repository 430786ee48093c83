// Move generation, stored-move tests and move texts.
#pragma once
#include "board/position.h"

namespace board {

enum GenMode { GenCaptures = 0, GenQuiets = 1, GenAll = 2 };

// Builds the geometry, castling and key tables. Call once at start-up.
void InitBoardTables();
// Derives the castling paths from CastleSquares (run by StartGame).
void BuildCastleTables();

// Appends pseudo-legal moves with ordering scores at the node's list ends,
// terminates each list it fills (score ListEnd) and moves that list's end
// pointer past the terminator. Captures and promotions go to the capture
// list, everything else to the quiet list. With the node's check flag set
// every mode generates all check evasions into both lists and sets both
// generated bits. Castling is generated only when its path is empty.
void GenerateMoves(Tree& tree, NodeRecord* node, int mode, int allPromotions);
// 1 if a stored move can be played here: the right men on its squares and,
// for sliders, pawns and steppers, a geometrically possible, unblocked path.
int MoveFits(Move move, const Tree& tree, uint32_t flags);
// The legal moves of a node (all promotions), at most `capacity` of them;
// returns their number. The node's lists are left as they were.
int LegalMoves(Tree& tree, NodeRecord* node, Move* out, int capacity);
// Legal move paths of the given length from the node.
uint64_t Perft(Tree& tree, NodeRecord* node, int depth);
int GivesNoCheckLine(const uint8_t* boardSquares, int code, int square, int target);
Move ReadMoveText(const char* text, const uint8_t* boardSquares, int side);
int WriteMoveText(char* buffer, Move move);  // returns the length
void WriteLongMoveText(char* buffer, Move move, int leadingBlank);

}  // namespace board
