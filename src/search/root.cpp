#include "search/root.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "core/platform.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/limits.h"
#include "search/record.h"
#include "search/search.h"
#include "search/state.h"
#include "search/think.h"

namespace search {

RootMove rootMoves[MaxRootMoves + 1];
int rootMoveCount = 0;
SavedPvEntry savedPvEntries[30];

namespace {

constexpr int FullWindow = board::MateValue;
constexpr int FirstMoveWidenStep = 50;   // re-search width after a first-move fail
constexpr int CandidateMargin = 35;      // confirmation window above a new best score
constexpr int UnstableMargin = 35;       // a fail this far beyond the window unsettles the root
constexpr int FailLowPenalty = 500;      // hardMax treats a fail low as this much worse
constexpr int ScoreDropTolerance = 25;
constexpr int DropExtensionDivisor = 25;
constexpr int RefutationDepth = 8;
constexpr int TimedStopDepth = 5;

bool IsMateScore(int score) { return score > board::MateBound || score < -board::MateBound; }
bool Stopped() { return stopFlag != 0; }
int32_t ElapsedMs() { return core::Elapsed(sg.searchStart); }
int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Listed moves may come from move text, whose flag bits can differ from the
// generator's word for the same move.
bool SameSquaresAndPromotion(board::Move a, board::Move b) {
    constexpr board::Move SquaresAndPromotion = 0x3ffff;
    return (a & SquaresAndPromotion) == (b & SquaresAndPromotion);
}

bool IsQuiet(board::Move m) { return !board::MoveCaptured(m) && !board::MovePromotion(m); }

int BonusOf(const RootMove& rm) {
    return core::settings.openingAdvice ? rm.adviceBonus : 0;
}

bool EntryExact(const SearchEntry& e) { return (EntryFlags(e) & (EntryUpper | EntryLower)) == 0; }

// Result of searching one root move: score with the advice bonus, and the
// raw score the hash holds for the line.
struct Searched {
    int score;
    int raw;
};

// Searches a root move in the window (alpha, beta) of root scores.
Searched SearchMove(board::Tree& tree, RootMove& rm, int alpha, int beta, int depth, int nodeType,
                    bool isFirst, int bonus) {
    board::NodeRecord* root = &tree.nodeArray[0];
    int a = Clamp(alpha - bonus, -FullWindow, FullWindow);
    int b = Clamp(beta - bonus, -FullWindow, FullWindow);
    root->currentMove = rm.move;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (!child) return {-FullWindow, -FullWindow};
    uint64_t before = tree.nodes;
    int raw = -Search(tree, child, -b, -a, depth - 1, sg.nullMoveSwitch, 0, nodeType);
    board::UnmakeMove(tree, root);
    uint64_t used = tree.nodes - before;
    rm.orderKey += int64_t(used);
    if (isFirst) think.firstMoveNodes += used;
    int score = IsMateScore(raw) ? raw : raw + bonus;
    return {score, score - (IsMateScore(raw) ? 0 : bonus)};
}

void ReportPv(board::Tree& tree, board::Move move, int depth, int kind, const Searched& s,
              int bound) {
    PublishPvLine(tree, move, depth, kind, ElapsedMs(), s.score, s.raw, bound);
}

void MaybeUnstable(int depth, bool beyond) {
    if (depth > 2 && beyond) think.unstable = 1;
}

void RecomputeHardMax(int depth, int delta) {
    if (ClockMode() && depth > 2) HardMaxAfterScoreChange(delta);
}

// The between-move time test of an iteration.
bool OutOfTime(int depth) {
    if (PastSafetyLimit(ElapsedMs())) return true;
    if (searchState != Searching || depth < TimedStopDepth || limits.levelMode == 1) return false;
    int64_t elapsed = ElapsedMs();
    if (elapsed >= limits.hardMax) return true;
    return sg.mayStopAtTarget && elapsed >= int64_t(limits.target) + limits.extension;
}

// Steps 1-5: the first move inside the aspiration window and its re-searches.
void SearchFirstMove(board::Tree& tree, int depth, int alpha, int beta, int s0) {
    board::NodeRecord* root = &tree.nodeArray[0];
    RootMove& rm = rootMoves[0];
    int bonus = BonusOf(rm);
    ReportCurrentMove(depth, 1, rm.move);
    sg.firstRootMoveActive = 1;

    // 1. The aspiration window.
    Searched s = SearchMove(tree, rm, alpha, beta, depth, 0, true, bonus);
    if (Stopped()) return;

    if (s.score >= beta) {
        // 2. Fail high: widen upwards.
        think.trouble = 1;
        if (ClockMode()) AddExtension(ElapsedMs() / 2);
        MaybeUnstable(depth, s.score > beta + UnstableMargin);
        ReportPv(tree, rm.move, depth, 1, s, 2);
        int low = s.score;
        Searched s2 = SearchMove(tree, rm, low - 1, low + FirstMoveWidenStep, depth, 0, true, bonus);
        if (Stopped()) return;
        if (s2.score >= low + FirstMoveWidenStep) {
            if (depth > 2) think.easyCandidate = 0;
            ReturnPendingTime();
            MaybeUnstable(depth, s2.score > low + FirstMoveWidenStep + UnstableMargin);
            ReportPv(tree, rm.move, depth, 1, s2, 2);
            Searched s3 = SearchMove(tree, rm, s2.score - 1, FullWindow, depth, 0, true, bonus);
            if (Stopped()) return;
            if (s3.score <= s2.score - 1)
                s3 = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, true, bonus);
            s = s3;
        } else if (s2.score <= low - 1) {
            s = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, true, bonus);
        } else {
            s = s2;
        }
    } else if (s.score <= alpha) {
        // 3. Fail low: the root is in trouble, take more time.
        think.trouble = 1;
        sg.mayStopAtTarget = 0;
        if (ClockMode()) AddExtension(ElapsedMs());
        RecomputeHardMax(depth, s.score - s0 - FailLowPenalty);
        MaybeUnstable(depth, s.score < alpha - UnstableMargin);
        ReportPv(tree, rm.move, depth, 1, s, 1);
        int high = s.score;
        Searched s2 = SearchMove(tree, rm, high - FirstMoveWidenStep, high + 1, depth, 0, true, bonus);
        if (Stopped()) return;
        if (s2.score <= high - FirstMoveWidenStep) {
            if (ClockMode() && depth > 2) think.easyCandidate = 0;
            ReturnPendingTime();
            RecomputeHardMax(depth, s2.score - s0 - FailLowPenalty);
            if (ClockMode()) AddExtension(ElapsedMs());
            MaybeUnstable(depth, s2.score < high - FirstMoveWidenStep - UnstableMargin);
            ReportPv(tree, rm.move, depth, 1, s2, 1);
            Searched s3 = SearchMove(tree, rm, -FullWindow, s2.score + 1, depth, 0, true, bonus);
            if (Stopped()) return;
            if (s3.score >= s2.score + 1)
                s3 = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, true, bonus);
            s = s3;
        } else if (s2.score >= high + 1) {
            s = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, true, bonus);
        } else {
            s = s2;
        }
        if (Stopped()) return;
        RecomputeHardMax(depth, s.score - s0);
    } else if (ClockMode() && s0 - s.score > 0) {
        // 4. Inside the window but lower than before: a little more time.
        int64_t more = int64_t(s0 - s.score) * ElapsedMs() / DropExtensionDivisor;
        AddExtension(more);
        if (more > ElapsedMs() / 2) think.trouble = 1;
    }
    if (Stopped()) return;

    // 5. The first move's result stands.
    root->bestMove = rm.move;
    root->bestValue = s.score;
    ReportPv(tree, rm.move, depth, 1, s, 0);
    if (core::settings.showRefutations && depth >= RefutationDepth)
        PublishRefutation(tree, root, rm.move);
    sg.firstRootMoveActive = 0;
}

// Step 7: a move beat the best score in the null window; confirm it.
void ConfirmCandidate(board::Tree& tree, int depth, int index, int s, int s0) {
    board::NodeRecord* root = &tree.nodeArray[0];
    RootMove& rm = rootMoves[index];
    int bonus = IsMateScore(root->bestValue) ? 0 : BonusOf(rm);
    board::Move previousMove = root->bestMove;
    int previousScore = root->bestValue;

    sg.doubleExtra = 1;
    if (depth > 2) think.easyCandidate = 0;
    think.lastChangeDepth = depth;
    ReturnPendingTime();
    if (ClockMode()) {
        int level = think.trouble;
        if (level == 0) {
            AddExtension(ElapsedMs() / 2);
            think.trouble = 1;
        } else if (level == 1) {
            AddExtension(ElapsedMs() / 4);
            think.trouble = 2;
        }
        if ((level == 1 || level == 2) && s0 <= s + ScoreDropTolerance) sg.mayStopAtTarget = 1;
    }
    RecomputeHardMax(depth, s - s0);
    root->bestMove = rm.move;

    int lower = s > board::MateBound ? -FullWindow : s - 1;
    int upper = s > board::MateBound ? FullWindow : (s < -board::MateBound ? 0 : s + CandidateMargin);
    Searched r = SearchMove(tree, rm, lower, upper, depth, 0, false, bonus);
    bool confirmed = false;
    if (!Stopped()) {
        if (r.score < upper && r.score >= s) {
            confirmed = true;
        } else if (r.score < s) {
            if (ClockMode()) {
                think.trouble++;
                AddExtension(ElapsedMs() / 2);
            }
        } else {
            RecomputeHardMax(depth, r.score - s0);
            MaybeUnstable(depth, true);
            ReportPv(tree, rm.move, depth, index + 1, r, 2);
            int low = r.score > board::MateBound ? -FullWindow : r.score - 1;
            Searched r2 = SearchMove(tree, rm, low, FullWindow, depth, 0, false, bonus);
            if (!Stopped() && r2.score <= low)
                r2 = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, false, bonus);
            if (!Stopped() && r2.score >= previousScore) {
                confirmed = true;
                r = r2;
            }
        }
    }
    sg.doubleExtra = 0;

    // 8. A change is kept only with a completed confirmation.
    if (!confirmed) {
        root->bestMove = previousMove;
        root->bestValue = previousScore;
        return;
    }
    root->bestValue = r.score;
    think.bestChanged = 1;
    if (r.score >= s0 - ScoreDropTolerance) {
        sg.mayStopAtTarget = 1;
        if (r.score > s0) limits.extension /= 2;
    }
    RecomputeHardMax(depth, r.score - s0);
    ReportPv(tree, rm.move, depth, index + 1, r, 0);
}

void SearchSingleLine(board::Tree& tree, int depth, int alpha, int beta) {
    board::NodeRecord* root = &tree.nodeArray[0];
    int s0 = think.previousScore;
    think.trouble = 0;
    SearchFirstMove(tree, depth, alpha, beta, s0);
    sg.firstRootMoveActive = 0;

    // 6. The other moves against the best score.
    for (int i = 1; i < rootMoveCount && !Stopped(); i++) {
        if (OutOfTime(depth)) {
            stopFlag = 1;
            break;
        }
        RootMove& rm = rootMoves[i];
        ReportCurrentMove(depth, i + 1, rm.move);
        int best = root->bestValue;
        int bonus = IsMateScore(best) ? 0 : BonusOf(rm);
        Searched s = SearchMove(tree, rm, best, best + 1, depth, 1, false, bonus);
        if (Stopped()) break;
        if (core::settings.showRefutations && depth >= RefutationDepth)
            PublishRefutation(tree, root, rm.move);
        if (s.score <= best) continue;
        ConfirmCandidate(tree, depth, i, s.score, s0);
    }
}

void SearchMultiLine(board::Tree& tree, int depth) {
    board::NodeRecord* root = &tree.nodeArray[0];
    int lines = core::settings.multiPv;
    if (lines > rootMoveCount) lines = rootMoveCount;

    // Follow the lines of the previous iteration.
    int follow = rootMoveCount - 1 < lines ? rootMoveCount - 1 : lines;
    for (int j = 0; j < follow; j++) {
        board::Move m = MultiPvMove(j);
        for (int k = j + 1; k < rootMoveCount; k++)
            if (rootMoves[k].move == m) {
                RootMove t = rootMoves[j];
                rootMoves[j] = rootMoves[k];
                rootMoves[k] = t;
                break;
            }
    }

    for (int i = 0; i < rootMoveCount && !Stopped(); i++) {
        if (i > 0 && OutOfTime(depth)) {
            stopFlag = 1;
            break;
        }
        RootMove& rm = rootMoves[i];
        int bonus = BonusOf(rm);
        ReportCurrentMove(depth, i + 1, rm.move);
        sg.firstRootMoveActive = i == 0;
        Searched s;
        if (i < lines) {
            s = SearchMove(tree, rm, -FullWindow, FullWindow, depth, 0, i == 0, bonus);
            if (Stopped()) break;
        } else {
            int t = MultiPvScore(lines - 1);
            s = SearchMove(tree, rm, t, t + 1, depth, 1, false, bonus);
            if (Stopped()) break;
            if (s.score <= t) continue;
            s = SearchMove(tree, rm, t, FullWindow, depth, 0, false, bonus);
            if (Stopped() || s.score <= t) continue;
        }
        int bound = s.score <= -FullWindow ? 1 : (s.score >= FullWindow ? 2 : 0);
        PublishPvLine(tree, rm.move, depth, i + 1, ElapsedMs(), s.score, s.raw, bound);
        PublishMultiPv(rm.move, s.score, bound, depth, i + 1, rootMoveCount);
        if (i == 0 || s.score > root->bestValue) {
            if (i > 0) {
                think.lastChangeDepth = depth;
                think.bestChanged = 1;
            }
            root->bestMove = rm.move;
            root->bestValue = s.score;
        }
    }
    sg.firstRootMoveActive = 0;
}

}  // namespace

int BuildRootMoves(board::Tree& tree, board::NodeRecord* root) {
    rootMoveCount = 0;
    board::GenerateMoves(tree, root, board::GenAll, 1);
    const board::MoveEntry* lists[2] = {root->captureList, root->quietList};
    for (const board::MoveEntry* list : lists) {
        for (const board::MoveEntry* e = list; e->score != board::ListEnd && e->move; e++) {
            if (rootMoveCount >= MaxRootMoves) break;
            board::Move m = e->move;
            bool tactical = board::MoveCaptured(m) || board::MovePromotion(m);
            int estimate = tactical ? board::EstimateCapture(tree, m) : 0;
            root->currentMove = m;
            board::NodeRecord* child = board::MakeMove(tree, root);
            if (!child) continue;
            int value = eval::Evaluate(tree, child, -FullWindow, FullWindow, 0);
            board::UnmakeMove(tree, root);
            RootMove& rm = rootMoves[rootMoveCount++];
            rm.move = m;
            rm.orderKey = int64_t(estimate) - value;
            rm.adviceBonus = 0;
            rm.timePercent = 0;
        }
    }
    root->currentMove = 0;
    rootMoves[rootMoveCount] = RootMove{0, RootListEnd, 0, 0};
    return rootMoveCount;
}

int RestrictRootMoves(const board::Move* listed) {
    int kept = 0;
    for (int i = 0; i < rootMoveCount; i++) {
        bool wanted = false;
        for (const board::Move* m = listed; *m; m++)
            if (SameSquaresAndPromotion(*m, rootMoves[i].move)) wanted = true;
        if (wanted) rootMoves[kept++] = rootMoves[i];
    }
    if (kept == 0) return rootMoveCount;  // nothing listed is playable: keep every move
    rootMoveCount = kept;
    rootMoves[kept] = RootMove{0, RootListEnd, 0, 0};
    return kept;
}

void SortRootMoves(board::Move best) {
    for (int end = rootMoveCount - 1; end > 0; end--)
        for (int i = 0; i < end; i++) {
            RootMove& a = rootMoves[i];
            RootMove& b = rootMoves[i + 1];
            if (a.move != best && (b.move == best || a.orderKey < b.orderKey)) {
                RootMove t = a;
                a = b;
                b = t;
            }
        }
}

RootMove* FindRootMove(board::Move move) {
    for (int i = 0; i < rootMoveCount; i++)
        if (rootMoves[i].move == move) return &rootMoves[i];
    return nullptr;
}

int TimePercentOf(board::Move move) {
    const RootMove* rm = FindRootMove(move);
    return rm && rm->timePercent ? rm->timePercent : 100;
}

void SearchRootIteration(board::Tree& tree, int depth, int alpha, int beta) {
    board::NodeRecord* root = &tree.nodeArray[0];
    if (rootMoveCount == 0) return;
    think.bestChanged = 0;
    SortRootMoves(root->bestMove);
    if (core::settings.multiPv > 1) {
        SearchMultiLine(tree, depth);
    } else {
        RestoreSavedPv();
        SearchSingleLine(tree, depth, alpha, beta);
    }
}

void ClearSavedPv() { std::memset(savedPvEntries, 0, sizeof(savedPvEntries)); }

void RestoreSavedPv() {
    for (SavedPvEntry& saved : savedPvEntries)
        if (saved.slot && (EntryFlags(*saved.slot) & SnMask) != 1) *saved.slot = saved.entry;
}

void ExtractPv(board::Tree& tree, board::NodeRecord* node, int expected) {
    int ply = node->ply + 1;
    if (ply > PvPlyLimit || ply >= PvLength - 1 || !SearchTables[0][0]) return;
    board::NodeRecord* child = board::MakeMove(tree, node);
    if (!child) return;
    expected = -expected;
    board::Move next = 0;
    if (board::OccurrencesSinceReset(tree, child) < 2) {
        uint32_t index = HashIndex(child);
        SearchEntry* slot1 = &SearchTables[0][child->side][index];
        SearchEntry* slot2 = &SearchTables[1][child->side][index];
        uint32_t upper = child->key[1];
        if (EntryMatches(*slot1, upper) && slot1->move) {
            bool mate = expected > 28999 || expected < -28999;
            if ((EntryValue(*slot1) == expected || mate) && EntryExact(*slot1)) {
                next = slot1->move;
            } else if (EntryMatches(*slot2, upper) && slot2->move &&
                       EntryValue(*slot2) == expected && EntryExact(*slot2)) {
                SearchEntry t = *slot1;
                *slot1 = *slot2;
                *slot2 = t;
                next = slot1->move;
            }
        }
        board::Move searched = child->currentMove;  // kept for the selective depth
        if (next && board::MoveFits(next, tree, child->flags)) {
            child->currentMove = next;
            board::NodeRecord* grandChild = board::MakeMove(tree, child);
            if (grandChild) {
                board::UnmakeMove(tree, child);
                pvMoves[ply] = next;
                pvMoves[ply + 1] = 0;
                savedPvEntries[ply] = SavedPvEntry{slot1, *slot1};
                ExtractPv(tree, child, expected);
            }
        }
        child->currentMove = searched;
    }
    board::UnmakeMove(tree, node);
}

void RewardBestMove(board::Tree& tree, int depth) {
    board::NodeRecord* root = &tree.nodeArray[0];
    board::Move best = root->bestMove;
    if (!best || !IsQuiet(best)) return;
    tree.history[root->side][best & 0x3fff] += uint32_t(depth * depth);
}

void StoreRoot(board::Tree& tree, int depth) {
    board::NodeRecord* root = &tree.nodeArray[0];
    board::Move best = root->bestMove;
    if (!best || think.restricted || !SearchTables[0][0]) return;

    root->currentMove = best;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (!child) return;
    bool repeats = board::RepeatsOnce(tree, child) != 0;
    board::UnmakeMove(tree, root);
    if (repeats) return;

    SearchEntry* slot = &SearchTables[0][root->side][HashIndex(root)];
    bool same = EntryMatches(*slot, root->key[1]) != 0;
    int oldSn = EntryFlags(*slot) & SnMask;
    int oldDepth = EntryDepth(*slot);
    if (oldSn == searchNumber && oldDepth > depth) return;
    int sn = searchNumber;
    if (same && oldSn == 1) {
        if (oldDepth == 100) return;
        sn = 1;
    }
    if (oldSn != searchNumber || oldDepth < 1) hashWrites++;

    int value = root->bestValue;
    if (value > board::MateBound) value -= 1;
    else if (value < -board::MateBound) value += 1;
    SearchEntry e = EncodeEntry(root->key[1], best, 0, value, depth, sn);
    *slot = e;
}

}  // namespace search
