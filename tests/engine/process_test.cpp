// The engine binary driven through its standard input, as a host drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine_process.h"

using testing_support::Lines;
using testing_support::RunEngine;

namespace {

// "cs" skips the one-second speed calibration.
const std::vector<std::string> Fast = {"cs2000"};

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return int(std::count(lines.begin(), lines.end(), line));
}

}  // namespace

TEST(EngineProcess, UciHandshakeAndQuit) {
    auto run = RunEngine(Fast, "uci\nisready\nquit\n");
    auto lines = Lines(run.output);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "id name Kestrion 3");
    EXPECT_EQ(lines[1], "id author Vastel");
    EXPECT_TRUE(HasLine(lines, "uciok"));
    EXPECT_EQ(lines.back(), "readyok");
    EXPECT_EQ(run.status, 0);
}

TEST(EngineProcess, EndOfInputEndsWithStatus255) {
    auto run = RunEngine(Fast, "isready\n");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.output, "readyok\n");
    auto empty = RunEngine(Fast, "");
    EXPECT_EQ(empty.status, 255);
    EXPECT_EQ(empty.output, "");
}

TEST(EngineProcess, LineEndsAndEmptyLines) {
    // CR LF is stripped; bare line feeds and blank lines are dropped silently.
    auto run = RunEngine(Fast, "isready\r\n\n   \n\r\nisready  \nquit\r\n");
    EXPECT_EQ(run.output, "readyok\nreadyok\n");
    EXPECT_EQ(run.status, 0);
}

TEST(EngineProcess, UnknownAndGarbageInputIsSilent) {
    std::string input =
        "hello\nIsReady\nisreadyx\n\x01\x02\xff garbage\nposition\nposition fen\n"
        "position fen 9/zz/ w\nposition fen rnbqkbnr/pppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n"
        "position startpos moves e2e4 e9e5 zzzz e7e5 a1a8\nsetoption\nsetoption name\n"
        "setoption name value\nsetoption name Hash value\ndebug\ndebug maybe\nucinewgame\nquit\n";
    auto run = RunEngine(Fast, input);
    // Only the three unreadable boards are answered: the position stays.
    const std::string refused = "info string illegal position, the previous position is kept\n";
    EXPECT_EQ(run.output, refused + refused + refused);
    EXPECT_EQ(run.status, 0);
}

TEST(EngineProcess, OverlongLineTailIsNotACommand) {
    std::string longLine(5000, 'x');
    longLine += " isready";
    auto run = RunEngine(Fast, longLine + "\nisready\nquit\n");
    EXPECT_EQ(run.output, "readyok\n");
    std::string exact(4095, 'y');
    auto exactRun = RunEngine(Fast, exact + "\nisready\nquit\n");
    EXPECT_EQ(exactRun.output, "readyok\n");
}

TEST(EngineProcess, DebugCputimeAutoquitMessages) {
    auto run = RunEngine(Fast, "cputime\ncputime on\ncputime bogus\ncputime off\ndebug on\nisready\n"
                               "debug off\nisready\nautoquit\ndebug on\nquit\n");
    auto lines = Lines(run.output);
    std::vector<std::string> expected = {
        "info string cputime is off",
        "info string cputime is on",
        "info string cputime is on",
        "info string cputime is off",
        "info string Kestrion got command isready",
        "readyok",
        "info string Kestrion got command debug off",
        "readyok",
        "info string AutoQuit switched on",
        "info string Kestrion got command quit",
        "info string ready!",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(run.status, 0);
}

TEST(EngineProcess, AutoquitEndsAfterBestmove) {
    auto run = RunEngine(Fast, "autoquit\nposition startpos\ngo depth 2\n", 60, "bestmove");
    auto lines = Lines(run.output);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "info string AutoQuit switched on");
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u);
    EXPECT_EQ(run.status, 0);
}

TEST(EngineProcess, MatedAndStalematedRootsAnswerNoMove) {
    // Fool's mate: white is mated; a stalemate for black.
    auto run = RunEngine(Fast,
                         "position startpos moves f2f3 e7e5 g2g4 d8h4\ngo depth 3\n"
                         "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\ngo depth 3\nquit\n",
                         60);
    auto lines = Lines(run.output);
    EXPECT_EQ(CountLines(lines, "bestmove 0000"), 2);
}

TEST(EngineProcess, EndOfInputDuringASearchEndsWithStatus255) {
    auto run = RunEngine(Fast, "position startpos\ngo infinite\n", 30);
    EXPECT_EQ(run.status, 255);
    EXPECT_LT(run.seconds, 10.0);
}

TEST(EngineProcess, AnalysisModePrintsMoveAndScore) {
    auto run = RunEngine({"cs2000", "fenrnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR,w,KQkq,-,0,1",
                          "d3", "eval"},
                         "", 60);
    EXPECT_EQ(run.status, 0);
    // One line: the move, a space and the score, and nothing else.
    ASSERT_EQ(Lines(run.output).size(), 1u) << run.output;
    std::string line = Lines(run.output)[0];
    size_t space = line.find(' ');
    ASSERT_NE(space, std::string::npos);
    std::string move = line.substr(0, space);
    EXPECT_TRUE(move.size() == 4 || move.size() == 5) << line;
    std::string score = line.substr(space + 1);
    ASSERT_FALSE(score.empty());
    EXPECT_EQ(score.find_first_not_of("-0123456789"), std::string::npos) << line;

    auto timed = RunEngine({"cs2000", "fen8/8/8/4k3/8/8/4P3/4K3,w,-,-,0,1", "t300"}, "", 60);
    EXPECT_EQ(timed.status, 0);
    auto timedLines = Lines(timed.output);
    ASSERT_EQ(timedLines.size(), 1u) << timed.output;
    EXPECT_EQ(timedLines[0].find(' '), std::string::npos);
    EXPECT_LT(timed.seconds, 10.0);
}

TEST(EngineProcess, GoWithoutLimitsSearchesAndAnswers) {
    auto run = RunEngine(Fast, "position startpos moves e2e4 e7e5\ngo\n", 60, "bestmove");
    auto lines = Lines(run.output);
    ASSERT_FALSE(lines.empty());
    bool sawBestMove = false;
    for (const std::string& l : lines)
        if (l.rfind("bestmove ", 0) == 0) {
            sawBestMove = true;
            EXPECT_NE(l, "bestmove 0000");
        }
    EXPECT_TRUE(sawBestMove);
    // Without limits a go right after start-up searches three plies.
    bool depth3 = false, deeper = false;
    for (const std::string& l : lines) {
        depth3 |= l.rfind("info depth 3 ", 0) == 0;
        deeper |= l.rfind("info depth 4 ", 0) == 0;
    }
    EXPECT_TRUE(depth3) << run.output;
    EXPECT_FALSE(deeper) << run.output;
    EXPECT_EQ(run.status, 255);  // the host hung up after bestmove
}


// Boards the engine cannot hold (too many men, no king, a pawn on the last
// rank, the side not to move in check) are refused; the search that follows
// answers for the position before them.
TEST(EngineProcess, UnholdableBoardsKeepThePreviousPosition) {
    const char* const Bad[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1r2P3/2N2Q1p/PPPBBPPP/R3KRR1 w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/N7/PPPPPPPP/RNBQKBNR w - - 0 1",
        "8/8/8/8/8/8/P7/K7 w - - 0 1",
        "4r3/1P6/8/8/8/8/6p1/4K3 w - - 0 1",
        "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",
        "4k2R/8/8/8/8/8/8/4K3 w - - 0 1",
    };
    const std::string setup = "setoption name OwnBook value false\nposition startpos moves e2e4\n";
    auto reference = Lines(RunEngine(Fast, setup + "go depth 3\n", 30.0, "bestmove").output);
    ASSERT_FALSE(reference.empty());
    for (const char* fen : Bad) {
        auto run = RunEngine(Fast, setup + "position fen " + fen + "\ngo depth 3\n", 30.0, "bestmove");
        auto lines = Lines(run.output);
        EXPECT_TRUE(HasLine(lines, "info string illegal position, the previous position is kept")) << fen;
        ASSERT_FALSE(lines.empty()) << fen;
        EXPECT_EQ(lines.back(), reference.back()) << fen;
    }
}

// A position and a go sent while a search runs wait for its end: the second
// answer is for the position the host sent with them.
TEST(EngineProcess, PositionDuringASearchWaitsForItsEnd) {
    auto run = RunEngine(Fast,
                         "setoption name OwnBook value false\nposition startpos\ngo depth 5\n"
                         "position startpos moves e2e4 e7e5 g1f3\ngo depth 4\n",
                         30.0, "bestmove", 2);
    std::vector<std::string> answers;
    for (const std::string& line : Lines(run.output))
        if (line.rfind("bestmove ", 0) == 0) answers.push_back(line);
    ASSERT_EQ(answers.size(), 2u) << run.output;
    // Black's answers to g1f3 start on black's half of the board.
    const std::string move = answers[1].substr(9, 4);
    EXPECT_TRUE(move[1] >= '4' && move[1] <= '8') << answers[1];
    EXPECT_NE(move, "g1f3");
}
