#include "board.h"

#include <cstdlib>
#include <mutex>

namespace endgame {

Bitboard KingAttacks[64];
Bitboard KnightAttacks[64];
Bitboard PawnAttacks[2][64];
Bitboard Between[64][64];
uint8_t Lines[64][64];
uint8_t Transform[8][64];
Bitboard Rays[8][64];

namespace {

bool OnBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

Bitboard Steps(int sq, const int (*deltas)[2], int count) {
    Bitboard b = 0;
    for (int i = 0; i < count; i++) {
        int f = FileOf(sq) + deltas[i][0], r = RankOf(sq) + deltas[i][1];
        if (OnBoard(f, r)) b |= Bit(r * 8 + f);
    }
    return b;
}

void Build() {
    const int kingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    const int knightSteps[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
    const int whitePawn[2][2] = {{1, 1}, {-1, 1}};
    const int blackPawn[2][2] = {{1, -1}, {-1, -1}};
    for (int sq = 0; sq < 64; sq++) {
        KingAttacks[sq] = Steps(sq, kingSteps, 8);
        KnightAttacks[sq] = Steps(sq, knightSteps, 8);
        PawnAttacks[White][sq] = Steps(sq, whitePawn, 2);
        PawnAttacks[Black][sq] = Steps(sq, blackPawn, 2);
    }
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            Between[a][b] = 0;
            Lines[a][b] = 0;
            if (a == b) continue;
            int df = FileOf(b) - FileOf(a), dr = RankOf(b) - RankOf(a);
            if (df == 0 || dr == 0) Lines[a][b] = 1;
            else if (std::abs(df) == std::abs(dr)) Lines[a][b] = 2;
            else continue;
            int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
            for (int f = FileOf(a) + sf, r = RankOf(a) + sr; r * 8 + f != b; f += sf, r += sr)
                Between[a][b] |= Bit(r * 8 + f);
        }
    const int rayDirs[8][2] = {{0, 1}, {1, 0}, {1, 1}, {-1, 1}, {0, -1}, {-1, 0}, {-1, -1}, {1, -1}};
    for (int d = 0; d < 8; d++)
        for (int sq = 0; sq < 64; sq++) {
            Rays[d][sq] = 0;
            for (int f = FileOf(sq) + rayDirs[d][0], r = RankOf(sq) + rayDirs[d][1]; OnBoard(f, r);
                 f += rayDirs[d][0], r += rayDirs[d][1])
                Rays[d][sq] |= Bit(r * 8 + f);
        }
    for (int t = 0; t < 8; t++)
        for (int sq = 0; sq < 64; sq++) {
            int f = FileOf(sq), r = RankOf(sq);
            if (t & 1) f = 7 - f;
            if (t & 2) r = 7 - r;
            if (t & 4) {
                int x = f;
                f = r;
                r = x;
            }
            Transform[t][sq] = uint8_t(r * 8 + f);
        }
}

}  // namespace

void InitBoard() {
    static std::once_flag once;
    std::call_once(once, Build);
}

}  // namespace endgame
