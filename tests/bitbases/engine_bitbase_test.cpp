// The engine with a bitbase loaded, driven as a host drives it: the search
// probes after captures, counts its hits and scores the verdicts.
#include <gtest/gtest.h>

#include <string>

#include "../engine/engine_process.h"
#include "bitbases/format.h"
#include "tbe_writer.h"

namespace {

using bitbases::Loss;
using bitbases::Win;
using testing_support::Lines;
using testing_support::RunEngine;

const std::vector<std::string> Fast = {"cs2000"};

// King and rook against king: the rook's side wins with either side to move
// (true but for the few positions where the rook hangs, which these tests
// never reach).
std::string RookTable(const bbtest::TempDir& dir) {
    std::string path = dir / "krk.tbe";
    bbtest::WriteFile(path, bbtest::FileBytes({bbtest::RawEntry("krk.wtm.0w", bbtest::Constant(Win)),
                                               bbtest::RawEntry("krk.btm.0w", bbtest::Constant(Loss))}));
    return path;
}

std::string Search(const std::string& path, const std::string& use, const std::string& fen) {
    std::string input = "setoption name OwnBook value false\nsetoption name UCI_KestrionbasesPath value " + path +
                        "\nsetoption name Use Kestrionbases value " + use + "\nposition fen " + fen +
                        "\ngo depth 5\n";
    return RunEngine(Fast, input, 30.0, "bestmove").output;
}

// The last score the engine announced in a PV line.
int LastScore(const std::string& out) {
    int score = 0;
    for (const std::string& line : Lines(out)) {
        size_t at = line.find(" score cp ");
        if (line.rfind("info depth", 0) == 0 && at != std::string::npos) score = std::stoi(line.substr(at + 10));
    }
    return score;
}

TEST(EngineBitbases, CapturesIntoALoadedMaterialAreProbedAndCounted) {
    bbtest::TempDir dir;
    const std::string path = RookTable(dir);
    // White takes the last pawn and is left with king and rook against king.
    const std::string fen = "4k3/8/8/8/8/8/3p4/R3K3 w - - 0 1";
    const std::string always = Search(path, "Always", fen);
    EXPECT_NE(always.find("info string kestrionbases with 3 pieces found"), std::string::npos) << always;
    EXPECT_NE(always.find(" sbhits "), std::string::npos) << always;
    EXPECT_GT(LastScore(always), 27000) << always;
    EXPECT_NE(always.find("bestmove e1d2"), std::string::npos) << always;

    // "Never" keeps the counter at 0: no line shows it.
    const std::string never = Search(path, "Never", fen);
    EXPECT_EQ(never.find("sbhits"), std::string::npos) << never;
    EXPECT_LT(LastScore(never), 27000) << never;
}

TEST(EngineBitbases, ARootInTheBitbaseIsAnsweredAtOnce) {
    bbtest::TempDir dir;
    const std::string path = RookTable(dir);
    // Black to move in king and rook against king: lost, and said so.
    const std::string out = Search(path, "Normal", "4k3/8/8/8/8/8/8/R3K3 b - - 0 1");
    EXPECT_NE(out.find(" sbhits "), std::string::npos) << out;
    EXPECT_NE(out.find("bestmove "), std::string::npos) << out;
}

}  // namespace
