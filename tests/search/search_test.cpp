#include <gtest/gtest.h>

#include <string>

#include "core/platform.h"
#include "eval/internal.h"
#include "harness.h"

using namespace searchtest;
using board::MateValue;

namespace {

int SearchNode(board::NodeRecord* node, int depth, int alpha = -MateValue, int beta = MateValue,
               int nullAllowed = 1, int nodeType = 0) {
    return search::Search(TestTree(), node, alpha, beta, depth, nullAllowed, 0, nodeType);
}

// Plays `count` plies of a king shuffle (both kings between two squares).
std::initializer_list<const char*> kWhiteFirst = {"a1a2", "h8g8", "a2a1", "g8h8"};
std::initializer_list<const char*> kBlackFirst = {"h8g8", "a1a2", "g8h8", "a2a1"};

board::NodeRecord* ShuffledRoot(const char* fen, std::initializer_list<const char*> cycle, int plies) {
    Position(fen);
    const char* const* moves = cycle.begin();
    for (int i = 0; i < plies; ++i) {
        const board::Move m = board::ReadMoveText(moves[i % 4], board::Game.board, SideToMove());
        board::PlayGameMove(board::Game, m);
    }
    board::Tree& tree = TestTree();
    board::CopyGameBoard(board::Game, tree);
    board::SetUpTree(tree);
    board::NodeRecord* root = search::SetUpRoot(tree, board::Game);
    return root;
}

constexpr const char* kRooksBlackToMove = "7k/1R6/8/8/8/8/8/K1R5 b - - 0 1";
constexpr const char* kRooksWhiteToMove = "7k/1R6/8/8/8/8/8/K1R5 w - - 0 1";

}  // namespace

TEST(SearchTerminal, MateAndStalemateScores) {
    // Fool's mate: white to move is mated at the root.
    board::NodeRecord* root = Position("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    EXPECT_EQ(SearchNode(root, 2), -MateValue);

    // One ply down the mated score is one nearer zero.
    root = Position("rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2");
    board::NodeRecord* child = Play(root, "d8h4");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(SearchNode(child, 3), 1 - MateValue);
    Takeback(root);

    // Stalemate: black king h8 boxed by queen f7 and king g6.
    root = Position("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(SearchNode(root, 3), 0);
}

TEST(SearchTerminal, InsufficientMaterialIsDrawn) {
    EXPECT_EQ(SearchNode(Position("8/8/3k4/8/8/3K4/3N4/8 w - - 0 1"), 3), 0);
    EXPECT_EQ(SearchNode(Position("8/8/3k4/8/8/3K4/3B4/8 b - - 0 1"), 3), 0);
    // A rook is enough to play on.
    EXPECT_GT(SearchNode(Position("8/8/3k4/8/8/3K4/3R4/8 w - - 0 1"), 3), 300);
}

TEST(SearchRepetition, NearTheRootTwoEarlierOccurrencesAreNeeded) {
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    // White dislikes draws, so it never steers into a repetition itself; the
    // value is far from any evaluation of these positions.
    constexpr int kContempt = -1234;

    // Ply 2 back at the start position, which occurred once before: play on.
    board::NodeRecord* root = Position(start, {"g1f3", "g8f6"});
    search::sg.contempt[0] = kContempt;
    search::sg.contempt[1] = -kContempt;
    board::NodeRecord* ply1 = Play(root, "f3g1");
    board::NodeRecord* ply2 = Play(ply1, "f6g8");
    ASSERT_NE(ply2, nullptr);
    EXPECT_NE(SearchNode(ply2, 1), kContempt);
    EXPECT_EQ(search::RepetitionCount(TestTree(), ply2), 1);
    Takeback(ply1);
    Takeback(root);

    // Two earlier occurrences: the contempt draw score (full scale with all
    // pieces on the board).
    root = Position(start, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"});
    search::sg.contempt[0] = kContempt;
    search::sg.contempt[1] = -kContempt;
    ply1 = Play(root, "f3g1");
    ply2 = Play(ply1, "f6g8");
    ASSERT_NE(ply2, nullptr);
    EXPECT_EQ(search::RepetitionCount(TestTree(), ply2), 2);
    EXPECT_EQ(SearchNode(ply2, 1), kContempt);
    Takeback(ply1);
    Takeback(root);

    // From ply 3 on one earlier occurrence is a draw.
    root = Position(start, {"g1f3"});
    search::sg.contempt[0] = kContempt;
    search::sg.contempt[1] = -kContempt;
    ply1 = Play(root, "g8f6");
    ply2 = Play(ply1, "f3g1");
    board::NodeRecord* ply3 = Play(ply2, "f6g8");
    ASSERT_NE(ply3, nullptr);
    EXPECT_EQ(SearchNode(ply3, 1), kContempt);
    Takeback(ply2);
    Takeback(ply1);
    Takeback(root);
}

TEST(SearchRepetition, DrawScoreFollowsMaterialAndCheck) {
    board::NodeRecord node{};
    node.side = 0;
    node.ply = 8;
    node.phase[0] = 4;
    node.phase[1] = 4;  // 8 units: a tenth of the way, scale 9
    search::sg = search::SearchGlobals{};
    search::sg.contempt[0] = 100;
    search::sg.drawShift = 3;
    board::NodeRecord records[2]{};
    records[1] = node;
    EXPECT_EQ(search::RepetitionScore(&records[1]), 9);
    records[1].flags = board::InCheckFlag;  // in check: ply >> shift less
    EXPECT_EQ(search::RepetitionScore(&records[1]), 8);
    records[1].flags = 0;
    records[0].flags = board::InCheckFlag;  // the parent was in check: more
    EXPECT_EQ(search::RepetitionScore(&records[1]), 10);
    records[0].flags = 0;
    records[1].phase[0] = records[1].phase[1] = 16;  // 30 units or more: full contempt
    EXPECT_EQ(search::RepetitionScore(&records[1]), 100);
    records[1].phase[0] = records[1].phase[1] = 1;  // nearly bare: no contempt
    EXPECT_EQ(search::RepetitionScore(&records[1]), 0);
}

TEST(SearchFiftyMoves, HundredReversiblePliesDraw) {
    // Root after 99 reversible plies; each child is the 100th.
    board::NodeRecord* root = ShuffledRoot(kRooksBlackToMove, kBlackFirst, 99);
    ASSERT_EQ(root->side, 0);
    board::NodeRecord* child = Play(root, "c1d1");  // quiet, no check
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(SearchNode(child, 3), 0);
    Takeback(root);

    child = Play(root, "c1h1");  // check with an escape
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(child->flags & board::InCheckFlag);
    EXPECT_EQ(SearchNode(child, 3), 0);
    Takeback(root);

    child = Play(root, "c1c8");  // mate still counts as mate
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(SearchNode(child, 3), 1 - MateValue);
    Takeback(root);

    // After 98 plies the 99th is not drawn yet (at depth 0 the node itself is
    // judged; every reply would be the drawn 100th).
    root = ShuffledRoot(kRooksWhiteToMove, kWhiteFirst, 98);
    child = Play(root, "c1d1");
    ASSERT_NE(child, nullptr);
    EXPECT_LT(SearchNode(child, 0), -500);
    board::NodeRecord* grandchild = Play(child, "g8h8");
    ASSERT_NE(grandchild, nullptr);
    EXPECT_EQ(SearchNode(grandchild, 0), 0);
    Takeback(child);
    Takeback(root);
}

TEST(SearchMate, IterativeDeepeningFindsMateDistance) {
    struct Case {
        const char* fen;
        int depth;
        int score;
        const char* move;
    };
    const Case cases[] = {
        {"6k1/5ppp/8/8/8/8/8/4R1K1 w - - 0 1", 2, MateValue - 1, "e1e8"},
        {"r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 2, MateValue - 1, "a8a1"},
        // At depth 4 the null move of the bare king at ply 1 still hides the mate.
        // (a2a7 and b1b7 mate equally fast)
        {"7k/8/8/8/8/8/R7/1R4K1 w - - 0 1", 5, MateValue - 3, nullptr},
        {"rr4k1/5ppp/8/8/8/4R3/4R3/4R2K w - - 0 1", 6, MateValue - 5, "e3e8"},
    };
    for (const Case& c : cases) {
        board::NodeRecord* root = Position(c.fen);
        const RootResult r = Deepen(root, c.depth);
        EXPECT_EQ(r.score, c.score) << c.fen;
        if (c.move) {
            EXPECT_EQ(MoveText(r.move), c.move) << c.fen;
        }
    }
}

TEST(SearchMate, ChecksExtendTheHorizon) {
    // Rb7+ Kg8 Ra8#: with the check extensions a nominal depth of 2 sees the
    // quiet mate, which the quiescence search alone does not try.
    const char* fen = "8/7k/R7/8/8/8/8/1R4K1 w - - 0 1";
    const RootResult extended = Deepen(Position(fen), 2);
    EXPECT_EQ(extended.score, MateValue - 3);
    EXPECT_EQ(MoveText(extended.move), "b1b7");
    EXPECT_LT(Deepen(Position(fen), 2, 0).score, 29000);
}

TEST(SearchNullMove, LoweredThresholdCutsAtPlyFour) {
    // White queen up; four quiet plies bring the node to ply 4.
    board::NodeRecord* root = Position("4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
    // Without the bonus for the move in hand, a real move gains less over
    // passing than the lowered threshold grants.
    struct Restore {
        eval::Weights saved = eval::W;
        ~Restore() { eval::W = saved; }
    } restore;
    eval::W.tempo = 0;
    search::sg.iterationDepth = 4;
    eval::OptimisticMargin[0] = eval::OptimisticMargin[1] = 500;
    board::NodeRecord* p1 = Play(root, "e1f1");
    board::NodeRecord* p2 = Play(p1, "e8f8");
    board::NodeRecord* p3 = Play(p2, "f1g1");
    board::NodeRecord* node = Play(p3, "f8g8");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->ply, 4);

    // Value after passing, searched on its own.
    node->currentMove = board::MoveNull;
    board::NodeRecord* passed = board::MakeMove(TestTree(), node);
    ASSERT_NE(passed, nullptr);
    const int pass = -search::Search(TestTree(), passed, -MateValue, MateValue, 0, 0, 0, 1);
    board::UnmakeMove(TestTree(), node);

    // beta three above the pass value: still a fail high, answered with beta.
    const int beta = pass + 3;
    EXPECT_EQ(SearchNode(node, 2, beta - 1, beta, 1, 1), beta);
    // A principal-variation node takes no null-move cut.
    search::ClearSearchTables();
    const int pv = SearchNode(node, 2, beta - 1, beta, 1, 0);
    const int noNull = SearchNode(node, 2, beta - 1, beta, 0, 1);
    EXPECT_NE(noNull, beta);
    EXPECT_NE(pv, beta);

    Takeback(p3);
    Takeback(p2);
    Takeback(p1);
    Takeback(root);
}

TEST(SearchDatabases, AnswersBecomeNodeScores) {
    board::NodeRecord node{};
    node.side = 1;
    node.ply = 3;
    node.material[0] = 100;
    node.material[1] = 425;  // black, to move, is a knight up
    EXPECT_EQ(search::DatabaseScore(&node, 0), 1);
    node.side = 0;
    EXPECT_EQ(search::DatabaseScore(&node, 0), -1);
    node.material[0] = 425;
    EXPECT_EQ(search::DatabaseScore(&node, 0), 0);
    EXPECT_EQ(search::DatabaseScore(&node, 28000), 27997);
    EXPECT_EQ(search::DatabaseScore(&node, -28000), -27997);
    EXPECT_EQ(search::DatabaseScore(&node, board::NoAnswer), board::NoAnswer);
}

TEST(SearchBookkeeping, KillersKeepTheBusierSlot) {
    board::Tree& tree = TestTree();
    search::ClearKillersAndHistory(tree);
    const board::Move a = board::MakeMoveWord(2, 19, board::WKnight);
    const board::Move b = board::MakeMoveWord(7, 22, board::WKnight);
    const board::Move c = board::MakeMoveWord(5, 6, board::WKing);
    search::UpdateKillers(tree, 5, a);  // counts 0/0: into slot 2
    EXPECT_EQ(tree.killers[5].move[1], a);
    search::UpdateKillers(tree, 5, a);  // a match raises its count
    EXPECT_EQ(tree.killers[5].count[1], 2u);
    search::UpdateKillers(tree, 5, b);  // count 1 (0) < count 2 (2): into slot 1
    EXPECT_EQ(tree.killers[5].move[0], b);
    EXPECT_EQ(tree.killers[5].move[1], a);
    search::UpdateKillers(tree, 5, c);  // 1 < 2 again: slot 1 is replaced
    EXPECT_EQ(tree.killers[5].move[0], c);
    EXPECT_EQ(tree.killers[5].move[1], a);
    EXPECT_EQ(tree.killers[4].move[0], 0u);

    search::RewardHistory(tree, 0, a, 27);
    search::RewardHistory(tree, 0, a, -1);
    EXPECT_EQ(int32_t(tree.history[0][a & 0x3fff]), 26);
    EXPECT_EQ(tree.history[1][a & 0x3fff], 0u);
}

TEST(SearchStop, StopFlagUnwindsWithZero) {
    board::NodeRecord* root = Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    board::NodeRecord* child = Play(root, "e2e4");
    search::stopFlag = 1;
    EXPECT_EQ(SearchNode(child, 4), 0);
    EXPECT_EQ(TestTree().nodes, 0u);
    search::stopFlag = 0;
    Takeback(root);
}

namespace {

// Polls every few nodes with no host input.
board::NodeRecord* PollingPosition() {
    board::NodeRecord* root = Position("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    core::platform.inputClosed = 1;
    search::pollSchedule.pollIntervalFast = search::pollSchedule.pollIntervalSlow = 10;
    search::sg.noPoll = 0;
    search::sg.nextPollNodes = 0;
    search::sg.searchStart = core::Now();
    search::sg.iterationDepth = 5;
    search::searchState = search::Searching;
    return root;
}

int SearchFirstChild(board::NodeRecord* root, int depth) {
    board::NodeRecord* child = Play(root, "f1c4");
    EXPECT_NE(child, nullptr);
    const int score = SearchNode(child, depth);
    Takeback(root);
    return score;
}

struct PollReset {
    ~PollReset() {
        core::platform.inputClosed = 0;
        search::sg = search::SearchGlobals{};
        search::limits = search::Limits{};
        search::stopFlag = 0;
        search::searchState = search::Idle;
    }
};

}  // namespace

TEST(SearchPoll, NodeLimitStopsAFixedDepthSearch) {
    PollReset reset;
    board::NodeRecord* root = PollingPosition();
    search::limits.levelMode = 1;
    search::limits.nodeLimit = 300;
    EXPECT_EQ(SearchFirstChild(root, 12), 0);
    EXPECT_EQ(search::stopFlag, 1);
    EXPECT_GE(TestTree().nodes, 300u);
    EXPECT_LT(TestTree().nodes, 400u);

    // While the first iteration must still finish the limit is eight times higher.
    root = PollingPosition();
    search::limits.levelMode = 1;
    search::limits.nodeLimit = 300;
    search::sg.iterationDepth = 1;
    search::sg.mayStopAtTarget = 0;
    SearchFirstChild(root, 12);
    EXPECT_EQ(search::stopFlag, 1);
    EXPECT_GE(TestTree().nodes, 2400u);
}

TEST(SearchPoll, StrengthLimitWaitsForItsTime) {
    PollReset reset;
    board::NodeRecord* root = PollingPosition();
    search::limits.levelMode = 3;
    search::limits.nodeLimit = 100;
    search::limits.target = 90;
    search::limits.hardMax = 100000;
    const int32_t start = core::Now();
    SearchFirstChild(root, 12);
    const int32_t waited = core::Now() - start;
    EXPECT_EQ(search::stopFlag, 1);
    EXPECT_LT(TestTree().nodes, 200u);
    EXPECT_GE(waited, 30);  // at least a third of the target, randomised
    EXPECT_LT(waited, 400);
}

TEST(SearchPoll, HardMaximumStopsATimedSearch) {
    PollReset reset;
    board::NodeRecord* root = PollingPosition();
    search::limits.levelMode = 0;
    search::limits.target = search::limits.extra = 100000;
    search::limits.hardMax = 60;
    // The search counts from its own start, set with the position.
    SearchFirstChild(root, 30);
    const int32_t spent = core::Now() - search::sg.searchStart;
    EXPECT_EQ(search::stopFlag, 1);
    EXPECT_GE(spent, 60);
    EXPECT_LT(spent, 1000);

    // Before iteration 5 the time rules do not apply.
    root = PollingPosition();
    search::limits.levelMode = 0;
    search::limits.hardMax = 0;
    search::sg.iterationDepth = 4;
    SearchFirstChild(root, 3);
    EXPECT_EQ(search::stopFlag, 0);
}
