// Static evaluation and the per-search weight tables.
#pragma once
#include <cstdint>

#include "board/position.h"

namespace eval {

void InitEvalTables();  // once at start-up: fixed tables, king-and-pawn table
// What the root's material tells the search about its own rules.
struct SearchSwitches {
    int nullMoveSwitch = 1;
    int nullMovePlyRule = 0;
    int fewPiecesFlag = 0;
    int checkExtPlyLimit = 99;
    int endgameClass = 0;
};

// Per search, from the root: stage, piece-square table, passed-pawn tables,
// side term and settings signature; returns the search switches.
SearchSwitches BuildEvalTables(board::Tree& tree);
// The search board's root for the game position, with the per-search tables
// built from it and its square score; the search switches go to `switches`
// when given.
board::NodeRecord* SetUpRoot(board::Tree& tree, const board::GameRecord& game,
                             SearchSwitches* switches = nullptr);

// The largest positional part seen per side to move since the search set it
// (the search's futility margin).
extern int OptimisticMargin[2];
int Evaluate(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int depth);

extern int RootStage;                       // 1, 2 or 4, plus 0x10 / 0x20 / 0x40
extern uint8_t EndgameAfterCaptures[256];
extern uint32_t SettingsSignature[2];

int CombineScale(int a, int b);
int KpkResult(int side, int pawnSide, int attackingKing, int defendingKing, int pawnSquare);

// A fixed, repeatable piece of table building used by the speed calibration.
void CalibrationWorkload();

}  // namespace eval
