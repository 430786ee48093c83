// Every position of every 3-men table, both sides to move, against Debian's
// independently generated distance-to-mate tables.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "endgame_helpers.h"

#ifndef KESTRION_GAVIOTA_SKIP
#include <gtb-probe.h>
#endif

namespace {

using namespace endgame;
using namespace endgametest;

#ifdef KESTRION_GAVIOTA_SKIP

TEST(EndgameGaviota, EveryThreeMenPosition) { GTEST_SKIP() << "no independent check: " << KESTRION_GAVIOTA_SKIP; }

#else

// Their piece codes, indexed by ours (King, Queen, Rook, Bishop, Knight, Pawn).
const unsigned char TheirPiece[6] = {tb_KING, tb_QUEEN, tb_ROOK, tb_BISHOP, tb_KNIGHT, tb_PAWN};

class Gaviota {
public:
    Gaviota() {
        paths = tbpaths_add(tbpaths_init(), KESTRION_GAVIOTA_TABLES);
        tb_init(0, tb_CP4, paths);
        tbcache_init(4 << 20, 10);
    }
    ~Gaviota() {
        tbcache_done();
        tb_done();
        tbpaths_done(paths);
    }
    // Score from the side to move's view, or false when it has no answer.
    bool Probe(const Position& p, int& score) const {
        unsigned squares[2][MaxMen + 1], n[2] = {0, 0};
        unsigned char pieces[2][MaxMen + 1];
        for (int i = 0; i < p.count; i++) {
            int c = p.colour[i];
            squares[c][n[c]] = p.square[i];
            pieces[c][n[c]++] = TheirPiece[p.type[i]];
        }
        for (int c = 0; c < 2; c++) {
            squares[c][n[c]] = tb_NOSQUARE;
            pieces[c][n[c]] = tb_NOPIECE;
        }
        unsigned info, plies;
        unsigned stm = p.stm == White ? tb_WHITE_TO_MOVE : tb_BLACK_TO_MOVE;
        if (!tb_probe_hard(stm, tb_NOSQUARE, tb_NOCASTLE, squares[0], squares[1], pieces[0], pieces[1], &info, &plies))
            return false;
        if (info == tb_DRAW) score = 0;
        else if (info == tb_WMATE) score = p.stm == White ? WinScore - int(plies) : int(plies) - WinScore;
        else if (info == tb_BMATE) score = p.stm == Black ? WinScore - int(plies) : int(plies) - WinScore;
        else return false;
        return true;
    }

private:
    const char** paths;
};

TEST(EndgameGaviota, EveryThreeMenPosition) {
    struct stat st;
    if (stat(KESTRION_GAVIOTA_TABLES, &st) != 0)
        GTEST_SKIP() << "no independent check: the gaviotatb tables are not installed in " << KESTRION_GAVIOTA_TABLES;
    Gaviota gaviota;
    Solver solver{SolveOptions()};
    for (const char* material : {"KQK", "KRK", "KBK", "KNK", "KPK"}) {
        const Table* t = Solve(solver, material);
        ASSERT_NE(t, nullptr);
        uint64_t compared = 0, differ = 0;
        uint8_t sq[MaxMen];
        for (uint32_t i = 0; i < t->Size(); i++) {
            if (!t->Decode(i, sq)) continue;
            for (int side = White; side <= Black; side++) {
                uint8_t v = t->Value(Colour(side), i);
                if (v == Broken) continue;
                Position p = t->ToPosition(sq, Colour(side));
                int theirs;
                ASSERT_TRUE(gaviota.Probe(p, theirs)) << "no answer for " << WriteFen(p);
                compared++;
                if (theirs != ScoreOf(v) && differ++ < 5)
                    ADD_FAILURE() << WriteFen(p) << ": ours " << Describe(ScoreOf(v)) << ", theirs " << Describe(theirs);
            }
        }
        EXPECT_EQ(differ, 0u) << material;
        EXPECT_GT(compared, 40000u) << material;
    }
}

#endif

}  // namespace
