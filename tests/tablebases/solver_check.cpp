#include "solver_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "index_support.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"
#include "tbgen/writer.h"

namespace tbtest {

namespace {

// Index functions' man types (pawn 1 .. queen 5) to the solver's.
endgame::PieceType SolverType(int t) {
    static const endgame::PieceType Types[6] = {endgame::NoPiece, endgame::Pawn,  endgame::Knight,
                                                endgame::Bishop,  endgame::Rook,  endgame::Queen};
    return Types[t];
}

endgame::Position SolverPosition(const Material& m, const Pos& p, int stm) {
    endgame::Position q;
    for (int c = 0; c < 2; c++) {
        q.type[q.count] = endgame::King;
        q.colour[q.count] = endgame::Colour(c);
        q.square[q.count++] = uint8_t(p.king[c]);
        for (int i = 0; i < m.count[c]; i++) {
            q.type[q.count] = SolverType(m.type[c][i]);
            q.colour[q.count] = endgame::Colour(c);
            q.square[q.count++] = uint8_t(p.man[c][i]);
        }
    }
    q.stm = endgame::Colour(stm);
    q.ep = p.ep == 127 ? -1 : p.ep;
    return q;
}

}  // namespace

int ExpectedScore(int solverScore) {
    if (solverScore == 0) return 0;
    const int plies = endgame::Plies(solverScore);
    return solverScore > 0 ? 30000 - (plies + 1) : -30000 + plies;
}

CheckCounts CheckTable(const endgame::Solver& solver, int iTb, int reversedEvery, bool oneOfMirrors) {
    const char* name = tablebases::TbDescriptors[iTb].name;
    const Material m = ParseMaterial(name);
    CheckCounts counts;
    for (int stm = 0; stm < 2; stm++) {
        ForEachLegal(m, stm, [&](const Pos& p) {
            int solverScore;
            if (!solver.Probe(SolverPosition(m, p, stm), solverScore)) {
                if (counts.mismatches++ < 5) ADD_FAILURE() << name << ": the solver cannot answer a legal position";
                return;
            }
            const int expected = ExpectedScore(solverScore);
            counts.positions++;
            counts.enPassant += p.ep != 127;
            const bool reversed = reversedEvery > 0 && counts.positions % reversedEvery == 0;
            for (int r = 0; r < (reversed ? 2 : 1); r++) {
                uint8_t board[65];
                EngineBoard(m, p, r != 0, board);
                const int ep = p.ep == 127 ? 0 : (r ? p.ep ^ 56 : p.ep) + 1;
                const int got = tablebases::TbProbeScore(board, stm ^ r, ep);
                if (got != expected && counts.mismatches++ < 5) {
                    endgame::Position q = SolverPosition(m, p, stm);
                    ADD_FAILURE() << name << (r ? " colours reversed" : "") << ": " << endgame::WriteFen(q)
                                  << " probes " << got << ", the solver says " << expected;
                }
            }
        }, oneOfMirrors);
    }
    return counts;
}

long CompareEntries(int first, int last, const std::string& plainDir) {
    long compared = 0, mismatches = 0;
    for (int t = first; t <= last; t++) {
        const tablebases::TbDescriptor& d = tablebases::TbDescriptors[t];
        for (int side = 0; side < ((d.flags & tablebases::TbSymmetric) ? 1 : 2); side++) {
            TableImage image;
            image.iTb = t;
            image.side = side;
            std::ifstream in(TablePath(plainDir, image, false), std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(bytes.size(), side == 0 ? d.entriesW : d.entriesB) << d.name;
            for (size_t e = 0; e < bytes.size(); e++, compared++) {
                const int raw = tablebases::L_TbtProbeTable(t, side, e);
                if (raw != tablebases::TbMapByte(int8_t(bytes[e])) && mismatches++ < 5)
                    ADD_FAILURE() << d.name << (side ? " black" : " white") << " entry " << e << " reads " << raw;
            }
        }
    }
    return compared;
}

bool WriteTables(endgame::Solver& solver, int first, int last, const std::string& dir, bool compress) {
    tbgen::WriteOptions options;
    options.dir = dir;
    options.compress = compress;
    for (int t = first; t <= last; t++) {
        tbgen::WriteStats stats;
        std::string error;
        if (!tbgen::WriteTable(solver, t, options, stats, error)) {
            ADD_FAILURE() << error;
            return false;
        }
    }
    return true;
}

}  // namespace tbtest
