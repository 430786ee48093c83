// Every three- and four-men table written plain and compressed, registered
// as the engine registers them, and probed in every legal position (both
// sides to move, en passant included, colours reversed too) against the
// solver they were written from.
#include <gtest/gtest.h>

#include <chrono>

#include "solver_check.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"

TEST(TablebaseWriterRoundTrip, EveryThreeAndFourMenPosition) {
    const auto start = std::chrono::steady_clock::now();
    endgame::Solver solver{endgame::SolveOptions()};
    tbtest::ScratchDir dir;
    const std::string plain = dir.Sub("plain"), packed = dir.Sub("packed");
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 35, plain, false));
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 35, packed, true));
    for (const std::string& path : {plain, packed}) {
        tablebases::VTbCloseAll();
        ASSERT_EQ(tablebases::IInitializeTb(path.c_str(), 32), 4);
        long positions = 0, enPassant = 0;
        for (int t = 1; t <= 35; t++) {
            // Colours reversed on the plain files only: the registry walk is
            // the same for both kinds of file.
            const tbtest::CheckCounts c = tbtest::CheckTable(solver, t, path == plain);
            ASSERT_EQ(c.mismatches, 0) << tablebases::TbDescriptors[t].name << " in " << path;
            positions += c.positions;
            enPassant += c.enPassant;
        }
        EXPECT_GT(positions, 100000000L);
        EXPECT_GT(enPassant, 100000L);
        const tablebases::TbCacheStats s = tablebases::TbCacheFigures();
        std::printf("%s: %ld positions, %ld with en passant, %llu blocks read\n", path.c_str(), positions, enPassant,
                    (unsigned long long)s.reads);
    }
    tablebases::VTbCloseAll();
    std::printf("seconds %.1f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
