// The tablebase writer: stored values that the reader turns back into the
// solver's distances, table names, and three-men tables probed in every
// position.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "solver_check.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"
#include "tbgen/writer.h"

using namespace tablebases;

TEST(TablebaseWriter, StoredValuesReadBackAsTheSolverSays) {
    // Every distance the solver gives, through both entry widths.
    for (int plies = 0; plies <= endgame::MaxPlies; plies++) {
        const int score = endgame::ScoreOf(endgame::Encode(plies));
        const int raw = tbgen::RawFromScore(score);
        EXPECT_EQ(TbScore(TbDistance(raw)), tbtest::ExpectedScore(score)) << plies;
        int8_t byte;
        // 8-bit entries hold wins up to 127 moves and losses up to 126.
        const bool fits = score > 0 ? (plies + 1) / 2 <= 127 : plies / 2 <= 126;
        ASSERT_EQ(tbgen::ByteFromRaw(raw, byte), fits) << plies;
        if (fits) {
            EXPECT_EQ(TbMapByte(byte), raw) << plies;
        }
    }
    EXPECT_EQ(tbgen::RawFromScore(0), 0);
    // Being mated now, and mate in one.
    EXPECT_EQ(tbgen::RawFromScore(endgame::ScoreOf(endgame::Encode(0))), -32766);
    EXPECT_EQ(tbgen::RawFromScore(endgame::ScoreOf(endgame::Encode(1))), 32766);
    int8_t byte;
    ASSERT_TRUE(tbgen::ByteFromRaw(tbgen::BrokenRaw, byte));
    EXPECT_EQ(TbScore(TbDistance(TbMapByte(byte))), 0);
}

TEST(TablebaseWriter, MaterialNames) {
    const int kqkr = tbgen::TableNumber("kqkr");
    ASSERT_GT(kqkr, 0);
    EXPECT_STREQ(TbDescriptors[kqkr].name, "kqkr");
    EXPECT_EQ(tbgen::TableNumber("KQKR"), kqkr);
    EXPECT_EQ(tbgen::TableNumber("krkq"), kqkr);
    EXPECT_EQ(tbgen::TableNumber("kkp"), tbgen::TableNumber("kpk"));
    for (const char* bad : {"", "k", "kk", "kxk", "qkk", "kqqqqk", "kqk "}) EXPECT_EQ(tbgen::TableNumber(bad), 0) << bad;
    EXPECT_EQ(tbgen::TablesWithMen(3).size(), 5u);
    EXPECT_EQ(tbgen::TablesWithMen(4).size(), 30u);
    EXPECT_EQ(tbgen::TablesWithMen(5).size(), 110u);
}

TEST(TablebaseWriter, ThreeMenTablesProbeAsSolvedPlainAndCompressed) {
    endgame::Solver solver{endgame::SolveOptions()};
    tbtest::ScratchDir dir;
    const std::string plain = dir.Sub("plain"), packed = dir.Sub("packed");
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 5, plain, false));
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 5, packed, true));
    for (const std::string& path : {plain, packed}) {
        VTbCloseAll();
        ASSERT_EQ(IInitializeTb(path.c_str(), 1), 3);
        for (int t = 1; t <= 5; t++) {
            const tbtest::CheckCounts c = tbtest::CheckTable(solver, t, 1);
            EXPECT_EQ(c.mismatches, 0) << TbDescriptors[t].name;
            EXPECT_GT(c.positions, 40000) << TbDescriptors[t].name;
        }
    }
    VTbCloseAll();

    // The same input gives the same files; nothing temporary is left over.
    const std::string again = dir.Sub("again");
    ASSERT_TRUE(tbtest::WriteTables(solver, 1, 5, again, true));
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(again)) {
        const std::string name = e.path().filename().string();
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        EXPECT_EQ(bytes(e.path().string()), bytes(packed + "/" + name)) << name;
        files++;
    }
    EXPECT_EQ(files, 10);
}

TEST(TablebaseWriter, FailuresAreReportedAndLeaveNothingBehind) {
    endgame::Solver solver{endgame::SolveOptions()};
    tbtest::ScratchDir dir;
    tbgen::WriteOptions options;
    tbgen::WriteStats stats;
    std::string error;
    // Six men are beyond the solver.
    options.dir = dir.path;
    EXPECT_FALSE(tbgen::WriteTable(solver, tbgen::TableNumber("kqrkqr"), options, stats, error));
    EXPECT_NE(error.find("at most"), std::string::npos) << error;
    // A directory that cannot be written.
    const std::string locked = dir.Sub("locked");
    chmod(locked.c_str(), 0555);
    options.dir = locked;
    error.clear();
    const bool wrote = tbgen::WriteTable(solver, tbgen::TableNumber("kqk"), options, stats, error);
    if (geteuid() != 0) {   // root writes anyway
        EXPECT_FALSE(wrote);
        EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
        EXPECT_TRUE(std::filesystem::is_empty(locked));
    }
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(stats.files, wrote ? 2 : 0);
}

TEST(TablebaseTool, BuildThenProbeFromStandardInput) {
    tbtest::ScratchDir dir;
    auto run = [](const std::string& command) {
        std::string out;
        FILE* p = popen(command.c_str(), "r");
        if (!p) return out;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
        return out;
    };
    const std::string tool = KESTRION_TOOL;
    const std::string built = run(tool + " tablebases build kqk KRK --out " + dir.path + " --compress");
    EXPECT_NE(built.find("\nbytes "), std::string::npos) << built;
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/krk.nbb.emd"));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/kqk.nbw"));
    {
        std::ofstream fens(dir.path + "/fens.txt");
        fens << "8/8/8/4k3/8/8/8/3QK3 w - - 0 1\n"     // the queen wins in 7
                "8/8/8/4k3/8/8/8/3QK3 b - - 0 1\n"
                "8/8/8/8/8/8/8/kq2K3 w - - 0 1\n"      // the queen on black's side
                "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1\n"     // mated now
                "k7/8/1K6/8/8/8/7Q/8 w - - 0 1\n"      // mate in one
                "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\n"     // stalemate
                "k7/8/1K6/8/8/8/P7/8 w - - 0 1\n"      // no table
                "not a position\n";
    }
    const std::string probed = run(tool + " tablebases probe " + dir.path + " < " + dir.path + "/fens.txt 2>&1");
    EXPECT_EQ(probed, "mate 7\nmated 8\nmated 8\nmated 0\nmate 1\ndraw\nnone\nnone\nanswered 6 of 8\n");
    EXPECT_NE(run(tool + " tablebases build kxk 2>&1").find("no table"), std::string::npos);
    EXPECT_NE(run(tool + " tablebases probe " + dir.path + "/none 2>&1 </dev/null").find("no tables"), std::string::npos);
}
