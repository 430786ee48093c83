#include "search/record.h"

#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "core/settings.h"
#include "search/root.h"
#include "search/state.h"

namespace search {

board::Move pvMoves[PvLength];
int whiteViewScore = 0;
Reporter reporter;
KnowledgeHooks knowledge;

namespace {

MultiPvLine lines[MaxRootMoves + 1];
int lineCount = 0;

}  // namespace

void ResetMultiPv(const board::Move* rootMoves, int count) {
    if (count > MaxRootMoves) count = MaxRootMoves;
    lineCount = count;
    for (int i = 0; i <= MaxRootMoves; i++) {
        MultiPvLine& r = lines[i];
        std::memset(&r, 0, sizeof(r));
        r.score = -board::MateValue;
        r.slot = i;
        if (i < count) r.move = rootMoves[i];
    }
    if (reporter.multiPvReset) reporter.multiPvReset();
}

int MultiPvCount() { return lineCount; }
const MultiPvLine& MultiPvAt(int index) { return lines[index]; }

board::Move MultiPvMove(int index) {
    return index >= 0 && index < lineCount ? lines[index].move : 0;
}

int MultiPvScore(int index) {
    return index >= 0 && index < lineCount ? lines[index].score : -board::MateValue;
}

void NoteRootResult(int depth, int score, int bound, bool iterationEnd, board::Move move) {
    if (sg.zeroScore) score = 0;
    if (core::settings.positionLearning && knowledge.noteRootResult && depth != 0 &&
        (iterationEnd || bound != 1))
        knowledge.noteRootResult(depth, score, iterationEnd ? 0 : 2, move);
}

void PublishPvLine(board::Tree& tree, board::Move rootMove, int depth, int kind, int32_t timeMs,
                   int score, int expected, int bound) {
    NoteRootResult(depth, score, bound, false, rootMove);

    // 1. Scores forced to zero; 2. which calls reach the host.
    if (sg.zeroScore) score = 0;
    if (kind != FinalCall && bound != 0) return;

    // 3. Fresh principal variation, read back from the hash.
    board::Move oldRoot = pvMoves[0], oldReply = pvMoves[1];
    std::memset(pvMoves, 0, sizeof(pvMoves));
    ClearSavedPv();
    pvMoves[0] = rootMove;
    board::NodeRecord* root = &tree.nodeArray[0];
    whiteViewScore = root->side == board::Black ? -score : score;
    board::Move savedCurrent = root->currentMove;
    root->currentMove = rootMove;
    ExtractPv(tree, root, expected);
    root->currentMove = savedCurrent;

    // The ponder move survives a re-search of the same root move.
    if (!pvMoves[1] && oldReply && rootMove == oldRoot) pvMoves[1] = oldReply;

    if (reporter.pvLine) reporter.pvLine(tree, depth, timeMs, score, bound);
}

void PublishMultiPv(board::Move rootMove, int score, int bound, int depth, int spare, int shownLines) {
    int count = shownLines > lineCount ? lineCount : shownLines;

    // 1. The line of the root move takes the new result.
    for (int i = 0; i < lineCount; i++) {
        MultiPvLine& r = lines[i];
        if (r.move != rootMove) continue;
        r.score = sg.zeroScore ? 0 : score;
        r.bound = bound;
        r.depth = depth;
        r.spare = spare;
        for (int j = 0; j <= MultiPvMoves; j++) r.pv[j] = j < MultiPvMoves ? pvMoves[j] : 0;
        break;
    }

    // 2. Best first; a deeper line is not displaced by a shallower one.
    for (int pass = count - 1; pass > 0; pass--)
        for (int i = 0; i < pass; i++)
            if (lines[i].score < lines[i + 1].score && lines[i].depth <= lines[i + 1].depth) {
                MultiPvLine t = lines[i];
                lines[i] = lines[i + 1];
                lines[i + 1] = t;
            }

    // 3. End mark after the shown lines.
    int shown = core::settings.multiPv;
    if (shown >= 0 && shown < lineCount) {
        lines[shown].score = -board::MateValue;
        lines[shown].depth = -9999;
    }

    if (reporter.multiPv) reporter.multiPv(rootMove, depth, count);
}

void PublishRefutation(board::Tree& tree, board::NodeRecord* root, board::Move move) {
    // Walk the main-table moves below the root move, making each one. The
    // records' moves are put back afterwards: they give the selective depth.
    constexpr int Plies = 5;
    board::Move line[Plies];
    board::Move searched[Plies + 1];
    for (int i = 0; i <= Plies; i++) searched[i] = root[i].currentMove;
    board::NodeRecord* made[Plies + 1];
    int depth = 0, found = 0;
    root->currentMove = move;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (child) made[depth++] = root;
    while (child && depth < Plies && SearchTables[0][0] && SearchEntries > 0) {
        const SearchEntry& e = SearchTables[0][child->side][HashIndex(child)];
        if ((e.check ^ e.move ^ e.move2 ^ e.data) != child->key[1] || !e.move) break;
        if (!board::MoveFits(e.move, tree, child->flags)) break;
        child->currentMove = e.move;
        board::NodeRecord* next = board::MakeMove(tree, child);
        if (!next) break;
        line[found++] = e.move;
        made[depth++] = child;
        child = next;
    }
    while (depth > 0) board::UnmakeMove(tree, made[--depth]);
    for (int i = 0; i <= Plies; i++) root[i].currentMove = searched[i];
    if (reporter.refutation) reporter.refutation(move, line, found);
}

void ReportCurrentMove(int depth, int moveNumber, board::Move move) {
    if (reporter.currentMove) reporter.currentMove(depth, moveNumber, move);
}

void ReportNodes(const board::Tree& tree) {
    if (reporter.nodes) reporter.nodes(tree);
}

void ReportCurrentLine(const board::Tree& tree, const board::NodeRecord* node) {
    if (reporter.currentLine) reporter.currentLine(tree, node);
}

void ReportStatistics(const board::Tree& tree, int32_t searchStart) {
    if (reporter.statistics) reporter.statistics(tree, searchStart);
}

void ReportPeriodic(const board::Tree& tree, int32_t elapsed) {
    if (reporter.periodic) reporter.periodic(tree, elapsed);
}

}  // namespace search
