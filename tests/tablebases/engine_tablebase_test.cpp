// The engine with tablebases on its path, driven as a host drives it: the
// tables are registered at isready, the root and the tree probe them, and
// the hits are counted.
#include <gtest/gtest.h>

#include <string>

#include "../engine/engine_process.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"

namespace {

using testing_support::RunEngine;

const std::vector<std::string> Fast = {"cs2000"};

// King and queen against king, every entry "mate in 3" for white to move and
// "mated in 3" for black to move: wrong in detail, but what the engine shows
// can only come from the files.
std::string QueenTables(const tbtest::ScratchDir& dir) {
    tablebases::VInitTbDescriptors();  // the writer sizes tables by them
    const int tb = tbtest::TableNumber("kqk");
    EXPECT_GT(tb, 0);
    EXPECT_TRUE(tbtest::WriteTable(dir.path, tbtest::BlankTable(tb, 0, tbtest::RawForMoves(3)), false));
    EXPECT_TRUE(tbtest::WriteTable(dir.path, tbtest::BlankTable(tb, 1, tbtest::RawForMoves(-3)), false));
    return dir.path;
}

std::string Search(const std::string& path, const std::string& use, const std::string& fen, int depth) {
    std::string input = "setoption name OwnBook value false\nsetoption name NalimovPath value " + path +
                        "\nsetoption name Use Tablebases value " + use + "\nisready\nposition fen " + fen +
                        "\ngo depth " + std::to_string(depth) + "\n";
    return RunEngine(Fast, input, 30.0, "bestmove").output;
}

TEST(EngineTablebases, RootAndTreeProbesAreCounted) {
    tbtest::ScratchDir dir;
    const std::string path = QueenTables(dir);
    // The root is in the tables: its value is announced as found.
    const std::string root = Search(path, "Normal", "8/8/8/4k3/8/8/8/3QK3 w - - 0 1", 2);
    EXPECT_NE(root.find(" tbhits "), std::string::npos) << root;
    EXPECT_NE(root.find("bestmove "), std::string::npos) << root;

    // A capture into the material is probed in the tree: black takes the
    // queen's partner and the position left is in the tables.
    const std::string tree = Search(path, "Normal", "8/8/8/4k3/3r4/8/8/3QK3 b - - 0 1", 3);
    EXPECT_NE(tree.find(" tbhits "), std::string::npos) << tree;

    // "Never" probes nothing.
    const std::string never = Search(path, "Never", "8/8/8/4k3/8/8/8/3QK3 w - - 0 1", 2);
    EXPECT_EQ(never.find("tbhits"), std::string::npos) << never;
}

}  // namespace
