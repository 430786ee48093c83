// Every `info` line the search sends to the host.
#pragma once
#include <cstdint>

#include "board/position.h"

namespace engine {

constexpr int PvLength = 30;
extern board::Move PvMoves[PvLength];  // [0] root move, [1] ponder move, 0-terminated
extern int WhiteViewScore;             // score of the last PV line from white's view

constexpr int EndOfIterationCall = 999;
constexpr int FinalCall = 998;

void ReportPvLine(board::Tree& tree, board::Move rootMove, int depth, int kind, int32_t timeMs,
                  int score, int expected, int bound);
void ReportMultiPv(board::Move rootMove, int score, int bound, int depth, int spare, int lines);
void ReportCurrentMove(int depth, int moveNumber, board::Move move);
void ReportNodes();
void ReportCurrentLine(board::Tree& tree, board::NodeRecord* node);
void ReportRefutation(board::Tree& tree, board::NodeRecord* root, board::Move move);
void ReportStatistics(board::Tree& tree, int32_t searchStart);
void ReportPeriodic(board::Tree& tree, int32_t elapsed);
int HashUsage();
// Sets up the MultiPV records for a new search, in root-list order.
void ResetMultiPv(const board::Move* rootMoves, int count);

// The MultiPV records in their current order (index 0 = best line).
board::Move MultiPvMove(int index);
int MultiPvScore(int index);
// Ply records of the tree that hold a move, at least `depth`, at most 99.
int SelectiveDepth(const board::Tree& tree, int depth);
// The score field of a PV line ("mate 3 ", "cp -25 ", ...).
int FormatScore(char* buffer, int size, int score);

}  // namespace engine
