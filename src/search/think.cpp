#include "search/think.h"

#include <cstring>

#include "bitbases/hooks.h"
#include "bitbases/probe.h"
#include "tablebases/tbprobe.h"
#include "board/attacks.h"
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

board::Move ponderMove = 0;
ThinkState think;

namespace {

constexpr int MaxDepth = 99;
constexpr int AspirationWidth = 25;
constexpr int SingleMoveDepth = 10;
constexpr int MinimumTarget = 28;
constexpr int MinimumHardMax = 58;
constexpr int ClockReserve = 1000;  // never plan into the last second
constexpr int ShortTimeLimit = 3001;
constexpr int DrawnRootTarget = 3000;   // choosing among drawing moves
constexpr int StartMargin = -15000;
constexpr int MarginAllowance = 150;
constexpr int EasyShareMiddlegame = 72;
constexpr int EasyShareEndgame = 82;
constexpr int RecaptureShareCut = 10;
constexpr int EasyMinDepth = 7;
constexpr int EasyMinElapsed = 500;
constexpr int TimedStopDepth = 4;
constexpr int UnstableElapsed = 3000;
constexpr int UnstableSwing = 50;
constexpr int DecidedScore = 400;
constexpr int FoldDropLimit = 25;
constexpr int FiftyMovePlies = 100;
constexpr int64_t MaxExtension = 2000000000;

int32_t ElapsedMs() { return core::Elapsed(sg.searchStart); }
bool Stopped() { return stopFlag != 0; }
int Trunc(double v) { return v >= 2147483647.0 ? 2147483647 : (v <= -2147483647.0 ? -2147483647 : int(v)); }
int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The clock's remaining time in the current level mode.
int RemainingTime() { return limits.levelMode == 2 ? limits.clockTime : limits.suddenTime; }
bool MovesToGoMode() { return limits.levelMode == 2 && limits.movesToGo > 0; }
int MovesToGo() { return limits.movesToGo < 60 ? limits.movesToGo : 60; }

// hardMax with moves to go: p percent of the time left over the other moves.
int HardMaxWithMovesToGo(int percent) {
    int64_t t = limits.clockTime;
    int n = MovesToGo();
    double numerator = 90.0 * double(t) - double(t) / double(2 + n) * double(n - 1) * percent;
    int64_t hardMax = int64_t(numerator) / 100;
    if (hardMax >= t - ClockReserve) hardMax = t - ClockReserve;
    return int(hardMax < MinimumHardMax ? MinimumHardMax : hardMax);
}

int HardMaxWithoutMovesToGo(int percent) {
    int64_t reserve = int64_t(RemainingTime()) - ClockReserve;
    int64_t hardMax = reserve * percent / 100;
    if (reserve < hardMax) hardMax = reserve;
    return int(hardMax < MinimumHardMax ? MinimumHardMax : hardMax);
}

// The material of the root allows no mate: bare kings, or a lone minor piece.
bool DeadDrawn(const board::Tree& tree) {
    int men[2] = {0, 0}, minors[2] = {0, 0};
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (!code || board::IsKing(code)) continue;
        int side = board::ColourOf(code);
        men[side]++;
        if (board::IsKnight(code) || (code & 7) == 5) minors[side]++;
    }
    if (men[0] + men[1] == 0) return true;
    return men[0] + men[1] == 1 && minors[0] + minors[1] == 1;
}

int CountPieces(const board::Tree& tree, int* queens) {
    int pieces = 0;
    *queens = 0;
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (!code || board::IsKing(code) || board::IsPawn(code)) continue;
        pieces++;
        if ((code & 7) == 7) (*queens)++;
    }
    return pieces;
}

bool IsQuietPawnMove(board::Move m) {
    return board::IsPawn(board::MovePiece(m)) && !board::MoveCaptured(m) && !board::MovePromotion(m);
}

// The opponent just took a man of the value we now take back on that square.
bool IsRecapture(board::Move best) {
    const board::GameRecord& game = board::Game;
    if (game.states.empty()) return false;
    board::Move last = game.states.back().move;
    if (!last || !board::MoveCaptured(last) || !board::MoveCaptured(best)) return false;
    if (board::MoveTo(last) != board::MoveTo(best)) return false;
    return board::PieceValue[board::MoveCaptured(last)] == board::PieceValue[board::MoveCaptured(best)];
}

bool UnlimitedSearch() { return limits.infinite || (limits.levelMode == 1 && limits.depthLimit >= MaxDepth); }

// While pondering no answer may go out before `stop` or `ponderhit`.
void WaitWhilePondering() {
    while (searchState == Pondering && !Stopped()) core::ReadAndDispatch();
}

// Between iterations input is read on the search's own poll schedule, so a
// short search does not read ahead of its `bestmove`; the analysis mode has
// no host to listen to.
void PollInputOnce(const board::Tree& tree) {
    if (core::platform.commandLineMode || tree.nodes < sg.nextPollNodes) return;
    if (core::InputPending()) core::ReadAndDispatch();
}

// Step 1: fresh tables and a new search number.
void PrepareTables(board::Tree& tree) {
    sg.hashCutoffsOff = 0;
    std::memset(tree.history, 0, sizeof(tree.history));
    std::memset(tree.killers, 0, sizeof(tree.killers));
    NewSearchNumber();
    if (!core::settings.keepHashSearch) ClearSearchTables();
    if (!core::settings.keepHashEval) eval::ClearEvalTables();
}

// Step 2: counters, flags and the first poll.
void ResetSearchState(board::Tree& tree) {
    sg.searchStart = core::Now();
    tree.nodes = 0;
    stopFlag = 0;
    int64_t fast = search::pollSchedule.pollIntervalFast;
    sg.nextPollNodes = uint64_t(fast < 1000 ? (fast > 0 ? fast : 1) : 1000);
    sg.mayStopAtTarget = 1;
    sg.doubleExtra = 0;
    sg.firstRootMoveActive = 0;
    sg.singleMove = 0;
    sg.answerFinal = 0;
    sg.zeroScore = 0;
    sg.iterationDepth = 0;
    sg.nullNesting = 0;
    sg.internalNesting = 0;
    ponderMove = 0;
    hashWrites = 0;
    sg.tbHits = 0;
    bitbases::probeState = bitbases::ProbeState{};
    sg.tbTime = 0;
    sg.tablebasePlyMargin = core::settings.tablebaseMargin;

    std::memset(&think, 0, sizeof(think));
    think.easyCandidate = 1;
    think.easyHalvings = 2;
    think.rootDbValue = board::NoAnswer;
    std::memset(pvMoves, 0, sizeof(pvMoves));
    ClearSavedPv();
}

// Steps 3 and 4: the root record and the per-search globals.
board::NodeRecord* SetUpSearchRoot(board::Tree& tree) {
    static int lastRootStage = -1;
    board::NodeRecord* root = SetUpRoot(tree, board::Game);
    for (board::NodeRecord& node : tree.nodeArray) node.currentMove = 0;
    root->bestMove = 0;
    root->bestValue = 0;

    // Database limits: tablebases in endgames or below 13 men, bitbases in
    // endgames or below 17 men, in the quiescence search only under "Always".
    const core::Settings& set = core::settings;
    const bool endgame = (eval::RootStage & (0x04 | 0x20 | 0x40)) != 0;
    const int registered = set.tablebaseUse ? tablebases::CTbMaxMen() : 0;
    sg.tablebasePieceLimit = endgame || root->men <= 12 ? registered : 0;
    sg.tbTimeShare = set.tablebaseHitLimit;
    const int largest = set.bitbaseUse ? bitbases::LargestPieceCount() : 0;
    sg.bitbasePieceLimit = endgame || root->men <= 16 ? largest : 0;
    sg.quiesceBitbaseLimit = set.bitbaseAlways ? largest : 0;
    sg.bitbasePlyMargin = set.bitbaseLikeTb ? sg.tablebasePlyMargin : set.bitbaseMargin;

    int queens = 0;
    int pieces = CountPieces(tree, &queens);
    sg.drawShift = queens > 0 && pieces >= 2 ? 3 : 7;
    sg.contempt[root->side] = core::settings.drawScore;
    sg.contempt[root->side ^ 1] = -core::settings.drawScore;
    RecordSignature(eval::SettingsSignature[0]);
    sg.rootBalance = root->material[board::White] - root->material[board::Black];
    bool keep = core::settings.keepHashEval != 0;
    if (!keep || eval::RootStage != lastRootStage) eval::ClearPawnCache(tree);
    if (!keep) ClearAuxTable(tree);
    eval::ClearMaterialTable(tree);
    lastRootStage = eval::RootStage;
    return root;
}

// Step 7: root evaluation, the root list and the positional margins.
void BuildRoot(board::Tree& tree, board::NodeRecord* root) {
    think.easyShare = (eval::RootStage & 0x10) ? EasyShareEndgame : EasyShareMiddlegame;
    eval::OptimisticMargin[0] = eval::OptimisticMargin[1] = StartMargin;
    think.previousScore = eval::Evaluate(tree, root, -board::MateValue, board::MateValue, 0);
    BuildRootMoves(tree, root);
    for (int& margin : eval::OptimisticMargin) {
        margin += MarginAllowance;
        if (margin < 0) margin = 0;
    }
    sg.singleMove = rootMoveCount == 1;
}

// Step 12, a drawn root: with more material than the opponent, only the
// moves that keep the draw are searched, without the tables, so that the
// search chooses among them the one that leaves the opponent the most room
// to go wrong instead of any move the tables call a draw.
void KeepDrawingMoves(board::Tree& tree, board::NodeRecord* root) {
    if (core::settings.multiPv != 1 || searchMoves[0]) return;
    if (root->material[root->side] <= root->material[root->side ^ 1]) return;
    int kept = 0;
    for (int i = 0; i < rootMoveCount && kept < MaxSearchMoves; i++) {
        root->currentMove = rootMoves[i].move;
        board::NodeRecord* child = board::MakeMove(tree, root);
        if (!child) continue;
        // The answer is the opponent's: above 0 the move loses.
        const int answer = TablebaseAnswer(tree, child);
        board::UnmakeMove(tree, root);
        if (answer == board::NoAnswer || answer <= 0) searchMoves[kept++] = rootMoves[i].move;
    }
    root->currentMove = 0;
    searchMoves[kept] = 0;
    if (kept > 1) {
        sg.tablebasePieceLimit = 0;
        if (ClockMode() && limits.target > DrawnRootTarget) limits.target = DrawnRootTarget;
        think.rootDbValue = board::NoAnswer;
    }
}

// Step 13: `searchmoves` narrows the root list.
void ApplySearchMoves() {
    if (!searchMoves[0]) return;
    int before = rootMoveCount;
    RestrictRootMoves(searchMoves);
    think.restricted = rootMoveCount < before || searchMoves[0] != 0;
    sg.singleMove = rootMoveCount == 1;
}

bool MateKnownWithin(int depth) {
    int s = think.previousScore;
    if (s < -board::MateBound) return false;
    int distance = board::MateValue - (s < 0 ? -s : s);
    return distance < depth && core::settings.multiPv <= 1 && !core::settings.analyseMode &&
           !UnlimitedSearch();
}

// The easy-move rule: an uncontested first move gives time back.
void ApplyEasyMove(board::Tree& tree, int depth) {
    board::Move best = tree.nodeArray[0].bestMove;
    bool recapture = best && IsRecapture(best);
    int share = think.easyShare - (recapture ? RecaptureShareCut : 0);
    if (!think.easyCandidate || sg.singleMove || depth < EasyMinDepth) return;
    if (tree.nodes == 0 || think.firstMoveNodes * 100 < tree.nodes * uint64_t(share)) return;
    if (ElapsedMs() <= EasyMinElapsed || !best || IsQuietPawnMove(best)) return;
    if (!recapture) think.easyHalvings--;
    if (think.easyHalvings >= 0) {
        think.pendingTime += limits.target - limits.target / 2;
        limits.target /= 2;
        limits.extra /= 2;
    }
}

// Stop between iterations when too little of the budget would remain.
bool TimeForAnotherIteration(board::Tree& tree, int depth) {
    if (!ClockMode() || searchState != Searching || depth < TimedStopDepth) return true;
    int64_t planned = int64_t(limits.target);
    if (core::settings.openingAdvice)
        planned = planned * TimePercentOf(tree.nodeArray[0].bestMove) / 100;
    return !IterationTimeUsedUp(ElapsedMs(), planned, think.bestChanged != 0,
                                core::settings.ponder != 0);
}

// After an iteration: fold the extension into the plan.
void FoldExtension(int score) {
    sg.mayStopAtTarget = 1;
    if (score >= think.previousScore - FoldDropLimit) limits.extension /= 2;
    if (ClockMode()) {
        int64_t target = int64_t(limits.target) + limits.extension;
        limits.target = int32_t(target > MaxExtension ? MaxExtension : target);
        limits.extension = 0;
    }
}

void RecordIteration(board::Tree& tree, int depth) {
    board::NodeRecord* root = &tree.nodeArray[0];
    int score = root->bestValue;
    think.scoreHistory[depth] = score;
    if (ElapsedMs() > UnstableElapsed) think.unstable = 1;
    if (depth > 4) {
        int swing = score - think.scoreHistory[depth - 2];
        if (swing > UnstableSwing || swing < -UnstableSwing) think.unstable = 1;
    }
    NoteRootResult(depth, score, 0, true, root->bestMove);
    bool won = score > DecidedScore, lost = score < -DecidedScore;
    for (int d = 1; d <= depth && (won || lost); d++) {
        if (think.scoreHistory[d] < DecidedScore) won = false;
        if (think.scoreHistory[d] > -DecidedScore) lost = false;
    }
    if (won || lost) think.unstable = 0;
}

// Step 14: iterative deepening.
void Deepen(board::Tree& tree) {
    board::NodeRecord* root = &tree.nodeArray[0];
    for (int depth = 1; depth <= MaxDepth && depth <= limits.depthLimit && !Stopped(); depth++) {
        // 14.1 A known mate needs no deeper search.
        if (MateKnownWithin(depth)) break;

        // 14.2 Per-iteration globals and the aspiration window.
        sg.iterationDepth = depth;
        sg.extensionHorizon = depth + 12 < MaxDepth ? depth + 12 : MaxDepth;
        sg.nullMoveMinPly = sg.nullMovePlyRule == 1 ? depth / 3 : 0;
        int s = think.previousScore;
        int alpha = -board::MateValue, beta = board::MateValue;
        if (s > -board::MateBound && s < board::MateBound) {
            alpha = s - AspirationWidth;
            beta = s + AspirationWidth;
        }

        // 14.3 The root search.
        SearchRootIteration(tree, depth, alpha, beta);
        int score = root->bestValue;

        bool lastIteration = sg.singleMove && ClockMode() && searchState == Searching &&
                             depth >= SingleMoveDepth;
        FoldExtension(score);

        if (!Stopped()) {
            RecordIteration(tree, depth);
            if (ClockMode()) ApplyEasyMove(tree, depth);
        }
        think.previousScore = score;
        if (Stopped()) break;

        // 14.4 Store the root, then the time limits of the clock.
        RewardBestMove(tree, depth);
        StoreRoot(tree, depth);
        if (lastIteration || !TimeForAnotherIteration(tree, depth)) break;

        // 14.5 Database agreement: a search that confirms the root's
        // tablebase value is done; one that disagrees starts afresh without
        // the tablebases.
        if (depth >= TimedStopDepth && think.rootDbValue != board::NoAnswer) {
            const int db = think.rootDbValue;
            if (db == 0 || (score >= db - 1 && score <= db + 1)) break;
            sg.tablebasePieceLimit = 0;
            ClearSearchTables();
            eval::ClearEvalTables();
            think.previousScore = 0;
            think.rootDbValue = board::NoAnswer;
        }
        if (PastSafetyLimit(ElapsedMs())) break;
        if (ClockMode() && depth >= TimedStopDepth && searchState == Searching) {
            int32_t elapsed = ElapsedMs();
            if (elapsed >= limits.hardMax || elapsed >= limits.target) break;
        }
        PollInputOnce(tree);
        if (Stopped()) break;
        ReportNodes(tree);
    }
}

// Step 17: the reply we expect, from the PV or from the hash.
void FindPonderMove(board::Tree& tree, board::Move best) {
    ponderMove = 0;
    board::NodeRecord* root = &tree.nodeArray[0];
    root->currentMove = best;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (!child) return;
    board::Move reply = 0;
    if (best == pvMoves[0]) {
        reply = pvMoves[1];
    } else if (SearchTables[0][0]) {
        const SearchEntry& e = SearchTables[0][child->side][HashIndex(child)];
        if ((e.check ^ e.move ^ e.move2 ^ e.data) == child->key[1]) reply = e.move;
    }
    if (reply && board::MoveFits(reply, tree, child->flags)) {
        child->currentMove = reply;
        if (board::MakeMove(tree, child)) {
            board::UnmakeMove(tree, child);
            ponderMove = reply;
        }
    }
    board::UnmakeMove(tree, root);
}

}  // namespace

bool IterationTimeUsedUp(int64_t elapsed, int64_t planned, bool bestChanged, bool ponder) {
    // Without pondering the next move gets no thinking time of its own: stop sooner.
    int64_t soft = planned * (ponder ? 75 : 70) / 100;
    int64_t firm = planned * (ponder ? 90 : 85) / 100;
    return elapsed > soft && (elapsed >= firm || !bestChanged);
}

void AddExtension(int64_t ms) {
    int64_t total = int64_t(limits.extension) + (ms > 0 ? ms : 0);
    limits.extension = int32_t(total > MaxExtension ? MaxExtension : total);
    int64_t grand = int64_t(limits.extensionTotal) + (ms > 0 ? ms : 0);
    limits.extensionTotal = int32_t(grand > MaxExtension ? MaxExtension : grand);
}

void ReturnPendingTime() {
    if (!think.pendingTime) return;
    limits.target += think.pendingTime;
    limits.extra += think.pendingTime;
    think.pendingTime = 0;
}

void ComputeTimeBudget() {
    double usage = double(core::settings.timeUsage);
    if (MovesToGoMode()) {
        int n = MovesToGo();
        int t = limits.clockTime, inc = limits.clockInc;
        double divisor = (core::settings.ponder && limits.movesToGo > 7) ? 0.75 * n + 2 : n + 2;
        limits.target = Trunc(double(t) / divisor) + Trunc(double(inc) * 90 / 100);
        limits.hardMax = HardMaxWithMovesToGo(85);
    } else {
        int t = RemainingTime();
        int inc = limits.levelMode == 3 ? limits.suddenInc : 0;
        if (inc > 0) {
            if (t < 60001) {
                if (t <= 3 * int64_t(inc))
                    limits.target = Trunc(double(t - 1000) * 3.2) / 100;
                else
                    limits.target = Trunc(45.0 * inc + double(t - 1000) * 3.2) / 100;
            } else {
                limits.target = Trunc(90.0 * inc + 90000 + 3.6 * t) / 100;
            }
        } else if (t < 60001) {
            limits.target = Trunc(double(t - 1000) * 1.6) / 100;
        } else {
            limits.target = Trunc(2.2 * t + 110000) / 100;
        }
        limits.hardMax = HardMaxWithoutMovesToGo(25);
    }
    if (core::settings.timeUsage != 100) limits.target = Trunc(limits.target * usage / 100);
    if (limits.target < MinimumTarget) limits.target = MinimumTarget;
    limits.extension = 0;
    limits.extra = limits.target;
    ApplyClockSafety(RemainingTime());
}

void PonderHit() {
    if (searchState != Pondering) return;
    searchState = Searching;
    if (sg.iterationDepth > 4) {
        bool timeUp = core::Elapsed(sg.searchStart) >= limits.target + limits.extension &&
                      sg.mayStopAtTarget && sg.firstRootMoveActive;
        if (sg.answerFinal || sg.singleMove || timeUp) stopFlag = 1;
    }
}

void HardMaxAfterScoreChange(int delta) {
    if (MovesToGoMode())
        limits.hardMax = HardMaxWithMovesToGo(Clamp(85 + delta / 10, 15, 85));
    else
        limits.hardMax = HardMaxWithoutMovesToGo(Clamp(25 - delta / 10, 25, 75));
    if (limits.safetyMax > 0 && limits.hardMax > limits.safetyMax) limits.hardMax = limits.safetyMax;
}

board::Move Think(board::Tree& tree) {
    // 1-2. Tables and counters.
    PrepareTables(tree);
    ResetSearchState(tree);

    // 3-4. Root record and per-search globals.
    board::NodeRecord* root = SetUpSearchRoot(tree);

    // 5. Time budget.
    if (ClockMode()) {
        ComputeTimeBudget();
        think.shortTime = limits.target < ShortTimeLimit;
    }

    // 6. Protected entries and what earlier searches learned about this position.
    bool analysis = core::settings.analyseMode || limits.infinite;
    if (analysis) {
        if (knowledge.restoreProtected) knowledge.restoreProtected();
    } else if (knowledge.forgetProtected) {
        knowledge.forgetProtected();
    }
    if (core::settings.positionLearning && knowledge.seedFromFile)
        think.unstable = knowledge.seedFromFile(tree, root);

    // 7. Root evaluation and move list.
    BuildRoot(tree, root);

    // 8-9. Nothing to search.
    if (rootMoveCount == 0 || DeadDrawn(tree)) {
        ReportStatistics(tree, sg.searchStart);
        sg.answerFinal = 1;
        WaitWhilePondering();
        return 0;
    }

    // 10-11. Opening book, else opening advice for the root moves.
    board::Move bookMove = 0;
    if (!sg.noPoll) {
        board::Move moves[MaxRootMoves], allowed[MaxRootMoves];
        int allowedCount = 0;
        for (int i = 0; i < rootMoveCount; i++) {
            moves[i] = rootMoves[i].move;
            // A book move outside a `searchmoves` list is not an answer.
            bool listed = !searchMoves[0];
            for (int k = 0; !listed && k < MaxSearchMoves && searchMoves[k]; k++)
                listed = (searchMoves[k] & 0x3ffff) == (moves[i] & 0x3ffff);  // squares and promotion
            if (listed) allowed[allowedCount++] = moves[i];
        }
        if (knowledge.bookMove)
            bookMove = knowledge.bookMove(tree, root, allowed, allowedCount, limits.infinite);
        if (bookMove) {
            root->bestMove = bookMove;
        } else if (knowledge.adviceAllowed && knowledge.applyAdvice &&
                   knowledge.adviceAllowed(tree, root)) {
            int16_t bonus[MaxRootMoves] = {};
            uint8_t time[MaxRootMoves] = {};
            knowledge.applyAdvice(root, moves, rootMoveCount, bonus, time);
            for (int i = 0; i < rootMoveCount; i++) {
                rootMoves[i].adviceBonus = bonus[i];
                rootMoves[i].timePercent = time[i];
            }
        }
    }

    // 12. Root database probes. A tablebase answer is the value the search
    // must agree with, so stored bounds may not cut it short; it also makes
    // the bitbases redundant. A root the bitbases answer needs no probes in
    // the tree; the evaluation then probes pawn endings itself.
    if (!bookMove && root->men <= sg.tablebasePieceLimit) {
        const int answer = TablebaseAnswer(tree, root);
        if (answer != board::NoAnswer) {
            think.rootDbValue = answer;
            if (!sg.noPoll) {
                sg.hashCutoffsOff = 1;
                sg.bitbasePieceLimit = 0;
                sg.quiesceBitbaseLimit = 0;
            }
            if (answer == 0 && !sg.noPoll) KeepDrawingMoves(tree, root);
        }
    }
    if (!bookMove && root->men <= sg.bitbasePieceLimit &&
        BitbaseAnswer(tree, root) != board::NoAnswer && !sg.noPoll) {
        sg.bitbasePieceLimit = 0;
        sg.quiesceBitbaseLimit = 0;
        bitbases::probeState.rootInBitbase = 1;
    }

    // 13. searchmoves.
    ApplySearchMoves();
    if (core::settings.multiPv > 1) {
        board::Move moves[MaxRootMoves];
        for (int i = 0; i < rootMoveCount; i++) moves[i] = rootMoves[i].move;
        ResetMultiPv(moves, rootMoveCount);
    }

    // 14. Iterative deepening.
    if (!bookMove && !Stopped() && limits.depthLimit > 0) Deepen(tree);
    sg.answerFinal = 1;

    // 15. Remember the result, and keep an analysis line's entries.
    if (!bookMove && !sg.noPoll) {
        board::Move best = root->bestMove;
        if (core::settings.positionLearning && knowledge.learnAfterSearch && !think.shortTime &&
            !searchMoves[0] && best && think.unstable && think.rootDbValue == board::NoAnswer)
            knowledge.learnAfterSearch(tree, root, best, pvMoves[0] == best ? pvMoves[1] : 0);
        if (analysis && SearchEntries && knowledge.protect && knowledge.refreshProtected) {
            for (const SavedPvEntry& saved : savedPvEntries)
                if (saved.slot) knowledge.protect(saved.slot, saved.entry);
            SearchEntry* slot = &SearchTables[0][root->side][HashIndex(root)];
            if (EntryMatches(*slot, root->key[1])) knowledge.protect(slot, *slot);
            knowledge.refreshProtected();
        }
    }

    // 16. Statistics; a ponder search waits for its answer to be wanted.
    ReportStatistics(tree, sg.searchStart);
    WaitWhilePondering();

    // 17-18. The move to play and the reply to ponder on.
    board::Move best = root->bestMove;
    if (!best) best = rootMoves[0].move;
    FindPonderMove(tree, best);
    if (best != pvMoves[0] && sg.iterationDepth > 1)
        PublishPvLine(tree, best, sg.iterationDepth - 1, FinalCall, ElapsedMs(), root->bestValue,
                      root->bestValue, 0);
    return best;
}

}  // namespace search
