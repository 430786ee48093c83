#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "../engine/start.h"
#include "engine/shell.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/platform.h"
#include "engine/report.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/record.h"
#include "search/limits.h"
#include "search/root.h"
#include "search/state.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

using search::limits;

// A clock level as `go` leaves it before the budget is computed.
void SuddenDeath(int time, int inc) {
    limits = search::Limits{};
    limits.levelMode = 3;
    limits.clockMode = 1;
    limits.suddenTime = limits.suddenTime2 = time;
    limits.suddenInc = inc;
}

void MovesToGo(int time, int inc, int movesToGo) {
    limits = search::Limits{};
    limits.levelMode = 2;
    limits.clockMode = 1;
    limits.clockTime = time;
    limits.clockInc = inc;
    limits.movesToGo = movesToGo;
}

struct TimeBudget : ::testing::Test {
    core::Settings saved = core::settings;
    void TearDown() override { core::settings = saved; }
};

TEST_F(TimeBudget, SuddenDeathWithoutIncrement) {
    SuddenDeath(60000, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 944);
    EXPECT_EQ(limits.hardMax, 14750);
    EXPECT_EQ(limits.extra, 944);
    EXPECT_EQ(limits.extension, 0);

    SuddenDeath(300000, 0);  // long games plan (2.2 T + 110000) / 100
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7700);
    EXPECT_EQ(limits.hardMax, 74750);
}

TEST_F(TimeBudget, MovesToGoDependsOnPonder) {
    core::settings.ponder = 1;
    MovesToGo(300000, 0, 40);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 9375);  // 300000 / (0.75 x 40 + 2)

    core::settings.ponder = 0;
    MovesToGo(300000, 0, 40);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7142);  // 300000 / 42
    EXPECT_EQ(limits.hardMax, 33214);

    core::settings.ponder = 1;  // few moves to go: no ponder discount
    MovesToGo(30000, 1000, 5);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 30000 / 7 + 900);
}

TEST_F(TimeBudget, MovesToGoHardMaxKeepsASecond) {
    MovesToGo(5000, 0, 1);  // 90 percent would leave less than a second
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.hardMax, 4000);
    MovesToGo(300, 0, 1);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.hardMax, 58);
    EXPECT_EQ(limits.target, 100);
}

TEST_F(TimeBudget, MovesToGoZeroFallsBackToTheClock) {
    MovesToGo(60000, 5000, 0);  // no increment is used without moves to go
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 944);
    EXPECT_EQ(limits.hardMax, 14750);
}

TEST_F(TimeBudget, SuddenDeathWithIncrement) {
    SuddenDeath(30000, 1000);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, (45000 + 92800) / 100);

    SuddenDeath(2500, 1000);  // clock below three increments
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 48);

    SuddenDeath(120000, 2000);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7020);
    EXPECT_EQ(limits.hardMax, 29750);
}

TEST_F(TimeBudget, FloorsAndTimeUsage) {
    SuddenDeath(500, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 28);
    EXPECT_EQ(limits.hardMax, 58);

    core::settings.timeUsage = 50;
    SuddenDeath(60000, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 472);
    EXPECT_EQ(limits.extra, 472);
    EXPECT_EQ(limits.hardMax, 14750);  // the hard limit ignores the option
}

TEST_F(TimeBudget, HardMaxFollowsScoreChanges) {
    SuddenDeath(60000, 0);
    search::HardMaxAfterScoreChange(-100);
    EXPECT_EQ(limits.hardMax, 59000 * 35 / 100);
    search::HardMaxAfterScoreChange(500);  // rising scores never cut below 25 percent
    EXPECT_EQ(limits.hardMax, 14750);
    search::HardMaxAfterScoreChange(-1000);
    EXPECT_EQ(limits.hardMax, 59000 * 75 / 100);

    MovesToGo(300000, 0, 40);
    search::HardMaxAfterScoreChange(-200);
    EXPECT_EQ(limits.hardMax, 88928);
    search::HardMaxAfterScoreChange(100);
    EXPECT_EQ(limits.hardMax, 33214);
    search::HardMaxAfterScoreChange(-10000);
    EXPECT_EQ(limits.hardMax, int((27000000.0 - 300000.0 / 42 * 39 * 15) / 100));
}

TEST(ThinkTime, IterationStopsLateOnlyWhileTheBestMoveChanges) {
    // Ponder on: 75 and 90 percent of the planned time.
    EXPECT_FALSE(search::IterationTimeUsedUp(750, 1000, false, true));
    EXPECT_TRUE(search::IterationTimeUsedUp(751, 1000, false, true));
    EXPECT_FALSE(search::IterationTimeUsedUp(899, 1000, true, true));
    EXPECT_TRUE(search::IterationTimeUsedUp(900, 1000, true, true));
    // Ponder off: 70 and 85 percent.
    EXPECT_TRUE(search::IterationTimeUsedUp(701, 1000, false, false));
    EXPECT_FALSE(search::IterationTimeUsedUp(849, 1000, true, false));
    EXPECT_TRUE(search::IterationTimeUsedUp(850, 1000, true, false));
}

TEST(ThinkTime, ExtensionSaturates) {
    limits = search::Limits{};
    search::AddExtension(1500000000);
    search::AddExtension(1500000000);
    EXPECT_GT(limits.extension, 1500000000);
    EXPECT_GT(limits.extensionTotal, 1500000000);
    search::AddExtension(-5);
    EXPECT_GT(limits.extension, 0);
}

// Searches through the whole controller on real positions.
struct ThinkSearch : ::testing::Test {
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    board::Tree* savedTree = board::MainTree;
    core::Settings savedSettings = core::settings;
    engine::ShellState savedShell = engine::shell;
    search::PollSchedule savedPoll = search::pollSchedule;
    search::Limits savedLimits = search::limits;
    static int savedInput;
    static int feed;  // write end of the pipe that stands in for standard input

    static void SetUpTestSuite() {
        enginetest::StartEngine();
        search::SetHashSize(4);
        // The search polls standard input: give it a pipe nobody writes to.
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        savedInput = dup(0);
        dup2(ends[0], 0);
        close(ends[0]);
        feed = ends[1];
        std::setvbuf(stdin, nullptr, _IONBF, 0);
    }
    static void TearDownTestSuite() {
        dup2(savedInput, 0);
        close(savedInput);
        close(feed);
    }
    void SetUp() override {
        board::MainTree = tree.get();
        ASSERT_TRUE(search::AllocateBoardTables(*tree));
        core::settings.ownBook = 0;
        core::settings.positionLearning = 0;
        core::settings.multiPv = 1;
        search::pollSchedule.pollIntervalFast = 1 << 20;
        search::pollSchedule.pollIntervalSlow = 1 << 22;
        search::searchMoves[0] = 0;
    }
    void TearDown() override {
        search::FreeBoardTables(*tree);
        board::MainTree = savedTree;
        core::settings = savedSettings;
        engine::shell = savedShell;
        search::pollSchedule = savedPoll;
        search::limits = savedLimits;
        search::searchMoves[0] = 0;
        search::searchState = search::Idle;
    }
    void Position(const char* fen) {
        ASSERT_TRUE(board::ReadFen(fen, board::Game)) << fen;
        board::StartGame(board::Game);
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
    }
    board::Move MoveOf(const char* text) {
        board::Move m = board::ReadMoveText(text, board::Game.board, int(board::Game.startSide));
        EXPECT_NE(m, 0u) << text;
        return m;
    }
    void FixedDepth(int depth) {
        search::limits = search::Limits{};
        search::limits.levelMode = 1;
        search::limits.target = search::limits.extra = search::limits.hardMax = INT_MAX;
        search::limits.depthLimit = depth;
    }
    board::Move Go(int state = search::Searching) {
        search::searchState = state;
        board::Move best = search::Think(*tree);
        search::searchState = search::Idle;
        return best;
    }
    std::string GoCaptured(int state = search::Searching) {
        ::testing::internal::CaptureStdout();
        played = Go(state);
        return ::testing::internal::GetCapturedStdout();
    }
    bool IsRootMove(board::Move m) { return search::FindRootMove(m) != nullptr; }
    board::Move played = 0;
};
int ThinkSearch::savedInput = -1;
int ThinkSearch::feed = -1;

TEST_F(ThinkSearch, FixedDepthReachesItsDepthAndReportsIt) {
    Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    FixedDepth(4);
    std::string out = GoCaptured();
    EXPECT_EQ(search::rootMoveCount, 20);
    EXPECT_EQ(search::sg.iterationDepth, 4);
    ASSERT_NE(played, 0u);
    EXPECT_TRUE(IsRootMove(played));
    EXPECT_EQ(search::pvMoves[0], played);
    EXPECT_NE(out.find("info depth 4 seldepth "), std::string::npos) << out;
    EXPECT_EQ(out.find("info depth 5 "), std::string::npos);
    EXPECT_NE(out.find("info nodes "), std::string::npos);
    // The statistics line comes last.
    EXPECT_EQ(out.rfind("info nps "), out.rfind("info "));
}

TEST_F(ThinkSearch, PonderMoveIsALegalReply) {
    Position("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    FixedDepth(5);
    GoCaptured();
    ASSERT_NE(played, 0u);
    ASSERT_NE(search::ponderMove, 0u);
    board::NodeRecord* root = search::SetUpRoot(*tree, board::Game);
    root->currentMove = played;
    board::NodeRecord* child = board::MakeMove(*tree, root);
    ASSERT_NE(child, nullptr);
    child->currentMove = search::ponderMove;
    board::NodeRecord* grandChild = board::MakeMove(*tree, child);
    EXPECT_NE(grandChild, nullptr);
    if (grandChild) board::UnmakeMove(*tree, child);
    board::UnmakeMove(*tree, root);
}

TEST_F(ThinkSearch, RootResultIsStoredInTheHash) {
    Position("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    FixedDepth(4);
    GoCaptured();
    board::NodeRecord* root = &tree->nodeArray[0];
    search::ProbeResult hit;
    ASSERT_TRUE(search::ProbeSearch(root, hit));
    EXPECT_EQ(hit.move, played);
    EXPECT_EQ(hit.depth, 4);
    EXPECT_EQ(hit.flags & (search::EntryUpper | search::EntryLower), 0);
    EXPECT_EQ(hit.sn, search::searchNumber);
}

TEST_F(ThinkSearch, SearchMovesRestrictTheRoot) {
    Position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    search::searchMoves[0] = MoveOf("a2a3");
    search::searchMoves[1] = MoveOf("h2h4");
    search::searchMoves[2] = 0;
    FixedDepth(4);
    GoCaptured();
    EXPECT_EQ(search::rootMoveCount, 2);
    EXPECT_TRUE(played == search::searchMoves[0] || played == search::searchMoves[1]);
    // A word without the double-step bit still names the root move.
    search::searchMoves[0] = board::MakeMoveWord(12, 28, board::WPawn);  // d2d4
    search::searchMoves[1] = 0;
    GoCaptured();
    EXPECT_EQ(search::rootMoveCount, 1);
    EXPECT_EQ(board::MoveTo(played), 28);
}

TEST_F(ThinkSearch, SingleLegalMoveOnTheClockStopsAfterTenIterations) {
    Position("k7/8/8/8/8/8/1r6/K7 w - - 0 1");
    search::limits = search::Limits{};
    search::limits.levelMode = 3;
    search::limits.clockMode = 1;
    search::limits.depthLimit = 99;
    search::limits.suddenTime = search::limits.suddenTime2 = 600000;
    GoCaptured();
    EXPECT_EQ(played, MoveOf("a1b2"));
    EXPECT_EQ(search::sg.singleMove, 1);
    EXPECT_EQ(search::sg.iterationDepth, 10);
}

TEST_F(ThinkSearch, MateInOneEndsTheIterationsEarly) {
    Position("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    FixedDepth(12);
    GoCaptured();
    EXPECT_EQ(played, MoveOf("a1a8"));
    EXPECT_LT(search::sg.iterationDepth, 12);
    EXPECT_GT(tree->nodeArray[0].bestValue, board::MateBound);
}

TEST_F(ThinkSearch, NoMoveWithoutSomethingToPlay) {
    FixedDepth(6);
    Position("8/8/4k3/8/8/3K4/8/8 w - - 0 1");  // bare kings
    EXPECT_EQ(Go(), 0u);
    EXPECT_EQ(tree->nodes, 0u);
    Position("8/8/4k3/8/8/3KN3/8/8 b - - 0 1");  // a lone knight cannot mate
    EXPECT_EQ(Go(), 0u);
    Position("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");  // mated
    EXPECT_EQ(Go(), 0u);
    Position("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");  // stalemate
    EXPECT_EQ(Go(), 0u);
    Position("8/8/4k3/8/8/3K1R2/8/8 w - - 0 1");  // a rook can mate: search it
    EXPECT_NE(Go(), 0u);
}

TEST_F(ThinkSearch, MultiPvLinesComeBestFirst) {
    Position("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    core::settings.multiPv = 3;
    FixedDepth(5);
    std::string out = GoCaptured();
    // The last block of the output holds lines 1, 2 and 3 of the last report.
    size_t last = out.rfind("info multipv 1 ");
    ASSERT_NE(last, std::string::npos) << out;
    std::istringstream lines(out.substr(last));
    std::string line;
    int previous = 1 << 30, number = 0;
    while (std::getline(lines, line) && line.rfind("info multipv ", 0) == 0) {
        number++;
        EXPECT_EQ(line.rfind("info multipv " + std::to_string(number) + " depth 5 ", 0), 0u) << line;
        size_t at = line.find(" score cp ");
        ASSERT_NE(at, std::string::npos) << line;
        int score = std::atoi(line.c_str() + at + 10);
        EXPECT_LE(score, previous);
        previous = score;
    }
    EXPECT_EQ(number, 3);
    EXPECT_EQ(out.find("info multipv 1 depth 3 "), std::string::npos);  // too shallow to show
    EXPECT_EQ(played, search::MultiPvMove(0));
}

// A ponder search answers only after the host's word, however fast it is done.
void PonderUntil(ThinkSearch& t, const char* command) {
    t.Position("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    t.FixedDepth(3);
    std::thread host([command] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ssize_t written = write(ThinkSearch::feed, command, std::strlen(command));
        (void)written;
    });
    auto start = std::chrono::steady_clock::now();
    t.GoCaptured(search::Pondering);
    auto waited = std::chrono::steady_clock::now() - start;
    host.join();
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 250);
    EXPECT_NE(t.played, 0u);
    EXPECT_GE(search::sg.iterationDepth, 1);
}

TEST_F(ThinkSearch, PonderWaitsForPonderhit) { PonderUntil(*this, "ponderhit\n"); }
TEST_F(ThinkSearch, PonderWaitsForStop) { PonderUntil(*this, "stop\n"); }

}  // namespace

// Short clocks: the formulas' reserve and floors would use more than is left.
TEST_F(TimeBudget, ShortClockNeverPlansBeyondTheClock) {
    SuddenDeath(50, 10);
    search::ComputeTimeBudget();
    EXPECT_LE(limits.hardMax, 12);  // (50 - 20) * 2 / 5
    EXPECT_LE(limits.target, 6);
    EXPECT_GT(limits.target, 0);
    EXPECT_EQ(limits.safetyMax, 12);

    SuddenDeath(5, 0);  // less than the move overhead: answer at once
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.hardMax, 1);
    EXPECT_EQ(limits.target, 1);

    SuddenDeath(900, 10);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 28);  // the floor still fits
    EXPECT_EQ(limits.hardMax, 58);

    // Long clocks are untouched by the safety limit.
    SuddenDeath(60000, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 944);
    EXPECT_EQ(limits.hardMax, 14750);
    EXPECT_EQ(limits.safetyMax, 0);
}
