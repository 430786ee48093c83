// Evaluation internals shared by the table builder, the material table, the
// king-and-pawn table and the evaluation itself.
#pragma once
#include <cstdint>

#include "board/position.h"
#include "eval/square_tables.h"

namespace eval {

// ---- Bit sets of squares (bit = square - 1) ----
using Bits = uint64_t;
inline Bits Bit(int sq) { return Bits(1) << (sq - 1); }
// Written out: the portable x86 target has no population-count instruction,
// and the library call costs more than these few operations.
inline int PopCount(Bits b) {
    b = b - ((b >> 1) & 0x5555555555555555ULL);
    b = (b & 0x3333333333333333ULL) + ((b >> 2) & 0x3333333333333333ULL);
    b = (b + (b >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return int((b * 0x0101010101010101ULL) >> 56);
}
// Clears the lowest set bit and returns its square; 0 for an empty set.
inline int PopLowest(Bits& b) {
    if (!b) return 0;
    const int sq = __builtin_ctzll(b) + 1;
    b &= b - 1;
    return sq;
}
extern Bits FileMask[9];     // 1..8
extern Bits RankMask[9];     // 1..8
extern Bits AdjacentFiles[9];
// Squares strictly ahead of sq on its own and the neighbouring files, by side.
extern Bits PassedSpan[2][65];
// Squares strictly ahead on the same file, by side.
extern Bits FrontSpan[2][65];
// Squares attacked by a pawn of this side standing on sq.
extern Bits PawnAttackBits[2][65];
extern Bits KingRing[65];  // king square and its neighbours

inline int Distance(int a, int b) {
    int df = board::FileOf(a) - board::FileOf(b), dr = board::RankOf(a) - board::RankOf(b);
    if (df < 0) df = -df;
    if (dr < 0) dr = -dr;
    return df > dr ? df : dr;
}
inline int RankDistance(int a, int b) {
    int d = board::RankOf(a) - board::RankOf(b);
    return d < 0 ? -d : d;
}
inline int SameDiagonal(int a, int b) {
    int df = board::FileOf(a) - board::FileOf(b), dr = board::RankOf(a) - board::RankOf(b);
    return a != b && (df == dr || df == -dr);
}
// Squares as seen from a side: black's are mirrored by rank.
inline int Relative(int side, int sq) { return side ? board::Mirror(sq) : sq; }
// File zones: 0 files a-c, 1 files d-e, 2 files f-h.
inline int Zone(int sq) {
    int f = board::FileOf(sq);
    return f <= 3 ? 0 : (f <= 5 ? 1 : 2);
}

// ---- Weights (one table; built-in defaults) ----
struct Weights {
    // piece attacked by enemy men, per attacker
    int knightAttacked = 5, bishopAttacked = 7, rookAttacked = 10, queenAttacked = 30;
    // pins
    int pinned = 9, pinnedToKingPerAttacker = 10, pinnedToKingLoose = 75;
    // knights
    int knightNearKing = 4, knightC3Blocks = 20;
    int minorBehindPawn = 8;  // knight or bishop with an own pawn just ahead
    int space = 8;  // per 64th: safe central squares behind the pawns x pieces
    int outpostHole = 12, outpostSecond = 16, outpostHoleSafe = 13, outpostSecondSafe = 22;
    int outpostPawnDefended = 6, outpostBlocksPawn = 8;
    // bishops
    int bishopOwnPawnColour = 6, bishopKingDiagonal = 1, bishopQueenDiagonal = 8,
        bishopEndgame = 3;
    int bishopTrapped7 = 144, bishopTrapped1 = 72, bishopTrapped1Mild = 5,
        bishopTrapped2 = 9, bishopTrapped2Defended = 13, bishopEdgeBlocked = 6;
    // rooks
    int rookBoxed = 3, rookCornered = 18, rookCorneredDeep = 27;
    int rookOpenFile = 20, rookOpenFileEnd = 10, rookHalfOpen = 9, rookHalfOpenEnd = 5;
    int rookSeventh = 18, rookSeventhEnd = 28, rooksDoubled = 10;
    int rookBehindPassed = 15;  // on the file of a passed pawn, own or enemy, behind it
    // queens
    int queenNearKing = 8, queenFileEnemyPawn = 5, queenBlockedByPawn = 2;
    // threats against pieces, by the threatened kind (knight, bishop, rook, queen):
    // attacked by a pawn, by a lesser piece, or attacked and undefended
    int threatByPawn[4] = {50, 50, 130, 150}, threatByLesser[4] = {0, 0, 45, 140},
        threatHanging[4] = {25, 25, 30, 110}, threatHangingPawn = 10;
    // the side to move saves its worst-threatened piece but spends the move on it
    int threatMoverTempo = 10;
    // the move in hand
    int tempo = 10;
    // mobility of minor pieces (by reachable safe squares)
    int knightMobility[9] = {-55, -30, -12, 0, 10, 18, 25, 30, 33};
    int bishopMobility[14] = {-30, -18, -8, 0, 8, 15, 22, 28, 32, 38, 40, 42, 45, 48};
    // pawns
    int doubled[8] = {-3, -5, -6, -6, -6, -6, -5, -3};
    int isolated = -10, isolatedEnd = -14, isolatedOpen = -6;
    int backward = -8, backwardEnd = -7, backwardOpen = -6;
    int connected[8] = {0, 2, 3, 5, 9, 15, 24, 0};
    // passed pawns, dynamic parts
    // per step of the enemy king's and the own king's distance to the stop
    // square, scaled by the third table
    int passedEnemyKing = 10, passedOwnKing = 5;
    int unstoppable = 400;
    // king safety
    int shelterNone = -17, shelterRank3 = -4, shelterRank4 = -10, shelterFar = -14;
    int stormRank3 = -9, stormRank4 = -6, stormRank5 = -3;
    int openFileNearKing = -5;
    // squares the enemy can check from that no man of ours guards, by the
    // checking kind (knight, bishop, rook, queen)
    int safeCheck[4] = {20, 10, 15, 15};
    int attackWeight[8] = {0, 0, 1, 2, 0, 2, 3, 5};  // by code & 7
    // danger from attack units u: (linear u + square u^2) / 16, u capped. Two
    // weights rather than a table by u: attacks of many units are too rare in
    // any data set to fit a value each, and a smooth curve has no steps.
    int kingDangerLinear = 40, kingDangerSquare = 8, kingDangerUnitsCap = 40;
    // centre control: attacks on the inner and outer centre
    int centreInner = 3, centreOuter = 1;
    // drawishness
    int drawCap = 10000, drawCapLocked = 120, drawCapNoPawns = 80;
    int evalScale = 100;
    // material table
    int rookBishopPair = 12;  // rook and bishop against rook and knight
    // base tables of the piece-square score (pawns and lone kings keep fixed ones)
    SquareTable knightSquares = KnightSquares, bishopSquares = BishopSquares;
    SquareTable rookSquaresMg = RookSquaresMg, rookSquaresEg = RookSquaresEg;
    SquareTable queenSquaresMg = QueenSquaresMg, queenSquaresEg = QueenSquaresEg;
    SquareTable kingSquaresMg = KingSquaresMg, kingSquaresQueenless = KingSquaresQueenless,
                kingSquaresEg = KingSquaresEg;
};
extern Weights W;
void ApplyFittedWeights(Weights& weights);  // at start-up, over the defaults

// ---- Per-search tables (BuildEvalTables) ----
extern int PassedMg[3][8], PassedEg[3][8];
extern int KingsSameWing;   // the kings stood on the same wing at the root
extern int RookBishopBonus;  // material table: rook and bishop against rook and knight

// ---- Pawn cache entry: 200 bytes ----
struct PawnEntry {
    uint32_t key;            // upper pawn-key half
    uint8_t files[8];        // pawns of both colours per file
    uint8_t whiteFile[8];
    uint8_t blackFile[8];
    uint8_t whiteRear[8];    // lowest rank of a white pawn per file, 9 when none
    uint8_t blackFront[8];   // lowest rank of a black pawn per file, 9 when none
    uint8_t whiteFront[8];   // highest rank of a white pawn per file, 0 when none
    uint8_t blackRear[8];    // highest rank of a black pawn per file, 0 when none
    uint8_t whiteColour[2];  // [0] light, [1] dark
    uint8_t blackColour[2];
    uint8_t whiteBlocked[2];
    uint8_t blackBlocked[2];
    uint8_t whiteColourLeft[2];  // the colour counts less the passed pawns
    uint8_t blackColourLeft[2];
    uint8_t whiteCount, blackCount;
    uint8_t averageFile;     // 1..8, 0 without pawns
    uint8_t drawish[2];      // per side: bit 0 locked pawns, bit 1 no pawns
    uint8_t spare[3];
    uint32_t stamp;          // settings signature the entry was built under
    int16_t mgScore;         // white's view
    int16_t egDelta;
    uint64_t passed[2];
    uint64_t pawns[2];
    uint64_t attacks[2];     // squares attacked by each side's pawns
    uint64_t holes[2];       // central squares no enemy pawn can ever attack
    uint64_t outposts[2];    // second outpost set
    uint8_t tail[200 - 168];
};
static_assert(sizeof(PawnEntry) == 200, "pawn-cache entries are 200 bytes");

// ---- Material table entry: 8 bytes, packed into one word ----
struct MaterialEntry {
    uint32_t key;
    int16_t value;  // white's view
    uint8_t scale;  // percent, 0 = none
    uint8_t flags;  // bit 0 / 1 minor against pawns (white / black), bit 2 equal rooks
};
static_assert(sizeof(MaterialEntry) == 8, "material entries are 8 bytes");
MaterialEntry ComputeMaterialEntry(uint32_t whiteSig, uint32_t blackSig);
MaterialEntry LookupMaterial(board::Tree& tree, const board::NodeRecord* node);

// ---- Evaluation breakdown, for the diagnostic tool ----
struct Breakdown {
    int material, squareScore, pawns, kingSafety, centre, rest;
    int mobility, minorMobility, passed, shelter;  // unscaled shares of rest and king safety
    int materialValue, scale, total;
    int recognisedDraw;
};
// Full evaluation (no cache, no lazy exit) with its parts, white's view except total.
int EvaluateVerbose(board::Tree& tree, board::NodeRecord* node, Breakdown& out);
// Turns the evaluation cache on or off (on by default).
extern int UseEvalCache;

// Stage rule step 2 on counts: 1 when the material gives a middle game.
struct RootCounts {
    int queens, majors, minors, pawns;
    int material[2];        // without king, with pawns
    int pieceMaterial;      // both sides, without pawns
};
int IsMiddleGame(const RootCounts& c);

void InitGeometry();
void ResetEvalStatistics();  // largest and smallest positional values, per search
void ResetPassedTables();  // built-in passed-pawn tables
void InitKpk();
int KpkWinRule(int wk, int bk, int pawn);  // white pawn, white to move, normalised

}  // namespace eval
