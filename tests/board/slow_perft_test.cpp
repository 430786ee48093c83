// Deeper move-path counts (run with the slow tests only).
#include <gtest/gtest.h>

#include <memory>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/settings.h"

namespace {

using namespace board;

uint64_t PerftOf(const char* fen, int depth, bool chess960) {
    InitBoardTables();
    core::settings.chess960 = chess960 ? 1 : 0;
    if (*fen) EXPECT_EQ(ReadFen(fen, Game), 1) << fen;
    else SetStartPosition(Game);
    StartGame(Game);
    std::unique_ptr<Tree> tree(new Tree());
    CopyGameBoard(Game, *tree);
    SetUpTree(*tree);
    NodeRecord* root = SetUpSearchNodes(*tree, Game);
    uint64_t n = Perft(*tree, root, depth);
    core::settings.chess960 = 0;
    return n;
}

TEST(SlowPerft, StandardPositions) {
    EXPECT_EQ(PerftOf("", 5, false), 4865609u);
    EXPECT_EQ(PerftOf("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 4, false), 4085603u);
    EXPECT_EQ(PerftOf("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6, false), 11030083u);
    EXPECT_EQ(PerftOf("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 5, false), 15833292u);
    EXPECT_EQ(PerftOf("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 4, false), 2103487u);
    EXPECT_EQ(PerftOf("r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 4, false),
              3894594u);
}

TEST(SlowPerft, TrickyEndgames) {
    EXPECT_EQ(PerftOf("8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1", 6, false), 1440467u);
    EXPECT_EQ(PerftOf("8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1", 6, false), 1015133u);
    EXPECT_EQ(PerftOf("5k2/8/8/8/8/8/8/4K2R w K - 0 1", 6, false), 661072u);
    EXPECT_EQ(PerftOf("3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", 6, false), 803711u);
    EXPECT_EQ(PerftOf("r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1", 4, false), 1274206u);
    EXPECT_EQ(PerftOf("r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1", 4, false), 1720476u);
    EXPECT_EQ(PerftOf("2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1", 6, false), 3821001u);
    EXPECT_EQ(PerftOf("8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1", 5, false), 1004658u);
    EXPECT_EQ(PerftOf("8/k1P5/8/1K6/8/8/8/8 w - - 0 1", 7, false), 567584u);
    EXPECT_EQ(PerftOf("3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", 6, false), 1134888u);
    EXPECT_EQ(PerftOf("8/8/8/8/k1p4R/8/3P4/3K4 w - - 0 1", 6, false), 1134888u);
}

TEST(SlowPerft, Chess960Positions) {
    EXPECT_EQ(PerftOf("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 5, true), 8146062u);
    EXPECT_EQ(PerftOf("2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 1 9", 4, true), 667366u);
}

}  // namespace
