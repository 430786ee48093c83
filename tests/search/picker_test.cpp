#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "harness.h"

using namespace searchtest;
using board::Move;

namespace {

struct HandLists {
    Move captures[5];
    Move quiets[5];
};

// A node with lists filled by hand, as if both had been generated.
HandLists FillByHand(board::NodeRecord* node) {
    board::Tree& tree = TestTree();
    search::ResetMovePicker(node);
    node->captureList = &tree.captureStack[0];
    node->quietList = &tree.quietStack[0];
    node->hashMove = node->secondMove = 0;
    node->flags = 0;
    node->quiescenceFlag = 0;
    HandLists lists;
    const int32_t captureScores[5] = {300, search::GoodCaptureFloor, -500, 0, 300};
    const int32_t quietScores[5] = {5, search::KillerScore, 50, search::KillerScore, search::OldKillerScore};
    for (int i = 0; i < 5; ++i) {
        lists.captures[i] = board::MakeMoveWord(10 + i, 40 + i, board::WKnight, board::BPawn);
        lists.quiets[i] = board::MakeMoveWord(20 + i, 50 + i, board::WRook);
        node->captureList[i] = {lists.captures[i], captureScores[i]};
        node->quietList[i] = {lists.quiets[i], quietScores[i]};
    }
    node->captureList[5] = {0, board::ListEnd};
    node->quietList[5] = {0, board::ListEnd};
    node->generated = 3;
    return lists;
}

std::vector<Move> Drain(board::NodeRecord* node, bool quiesce) {
    std::vector<Move> out;
    Move m;
    while ((m = quiesce ? search::NextQuiesceMove(TestTree(), node, 0)
                        : search::NextMove(TestTree(), node)) != 0) {
        out.push_back(m);
        if (out.size() > 300) break;
    }
    return out;
}

// Moves of the list that make accepts (castling words are pseudo-legal).
int LegalCount(board::NodeRecord* node, const std::vector<Move>& moves) {
    int legal = 0;
    for (Move m : moves) {
        node->currentMove = m;
        if (board::MakeMove(TestTree(), node)) {
            ++legal;
            board::UnmakeMove(TestTree(), node);
        }
    }
    return legal;
}

}  // namespace

TEST(PickerStages, MainSearchOrder) {
    board::NodeRecord* node = &TestTree().nodeArray[10];
    const HandLists l = FillByHand(node);
    const std::vector<Move> expected = {
        l.captures[0], l.captures[4], l.captures[3], l.captures[1],  // good captures, -100 included
        l.quiets[1],   l.quiets[3],                                  // killers of this ply
        l.captures[2],                                               // the losing capture
        l.quiets[4],   l.quiets[2],   l.quiets[0],                   // older killer, then history
    };
    EXPECT_EQ(Drain(node, false), expected);
    EXPECT_EQ(search::NextMove(TestTree(), node), 0u);  // stays exhausted
}

TEST(PickerStages, QuiescenceTakesOnlyGoodCaptures) {
    board::NodeRecord* node = &TestTree().nodeArray[10];
    HandLists l = FillByHand(node);
    // -100 is not good enough here, and quiet moves never come.
    EXPECT_EQ(Drain(node, true), (std::vector<Move>{l.captures[0], l.captures[4], l.captures[3]}));

    // A node marked by the evaluation opens every capture.
    l = FillByHand(node);
    node->quiescenceFlag = 1;
    EXPECT_EQ(Drain(node, true), (std::vector<Move>{l.captures[0], l.captures[4], l.captures[3],
                                                    l.captures[1], l.captures[2]}));

    // In check every evasion comes, captures first.
    l = FillByHand(node);
    node->flags = board::InCheckFlag;
    const std::vector<Move> all = Drain(node, true);
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all[4], l.captures[2]);
    EXPECT_EQ(all[5], l.quiets[1]);
}

TEST(PickerBoard, HashMovesFirstAndNoDuplicates) {
    board::NodeRecord* root = Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    board::Tree& tree = TestTree();
    const Move knight = board::ReadMoveText("g1f3", tree.board, 0);
    const Move pawn = board::ReadMoveText("e2e4", tree.board, 0);
    search::ResetMovePicker(root);
    root->hashMove = knight;
    root->secondMove = pawn;
    const std::vector<Move> moves = Drain(root, false);
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[0], knight);
    EXPECT_EQ(moves[1], pawn);
    EXPECT_EQ(root->savedMove, pawn);
    EXPECT_EQ(std::set<Move>(moves.begin(), moves.end()).size(), moves.size());
    EXPECT_EQ(LegalCount(root, moves), 20);

    // A stored move that no longer fits is passed over; a restart gives all again.
    search::ResetMovePicker(root);
    root->hashMove = board::MakeMoveWord(2, 19, board::WBishop);  // b1 holds a knight
    root->secondMove = knight;
    const std::vector<Move> again = Drain(root, false);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[0], knight);
    EXPECT_EQ(std::set<Move>(again.begin(), again.end()).size(), again.size());
    EXPECT_EQ(LegalCount(root, again), 20);
}

TEST(PickerBoard, CapturesThenKillersThenHistory) {
    board::NodeRecord* root = Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                    {"e2e4", "d7d5"});
    board::Tree& tree = TestTree();
    const Move capture = board::ReadMoveText("e4d5", tree.board, 0);
    const Move k1 = board::ReadMoveText("g1f3", tree.board, 0);
    const Move k2 = board::ReadMoveText("b1c3", tree.board, 0);
    const Move favourite = board::ReadMoveText("d2d3", tree.board, 0);
    tree.killers[0].move[0] = k1;
    tree.killers[0].move[1] = k2;
    tree.history[0][favourite & 0x3fff] = 1000;
    search::ResetMovePicker(root);
    root->hashMove = root->secondMove = 0;
    const std::vector<Move> moves = Drain(root, false);
    ASSERT_GE(moves.size(), 5u);
    EXPECT_EQ(moves[0], capture);
    EXPECT_EQ(std::set<Move>({moves[1], moves[2]}), std::set<Move>({k1, k2}));
    EXPECT_EQ(moves[3], favourite);
    EXPECT_EQ(std::set<Move>(moves.begin(), moves.end()).size(), moves.size());
    // The generator puts the history counters of the killers back.
    EXPECT_EQ(tree.history[0][k1 & 0x3fff], 0u);
    tree.killers[0] = board::Tree::Killer{{0, 0}, {0, 0}};
    tree.history[0][favourite & 0x3fff] = 0;
}
