// Attack-table entry points, line tests and the capture estimate.
#include "board/attacks.h"

#include "board/tables.h"

namespace board {

void AddAttacks(AttackEntry* table, int square, int code, Tree& tree) {
    AddAttacksFast(table, square, code, tree.board);
}

void RemoveAttacks(AttackEntry* table, int square, int code, Tree& tree) {
    RemoveAttacksFast(table, square, code, tree.board);
}

int CastlePathFree(int side, int queenSide, const uint8_t* boardSquares) {
    const CastlePath& p = CastlePaths[2 * side + (queenSide ? 1 : 0)];
    for (const uint8_t* s = p.empty; *s; s++)
        if (boardSquares[*s]) return 0;
    return 1;
}

int OnCommonDiagonal(int a, int b) { return (VectorBits(a, b) & 16) != 0; }

int HasXraySupporter(const Tree& tree, int side, int from, int to) {
    SyncAttacks(tree);
    const AttackEntry& e = tree.attackTable[side][from];
    if (!e.sliders) return 0;
    const int dir = Direction[from][to];
    if (!dir) return 0;
    for (int i = int(e.number) - 1; i >= 0; i--) {
        int a = e.squares[i];
        if (IsSlider(tree.board[a]) && Direction[a][to] == dir) return 1;
    }
    return 0;
}

int EstimateCapture(const Tree& tree, Move move) {
    SyncAttacks(tree);
    const int from = MoveFrom(move), to = MoveTo(move), piece = MovePiece(move);
    const int captured = MoveCaptured(move), promo = MovePromotion(move);
    const int side = ColourOf(piece);
    const int target = (move & MoveEnPassant) ? (side == White ? to - 8 : to + 8) : to;
    const AttackEntry& defenders = tree.attackTable[side ^ 1][target];
    const AttackEntry& supporters = tree.attackTable[side][target];
    const int cap = captured ? PieceValue[captured] : 0;
    const int att = PieceValue[piece];
    const int d = cap - att, d16 = d / 16;

    if (promo) {
        if (defenders.number == 0) return cap + PieceValue[promo] - att;
        int n = int(supporters.number) + HasXraySupporter(tree, side, from, to);
        if (n == 0) return -att - 1;
        if (n == 1) return cap > 0 ? d : -att / 16;
        return d16;
    }

    if (defenders.number == 0) return cap;
    if (supporters.number == 1) {
        if (cap >= att || IsKnight(piece)) return d;
        if (!HasXraySupporter(tree, side, from, to)) return d;
        if (defenders.number == 1) {
            int w = PieceValue[tree.board[defenders.squares[0]]] + cap;
            return att <= w ? d16 : w - att;
        }
    } else if (defenders.number == 1) {
        int v = PieceValue[tree.board[defenders.squares[0]]];
        return att <= v ? cap : cap + v - att;
    }
    int least = PieceValue[tree.board[defenders.squares[0]]];
    for (uint32_t i = 1; i < defenders.number; i++) {
        int v = PieceValue[tree.board[defenders.squares[i]]];
        if (v < least) least = v;
    }
    int w = cap + least;
    return att <= w ? d16 : w - att;
}

}  // namespace board
