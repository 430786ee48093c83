#include "engine/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "book/learn.h"
#include "engine/platform.h"
#include "engine/settings.h"
#include "search/root.h"
#include "search/state.h"
#include "search/tt.h"

namespace engine {

board::Move PvMoves[PvLength];
int WhiteViewScore = 0;

namespace {

constexpr int LineBufferSize = 1024;
constexpr int RecordTextSize = 256;
constexpr int RecordPvMoves = 8;
constexpr int MateDistanceLimit = 144;  // longer "mates" come from endgame databases
constexpr int CurrentLineMoves = 28;
constexpr int RefutationPlies = 5;
constexpr int CurrentMoveDelayMs = 499;
constexpr int AnnounceDepth = 8;
constexpr int MultiPvReportDepth = 4;

struct MultiPvRecord {
    board::Move move;
    int score;
    int bound;
    int depth;
    int spare;
    board::Move pv[RecordPvMoves + 1];
    char text[RecordTextSize];
};
MultiPvRecord records[search::MaxRootMoves + 1];
int recordCount = 0;

char lineBuffer[LineBufferSize];
int lineLength = 0;

int lastDepth = -1, lastSelDepth = -1;

// Appends formatted text, never past the end of the buffer.
struct Line {
    char* text;
    int size;
    int length;
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (length >= size - 1) return;
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(text + length, size_t(size - length), format, args);
        va_end(args);
        if (n > 0) length = (length + n < size - 1) ? length + n : size - 1;
    }
    void AddMove(board::Move move) {
        char buffer[16];
        board::WriteMoveText(buffer, move);
        Add(" %s", buffer);
    }
};

bool TablesExist() { return search::SearchTables[0][0] != nullptr && search::SearchEntries > 0; }

int32_t NodesPerSecond(uint64_t nodes, int32_t elapsed) {
    double nps = double(nodes) * 1000.0 / double(elapsed);
    return nps > 2147483647.0 ? 2147483647 : int32_t(nps);
}

long long NodeCount() { return board::MainTree ? (long long)board::MainTree->nodes : 0; }

}  // namespace

int HashUsage() {
    if (!TablesExist()) return 0;
    double used = double(search::hashWrites) * 500.0 / double(search::SearchEntries);
    return used >= 1000.0 ? 1000 : int(used);
}

int SelectiveDepth(const board::Tree& tree, int depth) {
    int held = 0;
    for (int i = 0; i < board::MaxPly; i++)
        if (tree.nodeArray[i].currentMove) held++;
    if (held < depth) held = depth;
    return held > 99 ? 99 : held;
}

int FormatScore(char* buffer, int size, int score) {
    Line line{buffer, size, 0};
    buffer[0] = 0;
    if (score > board::MateBound) {
        int moves = (board::MateValue + 1 - score) / 2;
        line.Add("mate %d ", moves);
        if (moves > MateDistanceLimit) line.Add("lowerbound ");
    } else if (score < -board::MateBound) {
        int moves = (score + board::MateValue) / 2;
        line.Add("mate -%d ", moves);
        if (moves > MateDistanceLimit) line.Add("upperbound ");
    } else {
        line.Add("cp %d ", score);
    }
    return line.length;
}

void ReportPvLine(board::Tree& tree, board::Move rootMove, int depth, int kind, int32_t timeMs,
                  int score, int expected, int bound) {
    // 1. Scores forced to zero.
    if (search::sg.zeroScore) score = 0;

    // Position learning keeps the newest exact or lower-bound root result.
    if (settings.positionLearning && depth != 0 && (kind == EndOfIterationCall || bound != 1))
        book::NoteRootResult(depth, score, kind == EndOfIterationCall ? 0 : 2, rootMove);

    // 2. Which calls print.
    if (kind == EndOfIterationCall) return;
    if (kind != FinalCall && bound != 0) return;

    // 3. Fresh principal variation.
    board::Move oldRoot = PvMoves[0], oldReply = PvMoves[1];
    std::memset(PvMoves, 0, sizeof(PvMoves));
    search::ClearSavedPv();
    PvMoves[0] = rootMove;
    board::NodeRecord* root = &tree.nodeArray[0];
    WhiteViewScore = root->side == board::Black ? -score : score;

    // 4. Text.
    Line line{lineBuffer, LineBufferSize, 0};
    if (settings.multiPv <= 1) line.Add("info ");
    line.Add("depth %d seldepth %d time %d score ", depth, SelectiveDepth(tree, depth), int(timeMs));
    char scoreText[48];
    FormatScore(scoreText, sizeof(scoreText), score);
    line.Add("%s", scoreText);
    if (bound == 1) line.Add("upperbound ");
    if (bound == 2) line.Add("lowerbound ");
    if (tree.nodes > 0) {
        line.Add("nodes %lld ", (long long)tree.nodes);
        int32_t elapsed = Elapsed(search::sg.searchStart);
        if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    }
    if (TablesExist()) line.Add("hashfull %d ", HashUsage());
    if (search::sg.tbHits > 0) line.Add("tbhits %d ", int(search::sg.tbHits));
    if (search::sg.bbHits > 0) line.Add("sbhits %lld ", (long long)search::sg.bbHits);
    line.Add("pv");
    line.AddMove(rootMove);

    board::Move savedCurrent = root->currentMove;
    root->currentMove = rootMove;
    char continuation[LineBufferSize];
    continuation[0] = 0;
    search::ExtractPv(tree, root, expected, continuation, sizeof(continuation));
    root->currentMove = savedCurrent;
    line.Add("%s", continuation);

    // The ponder move survives a re-search of the same root move.
    if (!PvMoves[1] && oldReply && rootMove == oldRoot) {
        PvMoves[1] = oldReply;
        line.AddMove(oldReply);
    }
    lineLength = line.length;

    // 5. One line goes out at once; several wait for the MultiPV report.
    if (settings.multiPv <= 1) {
        line.Add("\n");
        SendLine(lineBuffer);
    }
}

void ResetMultiPv(const board::Move* rootMoves, int count) {
    if (count > search::MaxRootMoves) count = search::MaxRootMoves;
    recordCount = count;
    for (int i = 0; i <= search::MaxRootMoves; i++) {
        MultiPvRecord& r = records[i];
        std::memset(&r, 0, sizeof(r));
        r.score = -board::MateValue;
        if (i < count) r.move = rootMoves[i];
    }
}

board::Move MultiPvMove(int index) {
    return index >= 0 && index < recordCount ? records[index].move : 0;
}

int MultiPvScore(int index) {
    return index >= 0 && index < recordCount ? records[index].score : -board::MateValue;
}

void ReportMultiPv(board::Move rootMove, int score, int bound, int depth, int spare, int lines) {
    if (lines > recordCount) lines = recordCount;

    // 1. The record of the root move takes the new line.
    for (int i = 0; i < recordCount; i++) {
        MultiPvRecord& r = records[i];
        if (r.move != rootMove) continue;
        r.score = search::sg.zeroScore ? 0 : score;
        r.bound = bound;
        r.depth = depth;
        r.spare = spare;
        for (int j = 0; j <= RecordPvMoves; j++) r.pv[j] = j < RecordPvMoves ? PvMoves[j] : 0;
        // Cut at a move boundary when the line is longer than the record.
        int length = lineLength < RecordTextSize - 1 ? lineLength : RecordTextSize - 1;
        if (length < lineLength)
            while (length > 0 && lineBuffer[length] != ' ') length--;
        std::memcpy(r.text, lineBuffer, size_t(length));
        r.text[length] = 0;
        break;
    }

    // 2. Best first; a deeper line is not displaced by a shallower one.
    for (int pass = lines - 1; pass > 0; pass--)
        for (int i = 0; i < pass; i++)
            if (records[i].score < records[i + 1].score && records[i].depth <= records[i + 1].depth) {
                MultiPvRecord t = records[i];
                records[i] = records[i + 1];
                records[i + 1] = t;
            }

    // 3. End mark after the shown lines.
    int shown = settings.multiPv;
    if (shown >= 0 && shown < recordCount) {
        records[shown].score = -board::MateValue;
        records[shown].depth = -9999;
    }

    // 4. Every report repeats all lines.
    if (depth < MultiPvReportDepth) return;
    int count = lines < shown ? lines : shown;
    char text[RecordTextSize + 32];
    for (int i = 0; i < count; i++) {
        std::snprintf(text, sizeof(text), "info multipv %d %s\n", i + 1, records[i].text);
        SendLine(text);
    }
}

void ReportCurrentMove(int depth, int moveNumber, board::Move move) {
    if (depth < AnnounceDepth) return;
    char text[96];
    int selDepth = board::MainTree ? SelectiveDepth(*board::MainTree, depth) : depth;
    if (depth != lastDepth && selDepth != lastSelDepth) {
        std::snprintf(text, sizeof(text), "info depth %d seldepth %d\n", depth, selDepth);
        SendLine(text);
        lastDepth = depth;
        lastSelDepth = selDepth;
    }
    if (Elapsed(search::sg.searchStart) > CurrentMoveDelayMs) {
        Line line{text, sizeof(text), 0};
        line.Add("info currmovenumber %d currmove", moveNumber);
        line.AddMove(move);
        line.Add("\n");
        SendLine(text);
    }
}

void ReportNodes() {
    char text[48];
    std::snprintf(text, sizeof(text), "info nodes %lld\n", NodeCount());
    SendLine(text);
}

void ReportCurrentLine(board::Tree& tree, board::NodeRecord* node) {
    char text[512];
    Line line{text, sizeof(text), 0};
    line.Add("info nodes %lld ", (long long)tree.nodes);
    int32_t elapsed = Elapsed(search::sg.searchStart);
    if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    line.Add("currline %d", 1);
    int plies = node ? int(node - tree.nodeArray) : 0;
    if (plies > CurrentLineMoves) plies = CurrentLineMoves;
    for (int i = 0; i < plies; i++) line.AddMove(tree.nodeArray[i].currentMove);
    line.Add("\n");
    SendLine(text);
}

void ReportRefutation(board::Tree& tree, board::NodeRecord* root, board::Move move) {
    char text[256];
    Line line{text, sizeof(text), 0};
    line.Add("info refutation ");
    line.AddMove(move);

    // Walk the main-table moves below the root move, making each one. The
    // records' moves are put back afterwards: they give the selective depth.
    board::Move searched[RefutationPlies + 1];
    for (int i = 0; i <= RefutationPlies; i++) searched[i] = root[i].currentMove;
    board::NodeRecord* made[RefutationPlies + 1];
    int depth = 0;
    root->currentMove = move;
    board::NodeRecord* child = board::MakeMove(tree, root);
    if (child) made[depth++] = root;
    while (child && depth < RefutationPlies && TablesExist()) {
        const search::SearchEntry& e =
            search::SearchTables[0][child->side][search::HashIndex(child)];
        if ((e.check ^ e.move ^ e.move2 ^ e.data) != child->key[1] || !e.move) break;
        if (!board::MoveFits(e.move, tree, child->flags)) break;
        child->currentMove = e.move;
        board::NodeRecord* next = board::MakeMove(tree, child);
        if (!next) break;
        line.AddMove(e.move);
        made[depth++] = child;
        child = next;
    }
    while (depth > 0) board::UnmakeMove(tree, made[--depth]);
    for (int i = 0; i <= RefutationPlies; i++) root[i].currentMove = searched[i];
    line.Add("\n");
    SendLine(text);
}

void ReportStatistics(board::Tree& tree, int32_t searchStart) {
    char text[256];
    Line line{text, sizeof(text), 0};
    line.Add("info ");
    int32_t elapsed = Elapsed(searchStart);
    if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    if (tree.nodes > 0) line.Add("nodes %lld ", (long long)tree.nodes);
    if (TablesExist()) line.Add("hashfull %d ", HashUsage());
    if (search::sg.tbHits > 0) line.Add("tbhits %d ", int(search::sg.tbHits));
    if (search::sg.bbHits > 0) line.Add("sbhits %lld ", (long long)search::sg.bbHits);
    line.Add("\n");
    SendLine(text);
}

void ReportPeriodic(board::Tree& tree, int32_t elapsed) {
    if (!TablesExist()) return;
    char text[96];
    int nps = elapsed > 0 ? int(NodesPerSecond(tree.nodes, elapsed)) : 0;
    std::snprintf(text, sizeof(text), "info hashfull %d nps %d tbhits %d\n", HashUsage(), nps,
                  int(search::sg.tbHits));
    SendLine(text);
}

}  // namespace engine
