// The committed 3- and 4-men set against the solver: every legal position of
// every material, either side to move, with and without en-passant rights,
// through the probe the search uses; and a rebuild of some of its materials
// gives the committed bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "bb_support.h"
#include "bbgen/builder.h"
#include "board/types.h"
#include "endgame/solver.h"

namespace {

const std::string SetDir = std::string(KESTRION_SOURCE_DIR) + "/data/kestrionbases";

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Engine piece code of each bitbase code.
const uint8_t EngineCode[bitbases::CodeCount] = {0, 1, 7, 6, 5, 3, 2, 9, 15, 14, 13, 11, 10};

struct Tally {
    long positions = 0, enPassant = 0, wrong = 0;
    std::string firstWrong;
};

int Expected(const endgame::Solver& solver, const endgame::Position& p) {
    int score;
    if (!solver.Probe(p, score)) return board::NoAnswer - 1;
    return score > 0 ? bitbases::BitbaseWin : score < 0 ? -bitbases::BitbaseWin : 0;
}

// Every placement of the material's men, kings on any squares.
void CheckMaterial(const bbgen::BitbaseMaterial& m, const endgame::Solver& solver, Tally& tally) {
    endgame::Position p;
    p.count = 2 + m.count;
    p.type[0] = p.type[1] = endgame::King;
    p.colour[0] = endgame::White;
    p.colour[1] = endgame::Black;
    for (int i = 0; i < m.count; i++) {
        bool black = m.codes[i] > bitbases::BK;
        p.type[2 + i] = endgame::PieceType(m.codes[i] - (black ? 7 : 1));
        p.colour[2 + i] = black ? endgame::Black : endgame::White;
    }
    const int placements = 1 << (6 * p.count);
    uint8_t board[66] = {};
    for (int code = 0; code < placements; code++) {
        uint64_t used = 0;
        bool ok = true;
        for (int i = 0; i < p.count && ok; i++) {
            int sq = (code >> (6 * i)) & 63;
            ok = !(used >> sq & 1) && !(p.type[i] == endgame::Pawn && (sq < 8 || sq >= 56));
            used |= uint64_t(1) << sq;
            p.square[i] = uint8_t(sq);
        }
        if (!ok) continue;
        for (int i = 0; i < p.count; i++) board[p.square[i] + 1] = EngineCode[i < 2 ? (i ? bitbases::BK : bitbases::WK) : m.codes[i - 2]];
        for (int stm = 0; stm < 2; stm++) {
            p.stm = endgame::Colour(stm);
            p.ep = -1;
            if (!endgame::IsLegal(p)) continue;
            auto check = [&](int engineEp) {
                int want = Expected(solver, p), got = bitbases::ProbeScore(board, stm, engineEp);
                if (want != got && tally.wrong++ == 0)
                    tally.firstWrong = endgame::WriteFen(p) + " got " + std::to_string(got) + " want " + std::to_string(want);
            };
            tally.positions++;
            check(0);
            // Every pawn of the other side that may just have stepped two
            // squares: the right to take it, passed as the engine passes it.
            for (int i = 2; i < p.count; i++) {
                if (p.type[i] != endgame::Pawn || p.colour[i] == p.stm) continue;
                int sq = p.square[i], rank = sq >> 3;
                if (rank != (stm == 0 ? 4 : 3)) continue;
                p.ep = stm == 0 ? sq + 8 : sq - 8;
                if (endgame::IsLegal(p)) {
                    tally.enPassant++;
                    check(p.ep + 1);
                }
                p.ep = -1;
            }
        }
        for (int i = 0; i < p.count; i++) board[p.square[i] + 1] = 0;
    }
}

TEST(DefaultBitbasesSlow, EveryPositionAnswersAsTheSolver) {
    bbtest::Session session;
    session.Load("/kestrionbases/bases.ini", 0);
    ASSERT_EQ(bitbases::Set().count, 35);
    std::vector<bbgen::BitbaseMaterial> materials = bbgen::AllMaterials(3), four = bbgen::AllMaterials(4);
    materials.insert(materials.end(), four.begin(), four.end());

    endgame::InitBoard();
    endgame::SolveOptions options;
    options.threads = 2;
    endgame::Solver solver(options);
    std::string error;
    for (const bbgen::BitbaseMaterial& m : materials) ASSERT_TRUE(solver.Get(m.Solver(), error)) << error;

    std::vector<Tally> tallies(materials.size());
    std::atomic<size_t> next(0);
    auto work = [&]() {
        for (size_t k; (k = next++) < materials.size();) CheckMaterial(materials[k], solver, tallies[k]);
    };
    std::thread helper(work);
    work();
    helper.join();
    long enPassant = 0;
    for (size_t k = 0; k < materials.size(); k++) {
        EXPECT_EQ(tallies[k].wrong, 0) << materials[k].name << ": " << tallies[k].firstWrong;
        EXPECT_GT(tallies[k].positions, 100000) << materials[k].name;
        enPassant += tallies[k].enPassant;
    }
    EXPECT_GT(enPassant, 10000);
}

std::vector<bbgen::BitbaseMaterial> Materials(std::initializer_list<const char*> names) {
    std::vector<bbgen::BitbaseMaterial> out;
    for (const char* name : names) {
        bbgen::BitbaseMaterial m;
        std::string error;
        EXPECT_TRUE(bbgen::ParseBitbaseMaterial(name, m, error)) << error;
        out.push_back(m);
    }
    return out;
}

TEST(DefaultBitbasesSlow, RebuildGivesTheCommittedBytes) {
    bbtest::TempDir dir;
    // kqkp leaves black to move out and answers it from the tables that
    // black's moves reach, so all of them are built with it.
    std::vector<bbgen::BitbaseMaterial> sample =
        Materials({"kpk", "kqk", "krk", "kbk", "knk", "krkn", "kqkr", "kqkp", "kqkq", "kqkb", "kqkn"});
    bbgen::BuildOptions options;
    options.out = dir.path;
    options.threads = 2;
    std::vector<bbgen::MaterialResult> results;
    std::string error;
    ASSERT_TRUE(bbgen::BuildSet(sample, options, results, error)) << error;
    for (const bbgen::BitbaseMaterial& m : sample) {
        std::vector<uint8_t> built = ReadBytes(dir / (m.name + ".tbe"));
        EXPECT_FALSE(built.empty());
        EXPECT_TRUE(built == ReadBytes(SetDir + "/" + m.name + ".tbe")) << m.name;
    }
}

// A side is left out only where the look-ahead through the set built with
// it gives every verdict: not while a table its moves reach is missing.
TEST(DefaultBitbasesSlow, SideLeftOutOnlyWhereTheSetAnswersIt) {
    bbtest::Session session;
    bbgen::BuildOptions options;
    options.threads = 2;
    options.omitSideBytes = 1;
    std::vector<bbgen::MaterialResult> results;
    std::string error;

    bbtest::TempDir partial;
    options.out = partial.path;
    ASSERT_TRUE(bbgen::BuildSet(Materials({"kbnk", "kbk"}), options, results, error)) << error;
    const uint64_t whole = results[0].fileBytes;
    bitbases::UnloadBitbases();
    ASSERT_EQ(bitbases::LoadFile((partial / "kbnk.tbe").c_str()), 0);
    const bitbases::BitbaseTable* table = bitbases::Set().tables[0];
    EXPECT_TRUE(table->HasSide(true));
    EXPECT_TRUE(table->HasSide(false));  // a black king taking the bishop reaches knk, not built
    const uint32_t signature = bitbases::MaterialSignature(table->pieceCounts);

    bbtest::TempDir full;
    options.out = full.path;
    std::vector<bbgen::BitbaseMaterial> materials = Materials({"kbnk", "kbk", "knk"});
    ASSERT_TRUE(bbgen::BuildSet(materials, options, results, error)) << error;
    EXPECT_LT(results[0].fileBytes * 4, whole);
    bitbases::UnloadBitbases();
    for (const char* name : {"kbnk", "kbk", "knk"})
        ASSERT_EQ(bitbases::LoadFile((full / (std::string(name) + ".tbe")).c_str()), 0);
    table = bitbases::Set().Find(signature);
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->HasSide(true));
    EXPECT_FALSE(table->HasSide(false));

    endgame::SolveOptions solveOptions;
    endgame::Solver solver(solveOptions);
    ASSERT_TRUE(solver.Get(materials[0].Solver(), error)) << error;
    Tally tally;
    CheckMaterial(materials[0], solver, tally);
    EXPECT_EQ(tally.wrong, 0) << tally.firstWrong;
    EXPECT_GT(tally.positions, 100000);
}

}  // namespace
