// Block cache under pressure, and files that are damaged: never a crash,
// never a value that the file did not hold for that entry.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tablebases/format.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"

using namespace tablebases;
using namespace tbtest;

namespace {

class TbCacheTest : public TableTest {};

// kpkp, white to move: entry e holds a win in 1 + (e / 8192) % 100 moves,
// so every block can be told apart.
TableImage BlockNumbered() {
    TableImage t = BlankTable(TableNumber("kpkp"), 0, 0);
    for (uint64_t e = 0; e < t.bytes.size(); e++) SetRaw(t, e, RawForMoves(1 + static_cast<int>(e / BlockSize % 100)));
    return t;
}

int RawOfBlock(uint64_t block) { return RawForMoves(1 + static_cast<int>(block % 100)); }

}  // namespace

TEST_F(TbCacheTest, LeastRecentlyUsedBlockGoesFirst) {
    const TableImage t = BlockNumbered();
    ASSERT_TRUE(WriteTable(scratch.path, t, false));
    ASSERT_EQ(IInitializeTb(scratch.path.c_str(), 1), 4);
    const TbCacheStats start = TbCacheFigures();
    const uint32_t n = start.blocks;   // 126 blocks in a megabyte
    ASSERT_EQ(start.freeBlocks, n);
    ASSERT_GT(t.bytes.size() / BlockSize, n + 10);

    // Fill the cache and go four blocks beyond it: 0..3 are evicted.
    for (uint64_t b = 0; b < n + 4; b++) ASSERT_EQ(L_TbtProbeTable(t.iTb, 0, b * BlockSize + b), RawOfBlock(b));
    TbCacheStats s = TbCacheFigures();
    EXPECT_EQ(s.freeBlocks, 0u);
    EXPECT_EQ(s.reads, n + 4);
    uint32_t mru[4];
    ASSERT_EQ(CTbMruBlocks(mru, 4), 4);
    EXPECT_EQ(mru[0], n + 3);
    EXPECT_EQ(mru[3], n);

    // Block 5 is used again, so block 4 is now the oldest.
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 5 * BlockSize + 100), RawOfBlock(5));
    EXPECT_EQ(TbCacheFigures().reads, n + 4);
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 7), RawOfBlock(0));   // read again, evicts 4
    EXPECT_EQ(TbCacheFigures().reads, n + 5);
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 5 * BlockSize), RawOfBlock(5));
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 6 * BlockSize), RawOfBlock(6));
    EXPECT_EQ(TbCacheFigures().reads, n + 5);
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 4 * BlockSize + 1), RawOfBlock(4));
    EXPECT_EQ(TbCacheFigures().reads, n + 6);
    ASSERT_EQ(CTbMruBlocks(mru, 4), 4);
    EXPECT_EQ(mru[0], 4u);
    EXPECT_EQ(mru[1], 6u);
    EXPECT_EQ(mru[2], 5u);
    EXPECT_EQ(mru[3], 0u);

    // Entries past the table's end are no answer; re-registration starts afresh.
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, t.bytes.size()), TbtUnknown);
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 1, 0), TbtUnknown);
    ASSERT_EQ(IInitializeTb(scratch.path.c_str(), 1), 4);
    s = TbCacheFigures();
    EXPECT_EQ(s.freeBlocks, n);
    EXPECT_EQ(s.reads, 0u);
}

TEST_F(TbCacheTest, DamagedBlockGivesNoAnswerAndDropsThePart) {
    const TableImage t = BlockNumbered();
    ASSERT_TRUE(WriteTable(scratch.path, t, true));
    const std::string file = TablePath(scratch.path, t, true);
    FILE* f = std::fopen(file.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    // A byte in the last blocks' data.
    std::fseek(f, size - 3, SEEK_SET);
    const int old = std::fgetc(f);
    std::fseek(f, size - 3, SEEK_SET);
    std::fputc(old ^ 0x10, f);
    std::fclose(f);

    ASSERT_EQ(IInitializeTb(scratch.path.c_str(), 1), 4);
    const uint64_t last = (t.bytes.size() - 1) / BlockSize;
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 3), RawOfBlock(0));
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, last * BlockSize), TbtUnknown);
    const TbCacheStats s = TbCacheFigures();
    EXPECT_EQ(s.freeBlocks, s.blocks - 1);   // the failed block went back
    // Dropped: blocks not yet cached are no answer too, cached ones stay.
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 9 * BlockSize), TbtUnknown);
    EXPECT_EQ(L_TbtProbeTable(t.iTb, 0, 4), RawOfBlock(0));
}

TEST_F(TbCacheTest, DamagedFilesNeverAnswerWrongly) {
    // kqk both sides, each entry its own value; damage one file at a time.
    const int iTb = TableNumber("kqk");
    std::vector<TableImage> tables;
    for (int side = 0; side < 2; side++) {
        TableImage t = BlankTable(iTb, side, 0);
        for (uint64_t e = 0; e < t.bytes.size(); e++) SetRaw(t, e, RawForMoves(static_cast<int>(e % 251) - 125));
        tables.push_back(t);
    }
    std::mt19937 rng(17);
    int answered = 0;
    for (int round = 0; round < 24; round++) {
        const std::string dir = scratch.Sub("r" + std::to_string(round));
        const bool compressed = round % 2 == 0;
        for (const auto& t : tables) ASSERT_TRUE(WriteTable(dir, t, compressed));
        const TableImage& hurt = tables[round / 2 % 2];
        const std::string file = TablePath(dir, hurt, compressed);
        FILE* f = std::fopen(file.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        switch (round / 4 % 3) {
        case 0:   // bit flips anywhere
            for (int i = 0; i < 3; i++) {
                const long at = static_cast<long>(rng() % static_cast<uint32_t>(size));
                std::fseek(f, at, SEEK_SET);
                const int c = std::fgetc(f);
                std::fseek(f, at, SEEK_SET);
                std::fputc(c ^ (1 << (rng() % 8)), f);
            }
            break;
        case 1:   // random bytes of the same length
            std::fseek(f, 0, SEEK_SET);
            for (long i = 0; i < size; i++) std::fputc(static_cast<int>(rng() & 255), f);
            break;
        default:   // truncated
            std::fclose(f);
            f = nullptr;
            ASSERT_TRUE(WriteTable(dir, hurt, compressed, 1 + rng() % 100));
            break;
        }
        if (f) std::fclose(f);

        IInitializeTb(dir.c_str(), 1);
        // Plain files with flipped or random bytes cannot be told from good
        // ones; every other answer must be the entry's own value or none.
        const bool undetectable = !compressed && round / 4 % 3 != 2;
        for (int side = 0; side < 2; side++) {
            const TableImage& t = tables[side];
            for (uint64_t e = 0; e < t.bytes.size(); e += 37) {
                const int raw = L_TbtProbeTable(iTb, side, e);
                if (raw == TbtUnknown) continue;
                answered++;
                const bool intact = &t != &hurt;
                if (intact || !undetectable) {
                    EXPECT_EQ(raw, RawForMoves(static_cast<int>(e % 251) - 125)) << round;
                }
            }
        }
        VTbCloseAll();
    }
    EXPECT_GT(answered, 0);
}
