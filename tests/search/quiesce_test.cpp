#include <gtest/gtest.h>

#include "harness.h"

using namespace searchtest;
using board::MateValue;

namespace {

int StandPat(board::NodeRecord* node) {
    return eval::Evaluate(TestTree(), node, -MateValue, MateValue, 0);
}

}  // namespace

TEST(Quiesce, HopelessStandPatReturnsAlphaWithoutGenerating) {
    board::NodeRecord* root = Position("4k3/8/8/8/8/8/3qq3/K7 w - - 0 1");
    const int sp = StandPat(root);
    ASSERT_LT(sp, -1500);
    const int alpha = sp + 1200;
    EXPECT_EQ(search::Quiesce(TestTree(), root, alpha, alpha + 1, 0), alpha);
    EXPECT_EQ(root->generated, 0);

    // Within reach of a capture the moves are generated.
    root = Position("4k3/8/8/8/8/8/3qq3/K7 w - - 0 1");
    search::Quiesce(TestTree(), root, sp + 1100, sp + 1101, 0);
    EXPECT_NE(root->generated, 0);
}

TEST(Quiesce, InCheckWithoutEvasionIsMated) {
    board::NodeRecord* root = Position("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    EXPECT_EQ(search::Quiesce(TestTree(), root, -MateValue, MateValue, 0), -MateValue);

    root = Position("rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2");
    board::NodeRecord* child = Play(root, "d8h4");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(search::Quiesce(TestTree(), child, -MateValue, MateValue, -3), 1 - MateValue);
    Takeback(root);
}

TEST(Quiesce, ResolvesAWinningCapture) {
    board::NodeRecord* root = Position("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
    const int sp = StandPat(root);
    const int score = search::Quiesce(TestTree(), root, -MateValue, MateValue, 0);
    EXPECT_GT(score, sp + 800);
    EXPECT_EQ(root->bestMove, board::ReadMoveText("e4d5", TestTree().board, 0));
}

TEST(Quiesce, DeltaPruningSkipsHopelessQuietCaptures) {
    // Taking the d5 pawn cannot reach alpha: pruned, and the optimistic
    // value comes back as the fail-low score.
    board::NodeRecord* root = Position("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
    const int sp = StandPat(root);
    TestTree().nodes = 0;
    const int alpha = sp + 500;
    EXPECT_EQ(search::Quiesce(TestTree(), root, alpha, alpha + 1, 0), sp + 200);
    EXPECT_EQ(TestTree().nodes, 1u);

    // A capture that gives check is searched all the same.
    root = Position("4k3/8/3p4/8/4N3/8/8/4K3 w - - 0 1");
    const int sp2 = StandPat(root);
    TestTree().nodes = 0;
    search::Quiesce(TestTree(), root, sp2 + 500, sp2 + 501, 0);
    EXPECT_GT(TestTree().nodes, 1u);
}

TEST(Quiesce, RepetitionBelowTheFirstLevel) {
    constexpr int kContempt = -1234;
    board::NodeRecord* root = Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                    {"g1f3", "g8f6", "f3g1"});
    search::sg.contempt[0] = kContempt;
    search::sg.contempt[1] = -kContempt;
    board::NodeRecord* child = Play(root, "f6g8");  // the start position again
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(search::Quiesce(TestTree(), child, -MateValue, MateValue, -1), kContempt);
    EXPECT_NE(search::Quiesce(TestTree(), child, -MateValue, MateValue, 0), kContempt);
    Takeback(root);
}
