// King and pawn against king: a table computed once by retrograde analysis.
// The pawn is white, on files a-d, ranks 2-7; both sides to move are kept.
#include <cstring>

#include "eval/eval.h"
#include "eval/internal.h"

namespace eval {

namespace {

using board::FileOf;
using board::RankOf;

constexpr int PawnSlots = 24;  // files a-d, ranks 2-7
constexpr int Positions = 64 * 64 * PawnSlots;
enum : uint8_t { Unknown = 0, Won = 1, NotWon = 2 };
uint8_t Table[2][Positions];  // [0] white (pawn side) to move, [1] black to move
bool Ready = false;

const int KingSteps[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

int PawnSlot(int pawn) { return (RankOf(pawn) - 2) * 4 + FileOf(pawn) - 1; }
int Index(int wk, int bk, int pawn) { return ((wk - 1) * 64 + (bk - 1)) * PawnSlots + PawnSlot(pawn); }
int Step(int sq, int k) {
    int f = FileOf(sq) + KingSteps[k][0], r = RankOf(sq) + KingSteps[k][1];
    if (f < 1 || f > 8 || r < 1 || r > 8) return 0;
    return board::SquareAt(f, r);
}
bool PawnAttacks(int pawn, int sq) {
    return RankOf(sq) == RankOf(pawn) + 1 &&
           (FileOf(sq) == FileOf(pawn) - 1 || FileOf(sq) == FileOf(pawn) + 1);
}

// Does a queen (straight and diagonal) or a rook on q attack sq, with wk as the
// only blocker (the black king does not block its own flight squares)?
bool SliderAttacks(int q, int sq, int wk, bool diagonal) {
    int df = FileOf(sq) - FileOf(q), dr = RankOf(sq) - RankOf(q);
    if (q == sq) return false;
    bool straight = df == 0 || dr == 0;
    bool diag = df == dr || df == -dr;
    if (!straight && !(diagonal && diag)) return false;
    int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
    int f = FileOf(q) + sf, r = RankOf(q) + sr;
    while (board::SquareAt(f, r) != sq) {
        if (board::SquareAt(f, r) == wk) return false;
        f += sf;
        r += sr;
    }
    return true;
}

// After promotion on q with black to move: won unless the new man is lost at
// once or black is stalemated (a rook is tried when the queen stalemates).
bool PromotionWins(int wk, int bk, int q) {
    if (Distance(bk, q) == 1 && Distance(wk, q) > 1) return false;
    for (int kind = 0; kind < 2; kind++) {
        const bool diagonal = kind == 0;
        bool check = SliderAttacks(q, bk, wk, diagonal);
        bool canMove = false;
        for (int k = 0; k < 8 && !canMove; k++) {
            int to = Step(bk, k);
            if (!to || Distance(to, wk) <= 1) continue;
            if (to == q || !SliderAttacks(q, to, wk, diagonal)) canMove = true;
        }
        if (canMove || check) return true;
    }
    return false;
}

bool WhiteWins(int wk, int bk, int pawn) {
    // king steps
    for (int k = 0; k < 8; k++) {
        int to = Step(wk, k);
        if (!to || to == pawn || Distance(to, bk) <= 1) continue;
        if (Table[1][Index(to, bk, pawn)] == Won) return true;
    }
    // pawn pushes
    int one = pawn + 8;
    if (one == wk || one == bk) return false;
    if (RankOf(one) == 8) return PromotionWins(wk, bk, one);
    if (Table[1][Index(wk, bk, one)] == Won) return true;
    if (RankOf(pawn) == 2) {
        int two = pawn + 16;
        if (two != wk && two != bk && Table[1][Index(wk, bk, two)] == Won) return true;
    }
    return false;
}

// Black to move: lost when every move leads to a won position (or mate).
bool BlackLoses(int wk, int bk, int pawn) {
    bool any = false;
    for (int k = 0; k < 8; k++) {
        int to = Step(bk, k);
        if (!to || Distance(to, wk) <= 1 || PawnAttacks(pawn, to)) continue;
        if (to == pawn) return false;  // takes the undefended pawn
        any = true;
        if (Table[0][Index(wk, to, pawn)] != Won) return false;
    }
    return any || PawnAttacks(pawn, bk);  // no move: mate wins, stalemate does not
}

}  // namespace

void InitKpk() {
    if (Ready) return;
    std::memset(Table, Unknown, sizeof Table);
    // 1. Illegal and immediately drawn positions.
    for (int wk = 1; wk <= 64; wk++)
        for (int bk = 1; bk <= 64; bk++)
            for (int r = 2; r <= 7; r++)
                for (int f = 1; f <= 4; f++) {
                    int p = board::SquareAt(f, r);
                    int i = Index(wk, bk, p);
                    if (wk == bk || wk == p || bk == p || Distance(wk, bk) <= 1) {
                        Table[0][i] = Table[1][i] = NotWon;
                        continue;
                    }
                    if (PawnAttacks(p, bk)) Table[0][i] = NotWon;  // black in check, white to move
                }
    // 2. Propagate wins until nothing changes.
    bool changed = true;
    while (changed) {
        changed = false;
        for (int wk = 1; wk <= 64; wk++)
            for (int bk = 1; bk <= 64; bk++)
                for (int r = 7; r >= 2; r--)
                    for (int f = 1; f <= 4; f++) {
                        int p = board::SquareAt(f, r);
                        int i = Index(wk, bk, p);
                        if (Table[0][i] == Unknown && WhiteWins(wk, bk, p)) {
                            Table[0][i] = Won;
                            changed = true;
                        }
                        if (Table[1][i] == Unknown && BlackLoses(wk, bk, p)) {
                            Table[1][i] = Won;
                            changed = true;
                        }
                    }
    }
    // 3. What is not won is drawn.
    for (int s = 0; s < 2; s++)
        for (int i = 0; i < Positions; i++)
            if (Table[s][i] == Unknown) Table[s][i] = NotWon;
    Ready = true;
}

int KpkWinRule(int wk, int bk, int pawn) {
    if (!Ready) InitKpk();
    if (RankOf(pawn) < 2 || RankOf(pawn) > 7 || FileOf(pawn) > 4) return 0;
    return Table[0][Index(wk, bk, pawn)] == Won;
}

int KpkResult(int side, int pawnSide, int attackingKing, int defendingKing, int pawnSquare) {
    int wk = attackingKing, bk = defendingKing, p = pawnSquare;
    // 1. Normalise: the pawn moves up the board and stands on files a-d.
    if (pawnSide == 1) {
        wk = board::Mirror(wk);
        bk = board::Mirror(bk);
        p = board::Mirror(p);
    }
    if (FileOf(p) > 4) {
        wk = board::SquareAt(9 - FileOf(wk), RankOf(wk));
        bk = board::SquareAt(9 - FileOf(bk), RankOf(bk));
        p = board::SquareAt(9 - FileOf(p), RankOf(p));
    }
    // 2. The pawn side to move asks the win rule directly.
    if (side == pawnSide) return KpkWinRule(wk, bk, p) ? 500 : 0;
    // 3. The defender to move: every legal king step must lose.
    bool any = false;
    for (int k = 0; k < 8; k++) {
        int to = Step(bk, k);
        if (!to || Distance(to, wk) <= 1 || PawnAttacks(p, to)) continue;
        if (to == p) return 0;
        if (!KpkWinRule(wk, to, p)) return 0;
        any = true;
    }
    return any ? 500 : 0;
}

}  // namespace eval
