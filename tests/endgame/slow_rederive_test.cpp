// Every entry of every 3- and 4-men table must equal what one ply of legal
// moves into the finished tables gives: the retrograde passes (un-moves,
// triggers, en-passant look-ahead, symmetry folding) against plain forward
// search.
#include <gtest/gtest.h>

#include "endgame_helpers.h"

namespace {

using namespace endgame;
using namespace endgametest;

TEST(EndgameRederive, EveryThreeAndFourMenTable) {
    SolveOptions options;
    options.threads = 2;
    Solver solver(options);
    const char* pieces = "QRBNP";
    std::vector<std::string> materials;
    for (int a = 0; a < 5; a++) {
        materials.push_back(std::string("K") + pieces[a] + "K");
        for (int b = a; b < 5; b++) materials.push_back(std::string("K") + pieces[a] + pieces[b] + "K");
        for (int b = a; b < 5; b++) materials.push_back(std::string("K") + pieces[a] + "K" + pieces[b]);
    }
    for (const std::string& m : materials) {
        const Table* t = Solve(solver, m);
        ASSERT_NE(t, nullptr);
        std::string first;
        EXPECT_EQ(OnePlyMismatches(solver, *t, first), 0u) << m << ": " << first;
    }
}

}  // namespace
