// The root move list, one iteration of the root search (single line and
// MultiPV), the principal variation read back from the hash and the root store.
#pragma once
#include <cstddef>
#include <cstdint>

#include "board/position.h"
#include "search/tt.h"

namespace search {

struct RootMove {
    board::Move move;
    int64_t orderKey;     // built from the child's evaluation, then raised by nodes searched
    int16_t adviceBonus;  // added to non-mate scores while opening advice is on
    uint8_t timePercent;  // scales the time budget while this move is best; 0 counts as 100
};

constexpr int MaxRootMoves = 221;
constexpr int64_t RootListEnd = 2147483647;
// Ended by a record with move 0 and order key RootListEnd.
extern RootMove rootMoves[MaxRootMoves + 1];
extern int rootMoveCount;

// The hash entry that supplied each principal-variation move.
struct SavedPvEntry {
    SearchEntry* slot;  // tier-1 slot, null when none
    SearchEntry entry;  // its contents when read
};
constexpr int PvPlyLimit = 27;
extern SavedPvEntry savedPvEntries[30];

// Generates, tests and scores the legal root moves. Returns their number.
int BuildRootMoves(board::Tree& tree, board::NodeRecord* root);
// Keeps only the listed moves that are root moves; returns the new count.
int RestrictRootMoves(const board::Move* listed);
// Bubble sort that keeps the best move first and orders the rest by key.
void SortRootMoves(board::Move best);
RootMove* FindRootMove(board::Move move);
// Time percentage of a move while it is best (100 when it has none).
int TimePercentOf(board::Move move);

// One iteration; leaves the best move and score in the root record. The
// score is left untouched when the iteration was stopped before it had one.
void SearchRootIteration(board::Tree& tree, int depth, int alpha, int beta);

// Follows the principal variation through the hash from the move in
// node->currentMove; `expected` is that move's score from node's side. Each
// move found is stored in pvMoves.
void ExtractPv(board::Tree& tree, board::NodeRecord* node, int expected);
void ClearSavedPv();
void RestoreSavedPv();

// After a completed iteration: history reward and the root hash store.
void RewardBestMove(board::Tree& tree, int depth);
void StoreRoot(board::Tree& tree, int depth);

}  // namespace search
