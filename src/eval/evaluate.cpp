// The static evaluation: material and square score from make, the positional
// part computed here with an evaluation cache, a pawn cache and the material table.
#include <cstring>

#include "bitbases/probe.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "core/settings.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace eval {

int OptimisticMargin[2] = {0, 0};

Bits FileMask[9], RankMask[9], AdjacentFiles[9];
Bits PassedSpan[2][65], FrontSpan[2][65], PawnAttackBits[2][65], KingRing[65];
int UseEvalCache = 1;

namespace {

using board::FileOf;
using board::RankOf;
using board::Tree;
using board::NodeRecord;

const int Directions[8][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
uint8_t Rays[65][8][8];  // squares along each direction, zero-terminated
uint8_t KnightSteps[65][9];
int PositionalMax[2], PositionalMin[2];

PawnEntry ScratchPawnEntry;

const Bits FileABits = 0x0101010101010101ULL, FileHBits = 0x8080808080808080ULL;

inline int Sq(int file, int rank) {
    return (file < 1 || file > 8 || rank < 1 || rank > 8) ? 0 : board::SquareAt(file, rank);
}

// Pawn structure for one pawn entry, white's view.
void FillPawnEntry(const Tree& tree, PawnEntry& e, uint32_t key) {
    std::memset(&e, 0, sizeof e);
    e.key = key;
    e.stamp = SettingsSignature[1];
    for (int f = 0; f < 8; f++) e.whiteRear[f] = e.blackFront[f] = 9;
    for (int s = 0; s < 2; s++)
        for (const uint8_t* p = tree.pieces[s] + 1; *p; p++) {
            if (*p > 64) continue;
            if (board::IsPawn(tree.board[*p])) e.pawns[s] |= Bit(*p);
        }
    const Bits wp = e.pawns[0], bp = e.pawns[1];
    e.attacks[0] = ((wp & ~FileABits) << 7) | ((wp & ~FileHBits) << 9);
    e.attacks[1] = ((bp & ~FileABits) >> 9) | ((bp & ~FileHBits) >> 7);
    int fileSum = 0;
    for (int s = 0; s < 2; s++) {
        Bits b = e.pawns[s];
        while (b) {
            int sq = PopLowest(b), f = FileOf(sq) - 1, r = RankOf(sq);
            int colour = board::SquareColour(sq);
            fileSum += f + 1;
            e.files[f]++;
            if (s == 0) {
                e.whiteFile[f]++;
                e.whiteColour[colour]++;
                if (r < e.whiteRear[f]) e.whiteRear[f] = uint8_t(r);
                if (r > e.whiteFront[f]) e.whiteFront[f] = uint8_t(r);
                if (sq <= 56 && (bp & Bit(sq + 8))) e.whiteBlocked[colour]++;
                e.whiteCount++;
            } else {
                e.blackFile[f]++;
                e.blackColour[colour]++;
                if (r < e.blackFront[f]) e.blackFront[f] = uint8_t(r);
                if (r > e.blackRear[f]) e.blackRear[f] = uint8_t(r);
                if (sq > 8 && (wp & Bit(sq - 8))) e.blackBlocked[colour]++;
                e.blackCount++;
            }
        }
    }
    for (int c = 0; c < 2; c++) {
        e.whiteColourLeft[c] = e.whiteColour[c];
        e.blackColourLeft[c] = e.blackColour[c];
    }
    if (e.whiteCount + e.blackCount) e.averageFile = uint8_t(fileSum / (e.whiteCount + e.blackCount));

    const bool endgame = (RootStage & 0x64) != 0;
    int mg = 0, delta = 0;
    auto term = [&](int sign, int m, int g) {
        if (endgame) mg += sign * g;
        else { mg += sign * m; delta += sign * (g - m); }
    };
    for (int s = 0; s < 2; s++) {
        const int sign = s ? -1 : 1;
        const Bits own = e.pawns[s], enemy = e.pawns[s ^ 1];
        const uint8_t* ownFile = s ? e.blackFile : e.whiteFile;
        bool passedAny = false;
        Bits b = own;
        while (b) {
            const int sq = PopLowest(b), f = FileOf(sq), rel = Relative(s, sq), rr = RankOf(rel);
            const bool opposed = (FrontSpan[s][sq] & enemy) != 0;
            // 1. Doubled pawns.
            if (ownFile[f - 1] >= 2) mg += sign * W.doubled[f - 1];
            // 2. Isolated and backward pawns.
            if ((own & AdjacentFiles[f]) == 0) {
                term(sign, W.isolated + (opposed ? 0 : W.isolatedOpen), W.isolatedEnd);
            } else {
                const Bits behindOrLevel = AdjacentFiles[f] & ~PassedSpan[s][sq];
                const int stop = s ? sq - 8 : sq + 8;
                if ((own & behindOrLevel) == 0 && stop >= 1 && stop <= 64 &&
                    (e.attacks[s ^ 1] & Bit(stop)))
                    term(sign, W.backward + (opposed ? 0 : W.backwardOpen), W.backwardEnd);
            }
            // 3. Connected pawns: side by side or defended.
            const Bits level = AdjacentFiles[f] & RankMask[RankOf(sq)];
            if ((own & level) || (e.attacks[s] & Bit(sq))) term(sign, W.connected[rr - 1], W.connected[rr - 1]);
            // 4. Central duos.
            if (f >= 3 && f <= 5 && (rr == 4 || rr == 5) && (own & Bit(sq + 1))) {
                const int ahead = s ? -8 : 8;
                const bool free = !(enemy & Bit(sq + ahead)) && !(enemy & Bit(sq + 1 + ahead));
                int v = 0;
                if (f == 4) v = rr == 4 ? (free ? 10 : 8) : 10;
                else v = rr == 4 ? (free ? 5 : 2) : 9;
                mg += sign * v;
            }
            // 5. Passed pawns.
            if ((PassedSpan[s][sq] & enemy) == 0 && (FrontSpan[s][sq] & own) == 0 && !(RootStage & 1)) {
                passedAny = true;
                e.passed[s] |= Bit(sq);
                const int colour = board::SquareColour(sq);
                if (s == 0) e.whiteColourLeft[colour]--;
                else e.blackColourLeft[colour]--;
                const int i = rr - 1;
                if (RootStage & 2) {
                    mg += sign * PassedMg[0][i];
                    delta += sign * (PassedEg[0][i] - PassedMg[0][i]);
                } else {
                    mg += sign * PassedEg[0][i];
                }
            }
        }
        // 6. Outpost squares for the knights: c4-f6 from this side's view.
        for (int r = 4; r <= 6; r++)
            for (int f = 3; f <= 6; f++) {
                const int sq = Relative(s, board::SquareAt(f, r));
                const bool hole = (PassedSpan[s][sq] & ~FileMask[f] & enemy) == 0;
                if (hole) e.holes[s] |= Bit(sq);
                else if (!(e.attacks[s ^ 1] & Bit(sq)) && (e.attacks[s] & Bit(sq))) e.outposts[s] |= Bit(sq);
            }
        // 7. Drawish flags.
        const int count = s ? e.blackCount : e.whiteCount, other = s ? e.whiteCount : e.blackCount;
        if (count == 0) e.drawish[s] |= 2;
        bool locked = count > 0 && !passedAny && count <= other + 1;
        for (int f = 0; f < 8 && locked; f++)
            if (ownFile[f] && !(s ? e.whiteFile[f] : e.blackFile[f])) locked = false;
        if (locked) e.drawish[s] |= 1;
    }
    e.mgScore = int16_t(mg);
    e.egDelta = int16_t(delta);
}

PawnEntry& PawnLookup(Tree& tree, const NodeRecord* node) {
    if (!tree.pawnCache) {
        FillPawnEntry(tree, ScratchPawnEntry, node->pawnKey[1]);
        return ScratchPawnEntry;
    }
    PawnEntry* e = reinterpret_cast<PawnEntry*>(tree.pawnCache + size_t(node->pawnKey[0] & 16383) * 200);
    // entries built under other weights or another root stage are rebuilt
    if (e->key != node->pawnKey[1] || e->stamp != SettingsSignature[1]) FillPawnEntry(tree, *e, node->pawnKey[1]);
    return *e;
}

struct Sums {
    int pawns, king, centre, rest;
    int mobility, minorMobility, passed, shelter;  // shares of rest and king, for the breakdown only
    int safety[2];  // winning chances per side for the damping rule
};

// Pieces of one side, white's view sign applied by the caller.
int PinPenalty(const Tree& tree, int s, int sq) {
    const board::AttackEntry& at = tree.attackTable[s ^ 1][sq];
    if (!at.sliders) return 0;  // only sliders pin
    for (int i = int(at.number) - 1; i >= 0; i--) {
        const int a = at.squares[i], code = tree.board[a];
        if (!board::IsSlider(code)) continue;
        int df = FileOf(sq) - FileOf(a), dr = RankOf(sq) - RankOf(a);
        df = (df > 0) - (df < 0);
        dr = (dr > 0) - (dr < 0);
        int x = Sq(FileOf(sq) + df, RankOf(sq) + dr);
        while (x && tree.board[x] == 0) x = Sq(FileOf(x) + df, RankOf(x) + dr);
        if (!x) continue;
        const int m = tree.board[x];
        if (board::ColourOf(m) != s || board::PieceValue[m] <= board::PieceValue[code]) continue;
        int penalty = W.pinned;
        if (board::IsKing(m)) {
            penalty += W.pinnedToKingPerAttacker * int(at.number);
            if (at.number > tree.attackTable[s][sq].number) penalty += W.pinnedToKingLoose;
        }
        return penalty;
    }
    return 0;
}

// How badly side s's piece on sq is threatened: by a pawn, by a lesser
// piece, or attacked without a defender. Only called for attacked pieces.
int Threat(const Tree& tree, int s, int sq, int code, const PawnEntry& pe) {
    const int k = (code & 7) == 3 ? 0 : (code & 7) == 5 ? 1 : (code & 7) == 6 ? 2 : 3;
    if (pe.attacks[s ^ 1] & Bit(sq)) return W.threatByPawn[k];
    const board::AttackEntry& at = tree.attackTable[s ^ 1][sq];
    const int value = board::PieceValue[code];
    for (uint32_t i = 0; i < at.number; i++)
        if (board::PieceValue[tree.board[at.squares[i]]] < value) return W.threatByLesser[k];
    return tree.attackTable[s][sq].number == 0 ? W.threatHanging[k] : 0;
}

// Slider reach: R empty squares, S of them safe; also counts enemy men hit.
void Reach(const Tree& tree, int sq, int first, int last, int s, bool anyAttack, const PawnEntry& pe,
           int& r, int& safe, int& hits) {
    r = safe = hits = 0;
    for (int d = first; d <= last; d++)
        for (const uint8_t* p = Rays[sq][d]; *p; p++) {
            const int x = *p;
            if (tree.board[x]) {
                if (board::ColourOf(tree.board[x]) != s && !(pe.attacks[s ^ 1] & Bit(x))) hits++;
                break;
            }
            r++;
            const bool attacked = anyAttack ? tree.attackTable[s ^ 1][x].number > 0
                                            : (pe.attacks[s ^ 1] & Bit(x)) != 0;
            if (!attacked) safe++;
        }
}

int Min(int a, int b) { return a < b ? a : b; }

void EvaluatePieces(const Tree& tree, const NodeRecord* node, const PawnEntry& pe, bool eg, Sums& sum) {
    const int kings[2] = {board::KingSquare(tree, 0), board::KingSquare(tree, 1)};
    const int mobPct = core::settings.preferOpen ? 125 : 100;
    for (int s = 0; s < 2; s++) {
        const int sign = s ? -1 : 1, e = s ^ 1, ek = kings[e];
        const int bit = s ? board::BlackBit : 0;
        const int ownPawn = board::WPawn + bit, enemyPawn = board::WPawn + (bit ^ board::BlackBit);
        const uint8_t* ownFile = s ? pe.blackFile : pe.whiteFile;
        const uint8_t* enemyFile = s ? pe.whiteFile : pe.blackFile;
        const uint8_t* ownColour = s ? pe.blackColour : pe.whiteColour;
        const uint32_t enemySig = node->signature[e];
        const int enemyQueens = int((enemySig >> 10) & 3);
        const bool ownQueen = ((node->signature[s] >> 10) & 3) != 0;
        // The enemy queens, found once for all bishops of the side.
        uint8_t enemyQueenSquares[17];
        int enemyQueenCount = 0;
        if (enemyQueens == 1 && !eg) {
            const int qcode = board::WQueen + (bit ^ board::BlackBit);
            for (const uint8_t* q = tree.pieces[e] + 1; *q; q++)
                if (*q <= 64 && tree.board[*q] == qcode) enemyQueenSquares[enemyQueenCount++] = *q;
        }
        int rest = 0, mobility = 0, minorMobility = 0;
        int threatSum = 0, threatMax = 0;
        auto threatened = [&](int t) {
            threatSum += t;
            if (t > threatMax) threatMax = t;
        };
        auto at = [&](int file, int rank) { return tree.board[Relative(s, board::SquareAt(file, rank))]; };
        for (const uint8_t* p = tree.pieces[s] + 1; *p; p++) {
            const int sq = *p;
            if (sq > 64) continue;
            const int code = tree.board[sq], kind = code & 7;
            const int attackers = int(tree.attackTable[e][sq].number);
            if (kind == 2) {
                if (attackers && tree.attackTable[s][sq].number == 0) threatened(W.threatHangingPawn);
                continue;
            }
            const int rel = Relative(s, sq), rf = FileOf(rel), rr = RankOf(rel);
            const bool pawnDefended = (pe.attacks[s] & Bit(sq)) != 0;
            if (kind != 7 && !pawnDefended) rest -= PinPenalty(tree, s, sq);
            if ((kind == 3 || kind == 5) && rr < 8 && tree.board[s ? sq - 8 : sq + 8] == ownPawn)
                rest += W.minorBehindPawn;
            if (attackers) threatened(Threat(tree, s, sq, code, pe));
            switch (kind) {
                case 3: {  // knight
                    rest -= W.knightAttacked * attackers;
                    if (ownQueen && Zone(sq) == Zone(ek) && RankDistance(sq, ek) <= 2) rest += W.knightNearKing;
                    if (rel == 19 && at(3, 2) == ownPawn && at(4, 4) == ownPawn && at(4, 5) == enemyPawn &&
                        FileOf(kings[s]) >= 5 && !eg)
                        rest -= W.knightC3Blocks;
                    if (rf >= 3 && rf <= 6 && rr >= 4 && rr <= 6) {
                        const int colourBit = board::SquareColour(sq) ? 0x80 : 0x40;
                        const bool noEnemyMinor = ((enemySig >> 4) & 3) == 0 && !(enemySig & colourBit);
                        if (pe.holes[s] & Bit(sq)) {
                            rest += W.outpostHole;
                            if (pawnDefended && noEnemyMinor) rest += W.outpostHoleSafe;
                        } else if (pe.outposts[s] & Bit(sq)) {
                            rest += W.outpostSecond;
                            if (pawnDefended && noEnemyMinor) rest += W.outpostSecondSafe;
                        }
                        const int ahead = s ? sq - 8 : sq + 8;
                        if (pawnDefended) rest += W.outpostPawnDefended;
                        else if (tree.board[ahead] == enemyPawn) rest += W.outpostBlocksPawn;
                    }
                    int n = 0;
                    for (const uint8_t* k = KnightSteps[sq]; *k; k++) {
                        const int x = *k;
                        if (tree.board[x] && board::ColourOf(tree.board[x]) == s) continue;
                        if (!(pe.attacks[e] & Bit(x))) n++;
                    }
                    mobility += W.knightMobility[n];
                    minorMobility += W.knightMobility[n];
                    break;
                }
                case 5: {  // bishop
                    rest -= W.bishopAttacked * attackers;
                    rest -= W.bishopOwnPawnColour * ownColour[board::SquareColour(sq) ? 1 : 0];
                    if (!eg) {
                        if (SameDiagonal(sq, ek)) rest += W.bishopKingDiagonal;
                        for (int i = 0; i < enemyQueenCount; i++)
                            if (SameDiagonal(sq, enemyQueenSquares[i])) rest += W.bishopQueenDiagonal;
                    } else {
                        rest += W.bishopEndgame;
                    }
                    // trapped bishops
                    if ((rel == 49 && at(2, 6) == enemyPawn) || (rel == 56 && at(7, 6) == enemyPawn)) {
                        const bool wingPawn = rel == 49 ? at(3, 7) == enemyPawn : at(6, 7) == enemyPawn;
                        rest -= wingPawn ? W.bishopTrapped7 : W.bishopTrapped7 / 2;
                    } else if ((rel == 1 && at(3, 3) == enemyPawn) || (rel == 8 && at(6, 3) == enemyPawn)) {
                        const bool support = rel == 1 ? (at(2, 4) == enemyPawn || at(4, 4) == enemyPawn)
                                                      : (at(5, 4) == enemyPawn || at(7, 4) == enemyPawn);
                        rest -= support ? W.bishopTrapped1 : W.bishopTrapped1Mild;
                    } else if ((rel == 9 && at(2, 3) == enemyPawn) || (rel == 16 && at(7, 3) == enemyPawn)) {
                        rest -= W.bishopTrapped2;
                        const int pawnSq = Relative(s, board::SquareAt(rel == 9 ? 2 : 7, 3));
                        if (pe.attacks[e] & Bit(pawnSq)) rest -= W.bishopTrapped2Defended;
                    }
                    if (rr > 2 && rf == 1 && at(2, rr - 1) == ownPawn) rest -= W.bishopEdgeBlocked;
                    if (rr > 2 && rf == 8 && at(7, rr - 1) == ownPawn) rest -= W.bishopEdgeBlocked;
                    int r, safe, hits;
                    Reach(tree, sq, 4, 7, s, false, pe, r, safe, hits);
                    mobility += W.bishopMobility[Min(safe + hits, 13)];
                    minorMobility += W.bishopMobility[Min(safe + hits, 13)];
                    break;
                }
                case 6: {  // rook
                    rest -= W.rookAttacked * attackers;
                    int r, safe, hits;
                    Reach(tree, sq, 0, 3, s, false, pe, r, safe, hits);
                    int m = (4 * safe + 4 * Min(r, 11)) / 5 - 4;
                    if (safe == 0) m -= 14;
                    else if (safe == 1) m -= 4;
                    else if (safe == 2) m -= 1;
                    mobility += m;
                    const int left = rf > 1 ? tree.board[sq - 1] : 1, right = rf < 8 ? tree.board[sq + 1] : 1;
                    if (left && right) {
                        rest -= W.rookBoxed;
                        if ((rel == 9 && at(2, 2) == ownPawn) || (rel == 16 && at(7, 2) == ownPawn)) {
                            const bool deep = rel == 9 ? at(1, 3) == ownPawn : at(8, 3) == ownPawn;
                            rest -= deep ? W.rookCorneredDeep : W.rookCornered;
                        }
                    }
                    const int f = FileOf(sq) - 1;
                    if (!ownFile[f]) {
                        if (!enemyFile[f]) rest += eg ? W.rookOpenFileEnd : W.rookOpenFile;
                        else rest += eg ? W.rookHalfOpenEnd : W.rookHalfOpen;
                    }
                    if (rr == 7 && (RankOf(Relative(s, ek)) == 8 ||
                                    (pe.pawns[e] & RankMask[RankOf(Relative(s, board::SquareAt(1, 7)))])))
                        rest += eg ? W.rookSeventhEnd : W.rookSeventh;
                    for (const uint8_t* q = Rays[sq][0]; *q; q++)
                        if (tree.board[*q]) {
                            if (tree.board[*q] == code) rest += W.rooksDoubled;
                            break;
                        }
                    // behind a passed pawn, own or enemy, on its file
                    if ((pe.passed[s] & FrontSpan[s][sq]) || (pe.passed[e] & FrontSpan[e][sq])) {
                        const uint8_t* q = Rays[sq][s ? 2 : 0];
                        while (*q && !tree.board[*q]) q++;
                        if (*q && (pe.passed[s] & Bit(*q))) rest += W.rookBehindPassed;
                        q = Rays[sq][s ? 0 : 2];
                        while (*q && !tree.board[*q]) q++;
                        if (*q && (pe.passed[e] & Bit(*q))) rest += W.rookBehindPassed;
                    }
                    break;
                }
                case 7: {  // queen
                    rest -= W.queenAttacked * attackers;
                    if (!KingsSameWing && Zone(sq) == Zone(ek)) rest += (18 - 2 * RankDistance(sq, ek)) / 8;
                    if (Distance(sq, ek) < 3) rest += W.queenNearKing;
                    int r, safe, hits;
                    Reach(tree, sq, 0, 7, s, true, pe, r, safe, hits);
                    int m = (4 * safe + 5 * Min(r, 19)) / 7 - 1;
                    if (safe == 0) m -= 25;
                    else if (safe == 1) m -= 9;
                    else if (safe == 2) m -= 3;
                    mobility += m;
                    const int f = FileOf(sq) - 1;
                    if (!ownFile[f] && enemyFile[f]) rest += W.queenFileEnemyPawn;
                    bool sheltered = false;
                    if ((rf == 1 || rf == 8) && rr > 1) {
                        const int in = rf == 1 ? 2 : 7;
                        int n = (at(in, rr) == ownPawn) + (at(in, rr - 1) == ownPawn) + (at(rf, rr - 1) == ownPawn);
                        sheltered = n >= 2;
                    }
                    if (!sheltered && rr > 3 && at(rf, rr - 1) == ownPawn) rest -= W.queenBlockedByPawn;
                    break;
                }
                default: break;
            }
        }
        // Quiescence resolves the threats of the side to move; those against it
        // cost it the move for its worst-threatened piece and the others outright.
        if (s == node->side) rest -= threatMax ? threatSum - threatMax + W.threatMoverTempo : 0;
        else rest -= threatSum;
        if (mobPct != 100) mobility = mobility * mobPct / 100;
        sum.rest += sign * (rest + mobility);
        sum.mobility += sign * mobility;
        sum.minorMobility += sign * minorMobility;
    }
}

// Checks the enemy could give from squares that side s does not guard, the
// weight of each checking kind counted once per square.
int SafeChecks(const Tree& tree, int s, int k) {
    const int e = s ^ 1;
    int v = 0;
    auto attackedBy = [&](int x, int kind) {
        const board::AttackEntry& at = tree.attackTable[e][x];
        for (uint32_t i = 0; i < at.number; i++)
            if ((tree.board[at.squares[i]] & 7) == kind) return true;
        return false;
    };
    for (const uint8_t* q = KnightSteps[k]; *q; q++) {
        const int x = *q;
        if (tree.board[x] && board::ColourOf(tree.board[x]) == e) continue;
        if (tree.attackTable[s][x].number == 0 && attackedBy(x, 3)) v += W.safeCheck[0];
    }
    for (int d = 0; d < 8; d++) {
        const int slider = d < 4 ? 6 : 5;
        for (const uint8_t* q = Rays[k][d]; *q; q++) {
            const int x = *q;
            if (tree.board[x] && board::ColourOf(tree.board[x]) == e) break;
            if (tree.attackTable[s][x].number == 0 && tree.attackTable[e][x].sliders) {
                if (attackedBy(x, slider)) v += W.safeCheck[d < 4 ? 2 : 1];
                if (attackedBy(x, 7)) v += W.safeCheck[3];
            }
            if (tree.board[x]) break;
        }
    }
    return v;
}

// King shelter, pawn storm and the attack on the king's surroundings.
void EvaluateKings(const Tree& tree, const NodeRecord* node, const PawnEntry& pe, Sums& sum) {
    for (int s = 0; s < 2; s++) {
        const int sign = s ? -1 : 1, e = s ^ 1;
        const int k = board::KingSquare(tree, s);
        const int enemyQueens = int((node->signature[e] >> 10) & 3);
        const int enemyRooks = int((node->signature[e] >> 8) & 3);
        int v = 0;
        // 1. Shelter and storm on the king's file and its neighbours.
        int kf = FileOf(k);
        if (kf < 2) kf = 2;
        if (kf > 7) kf = 7;
        const int kr = RankOf(Relative(s, k));
        if (kr <= 2) {
            for (int f = kf - 1; f <= kf + 1; f++) {
                int ownRank;  // rearmost own pawn from this side's view, 9 when none
                int enemyRank;  // foremost enemy pawn from this side's view, 9 when none
                if (s == 0) {
                    ownRank = pe.whiteRear[f - 1];
                    enemyRank = pe.blackFront[f - 1];
                } else {
                    ownRank = pe.blackRear[f - 1] ? 9 - pe.blackRear[f - 1] : 9;
                    enemyRank = pe.whiteFront[f - 1] ? 9 - pe.whiteFront[f - 1] : 9;
                }
                int shelter = ownRank == 2 ? 0
                              : ownRank == 3 ? W.shelterRank3
                              : ownRank == 4 ? W.shelterRank4
                              : ownRank == 9 ? W.shelterNone
                                             : W.shelterFar;
                if (f == FileOf(k)) shelter *= 2;
                v += shelter;
                if (enemyRank == 3) v += W.stormRank3;
                else if (enemyRank == 4) v += W.stormRank4;
                else if (enemyRank == 5) v += W.stormRank5;
                if (ownRank == 9 && (enemyRooks || enemyQueens)) v += W.openFileNearKing;
            }
            if (!enemyQueens) v /= 2;
            if (FileOf(k) == 4 || FileOf(k) == 5) v /= 2;  // not castled yet: the wing is open
        }
        sum.shelter += sign * v;
        // 2. Attack units on the king ring.
        int units = 0;
        Bits attackers = 0;
        Bits ring = KingRing[k];
        while (ring) {
            const int x = PopLowest(ring);
            const board::AttackEntry& at = tree.attackTable[e][x];
            for (uint32_t i = 0; i < at.number; i++) {
                const int a = at.squares[i];
                units += W.attackWeight[tree.board[a] & 7];
                attackers |= Bit(a);
            }
            if (at.number && tree.attackTable[s][x].number <= 1) units++;  // only the king defends
        }
        if (PopCount(attackers) >= 2) {
            const int u = Min(units, W.kingDangerUnitsCap);
            int danger = (W.kingDangerLinear * u + W.kingDangerSquare * u * u) / 16;
            if (!enemyQueens) danger /= 3;
            v -= danger;
        }
        v -= SafeChecks(tree, s, k);
        sum.king += sign * v;
    }
}

int CentreControl(const Tree& tree) {
    static const int Inner[4] = {28, 29, 36, 37};
    static const int Outer[12] = {19, 20, 21, 22, 27, 30, 35, 38, 43, 44, 45, 46};
    int v = 0;
    for (int sq : Inner)
        v += W.centreInner * (Min(int(tree.attackTable[0][sq].number), 3) - Min(int(tree.attackTable[1][sq].number), 3));
    for (int sq : Outer)
        v += W.centreOuter * (Min(int(tree.attackTable[0][sq].number), 3) - Min(int(tree.attackTable[1][sq].number), 3));
    return v;
}

// Room behind the pawns in the centre: the squares of files c-f on side s's
// ranks 2-4 that no pawn stands on or enemy pawn attacks, those behind an
// own pawn counted twice. Worth more the more pieces there are to use it.
int Space(const NodeRecord* node, const PawnEntry& pe, int s) {
    const Bits Centre = 0x3c3c3c3c3c3c3c3cULL;  // files c-f
    const Bits ranks = s ? (RankMask[5] | RankMask[6] | RankMask[7]) : (RankMask[2] | RankMask[3] | RankMask[4]);
    const Bits safe = Centre & ranks & ~pe.pawns[s] & ~pe.attacks[s ^ 1];
    Bits behind = pe.pawns[s];
    if (s) {
        behind |= behind << 8;
        behind |= behind << 16;
    } else {
        behind |= behind >> 8;
        behind |= behind >> 16;
    }
    const uint32_t sig = node->signature[s];
    const int pieces = int(((sig >> 4) & 3) + ((sig >> 6) & 1) + ((sig >> 7) & 1) + ((sig >> 8) & 3) + ((sig >> 10) & 3));
    return W.space * (PopCount(safe) + PopCount(safe & behind)) * pieces / 64;
}

// Passed pawns beyond their base value: free path, king support, the square rule.
int PassedDynamic(const Tree& tree, const NodeRecord* node, const PawnEntry& pe, bool eg) {
    int v = 0;
    for (int s = 0; s < 2; s++) {
        const int sign = s ? -1 : 1, e = s ^ 1;
        const int ok = board::KingSquare(tree, s), ek = board::KingSquare(tree, e);
        const bool enemyBare = (node->signature[e] & ~15u) == 0;
        Bits b = pe.passed[s];
        while (b) {
            const int sq = PopLowest(b), rr = RankOf(Relative(s, sq)), i = rr - 1;
            const int stop = s ? sq - 8 : sq + 8;
            if (stop < 1 || stop > 64) continue;
            bool free = true;
            Bits path = FrontSpan[s][sq];
            while (path && free) {
                const int x = PopLowest(path);
                if (tree.board[x] || tree.attackTable[e][x].number) free = false;
            }
            const int second = eg ? PassedEg[1][i] : PassedMg[1][i];
            if (free) v += sign * second;
            else if (!tree.board[stop] && !tree.attackTable[e][stop].number) v += sign * second / 4;
            if (eg) {
                const int d = W.passedEnemyKing * Distance(ek, stop) - W.passedOwnKing * Distance(ok, stop);
                v += sign * (d * PassedEg[2][i]) / 64;
                // the square rule in pawn endings
                if (enemyBare) {
                    const int promo = Relative(s, board::SquareAt(FileOf(sq), 8));
                    int dist = 8 - rr;
                    if (rr == 2) dist--;
                    const int tempo = node->side == e ? 1 : 0;
                    if (Distance(ek, promo) - tempo > dist && !(FrontSpan[s][sq] & Bit(ok)))
                        v += sign * W.unstoppable;
                }
            }
        }
    }
    return v;
}

inline int WhiteM(const NodeRecord* node) {
    int m = node->material[0] - node->material[1];
    return m + (node->side == 0 ? node->squareScore : -node->squareScore);
}

// Full positional part, white's view, before the damping rules.
struct Outcome {
    int p;          // white's view
    int scale;
    int draw;       // recognised draw
    Breakdown parts;
};

void Positional(Tree& tree, NodeRecord* node, Outcome& out) {
    std::memset(&out, 0, sizeof out);
    const uint32_t ws = node->signature[0], bs = node->signature[1];
    // 1. Recognised endings with bare kings or one pawn.
    if (ws + bs == 1) {
        const int pawnSide = ws ? 0 : 1;
        int pawn = 0;
        for (const uint8_t* p = tree.pieces[pawnSide] + 1; *p; p++)
            if (*p <= 64 && board::IsPawn(tree.board[*p])) pawn = *p;
        const int r = KpkResult(node->side, pawnSide, board::KingSquare(tree, pawnSide),
                                board::KingSquare(tree, pawnSide ^ 1), pawn);
        if (r == 0) { out.draw = 1; return; }
        out.p = pawnSide ? -r : r;
        out.parts.materialValue = 0;
        return;
    }
    if ((ws & 15) == 0 && (bs & 15) == 0) {
        // no pawns: bare kings or a single minor piece cannot win
        const uint32_t wp = ws >> 4, bp = bs >> 4;
        auto single = [](uint32_t x) { return x == 0 || x == 1 || x == 4 || x == 8; };
        if (single(wp) && single(bp) && (wp == 0 || bp == 0)) { out.draw = 1; return; }
    }
    // 2. Pawn structure.
    PawnEntry& pe = PawnLookup(tree, node);
    // bishop and rook pawns with the bishop of the wrong colour: the corner holds
    for (int side = 0; side < 2; side++) {
        const uint32_t own = node->signature[side], other = node->signature[side ^ 1];
        const uint32_t bishops = own & 0xc0;
        if ((own & ~0xcfu) != 0 || (bishops != 0x40 && bishops != 0x80) || (own & 15) == 0 || other != 0)
            continue;
        const Bits pawns = pe.pawns[side];
        int file = 0;
        if ((pawns & ~FileMask[1]) == 0) file = 1;
        else if ((pawns & ~FileMask[8]) == 0) file = 8;
        if (!file) continue;
        const int promo = Relative(side, board::SquareAt(file, 8));
        const int promoDark = board::SquareColour(promo);
        if ((bishops == 0x80) != (promoDark == 1) &&
            Distance(board::KingSquare(tree, side ^ 1), promo) <= 1) {
            out.draw = 1;
            return;
        }
    }
    const int eac = EndgameAfterCaptures[node->capturedKinds];
    const bool eg = (RootStage & 0x64) || eac;
    Sums sum;
    std::memset(&sum, 0, sizeof sum);
    sum.pawns = pe.mgScore + (eac ? pe.egDelta : 0);
    // 3. Pieces, kings, centre.
    EvaluatePieces(tree, node, pe, eg, sum);
    if (!eg) {
        EvaluateKings(tree, node, pe, sum);
        sum.centre = CentreControl(tree);
        sum.rest += Space(node, pe, 0) - Space(node, pe, 1);
    }
    sum.rest += node->side == 0 ? W.tempo : -W.tempo;
    sum.passed = PassedDynamic(tree, node, pe, eg);
    sum.rest += sum.passed;
    // 4.-6. Option scaling.
    const core::Settings& set = core::settings;
    sum.king = sum.king * 130 / 100;
    if (set.kingSafety != 100) sum.king = sum.king * set.kingSafety / 100;
    if (eg) {
        if (set.pawnStructureEnd != 100) sum.pawns = sum.pawns * set.pawnStructureEnd / 100;
    } else if (set.pawnStructure != 100) {
        sum.pawns = sum.pawns * set.pawnStructure / 100;
    }
    if (set.centerControl != 100) sum.centre = sum.centre * set.centerControl / 100;
    // 7. Material balance.
    MaterialEntry me = LookupMaterial(tree, node);
    int p = sum.pawns + sum.king + sum.centre + sum.rest + me.value;
    // 8.-9. Drawishness: cap the total of the side ahead.
    const int m = WhiteM(node);
    const int t = p + m;
    if (t != 0) {
        const int ahead = t > 0 ? 0 : 1;
        int cap = W.drawCap;
        const int pieces0 = node->material[0] - 100 * int(ws & 15);
        const int pieces1 = node->material[1] - 100 * int(bs & 15);
        if (pieces0 == pieces1 && (pe.drawish[ahead] & 1)) cap = Min(cap, W.drawCapLocked);
        if (pieces0 == pieces1 && (pe.drawish[ahead] & 2)) cap = Min(cap, W.drawCapNoPawns);
        // winning chances of a side without pawns: its piece advantage must mate
        if (pe.drawish[ahead] & 2) {
            const int own = ahead ? pieces1 : pieces0, other = ahead ? pieces0 : pieces1;
            int chances = own - other - 400;
            if (chances < -200) chances = -200;
            if (chances > 0) chances = 0;
            if (chances <= -50) cap = Min(cap, chances < -130 ? 40 : chances + 170);
        }
        const int abs = t < 0 ? -t : t;
        if (abs > cap) {
            const int shift = (abs - cap) / 3;
            p += t > 0 ? -shift : shift;
        }
    }
    out.p = p;
    out.scale = me.scale;
    out.parts.pawns = sum.pawns;
    out.parts.kingSafety = sum.king;
    out.parts.centre = sum.centre;
    out.parts.rest = sum.rest;
    out.parts.mobility = sum.mobility;
    out.parts.minorMobility = sum.minorMobility;
    out.parts.passed = sum.passed;
    out.parts.shelter = sum.shelter;
    out.parts.materialValue = me.value;
    out.parts.scale = me.scale;
}

// Scales M + P by f percent by moving P.
inline int ScaleWhole(int p, int m, int f) { return (p * f + (f - 100) * m) / 100; }

}  // namespace

void InitGeometry() {
    for (int f = 1; f <= 8; f++) {
        FileMask[f] = RankMask[f] = 0;
        for (int i = 1; i <= 8; i++) {
            FileMask[f] |= Bit(board::SquareAt(f, i));
            RankMask[f] |= Bit(board::SquareAt(i, f));
        }
    }
    FileMask[0] = RankMask[0] = 0;
    for (int f = 1; f <= 8; f++)
        AdjacentFiles[f] = (f > 1 ? FileMask[f - 1] : 0) | (f < 8 ? FileMask[f + 1] : 0);
    AdjacentFiles[0] = 0;
    for (int sq = 1; sq <= 64; sq++) {
        const int f = FileOf(sq), r = RankOf(sq);
        Bits aheadW = 0, aheadB = 0;
        for (int i = r + 1; i <= 8; i++) aheadW |= RankMask[i];
        for (int i = 1; i < r; i++) aheadB |= RankMask[i];
        FrontSpan[0][sq] = aheadW & FileMask[f];
        FrontSpan[1][sq] = aheadB & FileMask[f];
        PassedSpan[0][sq] = aheadW & (FileMask[f] | AdjacentFiles[f]);
        PassedSpan[1][sq] = aheadB & (FileMask[f] | AdjacentFiles[f]);
        PawnAttackBits[0][sq] = PawnAttackBits[1][sq] = 0;
        for (int df = -1; df <= 1; df += 2) {
            if (Sq(f + df, r + 1)) PawnAttackBits[0][sq] |= Bit(Sq(f + df, r + 1));
            if (Sq(f + df, r - 1)) PawnAttackBits[1][sq] |= Bit(Sq(f + df, r - 1));
        }
        KingRing[sq] = 0;
        for (int df = -1; df <= 1; df++)
            for (int dr = -1; dr <= 1; dr++)
                if (Sq(f + df, r + dr)) KingRing[sq] |= Bit(Sq(f + df, r + dr));
        for (int d = 0; d < 8; d++) {
            int n = 0, x = sq;
            while ((x = Sq(FileOf(x) + Directions[d][0], RankOf(x) + Directions[d][1])) != 0)
                Rays[sq][d][n++] = uint8_t(x);
            Rays[sq][d][n] = 0;
        }
        static const int Jumps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
        int n = 0;
        for (const auto& j : Jumps)
            if (Sq(f + j[0], r + j[1])) KnightSteps[sq][n++] = uint8_t(Sq(f + j[0], r + j[1]));
        KnightSteps[sq][n] = 0;
    }
}

void ResetEvalStatistics() {
    PositionalMax[0] = PositionalMax[1] = -30000;
    PositionalMin[0] = PositionalMin[1] = 30000;
}

void InitEvalTables() {
    ApplyFittedWeights(W);
    InitGeometry();
    InitKpk();
    ResetPassedTables();
}

int Evaluate(Tree& tree, NodeRecord* node, int alpha, int beta, int depth) {
    const int stm = node->side;
    const int m = node->material[stm] - node->material[stm ^ 1] + node->squareScore;
    const uint32_t ws = node->signature[0], bs = node->signature[1];
    // 1. Lazy exit (the window and depth tests first: they are the cheap ones).
    if (depth < 2 && beta == alpha + 1 && node->ply > 1) {
        const int queens = int(((ws >> 10) & 3) + ((bs >> 10) & 3));
        const int others = int(((ws >> 4) & 3) + ((ws >> 6) & 1) + ((ws >> 7) & 1) + ((ws >> 8) & 3) +
                               ((bs >> 4) & 3) + ((bs >> 6) & 1) + ((bs >> 7) & 1) + ((bs >> 8) & 3));
        const int e = m + node->positionalValue;
        if ((queens > 0 || others >= 2) && (alpha > e + 100 || beta < e - 100)) return e;
    }
    const bool fullWindow = alpha <= -board::MateValue && beta >= board::MateValue;
    // 2. Evaluation cache.
    EvalEntry* slot = nullptr;
    const uint32_t generation = (SettingsSignature[0] & 0xffff) ? (SettingsSignature[0] & 0xffff) : 1;
    const uint32_t keyBits = node->key[1] & ~3u;
    if (UseEvalCache && EvalEntries && EvalTables[stm]) {
        slot = &EvalTables[stm][node->key[0] % EvalEntries];
        if (!fullWindow && (slot->data >> 16) == generation && ((slot->check ^ slot->data) | 2) == (keyBits | 2)) {
            if ((slot->check ^ slot->data) & 2) node->quiescenceFlag = 1;
            int p = int16_t(uint16_t(slot->data));
            if (W.evalScale != 100) p = p * W.evalScale / 100;
            node->positionalValue = p;
            return m + p;
        }
    }
    // 3. The positional part. Only this step reads the attack tables: the lazy
    // exit and a cache hit leave a just-made move's attack changes undone,
    // which spares them entirely when the move is taken back unread.
    board::SyncAttacks(tree);
    Outcome out;
    Positional(tree, node, out);
    if (out.draw) {
        node->positionalValue = -m;
        return 0;
    }
    if ((ws & ~15u) == 0 && (bs & ~15u) == 0) RootStage |= 0x10;
    int mWhite = WhiteM(node);
    int pWhite = out.p;
    int scale = out.scale;
    if (scale) pWhite = ScaleWhole(pWhite, mWhite, scale);
    // Pawn endings of a search whose root the bitbases answered: their
    // verdict outweighs any pawn-structure estimate.
    if ((ws & ~15u) == 0 && (bs & ~15u) == 0 && (RootStage & 0x64) && bitbases::probeState.rootInBitbase) {
        const int answer = bitbases::CountedProbe(tree.board, stm, int(node->flags & board::EpMask));
        if (answer != board::NoAnswer && answer != 0) pWhite += (answer > 0) == (stm == 0) ? 1000 : -1000;
    }
    // 4. Long checking by the side behind.
    int p = stm == 0 ? pWhite : -pWhite;
    if (node->ply > 8 && (node[-1].flags & board::InCheckFlag) && m + p < 0 &&
        tree.keyTop - node->resetPoint > 8 && (node[-3].flags & board::InCheckFlag) &&
        (node[-5].flags & board::InCheckFlag) && (node[-7].flags & board::InCheckFlag) &&
        (node[-9].flags & board::InCheckFlag)) {
        p = ScaleWhole(p, m, 80);
    }
    if (p > 30000) p = 30000;
    if (p < -30000) p = -30000;
    // 5. Statistics and the search's optimistic margin.
    if (depth >= 0) {
        if (p > PositionalMax[stm]) PositionalMax[stm] = p;
        if (p < PositionalMin[stm]) PositionalMin[stm] = p;
        if (p > OptimisticMargin[stm]) OptimisticMargin[stm] = p;
    }
    // 6. Store and return.
    if (slot && p >= -32767 && p <= 32767) {
        const uint32_t data = (generation << 16) | uint16_t(int16_t(p));
        slot->data = data;
        slot->check = data ^ (keyBits | (node->quiescenceFlag ? 2u : 0u));
    }
    if (W.evalScale != 100) p = p * W.evalScale / 100;
    node->positionalValue = p;
    return m + p;
}

int EvaluateVerbose(Tree& tree, NodeRecord* node, Breakdown& b) {
    board::SyncAttacks(tree);
    Outcome out;
    Positional(tree, node, out);
    b = out.parts;
    b.material = node->material[0] - node->material[1];
    b.squareScore = node->side == 0 ? node->squareScore : -node->squareScore;
    b.recognisedDraw = out.draw;
    const int saved = UseEvalCache;
    UseEvalCache = 0;
    b.total = Evaluate(tree, node, -board::MateValue, board::MateValue, 0);
    UseEvalCache = saved;
    return b.total;
}

}  // namespace eval
