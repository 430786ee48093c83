// Every `info` line the search sends to the host: the search publishes its
// results in its own record and calls these through the hooks installed here.
#pragma once
#include <cstdint>

#include "board/position.h"

namespace engine {

// Installs the reporter hooks into the search.
void InstallReporter();

void ReportPvLine(const board::Tree& tree, int depth, int32_t timeMs, int score, int bound);
void ReportMultiPv(board::Move rootMove, int depth, int lines);
void ClearMultiPvTexts();
void ReportCurrentMove(int depth, int moveNumber, board::Move move);
void ReportNodes(const board::Tree& tree);
void ReportCurrentLine(const board::Tree& tree, const board::NodeRecord* node);
void ReportRefutation(board::Move move, const board::Move* refutation, int count);
void ReportStatistics(const board::Tree& tree, int32_t searchStart);
void ReportPeriodic(const board::Tree& tree, int32_t elapsed);
int HashUsage();
// Ply records of the tree that hold a move, at least `depth`, at most 99.
int SelectiveDepth(const board::Tree& tree, int depth);
// The score field of a PV line ("mate 3 ", "cp -25 ", ...).
int FormatScore(char* buffer, int size, int score);

}  // namespace engine
