#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bitbases/probe.h"
#include "board/position.h"
#include "core/platform.h"
#include "engine/report.h"
#include "core/settings.h"
#include "search/record.h"
#include "search/state.h"
#include "search/tt.h"

namespace {

std::string Score(int score) {
    char text[64];
    engine::FormatScore(text, sizeof(text), score);
    return text;
}

TEST(ReportScore, MateAndCentipawns) {
    EXPECT_EQ(Score(29999), "mate 1 ");
    EXPECT_EQ(Score(29997), "mate 2 ");
    EXPECT_EQ(Score(-29998), "mate -1 ");
    EXPECT_EQ(Score(-30000), "mate -0 ");
    EXPECT_EQ(Score(29000), "cp 29000 ");
    EXPECT_EQ(Score(-29000), "cp -29000 ");
    EXPECT_EQ(Score(0), "cp 0 ");
    EXPECT_EQ(Score(-37), "cp -37 ");
}

TEST(ReportScore, DatabaseDistancesAreBounds) {
    EXPECT_EQ(Score(29600), "mate 200 lowerbound ");
    EXPECT_EQ(Score(-29600), "mate -200 upperbound ");
    EXPECT_EQ(Score(29713), "mate 144 ");  // the longest distance shown as a real mate
    EXPECT_EQ(Score(29711), "mate 145 lowerbound ");
    EXPECT_EQ(Score(-29712), "mate -144 ");
    EXPECT_EQ(Score(-29710), "mate -145 upperbound ");
}

// Saves and restores the globals the reports read.
struct ReportTest : ::testing::Test {
    core::Settings savedSettings = core::settings;
    search::SearchGlobals savedGlobals = search::sg;
    search::SearchEntry* savedTables[2][2] = {{search::SearchTables[0][0], search::SearchTables[0][1]},
                                             {search::SearchTables[1][0], search::SearchTables[1][1]}};
    uint32_t savedEntries = search::SearchEntries;
    uint32_t savedWrites = search::hashWrites;
    board::Tree* savedTree = board::MainTree;
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    search::SearchEntry dummy[1] = {};

    void SetUp() override {
        engine::InstallReporter();
        board::MainTree = tree.get();
        UseTables(nullptr);
        search::sg.searchStart = core::Now();
    }
    void TearDown() override {
        core::settings = savedSettings;
        search::sg = savedGlobals;
        for (int t = 0; t < 2; t++)
            for (int side = 0; side < 2; side++) search::SearchTables[t][side] = savedTables[t][side];
        search::SearchEntries = savedEntries;
        search::hashWrites = savedWrites;
        board::MainTree = savedTree;
    }
    // The tables are allocated all or nothing: stand one entry in for all four.
    void UseTables(search::SearchEntry* table) {
        for (auto& tier : search::SearchTables)
            for (auto& t : tier) t = table;
    }
    void HoldMoves(int plies) {
        for (int i = 0; i < board::MaxPly; i++)
            tree->nodeArray[i].currentMove = i < plies ? board::MakeMoveWord(13, 29, board::WPawn) : 0;
    }
    static std::string Captured(void (*call)(ReportTest&), ReportTest& t) {
        ::testing::internal::CaptureStdout();
        call(t);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(ReportTest, HashUsageIsPerMilleOfTierOne) {
    EXPECT_EQ(engine::HashUsage(), 0);  // no tables
    UseTables(dummy);
    search::SearchEntries = 1000;
    search::hashWrites = 300;
    EXPECT_EQ(engine::HashUsage(), 150);
    search::hashWrites = 1999;
    EXPECT_EQ(engine::HashUsage(), 999);
    search::hashWrites = 5000;
    EXPECT_EQ(engine::HashUsage(), 1000);
}

TEST_F(ReportTest, SelectiveDepthCountsPliesWithMoves) {
    HoldMoves(11);
    EXPECT_EQ(engine::SelectiveDepth(*tree, 8), 11);
    EXPECT_EQ(engine::SelectiveDepth(*tree, 14), 14);  // at least the depth
    HoldMoves(100);
    EXPECT_EQ(engine::SelectiveDepth(*tree, 8), 99);
}

TEST_F(ReportTest, DepthIsAnnouncedOnlyWhenBothChange) {
    search::sg.searchStart = core::Now();  // currmove lines held back
    HoldMoves(21);
    std::string out = Captured([](ReportTest&) { engine::ReportCurrentMove(7, 1, 0); }, *this);
    EXPECT_EQ(out, "");  // shallow iterations stay quiet
    out = Captured([](ReportTest&) { engine::ReportCurrentMove(17, 1, 0); }, *this);
    EXPECT_EQ(out, "info depth 17 seldepth 21\n");
    out = Captured([](ReportTest&) { engine::ReportCurrentMove(18, 1, 0); }, *this);
    EXPECT_EQ(out, "");  // same selective depth
    HoldMoves(23);
    out = Captured([](ReportTest&) { engine::ReportCurrentMove(18, 2, 0); }, *this);
    EXPECT_EQ(out, "info depth 18 seldepth 23\n");
    out = Captured([](ReportTest&) { engine::ReportCurrentMove(18, 3, 0); }, *this);
    EXPECT_EQ(out, "");
}

TEST_F(ReportTest, CurrentMoveAfterHalfASecond) {
    HoldMoves(40);
    search::sg.searchStart = core::Now() - 600;
    board::Move e2e4 = board::MakeMoveWord(13, 29, board::WPawn);
    ::testing::internal::CaptureStdout();
    engine::ReportCurrentMove(30, 5, e2e4);
    engine::ReportCurrentMove(30, 6, e2e4);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "info depth 30 seldepth 40\n"
              "info currmovenumber 5 currmove e2e4\n"
              "info currmovenumber 6 currmove e2e4\n");
}

TEST_F(ReportTest, StatisticsLineFieldsAndTrailingSpace) {
    tree->nodes = 5000;
    search::sg.tbHits = 0;
    bitbases::probeState.hits = 0;
    search::sg.searchStart = core::Now() - 1000;
    std::string out = Captured([](ReportTest& t) { engine::ReportStatistics(*t.tree, search::sg.searchStart); }, *this);
    EXPECT_TRUE(::testing::internal::RE::FullMatch(out, "info nps 49[0-9][0-9] nodes 5000 \n") ||
                out == "info nps 5000 nodes 5000 \n")
        << out;

    UseTables(dummy);
    search::SearchEntries = 1000;
    search::hashWrites = 10;
    search::sg.tbHits = 3;
    bitbases::probeState.hits = 7;
    tree->nodes = 0;
    search::sg.searchStart = core::Now() + 100000;  // no elapsed time: no nps
    out = Captured([](ReportTest& t) { engine::ReportStatistics(*t.tree, search::sg.searchStart); }, *this);
    EXPECT_EQ(out, "info hashfull 5 tbhits 3 sbhits 7 \n");
}

TEST_F(ReportTest, NodeAndPeriodicLines) {
    tree->nodes = 123456789012LL;
    std::string out = Captured([](ReportTest& t) { engine::ReportNodes(*t.tree); }, *this);
    EXPECT_EQ(out, "info nodes 123456789012\n");

    out = Captured([](ReportTest& t) { engine::ReportPeriodic(*t.tree, 2000); }, *this);
    EXPECT_EQ(out, "");  // no tables, no line
    UseTables(dummy);
    search::SearchEntries = 1000;
    search::hashWrites = 100;
    search::sg.tbHits = 2;
    tree->nodes = 3000000;
    out = Captured([](ReportTest& t) { engine::ReportPeriodic(*t.tree, 2000); }, *this);
    EXPECT_EQ(out, "info hashfull 50 nps 1500000 tbhits 2\n");
}

TEST_F(ReportTest, CurrentLineListsTheStack) {
    board::Move e2e4 = board::MakeMoveWord(13, 29, board::WPawn);
    board::Move e7e5 = board::MakeMoveWord(53, 37, board::BPawn);
    tree->nodeArray[0].currentMove = e2e4;
    tree->nodeArray[1].currentMove = e7e5;
    tree->nodes = 42;
    search::sg.searchStart = core::Now() + 100000;
    std::string out = Captured([](ReportTest& t) { engine::ReportCurrentLine(*t.tree, &t.tree->nodeArray[2]); }, *this);
    EXPECT_EQ(out, "info nodes 42 currline 1 e2e4 e7e5\n");
}

TEST_F(ReportTest, MultiPvSendsAllLinesFromDepthFour) {
    core::settings.multiPv = 3;
    board::Move moves[5];
    for (int i = 0; i < 5; i++) moves[i] = board::MakeMoveWord(9 + i, 17 + i, board::WPawn);
    search::ResetMultiPv(moves, 5);

    std::string out = Captured([](ReportTest&) {
        board::Move m = board::MakeMoveWord(11, 19, board::WPawn);
        search::PublishMultiPv(m, 40, 0, 3, 1, 5);
    }, *this);
    EXPECT_EQ(out, "");  // depth 3 sends nothing
    EXPECT_EQ(search::MultiPvMove(0), moves[2]);  // but the table is sorted
    EXPECT_EQ(search::MultiPvScore(0), 40);

    ::testing::internal::CaptureStdout();
    search::PublishMultiPv(moves[0], 10, 0, 4, 1, 5);
    search::PublishMultiPv(moves[4], 70, 0, 4, 2, 5);
    out = ::testing::internal::GetCapturedStdout();
    // Each report repeats every shown line, numbered from 1.
    size_t first = out.find("info multipv 1 ");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(out.find("info multipv 2 "), std::string::npos);
    EXPECT_NE(out.find("info multipv 3 "), std::string::npos);
    EXPECT_EQ(out.find("info multipv 4 "), std::string::npos);
    int lines = 0;
    for (char c : out) lines += c == '\n';
    EXPECT_EQ(lines, 6);
    EXPECT_EQ(search::MultiPvMove(0), moves[4]);
    EXPECT_EQ(search::MultiPvScore(0), 70);
    EXPECT_EQ(search::MultiPvScore(3), -30000);  // end mark after the shown lines
}

TEST_F(ReportTest, MultiPvKeepsDeeperLinesAbove) {
    core::settings.multiPv = 2;
    board::Move moves[3];
    for (int i = 0; i < 3; i++) moves[i] = board::MakeMoveWord(9 + i, 17 + i, board::WPawn);
    search::ResetMultiPv(moves, 3);
    search::PublishMultiPv(moves[0], 50, 0, 2, 1, 3);
    search::PublishMultiPv(moves[1], 20, 0, 2, 2, 3);
    EXPECT_EQ(search::MultiPvMove(0), moves[0]);
    // A fresh, deeper line that dropped stays above a stale shallower one.
    search::PublishMultiPv(moves[0], 10, 0, 3, 1, 3);
    EXPECT_EQ(search::MultiPvMove(0), moves[0]);
    EXPECT_EQ(search::MultiPvMove(1), moves[1]);
    // Once the other line is as deep, the better score leads.
    search::PublishMultiPv(moves[1], 20, 0, 3, 2, 3);
    EXPECT_EQ(search::MultiPvMove(0), moves[1]);
    EXPECT_EQ(search::MultiPvMove(1), moves[0]);
}

TEST_F(ReportTest, PvLinePrintsExactLinesAndFinalBounds) {
    core::settings.multiPv = 1;
    core::settings.positionLearning = 0;
    HoldMoves(3);
    tree->nodes = 0;
    search::sg.tbHits = 0;
    bitbases::probeState.hits = 0;
    search::sg.zeroScore = 0;
    board::Move e2e4 = board::MakeMoveWord(13, 29, board::WPawn);
    board::Move e7e5 = board::MakeMoveWord(53, 37, board::BPawn);
    board::Move d2d4 = board::MakeMoveWord(12, 28, board::WPawn);
    std::string out;
    auto report = [&](board::Move m, int kind, int score, int bound) {
        ::testing::internal::CaptureStdout();
        search::PublishPvLine(*tree, m, 5, kind, 1234, score, score, bound);
        out = ::testing::internal::GetCapturedStdout();
    };

    tree->nodeArray[0].side = board::Black;
    report(e2e4, 1, 31, 0);
    EXPECT_EQ(out, "info depth 5 seldepth 5 time 1234 score cp 31 pv e2e4\n");
    EXPECT_EQ(search::whiteViewScore, -31);
    EXPECT_EQ(search::pvMoves[0], e2e4);

    report(e2e4, 1, 60, 2);  // fail-high lines of ordinary calls stay quiet
    EXPECT_EQ(out, "");
    report(e2e4, search::FinalCall, -12, 1);
    EXPECT_EQ(out, "info depth 5 seldepth 5 time 1234 score cp -12 upperbound pv e2e4\n");

    // The reply survives a new line for the same root move, not for another.
    search::pvMoves[1] = e7e5;
    report(e2e4, 2, 31, 0);
    EXPECT_EQ(out, "info depth 5 seldepth 5 time 1234 score cp 31 pv e2e4 e7e5\n");
    EXPECT_EQ(search::pvMoves[1], e7e5);
    report(d2d4, 2, 35, 0);
    EXPECT_EQ(search::pvMoves[1], 0u);

    search::sg.zeroScore = 1;
    report(d2d4, 2, 35, 0);
    EXPECT_EQ(out, "info depth 5 seldepth 5 time 1234 score cp 0 pv d2d4\n");
    search::sg.zeroScore = 0;

    core::settings.multiPv = 2;  // several lines wait for the MultiPV report
    report(d2d4, 2, 35, 0);
    EXPECT_EQ(out, "");
}

}  // namespace
