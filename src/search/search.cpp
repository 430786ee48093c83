// The main alpha-beta search below the root: node-entry draw rules, hash
// cut-offs, null move, internal iterative deepening, the cut-node re-ordering
// search, principal-variation re-searches, extensions and the poll of the
// clock and the input.
#include <cstddef>
#include <cstdint>

#include "board/attacks.h"
#include "bitbases/probe.h"
#include "tablebases/tbprobe.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "core/platform.h"
#include "core/settings.h"
#include "eval/cache.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/record.h"
#include "search/root.h"
#include "search/search.h"
#include "search/state.h"
#include "search/tt.h"

namespace search {
namespace {

using board::Move;
using board::NodeRecord;
using board::Tree;

// Share of the contempt kept at a repetition, by half the phase units left.
constexpr int DrawScale[15] = {0, 0, 3, 6, 9, 15, 20, 25, 32, 40, 60, 70, 80, 90, 100};
constexpr int FiftyMovePlies = 100;
constexpr int MaxSearchPly = board::MaxPly - 1;
// A stored result this close to ply 99 after the fifty-move count is unsafe.
constexpr int LearnedDepth = 100;
// Extensions.
constexpr int BalanceWindow = 541;       // material swing that still earns extensions
constexpr int LightManValue = 540;       // checks by men up to this value need support
constexpr int HangCaptureSlack = 216;    // a capture this close in value does not hang
constexpr int PawnEndingExtension = 3;
constexpr int MaxThreatExtensions = 2;
constexpr int ThreatEvalSlack = 75;
// Null move.
constexpr int NullReduction = 3;
constexpr int MaxNullLowering = 5;
// Poll schedule, in milliseconds.
constexpr int32_t FirstInterval = 1000;   // nodes before the first poll of a search
constexpr int32_t SlowPollAfter = 4999;
constexpr int32_t ReportsAfter = 2000;
constexpr int32_t CurrentLineEvery = 750;
constexpr int32_t TablebaseCheckEvery = 2000;
constexpr int32_t HashLineEvery = 1500;
constexpr int TimeRulesFromIteration = 5;
constexpr int NodeLimitSlackFactor = 8;
constexpr int WaitStepMs = 50;
// Killer counts and history saturate here, well below the killer scores.
constexpr uint32_t HistoryCeiling = 1u << 30;

// Timers of the periodic reports, per search.
struct PollClock {
    int32_t searchStart = -1;
    int32_t lastCurrentLine = 0;
    int32_t lastTablebaseCheck = 0;
    int32_t lastHashLine = 0;
};
PollClock pollClock;

bool InCheck(const NodeRecord* node) { return (node->flags & board::InCheckFlag) != 0; }
bool IsQuiet(Move m) { return !board::MoveCaptured(m) && !board::MovePromotion(m) && !(m & board::MoveNull); }
int Balance(const NodeRecord* node) { return node->material[0] - node->material[1]; }
int Abs(int v) { return v < 0 ? -v : v; }
bool HasPieces(const NodeRecord* node, int side) { return node->phase[side] != 0; }
bool NoPawnsOnBoard(const Tree& tree) {
    return tree.pieceCount[board::WPawn] == 0 && tree.pieceCount[board::BPawn] == 0;
}
bool EndgameClass() { return (sg.endgameClass & (4 | 32 | 64)) != 0; }
bool OnInternalPath() { return sg.nullNesting != 0 || sg.internalNesting != 0; }

// Whether the move played from `node` leads to a position already in the key
// history (same stepping as the repetition rule).
bool MoveRepeats(Tree& tree, NodeRecord* node, Move move) {
    if (!move || !board::MoveFits(move, tree, node->flags)) return false;
    const Move saved = node->currentMove;
    node->currentMove = move;
    NodeRecord* child = board::MakeMove(tree, node);
    bool repeats = false;
    if (child) {
        repeats = RepetitionCount(tree, child) >= 1;
        board::UnmakeMove(tree, node);
    }
    node->currentMove = saved;
    return repeats;
}

// The node-limit stop; strength-limited play spends its clock here.
void NodeLimitReached() {
    if (limits.levelMode == 1 && searchState != Pondering) {
        stopFlag = 1;
        return;
    }
    int32_t wait = limits.target + limits.extension;
    if (limits.levelMode >= 1 && limits.levelMode <= 3 && wait > 0) {
        const int32_t signedRandom = int32_t(core::RandomNext());
        const uint32_t r = signedRandom < 0 ? 0u - uint32_t(signedRandom) : uint32_t(signedRandom);
        const uint32_t t = uint32_t(wait);
        if (r & 1u) {
            wait = int32_t(int64_t(t) + int64_t(r % t) > INT32_MAX ? INT32_MAX : t + r % t);
        } else if (int64_t(2) * t > 2) {
            wait = int32_t(t - r % (2 * uint64_t(t) / 3));
        }
    }
    while (!stopFlag && (core::Elapsed(sg.searchStart) < wait || searchState == Pondering)) {
        core::SleepMs(WaitStepMs);
        if (core::InputPending()) core::ReadAndDispatch();
    }
    stopFlag = 1;
}

// Clock and input check; returns true when the search must unwind.
bool Poll(Tree& tree, NodeRecord* node) {
    if (pollClock.searchStart != sg.searchStart) pollClock = PollClock{sg.searchStart, 0, 0, 0};
    const int32_t elapsed = core::Elapsed(sg.searchStart);

    // Node limit (eight times it while the first iteration must still finish).
    if (limits.nodeLimit > 0) {
        uint64_t limit = uint64_t(limits.nodeLimit);
        if (!sg.mayStopAtTarget && sg.iterationDepth < 2) limit *= NodeLimitSlackFactor;
        if (tree.nodes >= limit) {
            NodeLimitReached();
            return true;
        }
    }

    // Next poll.
    int64_t interval = elapsed > SlowPollAfter ? search::pollSchedule.pollIntervalSlow
                                               : search::pollSchedule.pollIntervalFast;
    if (interval < 1) interval = 1;
    sg.nextPollNodes = tree.nodes + uint64_t(interval);

    // Periodic reports.
    if (elapsed >= ReportsAfter) {
        if (core::settings.showCurrLine && elapsed - pollClock.lastCurrentLine > CurrentLineEvery) {
            pollClock.lastCurrentLine = elapsed;
            ReportCurrentLine(tree, node);
        }
        if (elapsed - pollClock.lastTablebaseCheck >= TablebaseCheckEvery) {
            pollClock.lastTablebaseCheck = elapsed;
            if (sg.iterationDepth - 10 > sg.tablebasePlyMargin &&
                int64_t(sg.tbTime) * 100 > int64_t(sg.tbTimeShare) * elapsed)
                ++sg.tablebasePlyMargin;
        }
        if (elapsed - pollClock.lastHashLine >= HashLineEvery && SearchEntries > 0) {
            pollClock.lastHashLine = elapsed;
            ReportPeriodic(tree, elapsed);
        }
    }

    // A waiting command is carried out now.
    if (!stopFlag && core::InputPending()) core::ReadAndDispatch();
    if (stopFlag) return true;

    // A short clock's safety limit holds from the first iteration on.
    if (PastSafetyLimit(elapsed)) {
        stopFlag = 1;
        return true;
    }

    // Time limit, only on its own clock and not for depth or infinite levels.
    if (searchState == Searching && limits.levelMode != 1 &&
        sg.iterationDepth >= TimeRulesFromIteration) {
        int64_t budget = int64_t(limits.target) + limits.extension + limits.extra;
        if (sg.doubleExtra) budget += limits.extra;
        if (core::settings.openingAdvice) budget = budget * TimePercentOf(pvMoves[0]) / 100;
        if (elapsed >= limits.hardMax || (sg.mayStopAtTarget && elapsed >= budget)) {
            stopFlag = 1;
            return true;
        }
    }
    return false;
}

// Extension E of a node: check, recapture and pawn-ending rules.
int Extension(Tree& tree, NodeRecord* node, int depth) {
    const int ply = node->ply;
    if (depth + ply >= sg.extensionHorizon || ply < 1) return 0;
    const NodeRecord* parent = node - 1;
    const Move led = parent->currentMove;
    const bool grandparentInCheck = ply >= 2 && InCheck(node - 2);
    const bool hang = node->searchFlag != 0;
    bool recapture = false;

    if (InCheck(node)) {
        const int mover = board::MovePiece(led);
        if (ply > sg.checkExtPlyLimit &&
            (board::PieceValue[mover] <= LightManValue || board::MovePromotion(led))) {
            if (grandparentInCheck) return 1;
            if (hang) return 0;
            recapture = true;
        } else if (!hang) {
            if (grandparentInCheck) return 1;
            if (Abs(Balance(node) - sg.rootBalance) <= BalanceWindow) return 1;
            recapture = true;
        } else {
            return (ply > 4 && !grandparentInCheck) ? 0 : 1;
        }
    } else {
        if (hang) return 0;
        recapture = true;
    }
    if (!recapture) return 0;

    // Recapture test.
    const int balance = Balance(node);
    if (Abs(balance - sg.rootBalance) > BalanceWindow) return 0;
    const bool noPieces = node->phase[0] == 0 && node->phase[1] == 0;
    if ((board::MoveCaptured(led) || board::MovePromotion(led)) && balance == sg.rootBalance &&
        !OnInternalPath() && ply >= 2) {
        const Move before = (node - 2)->currentMove;
        if (board::MoveTo(before) == board::MoveTo(led) && board::MoveCaptured(before) &&
            board::PieceValue[board::MoveCaptured(before)] ==
                board::PieceValue[board::MoveCaptured(led)]) {
            const NodeRecord& root = tree.nodeArray[0];
            if (sg.fewPiecesFlag && noPieces && root.phase[0] + root.phase[1] > 0)
                return PawnEndingExtension;
            return 1;
        }
    }
    const int captured = board::MoveCaptured(led) & 7;
    if (sg.fewPiecesFlag && captured != 0 && captured != board::WPawn && captured != board::WKing &&
        !OnInternalPath())
        return noPieces ? 1 : 0;
    return 0;
}

// Hang flag: the man that just moved stands attacked and undefended.
void SetHangFlag(Tree& tree, NodeRecord* node) {
    board::SyncAttacks(tree);
    node->searchFlag = 0;
    if (node->ply < 1) return;
    const Move led = (node - 1)->currentMove;
    if (!led || (led & (board::MoveNull | board::MoveCastle))) return;
    const int side = node->side;
    const int to = board::MoveTo(led);
    const int man = tree.board[to];
    if (tree.attackTable[side][to].number == 0 || tree.attackTable[side ^ 1][to].number != 0) return;
    if (board::PieceValue[board::MoveCaptured(led)] + HangCaptureSlack >= board::PieceValue[man]) return;
    node->searchFlag = 1;
    if (InCheck(node) && tree.attackTable[side ^ 1][board::KingSquare(tree, side)].number >= 2)
        node->searchFlag = 0;
}

// Squares around a king, by file and rank steps.
int KingNeighbours(int square, int out[8]) {
    int n = 0;
    const int file = board::FileOf(square), rank = board::RankOf(square);
    for (int df = -1; df <= 1; ++df)
        for (int dr = -1; dr <= 1; ++dr) {
            if (!df && !dr) continue;
            const int f = file + df, r = rank + dr;
            if (f >= 1 && f <= 8 && r >= 1 && r <= 8) out[n++] = board::SquareAt(f, r);
        }
    return n;
}

// The mover's king may step somewhere the opponent does not cover.
bool KingHasEscape(const Tree& tree, int side) {
    board::SyncAttacks(tree);
    int around[8];
    const int n = KingNeighbours(board::KingSquare(tree, side), around);
    for (int i = 0; i < n; ++i) {
        const int code = tree.board[around[i]];
        if (tree.attackTable[side ^ 1][around[i]].number == 0 &&
            (code == 0 || board::ColourOf(code) != side))
            return true;
    }
    return false;
}

// Two or more of the mover's pawns can step to an empty, unattacked square.
bool PawnsCanMove(const Tree& tree, int side) {
    board::SyncAttacks(tree);
    const int pawn = side == board::White ? board::WPawn : board::BPawn;
    const int step = side == board::White ? 8 : -8;
    int mobile = 0;
    for (int sq = 1; sq <= 64; ++sq) {
        if (tree.board[sq] != pawn) continue;
        const int ahead = sq + step;
        if (ahead < 1 || ahead > 64) continue;
        if (tree.board[ahead] == 0 && tree.attackTable[side ^ 1][ahead].number == 0 && ++mobile >= 2)
            return true;
    }
    return false;
}

// A slider of `side` standing behind `from` as seen from `target`.
bool SliderBehind(const Tree& tree, int side, int target, int from) {
    const int df = board::FileOf(from) - board::FileOf(target);
    const int dr = board::RankOf(from) - board::RankOf(target);
    const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
    const bool diagonal = sf != 0 && sr != 0;
    int f = board::FileOf(from) + sf, r = board::RankOf(from) + sr;
    for (; f >= 1 && f <= 8 && r >= 1 && r <= 8; f += sf, r += sr) {
        const int code = tree.board[board::SquareAt(f, r)];
        if (!code) continue;
        if (board::ColourOf(code) != side) return false;
        return diagonal ? board::IsDiagonalSlider(code) : board::IsStraightSlider(code);
    }
    return false;
}

// A shallow null-move cut is refused when an enemy queen threatens a mating
// entry next to the mover's king.
bool QueenGuardRefuses(const Tree& tree, int side) {
    board::SyncAttacks(tree);
    const int enemy = side ^ 1;
    const int queen = enemy == board::White ? board::WQueen : board::BQueen;
    int around[8];
    const int n = KingNeighbours(board::KingSquare(tree, side), around);
    for (int i = 0; i < n; ++i) {
        const int sq = around[i];
        if (tree.board[sq] != 0 || tree.attackTable[side][sq].number > 1) continue;
        const board::AttackEntry& attackers = tree.attackTable[enemy][sq];
        for (uint32_t k = 0; k < attackers.number && k < board::MaxAttackers; ++k) {
            const int from = attackers.squares[k];
            if (tree.board[from] != queen) continue;
            if (attackers.number >= 2 || SliderBehind(tree, enemy, sq, from)) return true;
        }
    }
    return false;
}

// The mate-threat extension, granted at most twice on a path.
void ThreatExtension(NodeRecord* node, int staticEval, int alpha, int extension, int& depth,
                     int& threatExtensions) {
    if (staticEval >= alpha - ThreatEvalSlack && !OnInternalPath() && extension == 0 &&
        threatExtensions < MaxThreatExtensions && node->ply < sg.iterationDepth) {
        ++threatExtensions;
        ++depth;
    }
}

}  // namespace

int RepetitionCount(const Tree& tree, const NodeRecord* node) {
    const uint32_t* top = tree.keyTop;
    if (top == nullptr || node->resetPoint == nullptr) return 0;
    const std::ptrdiff_t span = top - node->resetPoint;
    const uint32_t key = node->key[1];
    int count = 0;
    for (std::ptrdiff_t back = 4; back <= span; back += 2)
        if (top[-back] == key) ++count;
    return count;
}

int RepetitionScore(const NodeRecord* node) {
    const int units = node->phase[0] + node->phase[1];
    const int i = units < 30 ? (units / 2 < 14 ? units / 2 : 14) : 14;
    int score = sg.contempt[node->side] * DrawScale[i] / 100;
    const int shift = node->ply >> sg.drawShift;
    if (InCheck(node))
        score -= shift;
    else if (node->ply >= 1 && InCheck(node - 1))
        score += shift;
    return score;
}

int BitbaseAnswer(const Tree& tree, const NodeRecord* node) {
    const int answer = bitbases::CountedProbe(tree.board, node->side, int(node->flags & board::EpMask));
    // A hit is worth a little of the time to the next poll.
    if (answer != board::NoAnswer && !sg.noPoll)
        sg.nextPollNodes = sg.nextPollNodes > 5 ? sg.nextPollNodes - 5 : 0;
    return answer;
}

int TablebaseAnswer(const Tree& tree, const NodeRecord* node) {
    const int32_t start = core::Now();
    const int answer = tablebases::TbProbeScore(tree.board, node->side, int(node->flags & board::EpMask));
    sg.tbTime += core::Elapsed(start);
    if (answer != board::NoAnswer) {
        ++sg.tbHits;
        // Probes that read files are dear: the clock is looked at sooner.
        if (!sg.noPoll) sg.nextPollNodes = sg.nextPollNodes > 250 ? sg.nextPollNodes - 250 : 0;
    }
    return answer;
}

int DatabaseScore(const NodeRecord* node, int answer) {
    if (answer == board::NoAnswer) return board::NoAnswer;
    if (answer == 0) {
        const int own = node->material[node->side], other = node->material[node->side ^ 1];
        return own > other ? 1 : own < other ? -1 : 0;
    }
    return answer > 0 ? answer - node->ply : answer + node->ply;
}

void UpdateKillers(Tree& tree, int ply, Move move) {
    Tree::Killer& k = tree.killers[ply];
    if (k.move[0] == move) {
        ++k.count[0];
    } else if (k.move[1] == move) {
        ++k.count[1];
    } else if (k.count[0] >= k.count[1]) {
        k.move[1] = move;
        k.count[1] = 1;
    } else {
        k.move[0] = move;
        k.count[0] = 1;
    }
}

void RewardHistory(Tree& tree, int side, Move move, int amount) {
    uint32_t& h = tree.history[side][move & 0x3fff];
    const int32_t current = int32_t(h);
    int64_t next = int64_t(current) + amount;
    if (next > int64_t(HistoryCeiling)) next = HistoryCeiling;
    if (next < -int64_t(HistoryCeiling)) next = -int64_t(HistoryCeiling);
    h = uint32_t(int32_t(next));
}

void ClearKillersAndHistory(Tree& tree) {
    for (auto& k : tree.killers) k = Tree::Killer{{0, 0}, {0, 0}};
    for (auto& side : tree.history)
        for (auto& h : side) h = 0;
}

int Search(Tree& tree, NodeRecord* node, int alpha, int beta, int depth, int nullAllowed,
           int threatExtensions, int nodeType) {
    const int ply = node->ply;
    const int side = node->side;
    const bool inCheck = InCheck(node);

    PrefetchSearch(node, 2);  // the probe follows the evaluation
    eval::PrefetchEvalEntries(tree, node);

    // 1. Poll when due; otherwise only the stop flag is read.
    if (tree.nodes >= sg.nextPollNodes && !sg.noPoll) {
        if (Poll(tree, node)) return 0;
    } else if (stopFlag) {
        return 0;
    }

    // 2. Repetition (two earlier occurrences near the root, one deeper).
    const int repeats = RepetitionCount(tree, node);
    if (repeats >= (ply <= 2 ? 2 : 1)) return RepetitionScore(node);

    // 3. Fifty-move rule; in check a legal move must exist first.
    const int halfMoves = tree.keyTop && node->resetPoint ? int(tree.keyTop - node->resetPoint) : 0;
    const bool fiftyMoveMark = halfMoves >= FiftyMovePlies;
    if (fiftyMoveMark && !inCheck) return 0;

    // 4.-5. Endgame databases, within their piece limits (0 while none is
    // loaded or in use), after captures and promotions and at ply 2.
    const bool capturedHere = ply >= 1 && (board::MoveCaptured((node - 1)->currentMove) ||
                                           board::MovePromotion((node - 1)->currentMove));
    if (node->men <= sg.bitbasePieceLimit && !fiftyMoveMark &&
        ((capturedHere && ply <= sg.iterationDepth - sg.bitbasePlyMargin) || ply == 2)) {
        const int score = DatabaseScore(node, BitbaseAnswer(tree, node));
        if (score != board::NoAnswer) return score;
    }
    if (node->men <= sg.tablebasePieceLimit && !fiftyMoveMark &&
        ((capturedHere && ply <= sg.iterationDepth - sg.tablebasePlyMargin) || ply == 2)) {
        const int score = DatabaseScore(node, TablebaseAnswer(tree, node));
        if (score != board::NoAnswer) return score;
    }

    // 6. Insufficient material.
    if (NoPawnsOnBoard(tree) && node->phase[0] + node->phase[1] < 2) return 0;

    // 7. Ply limit.
    if (ply >= MaxSearchPly) return alpha;

    // 8. Static estimate.
    const int staticEval = node->material[side] - node->material[side ^ 1] + node->squareScore;

    // 9. Hang flag.
    SetHangFlag(tree, node);

    // 10. Extensions.
    const int extension = Extension(tree, node, depth);

    // 11. Quiescence below one ply (it runs the evaluation itself).
    if (depth + extension < 1) return Quiesce(tree, node, alpha, beta, depth + extension);

    // The full evaluation is not used as a score here; it refreshes the
    // margins and marks that the following steps read.
    eval::Evaluate(tree, node, alpha, beta, depth);
    depth += extension;

    // 12. Hash probe. A node may be searched again without being made again
    // (re-searches), so its picker and search marks start afresh.
    ++tree.nodes;
    ResetMovePicker(node);
    node->flags &= ~(NodeMateThreat | NodeHashUpper | NodeHashLower);
    node->hashMove = 0;
    node->secondMove = 0;
    node->bestMove = 0;
    node->threatMove = 0;
    const int alphaAtEntry = alpha;
    int bestScore = -board::MateValue;
    uint32_t marks = 0;
    ProbeResult hit;
    const bool found = ProbeSearch(node, hit) != 0;
    bool hashUpperDeep = false;  // upper bound of depth >= depth - 3 below beta
    bool cutDone = false;
    if (found) {
        node->hashMove = hit.move;
        node->secondMove = hit.move2;
        marks = hit.marks;
        const bool upper = (hit.flags & EntryUpper) != 0;
        const bool lower = (hit.flags & EntryLower) != 0;
        bool mayCut = !sg.hashCutoffsOff;
        if (mayCut && (ply == 1 || ply == 2) &&
            (repeats >= 1 || MoveRepeats(tree, node, hit.move)))
            mayCut = false;
        if (halfMoves + hit.depth > MaxSearchPly && hit.depth != LearnedDepth) mayCut = false;
        if (hit.flags & EntryMateThreat) {
            node->flags |= NodeMateThreat;
            ThreatExtension(node, staticEval, alpha, extension, depth, threatExtensions);
        }
        if (!SignatureMatches(hit.sn)) mayCut = false;
        if (upper && hit.depth > 0) node->flags |= NodeHashUpper;
        if (lower && hit.depth > 0) node->flags |= NodeHashLower;
        if (upper && hit.depth >= depth - NullReduction && hit.value < beta) hashUpperDeep = true;

        if (mayCut && depth <= hit.depth) {
            const Move m = hit.move;
            const int v = hit.value;
            bool exactAllowed = true, boundAllowed = true;
            if (m && IsQuiet(m) && !(m & board::MoveCastle) && !board::IsPawn(board::MovePiece(m)) &&
                v != 0 && MoveRepeats(tree, node, m)) {
                exactAllowed = false;
                boundAllowed = (upper && v >= 0) || (lower && v <= 0);
            }
            if (lower && !upper) {
                if (boundAllowed && v >= beta) {
                    bestScore = v;
                    node->bestMove = m;
                    cutDone = true;
                }
            } else if (upper && !lower) {
                if (boundAllowed && v <= alpha) {
                    node->bestValue = v;
                    node->bestMove = m;
                    return v;
                }
            } else if (exactAllowed) {
                bestScore = v > board::MateBound    ? v - ply + 1
                            : v < -board::MateBound ? v + ply - 1
                                                    : v;
                node->bestMove = m;
                cutDone = true;
            }
        }
    }

    if (!cutDone) {
        // 13. Null move.
        if (nullAllowed && depth >= 2 &&
            !(node->flags & (board::InCheckFlag | NodeMateThreat | NodeHashUpper)) &&
            alpha < staticEval + eval::OptimisticMargin[side] && !hashUpperDeep) {
            bool allowed = true;
            if (!HasPieces(node, side) && ply < sg.nullMoveMinPly) allowed = false;
            if (allowed && EndgameClass() && !KingHasEscape(tree, side)) allowed = false;
            if (allowed && !((HasPieces(node, 0) || HasPieces(node, 1)) && ply >= sg.nullMoveMinPly) &&
                !PawnsCanMove(tree, side))
                allowed = false;
            if (allowed) {
                node->currentMove = board::MoveNull;
                NodeRecord* child = board::MakeMove(tree, node);
                if (child) {
                    ++sg.nullNesting;
                    int t = beta;
                    if (beta >= -board::MateBound + 1 && beta < board::MateBound)
                        t = beta - (ply - 1 < MaxNullLowering ? ply - 1 : MaxNullLowering);
                    if (t <= 0 && 0 <= beta && NoPawnsOnBoard(tree)) t = beta;
                    const int reduced = depth - NullReduction > 0 ? depth - NullReduction : 0;
                    const int s = -Search(tree, child, -t, 1 - t, reduced, 0, threatExtensions, 1);
                    board::UnmakeMove(tree, node);
                    --sg.nullNesting;
                    if (stopFlag) return 0;
                    if (s >= t) {
                        if (nodeType != 0 &&
                            (depth - NullReduction > 0 || EndgameClass() ||
                             !QueenGuardRefuses(tree, side))) {
                            const int score = s > beta ? s : beta;
                            StoreSearch(node, 0, score, alphaAtEntry, beta, depth,
                                        (node->flags & NodeMateThreat) != 0, marks);
                            node->bestMove = 0;
                            node->bestValue = score;
                            return score;
                        }
                    } else if (s < -(board::MateBound - 1)) {
                        node->flags |= NodeMateThreat;
                        node->threatMove = child->bestMove;
                        ThreatExtension(node, staticEval, alpha, extension, depth, threatExtensions);
                    }
                }
            }
        }

        // 14. Internal iterative deepening finds a move to try first.
        if (depth > 3 && !node->hashMove) {
            const int inner = depth / 2 < depth - 3 ? depth / 2 : depth - 3;
            ++sg.internalNesting;
            Move m;
            while ((m = NextMove(tree, node)) != 0) {
                node->currentMove = m;
                NodeRecord* child = board::MakeMove(tree, node);
                if (!child) continue;
                const int s = -Search(tree, child, -beta, 1 - beta, inner - 1, sg.nullMoveSwitch,
                                      threatExtensions, 1);
                board::UnmakeMove(tree, node);
                if (stopFlag) break;
                if (s >= beta) {
                    node->hashMove = m;
                    break;
                }
            }
            --sg.internalNesting;
            if (stopFlag) return 0;
            ResetMovePicker(node);
        }

        // 15.-17. The move loop: the first move with the full window, the
        // others with a null window and a re-search inside the window.
        bool reordered = false;
        bool firstPending = true;  // the next legal move is searched as a first move
        Move firstMove = 0;
        Move m;
        while ((m = NextMove(tree, node)) != 0) {
            if (reordered && m == firstMove) continue;
            node->currentMove = m;
            NodeRecord* child = board::MakeMove(tree, node);
            if (!child) continue;
            ++node->legalCount;
            if (IsQuiet(m) && !(m & board::MoveCastle)) ++node->spare;
            if (fiftyMoveMark) {
                board::UnmakeMove(tree, node);
                return 0;
            }
            int s;
            if (firstPending) {
                firstPending = false;
                s = -Search(tree, child, -beta, -alpha, depth - 1, sg.nullMoveSwitch, threatExtensions,
                            -nodeType);
                board::UnmakeMove(tree, node);
                if (stopFlag) return 0;
                if (s > bestScore) {
                    bestScore = s;
                    node->bestMove = m;
                }
                if (s >= beta) break;
                if (s > alpha) alpha = s;
                if (reordered) continue;
                firstMove = m;

                // 16. Cut-node re-ordering: shallow null-window searches at beta
                // look for a move that refutes this node better than the first.
                if (depth >= 4 && (node->flags & NodeHashLower)) {
                    reordered = true;
                    ++sg.internalNesting;
                    const Move before = node->hashMove;
                    for (int d = (depth % 2 == 0) ? 1 : 2; d <= depth - 3; d += 2) {
                        ResetMovePicker(node);
                        Move r;
                        while ((r = NextMove(tree, node)) != 0) {
                            node->currentMove = r;
                            NodeRecord* inner = board::MakeMove(tree, node);
                            if (!inner) continue;
                            const int v = -Search(tree, inner, -beta, 1 - beta, d - 1,
                                                  sg.nullMoveSwitch, threatExtensions, 1);
                            board::UnmakeMove(tree, node);
                            if (stopFlag) break;
                            if (v >= beta) {
                                node->hashMove = r;
                                break;
                            }
                        }
                        if (stopFlag) break;
                    }
                    --sg.internalNesting;
                    if (stopFlag) return 0;
                    ResetMovePicker(node);
                    node->legalCount = 1;
                    // A new first move gets the full window; the old one is not
                    // searched twice.
                    firstPending = node->hashMove != before && node->hashMove != firstMove;
                }
                continue;
            }

            s = -Search(tree, child, -alpha - 1, -alpha, depth - 1, sg.nullMoveSwitch, threatExtensions, 1);
            if (!stopFlag && s > bestScore && s > alpha && s < beta)
                s = -Search(tree, child, -beta, -alpha, depth - 1, sg.nullMoveSwitch, threatExtensions, 0);
            board::UnmakeMove(tree, node);
            if (stopFlag) return 0;
            if (s > bestScore) {
                bestScore = s;
                node->bestMove = m;
                if (s >= beta) break;
                if (s > alpha) alpha = s;
            } else if (IsQuiet(m) && bestScore <= alpha) {
                RewardHistory(tree, side, m, -1);
            }
        }

        // 18. Mate and stalemate.
        if (node->legalCount == 0) {
            const int score = inCheck ? ply - board::MateValue : 0;
            node->bestValue = score;
            return score;
        }

        // 19. Store.
        if (!stopFlag)
            StoreSearch(node, node->bestMove, bestScore, alphaAtEntry, beta, depth,
                        (node->flags & NodeMateThreat) != 0, marks);
    }

    // 20. Killer and history bookkeeping for a quiet best move.
    node->bestValue = bestScore;
    const Move best = node->bestMove;
    if (bestScore <= alphaAtEntry || !best) return bestScore;
    if (IsQuiet(best)) {
        if (bestScore >= beta) UpdateKillers(tree, ply, best);
        RewardHistory(tree, side, best, (depth + 1) * (depth + 1) * (depth + 1));
    }
    return bestScore;
}

}  // namespace search
