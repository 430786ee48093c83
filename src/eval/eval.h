// Static evaluation and the per-search weight tables.
#pragma once
#include <cstdint>

#include "board/position.h"

namespace eval {

void InitEvalTables();  // once at start-up: fixed tables, king-and-pawn table
// Per search, from the root: stage, piece-square table, passed-pawn tables,
// side term, settings signature and the search switches.
void BuildEvalTables(board::Tree& tree, board::NodeRecord* root);
int Evaluate(board::Tree& tree, board::NodeRecord* node, int alpha, int beta, int depth);

extern int RootStage;                       // 1, 2 or 4, plus 0x10 / 0x20 / 0x40
extern uint8_t EndgameAfterCaptures[256];
extern uint32_t SettingsSignature[2];

int CombineScale(int a, int b);
int KpkResult(int side, int pawnSide, int attackingKing, int defendingKing, int pawnSquare);

// A fixed, repeatable piece of table building used by the speed calibration.
void CalibrationWorkload();

}  // namespace eval
