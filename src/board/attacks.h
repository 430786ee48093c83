// Attack tables, check and the exchange estimate.
#pragma once
#include "board/position.h"

namespace board {

void AddAttacks(AttackEntry* table, int square, int code, Tree& tree);
void RemoveAttacks(AttackEntry* table, int square, int code, Tree& tree);
inline int IsAttacked(const Tree& tree, int side, int square) {
    SyncAttacks(tree);
    return tree.attackTable[side][square].number > 0;
}
inline int KingSquare(const Tree& tree, int side) { return tree.pieces[side][0]; }
inline int InCheck(const Tree& tree, int side) {
    return IsAttacked(tree, side ^ 1, KingSquare(tree, side));
}
int CastlePathFree(int side, int queenSide, const uint8_t* boardSquares);
int OnCommonDiagonal(int a, int b);
int EstimateCapture(const Tree& tree, Move move);

}  // namespace board
