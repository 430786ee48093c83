// A 5-men table from the builder (king, queen and rook against king and
// rook) read with the shipped 4-men set: on a random sample, every verdict
// agrees with the verdicts one move on, as a solved table must, and mates
// and stalemates answer as the rules say. A wrong key for 5 men breaks this
// almost everywhere.
#include <gtest/gtest.h>

#include <random>

#include "bb_support.h"
#include "bitbases/format.h"
#include "endgame/position.h"

namespace {

int Verdict(const endgame::Position& p) {
    int wk = -1, bk = -1, n = 0, codes[4] = {}, squares[4] = {};
    for (int i = 0; i < p.count; i++) {
        bool black = p.colour[i] == endgame::Black;
        if (p.type[i] == endgame::King) {
            (black ? bk : wk) = p.square[i];
        } else {
            codes[n] = int(p.type[i]) + (black ? bitbases::BK : bitbases::WK);
            squares[n++] = p.square[i];
        }
    }
    return bitbases::Probe(bitbases::Set(), wk, bk, p.stm == endgame::White, p.ep >= 0 ? p.ep : 0, codes, squares);
}

TEST(FiveMenBitbase, SampleAgreesWithTheVerdictsOneMoveOn) {
    bbtest::Session session;
    session.Load("/kestrionbases/bases.ini", 0);
    ASSERT_EQ(bitbases::LoadFile(KESTRION_SOURCE_DIR "/tests/data/bitbases/kqrkr.tbe"), 0);
    ASSERT_EQ(bitbases::LargestPieceCount(), 5);
    endgame::InitBoard();

    std::mt19937 rng(20261209);
    endgame::Position p;
    p.count = 5;
    const endgame::PieceType types[5] = {endgame::King, endgame::King, endgame::Queen, endgame::Rook, endgame::Rook};
    const endgame::Colour colours[5] = {endgame::White, endgame::Black, endgame::White, endgame::White,
                                        endgame::Black};
    int tally[3] = {}, terminal = 0;
    for (int sampled = 0; sampled < 20000;) {
        for (int i = 0; i < 5; i++) {
            p.type[i] = types[i];
            p.colour[i] = colours[i];
            p.square[i] = uint8_t(rng() % 64);
        }
        p.stm = endgame::Colour(rng() % 2);
        p.ep = -1;
        if (!endgame::IsLegal(p)) continue;
        sampled++;
        int got = Verdict(p);
        ASSERT_GE(got, 0) << endgame::WriteFen(p);
        tally[got]++;

        endgame::Move moves[256];
        int count = endgame::GenerateMoves(p, moves);
        int want = bitbases::Loss;
        if (count == 0) {
            terminal++;
            int king = p.KingSquare(p.stm);
            if (!endgame::Attacked(p, king, endgame::Colour(p.stm ^ 1))) want = bitbases::Draw;
        }
        for (int i = 0; i < count && want != bitbases::Win; i++) {
            int child = Verdict(endgame::MakeMove(p, moves[i]));
            ASSERT_GE(child, 0) << endgame::WriteFen(endgame::MakeMove(p, moves[i]));
            if (child == bitbases::Loss) want = bitbases::Win;
            if (child == bitbases::Draw) want = bitbases::Draw;
        }
        ASSERT_EQ(got, want) << endgame::WriteFen(p);
    }
    // The sample reaches every verdict, and some positions without moves.
    EXPECT_GT(tally[bitbases::Win], 1000);
    EXPECT_GT(tally[bitbases::Draw], 100);
    EXPECT_GT(tally[bitbases::Loss], 1000);
    EXPECT_GT(terminal, 0);
}

}  // namespace
