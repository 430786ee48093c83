// Fixed tables: names, piece values, geometry, Zobrist keys and the castling
// paths derived from the castling squares.
#include "board/tables.h"

#include <cstdlib>

#include "board/makemove.h"
#include "board/movegen.h"
#include "core/settings.h"

namespace board {

const char* const SquareNames[65] = {
    "00", "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8"};
const char PieceLetters[] = "0K NXBRQXK NXBRQ0k nXbrqXk nXbrq00";

const int PieceValue[16] = {0, 10000, 100, 325, 0, 325, 541, 1055, 0, 10000, 100, 325, 0, 325, 541, 1055};
const int PhaseUnits[16] = {0, 0, 0, 1, 0, 1, 3, 6, 0, 0, 0, 1, 0, 1, 3, 6};
const uint8_t CapturedKindBit[16] = {0, 0, 0, 2, 0, 8, 32, 128, 0, 0, 0, 1, 0, 4, 16, 64};

uint8_t CastleSquares[18] = {5, 1, 8, 61, 57, 64, 2, 3, 4, 5, 6, 7, 58, 59, 60, 61, 62, 63};

int32_t PieceSquare[16][65];
int32_t SideTerm = 0;
uint32_t ZobristA[16 * 65];
uint32_t ZobristB[16 * 65];
uint32_t EnPassantKey[64];

uint8_t StepList[4][65][9];
RayStep RayList[3][65][MaxRaySquares];
int8_t Direction[65][65];
uint8_t Ahead[2][65];
uint8_t RayFrom[65][8][8];
uint8_t LineIndex[65][65];
uint32_t VectorTable[239];
uint8_t FileSquares[9][8];
CastlePath CastlePaths[4];
uint32_t RightsKeep[65];

const int8_t StepKindOf[16] = {-1, KingSteps, WhitePawnSteps, KnightSteps, -1, -1, -1, -1,
                               -1, KingSteps, BlackPawnSteps, KnightSteps, -1, -1, -1, -1};
const int8_t RayKindOf[16] = {-1, -1, -1, -1, -1, BishopRays, RookRays, QueenRays,
                              -1, -1, -1, -1, -1, BishopRays, RookRays, QueenRays};
const uint32_t VectorMask[16] = {0, 1, 2, 8, 0, 16, 32, 64, 0, 1, 4, 8, 0, 16, 32, 64};

namespace {

struct Delta {
    int file, rank;
};
constexpr Delta KingDeltas[8] = {{-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}};
constexpr Delta KnightDeltas[8] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr Delta WhitePawnDeltas[2] = {{-1, 1}, {1, 1}};
constexpr Delta BlackPawnDeltas[2] = {{-1, -1}, {1, -1}};
// +7, +8, +9, +1, -7, -8, -9, -1
constexpr Delta QueenDirs[8] = {{-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}};
constexpr Delta RookDirs[4] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
constexpr Delta BishopDirs[4] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};

// Fixed-seed generator for the key tables (splitmix64).
uint64_t KeySeed = 0x6b657374726f6e31ull;
uint32_t NextKeyWord() {
    uint64_t z = (KeySeed += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return uint32_t(z >> 16);
}

int Offset(int sq, Delta d) {
    int f = FileOf(sq) + d.file, r = RankOf(sq) + d.rank;
    if (f < 1 || f > 8 || r < 1 || r > 8) return 0;
    return SquareAt(f, r);
}

void BuildSteps(int kind, const Delta* deltas, int count) {
    for (int sq = 1; sq <= 64; sq++) {
        int n = 0;
        for (int i = 0; i < count; i++)
            if (int t = Offset(sq, deltas[i])) StepList[kind][sq][n++] = uint8_t(t);
        StepList[kind][sq][n] = 0;
    }
}

void BuildRays(int kind, const Delta* dirs, int count) {
    for (int sq = 1; sq <= 64; sq++) {
        RayStep* out = RayList[kind][sq];
        int n = 0;
        for (int i = 0; i < count; i++) {
            int start = n;
            for (int t = Offset(sq, dirs[i]); t; t = Offset(t, dirs[i])) out[n++].square = uint8_t(t);
            for (int j = start; j < n; j++) out[j].skip = uint8_t(n);
        }
        out[n].square = 0;
        out[n].skip = uint8_t(n);
    }
}

int Sign(int x) { return (x > 0) - (x < 0); }

bool TablesBuilt = false;

}  // namespace

void InitBoardTables() {
    if (TablesBuilt) return;
    TablesBuilt = true;
    BuildSteps(KingSteps, KingDeltas, 8);
    BuildSteps(KnightSteps, KnightDeltas, 8);
    BuildSteps(WhitePawnSteps, WhitePawnDeltas, 2);
    BuildSteps(BlackPawnSteps, BlackPawnDeltas, 2);
    BuildRays(QueenRays, QueenDirs, 8);
    BuildRays(RookRays, RookDirs, 4);
    BuildRays(BishopRays, BishopDirs, 4);

    for (int a = 1; a <= 64; a++) {
        for (int b = 1; b <= 64; b++) {
            int df = FileOf(b) - FileOf(a), dr = RankOf(b) - RankOf(a);
            int8_t dir = 0;
            if (a != b && (df == 0 || dr == 0 || std::abs(df) == std::abs(dr))) dir = int8_t(Sign(dr) * 8 + Sign(df));
            Direction[a][b] = dir;
        }
    }
    for (int s = 1; s <= 64; s++) {
        for (int k = 0; k < 8; k++) {
            int n = 0;
            for (int t = Offset(s, QueenDirs[k]); t; t = Offset(t, QueenDirs[k])) RayFrom[s][k][n++] = uint8_t(t);
            RayFrom[s][k][n] = 0;
        }
    }
    for (int a = 0; a <= 64; a++) {
        for (int s = 0; s <= 64; s++) {
            LineIndex[a][s] = 8;
            if (a == 0 || s == 0 || !Direction[a][s]) continue;
            Delta d = {Sign(FileOf(s) - FileOf(a)), Sign(RankOf(s) - RankOf(a))};
            for (int k = 0; k < 8; k++)
                if (QueenDirs[k].file == d.file && QueenDirs[k].rank == d.rank) LineIndex[a][s] = uint8_t(k);
        }
    }
    for (int s = 0; s <= 64; s++) {
        Ahead[White][s] = (s >= 1 && s <= 56) ? uint8_t(s + 8) : 0;
        Ahead[Black][s] = (s >= 9 && s <= 64) ? uint8_t(s - 8) : 0;
    }
    for (int from = 1; from <= 64; from++) {
        for (int to = 1; to <= 64; to++) {
            if (from == to) continue;
            int df = FileOf(to) - FileOf(from), dr = RankOf(to) - RankOf(from);
            uint32_t bits = 0;
            if (std::abs(df) <= 1 && std::abs(dr) <= 1) bits |= 1;
            if (dr == 1 && std::abs(df) == 1) bits |= 2;
            if (dr == -1 && std::abs(df) == 1) bits |= 4;
            if ((std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1)) bits |= 8;
            if (std::abs(df) == std::abs(dr)) bits |= 16 | 64;
            if (df == 0 || dr == 0) bits |= 32 | 64;
            VectorTable[Number0x88(to) - Number0x88(from) + 119] = bits;
        }
    }
    for (int f = 1; f <= 8; f++)
        for (int r = 1; r <= 8; r++) FileSquares[f][r - 1] = uint8_t(SquareAt(f, r));

    for (int code = 0; code < 16; code++) {
        for (int sq = 0; sq <= 64; sq++) {
            uint32_t a = NextKeyWord(), b = NextKeyWord();
            bool used = sq != 0 && code != 0;
            ZobristA[code * 65 + sq] = used ? a : 0;
            ZobristB[code * 65 + sq] = used ? b : 0;
        }
    }
    EnPassantKey[0] = 0;
    for (int sq = 1; sq < 64; sq++) EnPassantKey[sq] = NextKeyWord();
    BuildCastleTables();
}

namespace {
// Tables are ready before main(), also for code that forgets the call.
const bool TablesReady = (InitBoardTables(), true);
}  // namespace

void BuildCastleTables() {
    for (uint32_t& keep : RightsKeep) keep = ~0u;
    RightsKeep[CastleSquares[0]] &= ~uint32_t(WhiteKingSide | WhiteQueenSide);
    RightsKeep[CastleSquares[1]] &= ~WhiteQueenSide;
    RightsKeep[CastleSquares[2]] &= ~WhiteKingSide;
    RightsKeep[CastleSquares[3]] &= ~uint32_t(BlackKingSide | BlackQueenSide);
    RightsKeep[CastleSquares[4]] &= ~BlackQueenSide;
    RightsKeep[CastleSquares[5]] &= ~BlackKingSide;
    struct Layout {
        int kingEntry, rookEntry, kingTo, rookTo, right, base, queenSide;
    };
    static const Layout layouts[4] = {{0, 2, 7, 6, 0x200, 0, 0},
                                      {0, 1, 3, 4, 0x100, 0, 1},
                                      {3, 5, 63, 62, 0x80, 56, 0},
                                      {3, 4, 59, 60, 0x40, 56, 1}};
    for (int i = 0; i < 4; i++) {
        const Layout& l = layouts[i];
        CastlePath& p = CastlePaths[i];
        int k = CastleSquares[l.kingEntry], r = CastleSquares[l.rookEntry];
        int side = i / 2;
        p.king = uint8_t(k);
        p.rook = uint8_t(r);
        p.kingTo = uint8_t(l.kingTo);
        p.rookTo = uint8_t(l.rookTo);
        p.right = uint32_t(l.right);
        int n = 0;
        if (!l.queenSide) {
            int lo = k + 1 < l.base + 6 ? k + 1 : l.base + 6;
            for (int s = lo; s <= l.base + 7; s++)
                if (s != k && s != r && n < 9) p.empty[n++] = uint8_t(s);
        } else {
            int hi = k - 1 > l.base + 4 ? k - 1 : l.base + 4;
            int lo = r + 1 < l.base + 3 ? r + 1 : l.base + 3;
            for (int s = hi; s >= lo; s--)
                if (s != k && s != r && n < 9) p.empty[n++] = uint8_t(s);
        }
        p.empty[n] = 0;
        n = 0;
        int lo = k < l.kingTo ? k : l.kingTo, hi = k < l.kingTo ? l.kingTo : k;
        for (int s = lo; s <= hi && n < 9; s++) p.safe[n++] = uint8_t(s);
        p.safe[n] = 0;
        int king = side ? BKing : WKing, rook = side ? BRook : WRook;
        p.kingMove = MakeMoveWord(k, l.kingTo, king);
        p.rookMove = MakeMoveWord(r, l.rookTo, rook);
        p.castleWord = MakeMoveWord(k, core::settings.chess960 ? r : l.kingTo, king) | MoveCastle;
    }
}

}  // namespace board
