// The think controller: one whole search for `go`.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "search/limits.h"

namespace search {

// Returns the move to play (0 = none) and leaves the ponder move.
board::Move Think(board::Tree& tree);
extern board::Move ponderMove;

// `ponderhit`: the ponder search goes on as a timed one, or stops when its
// answer is already due.
void PonderHit();

void ComputeTimeBudget();
void HardMaxAfterScoreChange(int delta);

// Controller state of the running search, reset by every Think.
struct ThinkState {
    int scoreHistory[100];   // root score per completed iteration depth
    int previousScore;       // root score of the last iteration (root evaluation before the first)
    int lastChangeDepth;     // last iteration whose best move changed
    int bestChanged;         // the best move changed during the current iteration
    int easyCandidate;
    int easyHalvings;
    int32_t pendingTime;     // time taken away by the easy-move rule, given back on trouble
    int easyShare;           // percent of all nodes the first move must take
    uint64_t firstMoveNodes; // nodes of the first root move over all iterations
    int rootDbValue;         // root database answer, board::NoAnswer when none
    int unstable;
    int shortTime;           // target below 3001 ms
    int restricted;          // a searchmoves list restricts the root
    int trouble;             // trouble level of the current iteration
};
extern ThinkState think;

// Clock modes: the clock decides the time and the time adjustments apply.
inline bool ClockMode() { return limits.clockMode != 0; }
// Between iterations: too little of the planned time is left for another one.
bool IterationTimeUsedUp(int64_t elapsed, int64_t planned, bool bestChanged, bool ponder);
// Adds to the extension without overflowing.
void AddExtension(int64_t ms);
// Gives the time the easy-move rule took away back to the budget.
void ReturnPendingTime();

}  // namespace search
