// Make and unmake on the Tree, keys, repetition primitives and root set-up.
#pragma once
#include "board/position.h"

namespace board {

// Plays parent->currentMove; returns the child record or nullptr if illegal.
NodeRecord* MakeMove(Tree& tree, NodeRecord* parent);
void UnmakeMove(Tree& tree, NodeRecord* parent);
// Moves one man on the tree (with its capture and promotion), updating board,
// lists, attack tables and the given keys. Returns the number of enemy
// attackers of the mover's king afterwards (nonzero: the move was illegal).
int DoMove(Tree& tree, Move move, uint32_t key[2], uint32_t pawnKey[2]);
void UndoMove(Tree& tree, Move move);

void ComputeKey(const uint8_t* boardSquares, uint32_t key[2]);
void ComputePawnKey(const uint8_t* boardSquares, uint32_t key[2]);
int SquareScore(const Tree& tree, int side);
// Prepares the node array of a search from the game record. Returns the root.
// The evaluation completes it with its tables and the square score.
NodeRecord* SetUpSearchNodes(Tree& tree, const GameRecord& game);

// Piece-square table, 16 codes x 65 squares; filled by the evaluation set-up.
extern int32_t PieceSquare[16][65];
// Added to white's square score and subtracted from black's.
extern int32_t SideTerm;
// Zobrist tables, index code * 65 + square; entries for square 0 are 0.
extern uint32_t ZobristA[16 * 65];
extern uint32_t ZobristB[16 * 65];
// Random words by en-passant square (entry 0 is 0), used by the hash index.
extern uint32_t EnPassantKey[64];

// Repetition primitives on the current node (the newest key-history entry).
// Repetition: 1 if the node's position occurred 4, 6, ... plies back since its reset point.
int RepeatsOnce(const Tree& tree, const NodeRecord* node);
int OccurrencesSinceReset(const Tree& tree, const NodeRecord* node);
int HalfMoveCount(const Tree& tree, const NodeRecord* node);

}  // namespace board
