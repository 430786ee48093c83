// Move-path counts of well-known test positions.
#include <gtest/gtest.h>

#include "board_helpers.h"

namespace {

struct PerftCase {
    const char* fen;
    int depth;
    uint64_t nodes;
};

void ExpectPerft(const PerftCase& c, bool chess960) {
    boardtest::Fixture f;
    ASSERT_EQ(boardtest::Load(f, c.fen, chess960), 1) << c.fen;
    EXPECT_EQ(board::Perft(*f.tree, f.root, c.depth), c.nodes) << c.fen << " depth " << c.depth;
    EXPECT_EQ(boardtest::CompareWithRebuild(*f.tree, f.root), "") << c.fen;
}

TEST(Perft, StandardPositions) {
    const PerftCase cases[] = {
        {"", 4, 197281},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 97862},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 5, 674624},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 4, 422333},
        {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 422333},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3, 62379},
        {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 3, 89890},
        // Promotions, under-promotions and castling rights lost to captures.
        {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 4, 182838},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 3, 13744},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", 3, 13744},
        // En passant that would expose the king or answer a check, discovered checks.
        {"8/5bk1/8/2Pp4/8/1K6/8/8 w - d6 0 1", 6, 824064},
        {"3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", 5, 185429},
        {"r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1", 3, 27826},
        {"K1k5/8/P7/8/8/8/8/8 w - - 0 1", 6, 2217},
        {"8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1", 4, 23527},
        {"4k3/1P6/8/8/8/8/K7/8 w - - 0 1", 6, 217342},
        {"8/P1k5/K7/8/8/8/8/8 w - - 0 1", 6, 92683},
    };
    for (const PerftCase& c : cases) ExpectPerft(c, false);
}

TEST(Perft, Chess960Positions) {
    const PerftCase cases[] = {
        {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 3, 12189},
        {"2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 1 9", 3, 18002},
        {"b1q1rrkb/pppppppp/3nn3/8/P7/1PPP4/4PPPP/BQNNRKRB w GE - 1 9", 4, 273318},
        {"qbbnnrkr/2pp2pp/p7/1p2pp2/8/P3PP2/1PPP1KPP/QBBNNR1R w hf - 0 9", 4, 382958},
    };
    for (const PerftCase& c : cases) ExpectPerft(c, true);
}

}  // namespace
