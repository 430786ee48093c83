// Registry: value conversions, file names, the directory search and the
// cache size.
#include <gtest/gtest.h>

#include <string>

#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"

using namespace tablebases;
using namespace tbtest;

namespace {

class TbRegistryTest : public TableTest {};

// White Ka1, black Kh8, a white man of engine code `code` on b3.
int ProbeOne(int code) {
    uint8_t board[65] = {};
    board[1] = 1, board[64] = 9, board[18] = static_cast<uint8_t>(code);
    return TbProbeScore(board, 0, 0);
}

// A 3-men table side where every entry is a win in `moves`.
void WriteFlat(const std::string& dir, const std::string& name, int moves, size_t cut = 0) {
    ASSERT_TRUE(WriteTable(dir, BlankTable(TableNumber(name), 0, RawForMoves(moves)), false, cut));
}

}  // namespace

TEST(TbConvert, RawValuesDistancesAndScores) {
    EXPECT_EQ(TbDistance(32766), 1);
    EXPECT_EQ(TbScore(TbDistance(32766)), 29998);
    EXPECT_EQ(TbDistance(-32766), -1);
    EXPECT_EQ(TbScore(TbDistance(-32766)), -30000);
    EXPECT_EQ(TbScore(TbDistance(32767 - 40)), 30000 - 80);
    EXPECT_EQ(TbScore(TbDistance(-32767 + 40)), -30002 + 80);
    EXPECT_EQ(TbDistance(0), 0);
    EXPECT_EQ(TbDistance(32767), 0);
    EXPECT_EQ(TbScore(0), 0);
    // The codes without a distance would leave the score window.
    EXPECT_EQ(TbScore(TbDistance(-32767)), TbNoAnswer);
    EXPECT_EQ(TbScore(TbDistance(-32768)), TbNoAnswer);
}

TEST(TbConvert, EightBitEntries) {
    EXPECT_EQ(TbMapByte(0), 0);
    EXPECT_EQ(TbMapByte(127), 32767);
    EXPECT_EQ(TbMapByte(126), 32766);
    EXPECT_EQ(TbMapByte(1), 32641);
    EXPECT_EQ(TbMapByte(-1), -32641);
    EXPECT_EQ(TbMapByte(-126), -32766);
    EXPECT_EQ(TbMapByte(-127), -32640);
    EXPECT_EQ(TbMapByte(-128), 32640);
    // Every byte gives a distance of at most 127 moves and a mate score.
    for (int v = -128; v < 128; v++) {
        const int d = TbDistance(TbMapByte(static_cast<int8_t>(v)));
        EXPECT_LE(d < 0 ? -d : d, 127) << v;
        const int s = TbScore(d);
        EXPECT_TRUE(s == 0 || s > 29000 || s < -29000) << v;
    }
}

TEST(TbNames, FileNamesAndTheNameBuffer) {
    VInitTbDescriptors();
    char name[1024];
    const int kqk = TableNumber("kqk");
    ASSERT_TRUE(FTbFileName(name, sizeof name, "/tb", kqk, 0, 0, false));
    EXPECT_STREQ(name, "/tb/kqk.nbw");
    ASSERT_TRUE(FTbFileName(name, sizeof name, "/tb/", kqk, 1, 0, true));
    EXPECT_STREQ(name, "/tb/kqk.nbb.emd");
    ASSERT_TRUE(FTbFileName(name, sizeof name, "", kqk, 1, 0, false));
    EXPECT_STREQ(name, "kqk.nbb");
    int split = 0;
    for (int i = 1; i <= TableCount && !split; i++)
        if (TbDescriptors[i].flags & TbSplit) split = i;
    ASSERT_GT(split, 145);
    ASSERT_TRUE(FTbFileName(name, sizeof name, "d", split, 0, 0, false));
    EXPECT_EQ(std::string(name), std::string("d/") + TbDescriptors[split].name + ".0.nbw");
    ASSERT_TRUE(FTbFileName(name, sizeof name, "d", split, 1, 11, false));
    EXPECT_EQ(std::string(name), std::string("d/") + TbDescriptors[split].name + ".b.nbb");
    // "/tb/kqk.nbw" needs 12 bytes with its end.
    EXPECT_TRUE(FTbFileName(name, 12, "/tb", kqk, 0, 0, false));
    EXPECT_FALSE(FTbFileName(name, 11, "/tb", kqk, 0, 0, false));
}

TEST_F(TbRegistryTest, RegistryIndexHoldsBothColourOrders) {
    const std::string dir = scratch.path;
    WriteFlat(dir, "kqk", 1);
    ASSERT_TRUE(WriteTable(dir, BlankTable(TableNumber("kpkp"), 0, 0), false));
    ASSERT_EQ(IInitializeTb(dir.c_str(), 1), 4);
    int counts[10] = {0, 0, 0, 0, 1};
    EXPECT_EQ(ITbLookup(counts), TableNumber("kqk"));
    int reversed[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(ITbLookup(reversed), -TableNumber("kqk"));
    int pawns[10] = {1, 0, 0, 0, 0, 1};
    EXPECT_EQ(ITbLookup(pawns), TableNumber("kpkp"));
    int rook[10] = {0, 0, 0, 1};
    EXPECT_EQ(ITbLookup(rook), 0);
    int many[10] = {4};
    EXPECT_EQ(ITbLookup(many), 0);
}

TEST_F(TbRegistryTest, PathSeparatorsAndTheFirstDirectoryWins) {
    const std::string a = scratch.Sub("a"), b = scratch.Sub("b"), c = scratch.Sub("c"), d = scratch.Sub("d");
    WriteFlat(a, "kqk", 1);
    WriteFlat(b, "krk", 2);
    WriteFlat(c, "kbk", 3);
    WriteFlat(d, "knk", 4);
    WriteFlat(d, "kqk", 9);   // hidden by a's copy
    const std::string path = a + ";" + b + ":" + c + "," + d;
    ASSERT_EQ(IInitializeTb(path.c_str(), 1), 3);
    EXPECT_EQ(ProbeOne(7), ScoreForMoves(1));
    EXPECT_EQ(ProbeOne(6), ScoreForMoves(2));
    EXPECT_EQ(ProbeOne(5), ScoreForMoves(3));
    EXPECT_EQ(ProbeOne(3), ScoreForMoves(4));
    EXPECT_EQ(ProbeOne(2), TbNoAnswer);

    // A damaged copy in the first directory is passed over for the next one.
    WriteFlat(a, "kqk", 1, 1);
    ASSERT_EQ(IInitializeTb(path.c_str(), 1), 3);
    EXPECT_EQ(ProbeOne(7), ScoreForMoves(9));
}

TEST_F(TbRegistryTest, PathsThatFindNothing) {
    const std::string dir = scratch.path;
    WriteFlat(dir, "kqk", 1);
    // A file where a directory should be, a directory where a file should
    // be, a missing directory, empty pieces and a path beyond what is kept.
    const std::string notDir = dir + "/kqk.nbw";
    const std::string holder = scratch.Sub("holder");
    scratch.Sub("holder/krk.nbw");
    const std::string path = ";" + notDir + "::" + holder + ",/no/such/dir;";
    EXPECT_EQ(IInitializeTb(path.c_str(), 1), 0);
    EXPECT_EQ(ProbeOne(6), TbNoAnswer);
    std::string longPath(2000, 'x');
    EXPECT_EQ(IInitializeTb(longPath.c_str(), 1), 0);
    // Past the 511 characters kept, the good directory is not seen.
    EXPECT_EQ(IInitializeTb((std::string(600, ';') + dir).c_str(), 1), 0);
    EXPECT_EQ(IInitializeTb((std::string(400, ';') + dir).c_str(), 1), 3);
    EXPECT_EQ(IInitializeTb("", 1), 0);
    EXPECT_EQ(IInitializeTb(nullptr, 1), 0);
    EXPECT_EQ(ProbeOne(7), TbNoAnswer);
}

TEST_F(TbRegistryTest, CacheSizeOutOfRangeIsIgnored) {
    const std::string dir = scratch.path;
    WriteFlat(dir, "kqk", 1);
    ASSERT_EQ(IInitializeTb(dir.c_str(), 4), 3);
    const uint32_t four = TbCacheFigures().blocks;
    EXPECT_EQ(four, 4u * 1048576 / 8260);
    EXPECT_EQ(IInitializeTb(dir.c_str(), 0), 3);
    EXPECT_EQ(TbCacheFigures().blocks, four);
    EXPECT_EQ(IInitializeTb(dir.c_str(), 257), 3);
    EXPECT_EQ(TbCacheFigures().blocks, four);
    EXPECT_EQ(IInitializeTb(dir.c_str(), 1), 3);
    EXPECT_EQ(TbCacheFigures().blocks, 1048576u / 8260);
    EXPECT_EQ(IInitializeTb(dir.c_str(), 256), 3);
    EXPECT_EQ(TbCacheFigures().blocks, 268435456u / 8260);
    EXPECT_EQ(ProbeOne(7), ScoreForMoves(1));
    VTbCloseAll();
    EXPECT_EQ(TbCacheFigures().blocks, 0u);
    EXPECT_EQ(CTbMaxMen(), 0);
}
