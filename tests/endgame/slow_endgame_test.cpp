// All 3- and 4-men tables, solved once (each test runs in its own process):
// every entry against one ply of forward search into the finished tables,
// known longest mates, en passant as the only save or win, and symmetry
// with pawns on both sides.
#include <gtest/gtest.h>

#include "endgame_helpers.h"

namespace {

using namespace endgame;
using namespace endgametest;

std::string ProbeText(const Solver& solver, const std::string& fen) {
    Position p;
    int score;
    if (!ReadFen(fen, p) || !solver.Probe(p, score)) return "none";
    return Describe(score);
}

int LongestWin(const Table& t) {
    int longest = 0;
    for (uint32_t i = 0; i < t.Size(); i++) {
        int s = ScoreOf(t.Value(White, i));
        if (s > 0) longest = std::max(longest, Plies(s));
    }
    return (longest + 1) / 2;
}

void CheckKnownLongestMates(Solver& solver) {
    EXPECT_EQ(LongestWin(*Solve(solver, "KBNK")), 33);
    EXPECT_EQ(LongestWin(*Solve(solver, "KQKR")), 35);
}

void CheckEnPassant(const Solver& solver) {
    // e2-e4 has just been played past the d4 pawn, which the white king
    // blocks. Black's king is too far for the e-pawn: only dxe3 saves, and
    // Kxe3 leaves bare kings.
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/3pP3/3K4/8/k7 b - e3 0 1"), "draw");
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/3pP3/3K4/8/k7 b - - 0 1").substr(0, 5), "loss ");
    // With the black king on f2 the e3 pawn is guarded all the way to e1:
    // taking en passant wins, anything else does not.
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/3pP3/3K4/5k2/8 b - e3 0 1").substr(0, 4), "win ");
    EXPECT_NE(ProbeText(solver, "8/8/8/8/3pP3/3K4/5k2/8 b - - 0 1").substr(0, 4), "win ");
    // The same with colours swapped: White takes on e6.
    EXPECT_EQ(ProbeText(solver, "K7/8/3k4/3Pp3/8/8/8/8 w - e6 0 1"), "draw");
    EXPECT_EQ(ProbeText(solver, "K7/8/3k4/3Pp3/8/8/8/8 w - - 0 1").substr(0, 5), "loss ");
    EXPECT_EQ(ProbeText(solver, "8/5K2/3k4/3Pp3/8/8/8/8 w - e6 0 1"),
              ProbeText(solver, "8/8/8/8/3pP3/3K4/5k2/8 b - e3 0 1"));
    // An en-passant square no pawn can use changes nothing; one without a
    // pawn that just stepped two squares is not a position.
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/4P3/3K4/p7/k7 b - e3 0 1"), ProbeText(solver, "8/8/8/8/4P3/3K4/p7/k7 b - - 0 1"));
    EXPECT_EQ(ProbeText(solver, "8/8/8/8/3p4/3KP3/8/k7 b - e3 0 1"), "none");
}

void CheckPawnsOnBothSidesMirrorAndSwap(Solver& solver) {
    const Table& t = *Solve(solver, "KPKP");
    uint8_t sq[MaxMen];
    uint64_t checked = 0;
    for (uint32_t i = 0; i < t.Size(); i += 5) {
        if (!t.Decode(i, sq)) continue;
        for (int side = White; side <= Black; side++) {
            uint8_t v = t.Value(Colour(side), i);
            if (v == Broken) continue;
            Position p = t.ToPosition(sq, Colour(side)), q = p, r = p;
            for (int k = 0; k < p.count; k++) {
                q.square[k] ^= 7;
                r.square[k] ^= 56;
                r.colour[k] = Colour(r.colour[k] ^ 1);
            }
            r.stm = Colour(side ^ 1);
            int a, b;
            ASSERT_TRUE(solver.Probe(q, a) && solver.Probe(r, b)) << WriteFen(p);
            ASSERT_EQ(a, ScoreOf(v)) << WriteFen(q);
            ASSERT_EQ(b, ScoreOf(v)) << WriteFen(r);
            checked++;
        }
    }
    EXPECT_GT(checked, 500000u);
}

TEST(EndgameSlow, EveryThreeAndFourMenTable) {
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
    CheckKnownLongestMates(solver);
    CheckEnPassant(solver);
    CheckPawnsOnBothSidesMirrorAndSwap(solver);
}

}  // namespace
