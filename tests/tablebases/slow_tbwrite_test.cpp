// Every three- and four-men table written plain and compressed, registered
// as the engine registers them, and probed against the solver they were
// written from: one image of every legal position (both sides to move, en
// passant included; the writer fills the mirror images from the same code
// that the three-men tests check in full), all positions of one table
// without and one with pawns, and every entry of the compressed files
// against the plain ones.
#include <gtest/gtest.h>

#include <chrono>

#include "solver_check.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"
#include "tbgen/writer.h"

TEST(TablebaseWriterRoundTrip, EveryThreeAndFourMenTable) {
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    endgame::Solver solver{endgame::SolveOptions()};
    tbtest::ScratchDir dir;
    const std::string plain = dir.Sub("plain"), packed = dir.Sub("packed");
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 35, plain, false));
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 35, packed, true));
    std::printf("solved and written: %.1f s\n", seconds());

    tablebases::VTbCloseAll();
    ASSERT_EQ(tablebases::IInitializeTb(plain.c_str(), 32), 4);
    long positions = 0, enPassant = 0;
    for (int t = 1; t <= 35; t++) {
        const tbtest::CheckCounts c = tbtest::CheckTable(solver, t, 16, true);
        ASSERT_EQ(c.mismatches, 0) << tablebases::TbDescriptors[t].name;
        positions += c.positions;
        enPassant += c.enPassant;
    }
    EXPECT_GT(positions, 50000000L);
    EXPECT_GT(enPassant, 10000L);
    const tbtest::CheckCounts all = tbtest::CheckTable(solver, tbgen::TableNumber("kqkr"), 16);
    EXPECT_EQ(all.mismatches, 0);
    std::printf("plain: %ld positions, %ld with en passant, %ld kqkr positions: %.1f s\n", positions, enPassant,
                all.positions, seconds());

    tablebases::VTbCloseAll();
    ASSERT_EQ(tablebases::IInitializeTb(packed.c_str(), 32), 4);
    const long entries = tbtest::CompareEntries(1, 35, plain);
    EXPECT_GT(entries, 140000000L);
    const tbtest::CheckCounts pawns = tbtest::CheckTable(solver, tbgen::TableNumber("kpkp"), 16);
    EXPECT_EQ(pawns.mismatches, 0);
    EXPECT_GT(pawns.enPassant, 10000L);
    tablebases::VTbCloseAll();
    std::printf("compressed: %ld entries, %ld kpkp positions: %.1f s\n", entries, pawns.positions, seconds());
}
