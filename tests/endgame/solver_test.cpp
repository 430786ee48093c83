// Solver values on known facts, symmetry and colour swaps, and the solve
// command's probe mode and refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "endgame_helpers.h"

namespace {

using namespace endgame;
using namespace endgametest;

int LongestWin(const Table& t, Colour side) {
    int longest = 0;
    for (uint32_t i = 0; i < t.Size(); i++) {
        int s = ScoreOf(t.Value(side, i));
        if (s > 0) longest = std::max(longest, Plies(s));
    }
    return (longest + 1) / 2;
}

std::string ProbeText(const Solver& solver, const std::string& fen) {
    Position p;
    int score;
    if (!ReadFen(fen, p) || !solver.Probe(p, score)) return "none";
    return Describe(score);
}

TEST(EndgameSolver, KnownLongestMates) {
    Solver solver{SolveOptions()};
    EXPECT_EQ(LongestWin(*Solve(solver, "KQK"), White), 10);
    EXPECT_EQ(LongestWin(*Solve(solver, "KRK"), White), 16);
    // The lone king never wins, and the bishop or knight alone never mates.
    EXPECT_EQ(LongestWin(*Solve(solver, "KQK"), Black), 0);
    EXPECT_EQ(LongestWin(*Solve(solver, "KBK"), White), 0);
    EXPECT_EQ(LongestWin(*Solve(solver, "KNK"), White), 0);
}

TEST(EndgameSolver, HandCheckedPositions) {
    Solver solver{SolveOptions()};
    Solve(solver, "KQK");
    Solve(solver, "KPK");
    EXPECT_EQ(ProbeText(solver, "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1"), "loss 0");   // checkmated
    EXPECT_EQ(ProbeText(solver, "k7/8/1QK5/8/8/8/8/8 b - - 0 1"), "draw");     // stalemated
    EXPECT_EQ(ProbeText(solver, "k7/8/1QK5/8/8/8/8/8 w - - 0 1"), "win 1");
    EXPECT_EQ(ProbeText(solver, "kQ6/8/1K6/8/8/8/8/8 b - - 0 1"), "draw");     // the queen falls
    // Either colour may hold the queen.
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/8/1k6/q7/K7 w - - 0 1"), "loss 0");
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/8/1k6/2q5/K7 w - - 0 1"), "draw");
    // A rook pawn against a king in its corner is a draw; outside the
    // pawn's square the king is too late.
    EXPECT_EQ(ProbeText(solver, "k7/8/8/8/8/8/P7/K7 w - - 0 1"), "draw");
    EXPECT_EQ(ProbeText(solver, "7k/8/8/8/8/8/P7/K7 w - - 0 1").substr(0, 4), "win ");
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/8/8/P7/K6k w - - 0 1").substr(0, 4), "win ");
    // Illegal: the side not to move is in check, or kings touch.
    EXPECT_EQ(ProbeText(solver, "k7/1Q6/1K6/8/8/8/8/8 w - - 0 1"), "none");
    EXPECT_EQ(ProbeText(solver, "kK6/8/8/8/8/8/8/1Q6 w - - 0 1"), "none");
}

// Applies a board symmetry (and optionally the colour swap) to a position.
Position Transformed(const Position& p, int transform, bool swapColours) {
    Position q = p;
    for (int i = 0; i < p.count; i++) {
        q.square[i] = Transform[transform][p.square[i]];
        if (swapColours) {
            q.square[i] ^= 56;
            q.colour[i] = Colour(q.colour[i] ^ 1);
        }
    }
    if (swapColours) q.stm = Colour(p.stm ^ 1);
    return q;
}

// Every position of the table, mirrored and colour-swapped, probes the same.
void CheckSymmetries(const Solver& solver, const Table& t, bool pawns) {
    uint8_t sq[MaxMen];
    uint64_t checked = 0;
    for (uint32_t i = 0; i < t.Size(); i += 3) {
        if (!t.Decode(i, sq)) continue;
        for (int side = White; side <= Black; side++) {
            uint8_t v = t.Value(Colour(side), i);
            if (v == Broken) continue;
            Position p = t.ToPosition(sq, Colour(side));
            for (int transform = 0; transform < (pawns ? 2 : 8); transform++)
                for (bool swap : {false, true}) {
                    int score;
                    Position q = Transformed(p, transform, swap);
                    ASSERT_TRUE(solver.Probe(q, score)) << WriteFen(q);
                    ASSERT_EQ(score, ScoreOf(v)) << WriteFen(p) << " against " << WriteFen(q);
                    checked++;
                }
        }
    }
    EXPECT_GT(checked, 100000u);
}

TEST(EndgameSolver, MirrorsAndColourSwapAgree) {
    Solver solver{SolveOptions()};
    CheckSymmetries(solver, *Solve(solver, "KRK"), false);
    CheckSymmetries(solver, *Solve(solver, "KPK"), true);
}

TEST(EndgameTool, ProbeMode) {
    std::string out;
    std::string input =
        "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1\n"
        "8/8/8/8/8/1k6/q7/K7 w - - 0 1\n"
        "k7/8/1QK5/8/8/8/8/8 w - - 0 1\n"
        "k7/8/1QK5/8/8/8/8/8 b - - 0 1\n"
        "k7/1R6/1K6/8/8/8/8/8 b - - 0 1\n"   // another material
        "k7/1Q6/1K6/8/8/8/8 b - - 0 1\n"     // seven ranks
        "k7/1Q6/1K6/8/8/8/8/8 w - - 0 1\n"   // side not to move in check
        "k7/1Q6/1K6/8/8/8/8/8 b KQ - 0 1\n"  // castling rights without rooks
        "\n";
    EXPECT_EQ(RunTool("KQK --probe", input, out), 0);
    EXPECT_EQ(out, "loss 0\nloss 0\nwin 1\ndraw\nnone\nnone\nnone\nnone\nnone\n");
}

TEST(EndgameTool, SummaryEndsWithPositions) {
    std::string out;
    ASSERT_EQ(RunTool("KQK --threads 2", "", out), 0);
    EXPECT_NE(out.find("longest win 10 moves"), std::string::npos) << out;
    EXPECT_NE(out.find("\npositions "), std::string::npos) << out;
    EXPECT_EQ(out.find('\n', out.find("\npositions ") + 1), out.size() - 1) << out;
}

TEST(EndgameTool, RefusesBadMaterials) {
    for (const char* material : {"KKK", "KQ", "QKK", "KQRBNK", "KPPPPPPPPPK", "KXK", "K", ""}) {
        std::string out;
        EXPECT_EQ(RunTool(std::string("'") + material + "'", "", out), 2) << material << ": " << out;
        EXPECT_NE(out.find("solve:"), std::string::npos) << material << ": " << out;
    }
    std::string out;
    RunTool("KPPPPPPPPPK", "", out);
    EXPECT_NE(out.find("8 pawns"), std::string::npos) << out;
    RunTool("KQRBNK", "", out);
    EXPECT_NE(out.find("3 to 5 men"), std::string::npos) << out;
}

class EndgameDir : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/kestrion-endgame-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0); }
    std::string dir;
};

TEST_F(EndgameDir, SavedTablesReloadAndCorruptionIsRefused) {
    std::string first, second, out;
    ASSERT_EQ(RunTool("KPK --dir " + dir, "", first), 0) << first;
    // What the material leads into was saved as well, and is reused.
    for (const char* name : {"KPK", "KQK", "KRK", "KBK", "KNK"})
        EXPECT_TRUE(std::ifstream(dir + "/" + name + ".egt").good()) << name;
    ASSERT_EQ(RunTool("KPK --dir " + dir, "", second), 0) << second;
    EXPECT_EQ(first, second);

    std::string path = dir + "/KRK.egt";
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(5000);
        char c = 0;
        f.read(&c, 1);
        f.seekp(5000);
        c ^= 4;
        f.write(&c, 1);
    }
    EXPECT_EQ(RunTool("KPK --dir " + dir, "", out), 1);
    EXPECT_NE(out.find("corrupt table file " + path + ": checksum mismatch"), std::string::npos) << out;

    ASSERT_EQ(truncate(path.c_str(), 1000), 0);
    EXPECT_EQ(RunTool("KRK --dir " + dir + " --probe", "8/8/8/8/8/8/8/KRk5 b - - 0 1\n", out), 1);
    EXPECT_NE(out.find("truncated"), std::string::npos) << out;

    std::ofstream(dir + "/KQK.egt") << "not a table";
    EXPECT_EQ(RunTool("KQK --dir " + dir, "", out), 1);
    EXPECT_NE(out.find("not a table file"), std::string::npos) << out;
}

TEST_F(EndgameDir, UnwritableDirectoryIsRefused) {
    std::string file = dir + "/plain-file";
    std::ofstream(file) << "x";
    std::string out;
    EXPECT_EQ(RunTool("KQK --dir " + file, "", out), 1);
    EXPECT_NE(out.find("cannot write to directory " + file), std::string::npos) << out;
    EXPECT_EQ(RunTool("KQK --dir " + file + "/sub", "", out), 1);
    EXPECT_NE(out.find("cannot create directory"), std::string::npos) << out;
}

}  // namespace
