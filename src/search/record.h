// The search's own record of its results (the principal variation with the
// ponder move, the MultiPV lines and their ranking) and the hooks through
// which the layers above hear of them. The search never formats a line for
// the host: the engine installs the reporter and formats what it reads here.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "search/tt.h"

namespace search {

constexpr int PvLength = 30;
extern board::Move pvMoves[PvLength];  // [0] root move, [1] ponder move, 0-terminated
extern int whiteViewScore;             // score of the last PV line from white's view

// The kind of a PV line: the root move's number (1, 2, ...) or the answer's
// line after the search.
constexpr int FinalCall = 998;

// One MultiPV line: its root move's newest result and the start of its PV.
constexpr int MultiPvMoves = 8;
struct MultiPvLine {
    board::Move move;
    int score;
    int bound;  // 0 exact, 1 upper, 2 lower
    int depth;
    int spare;
    board::Move pv[MultiPvMoves + 1];
    int slot;  // the line's place in the root-list order at the reset; travels with the line
};

// Sets up the lines for a new search, in root-list order.
void ResetMultiPv(const board::Move* rootMoves, int count);
// The lines in their current ranking (index 0 = best line).
int MultiPvCount();
const MultiPvLine& MultiPvAt(int index);
board::Move MultiPvMove(int index);
int MultiPvScore(int index);

// Position learning keeps the newest exact or lower-bound root result; the
// end of an iteration counts as exact.
void NoteRootResult(int depth, int score, int bound, bool iterationEnd, board::Move move);
// A new result of a root move: learning hears of it, and a line that goes to
// the host renews the principal variation before the reporter formats it.
void PublishPvLine(board::Tree& tree, board::Move rootMove, int depth, int kind, int32_t timeMs,
                   int score, int expected, int bound);
// Files the newest line of a root move into the MultiPV ranking and reports
// the ranked lines.
void PublishMultiPv(board::Move rootMove, int score, int bound, int depth, int spare, int lines);
// Reports the hash moves that refute a root move.
void PublishRefutation(board::Tree& tree, board::NodeRecord* root, board::Move move);
// The reporter's other calls; each is silent while its hook is absent.
void ReportCurrentMove(int depth, int moveNumber, board::Move move);
void ReportNodes(const board::Tree& tree);
void ReportCurrentLine(const board::Tree& tree, const board::NodeRecord* node);
void ReportStatistics(const board::Tree& tree, int32_t searchStart);
void ReportPeriodic(const board::Tree& tree, int32_t elapsed);

// Output hooks, installed by the engine; a null member stays silent.
struct Reporter {
    // A new principal variation (pvMoves) of this depth, score and bound.
    void (*pvLine)(const board::Tree& tree, int depth, int32_t timeMs, int score, int bound);
    // The MultiPV ranking changed after a line of this root move.
    void (*multiPv)(board::Move rootMove, int depth, int lines);
    // The MultiPV lines were set up afresh.
    void (*multiPvReset)();
    void (*currentMove)(int depth, int moveNumber, board::Move move);
    void (*nodes)(const board::Tree& tree);
    void (*currentLine)(const board::Tree& tree, const board::NodeRecord* node);
    void (*refutation)(board::Move move, const board::Move* line, int count);
    void (*statistics)(const board::Tree& tree, int32_t searchStart);
    void (*periodic)(const board::Tree& tree, int32_t elapsed);
};
extern Reporter reporter;

// Opening knowledge and learning, which live above the search; installed by
// the engine at start-up. Null members mean the knowledge is absent.
struct KnowledgeHooks {
    board::Move (*bookMove)(const board::Tree& tree, const board::NodeRecord* root,
                            const board::Move* legal, int count, int infiniteSearch);
    int (*adviceAllowed)(const board::Tree& tree, const board::NodeRecord* root);
    int (*applyAdvice)(const board::NodeRecord* root, const board::Move* moves, int count,
                       int16_t* bonus, uint8_t* time);
    int (*seedFromFile)(board::Tree& tree, board::NodeRecord* root);
    int (*learnAfterSearch)(board::Tree& tree, board::NodeRecord* root, board::Move best,
                            board::Move reply);
    void (*noteRootResult)(int depth, int score, int kind, board::Move move);
    void (*restoreProtected)();
    void (*forgetProtected)();
    void (*protect)(SearchEntry* slot, const SearchEntry& image);
    void (*refreshProtected)();
};
extern KnowledgeHooks knowledge;

}  // namespace search
