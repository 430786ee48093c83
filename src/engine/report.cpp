#include "engine/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "bitbases/probe.h"
#include "board/movegen.h"
#include "core/platform.h"
#include "core/settings.h"
#include "search/record.h"
#include "search/root.h"
#include "search/state.h"
#include "search/tt.h"

namespace engine {

namespace {

constexpr int LineBufferSize = 1024;
constexpr int RecordTextSize = 256;
constexpr int MateDistanceLimit = 144;  // longer "mates" come from endgame databases
constexpr int CurrentLineMoves = 28;
constexpr int RefutationPlies = 5;
constexpr int CurrentMoveDelayMs = 499;
constexpr int AnnounceDepth = 8;
constexpr int MultiPvReportDepth = 4;

// The text of each MultiPV line as it was last reported, by the line's slot.
char lineTexts[search::MaxRootMoves + 1][RecordTextSize];

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

bool TablesExist() { return search::HashAllocated(); }

int32_t NodesPerSecond(uint64_t nodes, int32_t elapsed) {
    double nps = double(nodes) * 1000.0 / double(elapsed);
    return nps > 2147483647.0 ? 2147483647 : int32_t(nps);
}

}  // namespace

int HashUsage() {
    return TablesExist() ? search::HashFull() : 0;
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

void ReportPvLine(const board::Tree& tree, int depth, int32_t timeMs, int score, int bound) {
    // 4. Text.
    Line line{lineBuffer, LineBufferSize, 0};
    if (core::settings.multiPv <= 1) line.Add("info ");
    line.Add("depth %d seldepth %d time %d score ", depth, SelectiveDepth(tree, depth), int(timeMs));
    char scoreText[48];
    FormatScore(scoreText, sizeof(scoreText), score);
    line.Add("%s", scoreText);
    if (bound == 1) line.Add("upperbound ");
    if (bound == 2) line.Add("lowerbound ");
    if (tree.nodes > 0) {
        line.Add("nodes %lld ", (long long)tree.nodes);
        int32_t elapsed = core::Elapsed(search::sg.searchStart);
        if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    }
    if (TablesExist()) line.Add("hashfull %d ", HashUsage());
    if (search::sg.tbHits > 0) line.Add("tbhits %d ", int(search::sg.tbHits));
    if (bitbases::probeState.hits > 0) line.Add("sbhits %lld ", (long long)bitbases::probeState.hits);
    line.Add("pv");
    for (int i = 0; i < search::PvLength && search::pvMoves[i]; i++) line.AddMove(search::pvMoves[i]);
    lineLength = line.length;

    // 5. One line goes out at once; several wait for the MultiPV report.
    if (core::settings.multiPv <= 1) {
        line.Add("\n");
        core::SendLine(lineBuffer);
    }
}

void ReportMultiPv(board::Move rootMove, int depth, int lines) {
    // 1. The line of the root move keeps the text just formatted.
    int count = search::MultiPvCount();
    for (int i = 0; i < count; i++) {
        const search::MultiPvLine& r = search::MultiPvAt(i);
        if (r.move != rootMove) continue;
        // Cut at a move boundary when the line is longer than the record.
        int length = lineLength < RecordTextSize - 1 ? lineLength : RecordTextSize - 1;
        if (length < lineLength)
            while (length > 0 && lineBuffer[length] != ' ') length--;
        char* text = lineTexts[r.slot];
        std::memcpy(text, lineBuffer, size_t(length));
        text[length] = 0;
        break;
    }

    // 4. Every report repeats all lines.
    if (depth < MultiPvReportDepth) return;
    int shown = core::settings.multiPv;
    int n = lines < shown ? lines : shown;
    char text[RecordTextSize + 32];
    for (int i = 0; i < n; i++) {
        std::snprintf(text, sizeof(text), "info multipv %d %s\n", i + 1,
                      lineTexts[search::MultiPvAt(i).slot]);
        core::SendLine(text);
    }
}

void ClearMultiPvTexts() { std::memset(lineTexts, 0, sizeof(lineTexts)); }

void ReportCurrentMove(int depth, int moveNumber, board::Move move) {
    if (depth < AnnounceDepth) return;
    char text[96];
    int selDepth = board::MainTree ? SelectiveDepth(*board::MainTree, depth) : depth;
    if (depth != lastDepth && selDepth != lastSelDepth) {
        std::snprintf(text, sizeof(text), "info depth %d seldepth %d\n", depth, selDepth);
        core::SendLine(text);
        lastDepth = depth;
        lastSelDepth = selDepth;
    }
    if (core::Elapsed(search::sg.searchStart) > CurrentMoveDelayMs) {
        Line line{text, sizeof(text), 0};
        line.Add("info currmovenumber %d currmove", moveNumber);
        line.AddMove(move);
        line.Add("\n");
        core::SendLine(text);
    }
}

void ReportNodes(const board::Tree& tree) {
    char text[48];
    std::snprintf(text, sizeof(text), "info nodes %lld\n", (long long)tree.nodes);
    core::SendLine(text);
}

void ReportCurrentLine(const board::Tree& tree, const board::NodeRecord* node) {
    char text[512];
    Line line{text, sizeof(text), 0};
    line.Add("info nodes %lld ", (long long)tree.nodes);
    int32_t elapsed = core::Elapsed(search::sg.searchStart);
    if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    line.Add("currline %d", 1);
    int plies = node ? int(node - tree.nodeArray) : 0;
    if (plies > CurrentLineMoves) plies = CurrentLineMoves;
    for (int i = 0; i < plies; i++) line.AddMove(tree.nodeArray[i].currentMove);
    line.Add("\n");
    core::SendLine(text);
}

void ReportRefutation(board::Move move, const board::Move* refutation, int count) {
    char text[256];
    Line line{text, sizeof(text), 0};
    line.Add("info refutation ");
    line.AddMove(move);
    for (int i = 0; i < count; i++) line.AddMove(refutation[i]);
    line.Add("\n");
    core::SendLine(text);
}

void ReportStatistics(const board::Tree& tree, int32_t searchStart) {
    char text[256];
    Line line{text, sizeof(text), 0};
    line.Add("info ");
    int32_t elapsed = core::Elapsed(searchStart);
    if (elapsed > 0) line.Add("nps %d ", int(NodesPerSecond(tree.nodes, elapsed)));
    if (tree.nodes > 0) line.Add("nodes %lld ", (long long)tree.nodes);
    if (TablesExist()) line.Add("hashfull %d ", HashUsage());
    if (search::sg.tbHits > 0) line.Add("tbhits %d ", int(search::sg.tbHits));
    if (bitbases::probeState.hits > 0) line.Add("sbhits %lld ", (long long)bitbases::probeState.hits);
    line.Add("\n");
    core::SendLine(text);
}

void ReportPeriodic(const board::Tree& tree, int32_t elapsed) {
    if (!TablesExist()) return;
    char text[96];
    int nps = elapsed > 0 ? int(NodesPerSecond(tree.nodes, elapsed)) : 0;
    std::snprintf(text, sizeof(text), "info hashfull %d nps %d tbhits %d\n", HashUsage(), nps,
                  int(search::sg.tbHits));
    core::SendLine(text);
}

void InstallReporter() {
    search::Reporter r{};
    r.pvLine = ReportPvLine;
    r.multiPv = ReportMultiPv;
    r.multiPvReset = ClearMultiPvTexts;
    r.currentMove = ReportCurrentMove;
    r.nodes = ReportNodes;
    r.currentLine = ReportCurrentLine;
    r.refutation = ReportRefutation;
    r.statistics = ReportStatistics;
    r.periodic = ReportPeriodic;
    search::reporter = r;
}

}  // namespace engine
