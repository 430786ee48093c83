// Per-search evaluation tables: root stage, piece-square tables with the
// material options folded in, passed-pawn tables, side term, the settings
// signature and the search switches that depend on the root material.
#include <cstring>

#include "board/makemove.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace eval {

int RootStage = 2;
uint8_t EndgameAfterCaptures[256];
uint32_t SettingsSignature[2];
int PassedMg[3][8], PassedEg[3][8];
int KingsSameWing = 0;
int RookBishopBonus = 12;
Weights W;

namespace {

using board::FileOf;
using board::RankOf;

const int PassedMgBase[3][8] = {{0, 10, 10, 13, 20, 42, 60, 60},
                                {0, 0, 0, 32, 81, 219, 233, -10},
                                {0, 0, 5, 10, 30, 40, 88, 242}};
const int PassedEgBase[3][8] = {{0, 10, 12, 15, 27, 44, 83, 83},
                                {0, 0, 0, 54, 90, 201, 203, 0},
                                {0, 2, 4, 16, 24, 37, 107, 293}};

// Base tables, white's view, index square - 1 (a1 first, rank by rank).
const int PawnMg[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,    //
    6,  5,  3,  5,  5,  6,  5,  6,    //
    8,  4,  6,  8,  8,  6,  4,  8,    //
    11, 5,  12, 13, 13, 12, 5,  11,   //
    14, 12, 20, 24, 24, 20, 12, 14,   //
    16, 22, 17, 26, 26, 17, 22, 16,   //
    28, 10, 10, 27, 27, 10, 10, 28,   //
    0,  0,  0,  0,  0,  0,  0,  0};
const int PawnEg[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,    //
    0,  0,  0,  0,  0,  0,  0,  0,    //
    3,  4,  4,  4,  4,  4,  4,  3,    //
    7,  8,  9,  9,  9,  9,  8,  7,    //
    12, 14, 15, 15, 15, 15, 14, 12,   //
    20, 23, 24, 24, 24, 24, 23, 20,   //
    34, 38, 40, 40, 40, 40, 38, 34,   //
    0,  0,  0,  0,  0,  0,  0,  0};
// With a lone enemy king: pawns run.
const int PawnRun[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,    //
    0,  0,  0,  0,  0,  0,  0,  0,    //
    8,  8,  8,  8,  8,  8,  8,  8,    //
    18, 18, 18, 18, 18, 18, 18, 18,   //
    30, 30, 30, 30, 30, 30, 30, 30,   //
    46, 46, 46, 46, 46, 46, 46, 46,   //
    70, 70, 70, 70, 70, 70, 70, 70,   //
    0,  0,  0,  0,  0,  0,  0,  0};

// Centralisation: the lone king's table; the endgame king and queen formulas
// (the tables themselves are in square_tables.h) serve only as calibration work.
int CentreSum(int sq) {
    int f = FileOf(sq), r = RankOf(sq);
    int df = 2 * f - 9, dr = 2 * r - 9;
    return (df < 0 ? -df : df) + (dr < 0 ? -dr : dr);  // 2..14
}
int KingEg(int sq) { return 24 - 4 * CentreSum(sq); }
int QueenEg(int sq) { return 8 - CentreSum(sq); }
int LoneKing(int sq) { return 40 - 8 * CentreSum(sq); }
// A lone king against bishop and knight belongs in the corner of the other colour.
int LoneKingBn(int sq, int bishopColour) {
    int a = bishopColour ? 1 : 8, b = bishopColour ? 64 : 57;  // corners of that colour
    int d = Distance(sq, a) < Distance(sq, b) ? Distance(sq, a) : Distance(sq, b);
    return LoneKing(sq) / 2 - 12 * (7 - d);
}

struct Counts {
    int pawns[2], knights[2], bishops[2], rooks[2], queens[2];
    int bishopColour[2];
    int material[2], pieces[2];  // without king; pieces also without pawns
    int home[2];
    int pawnFiles[2][9];
    int king[2];
};

void CountRoot(const board::Tree& tree, Counts& c) {
    std::memset(&c, 0, sizeof c);
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (code == 0 || code > 15) continue;
        int s = board::ColourOf(code);
        switch (code & 7) {
            case 1: c.king[s] = sq; break;
            case 2: c.pawns[s]++; c.pawnFiles[s][FileOf(sq)]++; break;
            case 3: c.knights[s]++; break;
            case 5: c.bishops[s]++; c.bishopColour[s] = board::SquareColour(sq); break;
            case 6: c.rooks[s]++; break;
            case 7: c.queens[s]++; break;
            default: break;
        }
    }
    for (int s = 0; s < 2; s++) {
        c.pieces[s] = 325 * (c.knights[s] + c.bishops[s]) + 541 * c.rooks[s] + 1055 * c.queens[s];
        c.material[s] = c.pieces[s] + 100 * c.pawns[s];
        const int base = s ? 12 : 6;
        const int bit = s ? board::BlackBit : 0;
        if (tree.board[board::CastleSquares[base + 0]] == board::WKnight + bit) c.home[s]++;
        if (tree.board[board::CastleSquares[base + 5]] == board::WKnight + bit) c.home[s]++;
        if (tree.board[board::CastleSquares[base + 1]] == board::WBishop + bit) c.home[s]++;
        if (tree.board[board::CastleSquares[base + 4]] == board::WBishop + bit) c.home[s]++;
        if (tree.board[board::CastleSquares[base + 3]] == board::WKing + bit) c.home[s]++;
    }
}

RootCounts Summarise(const int pawns[2], const int knights[2], const int bishops[2],
                     const int rooks[2], const int queens[2]) {
    RootCounts r;
    r.queens = queens[0] + queens[1];
    r.majors = rooks[0] + rooks[1] + r.queens;
    r.minors = knights[0] + knights[1] + bishops[0] + bishops[1];
    r.pawns = pawns[0] + pawns[1];
    r.pieceMaterial = 0;
    for (int s = 0; s < 2; s++) {
        int pieces = 325 * (knights[s] + bishops[s]) + 541 * rooks[s] + 1055 * queens[s];
        r.material[s] = pieces + 100 * pawns[s];
        r.pieceMaterial += pieces;
    }
    return r;
}

// How far the game has gone: plies played plus a weight per captured man.
int GameProgress(const board::Tree& tree) {
    int men = 0;
    for (int sq = 1; sq <= 64; sq++)
        if (tree.board[sq] != 0 && tree.board[sq] <= 15) men++;
    int plies = board::Game.states.empty() ? 0 : int(board::Game.states.size()) - 1;
    return plies + 4 * (32 - men);
}

// Adds the value to all 64 squares of both colours' tables of a kind.
void AddToKind(int kind, int delta) {
    if (delta == 0) return;
    for (int sq = 1; sq <= 64; sq++) {
        board::PieceSquare[kind][sq] += delta;
        board::PieceSquare[kind + board::BlackBit][sq] += delta;
    }
}

// Base table for white; black gets the rank-mirrored copy.
void SetKind(int kind, const int* white, const int* black) {
    for (int sq = 1; sq <= 64; sq++) {
        board::PieceSquare[kind][sq] = white[sq - 1];
        board::PieceSquare[kind + board::BlackBit][sq] = black[board::Mirror(sq) - 1];
    }
}

void FillDerived(int* table, int (*fn)(int)) {
    for (int sq = 1; sq <= 64; sq++) table[sq - 1] = fn(sq);
}

// Pawn tensions for the open-play switch: a pawn on c2..f2 facing an enemy pawn
// on a neighbouring file of the fourth rank (and the mirror image for black).
void PreferOpenTensions(const board::Tree& tree) {
    for (int side = 0; side < 2; side++) {
        const int own = side ? board::BPawn : board::WPawn;
        const int enemy = side ? board::WPawn : board::BPawn;
        for (int file = 3; file <= 6; file++) {
            int sq = Relative(side, board::SquareAt(file, 2));
            if (tree.board[sq] != own) continue;
            for (int df = -1; df <= 1; df += 2) {
                int esq = Relative(side, board::SquareAt(file + df, 4));
                if (tree.board[esq] != enemy) continue;
                board::PieceSquare[own][sq] -= 10;
                board::PieceSquare[own][Relative(side, board::SquareAt(file, 4))] -= 5;
                board::PieceSquare[enemy][Relative(side, board::SquareAt(file, 3))] += 10;
                board::PieceSquare[enemy][Relative(side, board::SquareAt(file + df, 3))] += 10;
            }
        }
    }
}

// Castled king shelter on the middlegame king table.
void CastledShelter(const board::Tree& tree, int side) {
    const int king = side ? board::BKing : board::WKing;
    const int pawn = side ? board::BPawn : board::WPawn;
    auto at = [&](int file, int rank) { return tree.board[Relative(side, board::SquareAt(file, rank))]; };
    auto bump = [&](int file, int rank, int d) {
        board::PieceSquare[king][Relative(side, board::SquareAt(file, rank))] += d;
    };
    if (at(7, 1) == king && at(6, 2) == pawn && (at(7, 2) == pawn || at(7, 3) == pawn)) {
        bump(7, 1, 6); bump(8, 1, -6); bump(8, 2, -6);
    }
    if (at(2, 1) == king && at(3, 2) == pawn && (at(2, 2) == pawn || at(2, 3) == pawn)) {
        bump(2, 1, 6); bump(1, 1, -6); bump(1, 2, -6);
    }
}

uint32_t Mix(uint32_t& counter) {
    uint32_t c = counter++ & 1023;
    return board::ZobristA[(c / 64) * 65 + c % 64 + 1] | 1u;
}

void BuildSignature() {
    const core::Settings& s = core::settings;
    const int values[] = {RootStage, s.pawn, s.knight, s.bishop, s.rook, s.queen, s.pawnEnd,
                          s.knightEnd, s.bishopEnd, s.rookEnd, s.queenEnd, s.kingSafety,
                          s.pawnStructure, s.pawnStructureEnd, s.passedPawns, s.passedPawnsEnd,
                          s.centerControl, s.bishopPair, s.bishopPairEnd, s.preferOpen,
                          s.knowledgeOrSpeed + 40, UseEvalCache, W.evalScale, s.test1, s.test2,
                          s.test3};
    uint32_t c0 = 64, c1 = 576;
    SettingsSignature[0] = SettingsSignature[1] = 0;
    for (int v : values) {
        SettingsSignature[0] += uint32_t(v) * Mix(c0);
        SettingsSignature[1] += uint32_t(v) * Mix(c1);
    }
}

}  // namespace

// Weights fitted by the tuner (kestrion-tool tune fit) replace the hand-set
// defaults of the weight table; the file holds only fits that won a match.
void ApplyFittedWeights(Weights& W) {
#include "eval/fitted.inc"
    (void)W;
}

void ResetPassedTables() {
    std::memcpy(PassedMg, PassedMgBase, sizeof PassedMg);
    std::memcpy(PassedEg, PassedEgBase, sizeof PassedEg);
}

int IsMiddleGame(const RootCounts& c) {
    const int q = c.queens, maj = c.majors, min = c.minors, p = c.pawns;
    if (q > 1 && maj > 3) return 1;
    if (!(c.pieceMaterial > 2976)) return 0;
    if (!(maj + min > 5 || p > 10)) return 0;
    if (!(maj > 2 || min > 4 || p > 8)) return 0;
    if (!(q > 1 || ((maj > 2 || maj + min > 6) && (maj + min > 7 || p > 10)))) return 0;
    if (q == 0) return maj + min > 7 && (maj + min > 8 || p > 10) && (maj > 3 || min > 5);
    return maj + min > 3;
}

SearchSwitches BuildEvalTables(board::Tree& tree) {
    const core::Settings& set = core::settings;
    Counts c;
    CountRoot(tree, c);

    // 1. Root stage.
    RootCounts rc = Summarise(c.pawns, c.knights, c.bishops, c.rooks, c.queens);
    if (c.material[0] == 0 && c.material[1] > 100) {
        RootStage = 0x20;
    } else if (c.material[1] == 0 && c.material[0] > 100) {
        RootStage = 0x40;
    } else if (IsMiddleGame(rc)) {
        RootStage = (c.home[0] >= 1 && c.home[1] >= 1 && c.home[0] + c.home[1] >= 3 &&
                     rc.queens >= 2 && GameProgress(tree) <= 91)
                        ? 1
                        : 2;
    } else {
        RootStage = 4;
    }
    if (rc.pieceMaterial == 0) RootStage |= 0x10;
    const bool endgame = (RootStage & 0x64) != 0;

    // 2. Which captures since the root turn the game into an endgame.
    for (int mask = 0; mask < 256; mask++) {
        if (endgame) { EndgameAfterCaptures[mask] = 0; continue; }
        int p[2] = {c.pawns[0], c.pawns[1]}, n[2] = {c.knights[0], c.knights[1]};
        int b[2] = {c.bishops[0], c.bishops[1]}, r[2] = {c.rooks[0], c.rooks[1]};
        int q[2] = {c.queens[0], c.queens[1]};
        // bits: black knight 1, white knight 2, black bishop 4, white bishop 8, ...
        for (int s = 0; s < 2; s++) {
            const int shift = s ? 0 : 1;
            if ((mask >> (0 + shift)) & 1 && n[s] > 0) n[s]--;
            if ((mask >> (2 + shift)) & 1 && b[s] > 0) b[s]--;
            if ((mask >> (4 + shift)) & 1 && r[s] > 0) r[s]--;
            if ((mask >> (6 + shift)) & 1 && q[s] > 0) q[s]--;
        }
        EndgameAfterCaptures[mask] = IsMiddleGame(Summarise(p, n, b, r, q)) ? 0 : 1;
    }

    // 3. Base tables by stage.
    const int* kingEg = W.kingSquaresEg.data();
    int lone[64], loneBn[64];
    FillDerived(lone, LoneKing);
    for (int k = 0; k < 16; k++)
        for (int sq = 0; sq <= 64; sq++) board::PieceSquare[k][sq] = 0;
    SetKind(board::WKnight, W.knightSquares.data(), W.knightSquares.data());
    SetKind(board::WBishop, W.bishopSquares.data(), W.bishopSquares.data());
    if (endgame) {
        SetKind(board::WRook, W.rookSquaresEg.data(), W.rookSquaresEg.data());
        SetKind(board::WQueen, W.queenSquaresEg.data(), W.queenSquaresEg.data());
    } else {
        SetKind(board::WRook, W.rookSquaresMg.data(), W.rookSquaresMg.data());
        SetKind(board::WQueen, W.queenSquaresMg.data(), W.queenSquaresMg.data());
    }
    if (RootStage & 0x60) {
        const int strong = (RootStage & 0x20) ? 1 : 0;  // 0x20: black is the stronger side
        const int* strongPawn = PawnRun;
        const int* weakKing = lone;
        if (c.knights[strong] == 1 && c.bishops[strong] == 1 && c.rooks[strong] == 0 &&
            c.queens[strong] == 0) {
            for (int sq = 1; sq <= 64; sq++) loneBn[sq - 1] = LoneKingBn(sq, c.bishopColour[strong]);
            // the table is indexed from the lone king's own view
            if (strong == 0) {
                int mirrored[64];
                for (int sq = 1; sq <= 64; sq++) mirrored[board::Mirror(sq) - 1] = loneBn[sq - 1];
                std::memcpy(loneBn, mirrored, sizeof loneBn);
            }
            weakKing = loneBn;
        }
        if (strong == 0) {
            SetKind(board::WKing, kingEg, weakKing);
            SetKind(board::WPawn, strongPawn, PawnEg);
        } else {
            SetKind(board::WKing, weakKing, kingEg);
            SetKind(board::WPawn, PawnEg, strongPawn);
        }
    } else if (endgame) {
        SetKind(board::WKing, kingEg, kingEg);
        SetKind(board::WPawn, PawnEg, PawnEg);
    } else {
        // a king facing no queen and few pieces may come out earlier
        const int* kingMg = W.kingSquaresMg.data();
        const int* queenless = W.kingSquaresQueenless.data();
        const int* whiteKing =
            (c.queens[1] == 0 && c.knights[1] + c.bishops[1] + c.rooks[1] < 6) ? queenless : kingMg;
        const int* blackKing =
            (c.queens[0] == 0 && c.knights[0] + c.bishops[0] + c.rooks[0] < 6) ? queenless : kingMg;
        SetKind(board::WKing, whiteKing, blackKing);
        if (whiteKing == kingMg) CastledShelter(tree, 0);
        if (blackKing == kingMg) CastledShelter(tree, 1);
        SetKind(board::WPawn, PawnMg, PawnMg);
    }
    if (set.preferOpen) PreferOpenTensions(tree);

    // 4. Material options.
    const int values[5] = {100, 325, 325, 541, 1055};
    const int kinds[5] = {board::WPawn, board::WKnight, board::WBishop, board::WRook, board::WQueen};
    const int mg[5] = {set.pawn, set.knight, set.bishop, set.rook, set.queen};
    const int eg[5] = {set.pawnEnd, set.knightEnd, set.bishopEnd, set.rookEnd, set.queenEnd};
    for (int i = 0; i < 5; i++) {
        int option = endgame ? eg[i] : mg[i];
        if (option != 100) AddToKind(kinds[i], (values[i] * option - 100 * values[i]) / 100);
    }

    // 5. Passed-pawn tables.
    for (int t = 0; t < 3; t++)
        for (int i = 0; i < 8; i++) {
            PassedMg[t][i] = set.passedPawns == 100 ? PassedMgBase[t][i]
                                                    : PassedMgBase[t][i] * set.passedPawns / 100;
            PassedEg[t][i] = set.passedPawnsEnd == 100 ? PassedEgBase[t][i]
                                                       : PassedEgBase[t][i] * set.passedPawnsEnd / 100;
        }
    RookBishopBonus = set.bishop == 100 ? W.rookBishopPair : W.rookBishopPair * set.bishop / 100;

    // 6. Side term: the pawn tables act only through the pawn moves of the search.
    int pawnBalance = 0;
    for (int sq = 1; sq <= 64; sq++) {
        if (tree.board[sq] == board::WPawn) pawnBalance += board::PieceSquare[board::WPawn][sq];
        if (tree.board[sq] == board::BPawn) pawnBalance -= board::PieceSquare[board::BPawn][sq];
    }
    board::SideTerm = -pawnBalance;

    // 7. Root facts read by the evaluation.
    int wk = Zone(c.king[0] ? c.king[0] : 5), bk = Zone(c.king[1] ? c.king[1] : 61);
    KingsSameWing = (wk == bk && wk != 1) ? 1 : 0;

    // 8. Search switches.
    SearchSwitches g;
    const int majors = rc.majors, minors = rc.minors;
    g.nullMoveSwitch = 1;
    g.nullMovePlyRule = ((majors == 0 && minors <= 2) || (majors == 1 && minors <= 1) ||
                         (RootStage & 0x60))
                            ? 1
                            : 0;
    g.fewPiecesFlag = majors + minors <= 4 ? 1 : 0;
    g.checkExtPlyLimit =
        ((RootStage & 4) && rc.queens == 0 && c.rooks[0] + c.rooks[1] <= 2) ? 4 : 99;
    g.endgameClass = RootStage;

    // 9. Settings signature.
    BuildSignature();
    ResetEvalStatistics();
    return g;
}

board::NodeRecord* SetUpRoot(board::Tree& tree, const board::GameRecord& game,
                             SearchSwitches* switches) {
    board::NodeRecord* root = board::SetUpSearchNodes(tree, game);
    SearchSwitches built = BuildEvalTables(tree);
    if (switches) *switches = built;
    root->squareScore = board::SquareScore(tree, root->side);
    return root;
}

// Re-runs table builders that touch no search state: used to time the machine.
void CalibrationWorkload() {
    static int scratch[64];
    static RootCounts rc;
    int acc = 0;
    for (int round = 0; round < 40; round++) {
        FillDerived(scratch, KingEg);
        for (int i = 0; i < 64; i++) acc += scratch[i];
        FillDerived(scratch, QueenEg);
        for (int i = 0; i < 64; i++) acc += scratch[i];
        for (int mask = 0; mask < 256; mask++) {
            int p[2] = {8, 8}, n[2] = {2 - (mask & 1), 2 - ((mask >> 1) & 1)};
            int b[2] = {2 - ((mask >> 2) & 1), 2 - ((mask >> 3) & 1)};
            int r[2] = {2 - ((mask >> 4) & 1), 2 - ((mask >> 5) & 1)};
            int q[2] = {1 - ((mask >> 6) & 1), 1 - ((mask >> 7) & 1)};
            rc = Summarise(p, n, b, r, q);
            acc += IsMiddleGame(rc);
        }
    }
    scratch[0] = acc;
}

}  // namespace eval
