// The book, the advice file and position values through the engine's own input.
#include <gtest/gtest.h>

#include <memory>

#include "../engine/engine_process.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "book/book.h"
#include "book_support.h"

namespace {

using testing_support::RunEngine;

uint32_t StartKey() {
    board::InitBoardTables();
    board::GameRecord game;
    board::SetStartPosition(game);
    uint32_t key[2];
    board::ComputeKey(game.board, key);
    return book::PositionKey(key[1], board::White);
}

class EngineBook : public booktest::InTempDir {};

TEST_F(EngineBook, PlaysTheBookMoveWithoutSearchingUnlessOwnBookIsOff) {
    // b1a3 is a move no search would pick in the start position.
    booktest::WriteBook("kestrion.pbk", {{StartKey(), 2, 17, 0, 5}});
    const std::string go = "position startpos\ngo wtime 60000 btime 60000\n";
    auto run = RunEngine({}, "uci\nsetoption name Position Learning value false\n" + go + "quit\n", 30, "bestmove");
    EXPECT_NE(run.output.find("bestmove b1a3"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("info depth"), std::string::npos) << run.output;
    run = RunEngine({}, "uci\nsetoption name OwnBook value false\nsetoption name Position Learning value false\n"
                        "position startpos\ngo depth 2\nquit\n", 30, "bestmove");
    EXPECT_EQ(run.output.find("bestmove b1a3"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("bestmove"), std::string::npos) << run.output;
    // With `searchmoves` the book answers only with a listed move.
    run = RunEngine({}, "uci\nposition startpos\ngo depth 3 searchmoves e2e4 d2d4\nquit\n", 30, "bestmove");
    EXPECT_EQ(run.output.find("bestmove b1a3"), std::string::npos) << run.output;
    run = RunEngine({}, "uci\nposition startpos\ngo depth 3 searchmoves e2e4 b1a3\nquit\n", 30, "bestmove");
    EXPECT_NE(run.output.find("bestmove b1a3"), std::string::npos) << run.output;
    // A broken book file is no reason to stop playing.
    booktest::WriteBytes("kestrion.pbk", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    run = RunEngine({}, "uci\n" + go + "quit\n", 30, "bestmove");
    EXPECT_NE(run.output.find("bestmove"), std::string::npos) << run.output;
}

TEST_F(EngineBook, ClearPosLearningRemovesTheFile) {
    booktest::WriteBytes("kestrion.pl2", std::vector<uint8_t>(96 * 3, 7));
    auto run = RunEngine({}, "uci\nsetoption name Clear PosLearning\nisready\nquit\n", 30, "readyok");
    EXPECT_NE(run.output.find("readyok"), std::string::npos);
    EXPECT_EQ(booktest::FileSize("kestrion.pl2"), -1);
}

TEST_F(EngineBook, HandSetValuesReachOnlyAnalysisSearches) {
    // White's e2e3 leads to a position valued by hand at 250 for White.
    const std::string set = "setoption name UCI_SetPositionValue value 250 4k3/8/8/8/8/4P3/8/4K3 b - - 0 1\n";
    const std::string go = "position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\ngo depth 4\n";
    auto run = RunEngine({}, "uci\nsetoption name UCI_AnalyseMode value true\n" + set + go + "quit\n", 30,
                         "bestmove");
    EXPECT_NE(run.output.find("depth 4 seldepth 4 time"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("score cp 250 "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("bestmove e2e3"), std::string::npos) << run.output;
    // A game search forgets the list first.
    run = RunEngine({}, "uci\n" + set + go + "quit\n", 30, "bestmove");
    EXPECT_EQ(run.output.find("score cp 250 "), std::string::npos) << run.output;
}

}  // namespace
