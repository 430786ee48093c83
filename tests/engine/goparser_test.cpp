// The go parser and the position command against the game record.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "core/platform.h"
#include "engine/uci.h"
#include "search/limits.h"

namespace {

class GoParser : public ::testing::Test {
protected:
    void SetUp() override {
        board::InitBoardTables();
        search::pollSchedule.pollIntervalSlow = 40000;
        search::pollSchedule.pollIntervalFast = 123;
        search::SetLevel(1, 3);
        SetPosition("position startpos");
    }

    void SetPosition(const std::string& command) {
        std::vector<char> text(command.begin(), command.end());
        text.push_back(0);
        engine::Interpret(text.data());
    }

    int Go(const std::string& arguments) {
        storage.assign(arguments.begin(), arguments.end());
        storage.push_back(0);
        std::vector<char*> words;
        char* p = storage.data();
        while (*p) {
            while (*p == ' ') *p++ = 0;
            if (!*p) break;
            words.push_back(p);
            while (*p && *p != ' ') p++;
        }
        return engine::ParseGo(words.data(), int(words.size()));
    }

    std::vector<char> storage;
};

}  // namespace

TEST_F(GoParser, OwnClockIsTheSideToMove) {
    SetPosition("position startpos moves e2e4");
    Go("wtime 9000 btime 1000 winc 50 binc 7");
    EXPECT_EQ(search::limits.levelMode, 3);
    EXPECT_EQ(search::limits.suddenTime, 1000);
    EXPECT_EQ(search::limits.suddenInc, 7);
    EXPECT_EQ(search::limits.clockMode, 1);

    SetPosition("position startpos");
    Go("wtime 300000 btime 1 movestogo 40");
    EXPECT_EQ(search::limits.levelMode, 2);
    EXPECT_EQ(search::limits.clockTime, 300000);
    EXPECT_EQ(search::limits.clockInc, 0);
    EXPECT_EQ(search::limits.movesToGo, 40);
}

TEST_F(GoParser, OpponentClockAloneKeepsPreviousLimits) {
    search::SetLevel(1, 7);
    Go("btime 500");
    EXPECT_EQ(search::limits.levelMode, 1);
    EXPECT_EQ(search::limits.depthLimit, 7);
    // A keyword without its value ends the reading and is not applied.
    Go("depth");
    EXPECT_EQ(search::limits.depthLimit, 7);
    Go("wtime");
    EXPECT_EQ(search::limits.levelMode, 1);
}

TEST_F(GoParser, PrecedenceOfLimits) {
    Go("movetime 2000 depth 8 wtime 5000");
    EXPECT_EQ(search::limits.levelMode, 0);
    EXPECT_EQ(search::limits.target, 2000);
    EXPECT_EQ(search::limits.depthLimit, 8);

    Go("depth 5 nodes 100");
    EXPECT_EQ(search::limits.levelMode, 1);
    EXPECT_EQ(search::limits.depthLimit, 5);
    EXPECT_EQ(search::limits.target, INT_MAX);

    EXPECT_EQ(Go("ponder infinite wtime 1000"), 1);
    EXPECT_EQ(search::limits.depthLimit, 99);
    EXPECT_EQ(search::limits.infinite, 1);

    Go("mate 3");
    EXPECT_EQ(search::limits.depthLimit, 99);
    EXPECT_EQ(search::limits.levelMode, 1);
}

TEST_F(GoParser, NodesSetLimitAndPollInterval) {
    search::pollSchedule.pollIntervalSlow = 40000;
    Go("nodes 10000");
    EXPECT_EQ(search::limits.nodeLimit, 10000);
    EXPECT_EQ(search::limits.depthLimit, 98);
    EXPECT_LE(search::pollSchedule.pollIntervalFast, 201);
    EXPECT_EQ(search::pollSchedule.pollIntervalFast, 201);
    // Every go starts again from the long interval and without a node limit.
    Go("depth 4");
    EXPECT_EQ(search::limits.nodeLimit, 0);
    EXPECT_EQ(search::pollSchedule.pollIntervalFast, 10000);
}

TEST_F(GoParser, SearchMovesKeepsOnlyLegalMoves) {
    Go("searchmoves e2e4 zz d2d4 e2e5 e7e5 depth 5");
    ASSERT_NE(search::searchMoves[0], 0u);
    char text[8];
    board::WriteMoveText(text, search::searchMoves[0]);
    EXPECT_STREQ(text, "e2e4");
    ASSERT_NE(search::searchMoves[1], 0u);
    board::WriteMoveText(text, search::searchMoves[1]);
    EXPECT_STREQ(text, "d2d4");
    EXPECT_EQ(search::searchMoves[2], 0u);
    EXPECT_EQ(search::limits.depthLimit, 5);
    Go("depth 2");
    EXPECT_EQ(search::searchMoves[0], 0u);
}

TEST_F(GoParser, PositionPlaysLegalMovesAndSkipsTheRest) {
    SetPosition("position startpos moves e2e4 e9e5 e7e5 g1f3 e8e6 b8c6");
    ASSERT_EQ(board::Game.states.size(), 5u);
    EXPECT_EQ(board::Game.board[board::SquareAt(5, 4)], board::WPawn);
    EXPECT_EQ(board::Game.board[board::SquareAt(5, 5)], board::BPawn);
    EXPECT_EQ(board::Game.board[board::SquareAt(3, 6)], board::BKnight);
    EXPECT_EQ(board::Game.states.back().side, 0);
    // Garbage after "position" gives the start position with no moves.
    SetPosition("position nonsense moves e2e4");
    EXPECT_EQ(board::Game.states.size(), 1u);
    EXPECT_EQ(board::Game.board[board::SquareAt(5, 2)], board::WPawn);
}

