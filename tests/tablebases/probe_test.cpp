// The engine's probe against tables written by the test: every legal
// position answers the value written for it, from either colour's point of
// view, through plain and compressed files.
#include <gtest/gtest.h>

#include <vector>

#include "index_support.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"

using namespace tablebases;
using namespace tbtest;

namespace {

class TbProbeTest : public TableTest {};

// A made-up distance per position and side to move, the same for mirror
// images (which share an entry) and computed without the index functions.
int Rule(const Material& m, const Pos& p, int stm) {
    const uint64_t h = (SymmetryClass(m, p) * 2 + static_cast<uint64_t>(stm)) * 0x9E3779B97F4A7C15ull;
    return static_cast<int>(h >> 59) - 16;   // loss in 16 .. win in 15 moves, 0 a draw
}

std::vector<TableImage> RuleTables(const std::string& name) {
    const int iTb = TableNumber(name);
    const Material m = ParseMaterial(name);
    const int sides = (TbDescriptors[iTb].flags & TbSymmetric) ? 1 : 2;
    std::vector<TableImage> tables;
    for (int side = 0; side < sides; side++) {
        TableImage t = BlankTable(iTb, side, 32767);
        ForEachLegal(m, side, [&](const Pos& p) { SetRaw(t, EntryOf(t, m, p), RawForMoves(Rule(m, p, side))); });
        tables.push_back(t);
    }
    return tables;
}

// Probes every `step`-th legal position as it stands and with colours
// reversed; returns the number of wrong answers.
int CheckAll(const std::string& name, int step) {
    const Material m = ParseMaterial(name);
    int wrong = 0, n = 0;
    uint8_t board[65];
    for (int side = 0; side < 2; side++)
        ForEachLegal(m, side, [&](const Pos& p) {
            if (n++ % step) return;
            const int want = ScoreForMoves(Rule(m, p, side));
            const int ep = p.ep == 127 ? 0 : p.ep + 1;
            const int epReversed = p.ep == 127 ? 0 : (p.ep ^ 56) + 1;
            EngineBoard(m, p, false, board);
            if (TbProbeScore(board, side, ep) != want) wrong++;
            EngineBoard(m, p, true, board);
            if (TbProbeScore(board, 1 - side, epReversed) != want) wrong++;
        });
    return wrong;
}

}  // namespace

TEST_F(TbProbeTest, ThreeMenRoundTripPlainAndCompressed) {
    // kqk from the queen's side and, reversed, with the queen on black's side.
    std::vector<TableImage> tables = RuleTables("kqk");
    for (const TableImage& t : RuleTables("kpk")) tables.push_back(t);
    for (bool compressed : {false, true}) {
        const std::string dir = scratch.Sub(compressed ? "emd" : "plain");
        for (const TableImage& t : tables) ASSERT_TRUE(WriteTable(dir, t, compressed));
        ASSERT_EQ(IInitializeTb(dir.c_str(), 1), 3);
        EXPECT_EQ(CheckAll("kqk", compressed ? 5 : 2), 0) << compressed;
        EXPECT_EQ(CheckAll("kpk", 3), 0) << compressed;
        EXPECT_GT(TbCacheFigures().hits, 1000u);
        // knk was not written: no answer.
        uint8_t board[65] = {};
        board[1] = 1, board[64] = 9, board[30] = 3;
        EXPECT_EQ(TbProbeScore(board, 0, 0), TbNoAnswer);
        VTbCloseAll();
        EXPECT_EQ(TbProbeScore(board, 0, 0), TbNoAnswer);
    }
}

TEST_F(TbProbeTest, EnPassantOnlyWhenAPawnCanTake) {
    const std::string dir = scratch.path;
    const int iTb = TableNumber("kpkp");
    const Material m = ParseMaterial("kpkp");
    // Kings e1 and e8. For each side to move: the enemy pawn has just moved
    // two squares beside our pawn (en passant possible), the same without
    // the en-passant square, and our pawn moved to the a-file (no capturer).
    struct Case { int side, own, their, ep, far; };
    const Case cases[2] = {{0, 36, 35, 43, 32},    // white e5, black d5, ep d6, white a5
                           {1, 27, 28, 20, 24}};   // black d4, white e4, ep e3, black a4
    for (const Case& c : cases) {
        TableImage t = BlankTable(iTb, c.side, 0);
        Pos take;
        take.king[0] = 4, take.king[1] = 60;
        take.man[c.side][0] = c.own, take.man[1 - c.side][0] = c.their, take.ep = c.ep;
        Pos plain = take, noCapturer = take;
        plain.ep = noCapturer.ep = 127;
        noCapturer.man[c.side][0] = c.far;
        ASSERT_TRUE(Legal(m, take, c.side));
        SetRaw(t, EntryOf(t, m, take), RawForMoves(3));
        SetRaw(t, EntryOf(t, m, plain), RawForMoves(-5));
        SetRaw(t, EntryOf(t, m, noCapturer), RawForMoves(1));
        ASSERT_TRUE(WriteTable(dir, t, false));
    }
    ASSERT_EQ(IInitializeTb(dir.c_str(), 1), 4);

    uint8_t board[65];
    for (const Case& c : cases) {
        Pos p;
        p.king[0] = 4, p.king[1] = 60;
        p.man[c.side][0] = c.own, p.man[1 - c.side][0] = c.their;
        EngineBoard(m, p, false, board);
        EXPECT_EQ(TbProbeScore(board, c.side, c.ep + 1), ScoreForMoves(3)) << c.side;
        EXPECT_EQ(TbProbeScore(board, c.side, 0), ScoreForMoves(-5)) << c.side;
        // The other side's en-passant rank, and a square with no pawn behind it.
        EXPECT_EQ(TbProbeScore(board, c.side, (c.ep ^ 56) + 1), ScoreForMoves(-5)) << c.side;
        EXPECT_EQ(TbProbeScore(board, c.side, c.ep + 2), ScoreForMoves(-5)) << c.side;
        // No pawn beside the one that moved: passed on as no en passant.
        p.man[c.side][0] = c.far;
        EngineBoard(m, p, false, board);
        EXPECT_EQ(TbProbeScore(board, c.side, c.ep + 1), 29998) << c.side;
    }
}

TEST_F(TbProbeTest, SymmetricTableAnswersBlackToMoveFromTheWhiteFile) {
    const std::string dir = scratch.path;
    const int iTb = TableNumber("kqkq");
    const Material m = ParseMaterial("kqkq");
    TableImage t = BlankTable(iTb, 0, 0);
    // White Kb1 Qh2, black Kg7 Qa6, white to move: white mates in 2, say.
    Pos p;
    p.king[0] = 1, p.man[0][0] = 15, p.king[1] = 54, p.man[1][0] = 40;
    ASSERT_TRUE(Legal(m, p, 0));
    SetRaw(t, EntryOf(t, m, p), RawForMoves(2));
    ASSERT_TRUE(WriteTable(dir, t, false));
    ASSERT_EQ(IInitializeTb(dir.c_str(), 1), 4);
    uint8_t board[65];
    EngineBoard(m, p, false, board);
    EXPECT_EQ(TbProbeScore(board, 0, 0), ScoreForMoves(2));
    EXPECT_EQ(TbProbeScore(board, 1, 0), 0);
    EngineBoard(m, p, true, board);
    EXPECT_EQ(TbProbeScore(board, 1, 0), ScoreForMoves(2));
    EXPECT_EQ(TbProbeScore(board, 0, 0), 0);
}

TEST_F(TbProbeTest, BoardsNoTableFitsGiveNoAnswer) {
    const std::string dir = scratch.path;
    ASSERT_TRUE(WriteTable(dir, BlankTable(TableNumber("kqk"), 0, RawForMoves(4)), false));
    ASSERT_EQ(IInitializeTb(dir.c_str(), 1), 3);
    uint8_t board[65] = {};
    board[1] = 1, board[64] = 9, board[20] = 7;
    EXPECT_EQ(TbProbeScore(board, 0, 0), ScoreForMoves(4));
    board[21] = 7;   // more men than any registered table
    EXPECT_EQ(TbProbeScore(board, 0, 0), TbNoAnswer);
    board[21] = 0, board[64] = 0;   // no black king
    EXPECT_EQ(TbProbeScore(board, 0, 0), TbNoAnswer);
    board[10] = 9;   // kings side by side
    EXPECT_EQ(TbProbeScore(board, 0, 0), TbNoAnswer);
}
