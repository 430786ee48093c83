// Search globals set by the think controller and the evaluation set-up before
// each search and read by the tree search.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "eval/eval.h"

namespace search {

struct SearchGlobals {
    int iterationDepth = 0;
    int extensionHorizon = 99;
    int nullMoveSwitch = 1;
    int nullMovePlyRule = 0;
    int nullMoveMinPly = 0;
    int checkExtPlyLimit = 99;
    int fewPiecesFlag = 0;
    int rootBalance = 0;
    int contempt[2] = {0, 0};
    int drawShift = 7;
    int endgameClass = 0;
    int hashCutoffsOff = 0;
    int mayStopAtTarget = 1;
    int doubleExtra = 0;
    int firstRootMoveActive = 0;
    int singleMove = 0;
    int answerFinal = 0;  // the controller has marked its answer as final
    int32_t searchStart = 0;
    uint64_t nextPollNodes = 0;
    int bitbasePieceLimit = 0, tablebasePieceLimit = 0, quiesceBitbaseLimit = 0;
    int bitbasePlyMargin = -99, tablebasePlyMargin = 0;
    int tbTimeShare = 30;
    int32_t tbTime = 0;
    uint32_t tbHits = 0;
    int nullNesting = 0;
    int internalNesting = 0;
    int zeroScore = 0;  // report every score as 0
    int noPoll = 0;     // a board that never reads the clock or the input
};
extern SearchGlobals sg;

// Takes the switches the evaluation set-up derived from the root.
void ApplySearchSwitches(const eval::SearchSwitches& switches);
// The search root of the game position with the evaluation's tables built
// from it and their switches taken.
board::NodeRecord* SetUpRoot(board::Tree& tree, const board::GameRecord& game);

}  // namespace search
