// Decision diagrams: bit packing, node kinds, and diagrams that would lead a
// walk outside what was read.
#include <gtest/gtest.h>

#include <random>

#include "bitbases/diagram.h"
#include "tbe_writer.h"

namespace {

using bitbases::ByteReader;
using bitbases::DecisionDiagram;

bool ReadBytes(DecisionDiagram& d, const std::vector<uint8_t>& bytes) {
    ByteReader in{bytes.data(), bytes.size(), 0};
    return d.Read(in) && in.Left() == 0;
}

TEST(BitbaseDiagram, PackedEntriesStraddleWordsAndKeepAllOf32Bits) {
    // Width 7, entry 4 takes bits 28..34: the top four bits of word 0 and
    // the low three of word 1.
    bitbases::DiagramLevel l;
    l.width = 7;
    l.entryCount = 5;
    l.entries = {0xA0000000u, 0x5u, 0, 0};
    EXPECT_EQ(l.Entry(4), 0x5Au);  // 101 1010
    EXPECT_EQ(l.Entry(0), 0u);

    bitbases::DiagramLevel wide;
    wide.width = 32;
    wide.entryCount = 2;
    wide.entries = {0x89ABCDEFu, 0xFFFFFFFFu, 0, 0};
    EXPECT_EQ(wide.Entry(0), 0x89ABCDEFu);
    EXPECT_EQ(wide.Entry(1), 0xFFFFFFFFu);
}

TEST(BitbaseDiagram, NodeKindsAndEmptyDiagram) {
    DecisionDiagram d;
    ASSERT_TRUE(ReadBytes(d, bbtest::DiagramBytes({})));
    EXPECT_EQ(d.Walk(0), 0u);
    EXPECT_EQ(d.Walk(0xFFFFFFFFu), 0u);

    // Level 1: a two-way node 0 whose successors are nodes 1 and 0 of level
    // 0. Level 0: node 0 two-way (2, 2); node 1 one-entry storing 0, so it
    // yields 0 for bit 0 and 1 for bit 1.
    bbtest::RawDiagram raw;
    raw.levels = {{2, {2, 2, 0}}, {1, {1, 0}}};
    raw.twoWay = {1, 1};
    ASSERT_TRUE(ReadBytes(d, bbtest::DiagramBytes(raw)));
    EXPECT_EQ(d.Walk(0b00), 0u);
    EXPECT_EQ(d.Walk(0b01), 1u);
    EXPECT_EQ(d.Walk(0b10), 2u);
    EXPECT_EQ(d.Walk(0b11), 2u);
    EXPECT_EQ(d.Size(), 12u + (12 + 4) + (12 + 4));

    // Width 32 at level 0 still reads small verdicts.
    raw.levels[0].width = 32;
    ASSERT_TRUE(ReadBytes(d, bbtest::DiagramBytes(raw)));
    EXPECT_EQ(d.Walk(0b01), 1u);
    EXPECT_EQ(d.Size(), 12u + (12 + 12) + (12 + 4));
}

TEST(BitbaseDiagram, RandomTablesRoundTrip) {
    std::mt19937 rng(7);
    for (int bits : {1, 5, 11}) {
        std::vector<int> truth(size_t(1) << bits);
        // Runs of equal verdicts make one-entry nodes likely.
        for (size_t k = 0; k < truth.size(); k++) truth[k] = (rng() % 4 == 0) ? int(rng() % 3) : int(k / 7 % 3);
        for (bool twoWayOnly : {false, true}) {
            DecisionDiagram d;
            ASSERT_TRUE(ReadBytes(d, bbtest::DiagramBytes(bbtest::BuildDiagram(
                                         bits, [&](uint32_t k) { return truth[k]; }, twoWayOnly))));
            for (uint32_t k = 0; k < truth.size(); k++) ASSERT_EQ(d.Walk(k), uint32_t(truth[k])) << k;
        }
    }
}

TEST(BitbaseDiagram, RejectsDiagramsThatLeaveWhatWasRead) {
    bbtest::RawDiagram good;
    good.levels = {{2, {2, 2, 0}}, {1, {1, 0}}};
    good.twoWay = {1, 1};
    std::vector<bbtest::RawDiagram> bad(6, good);
    bad[0].levels[1] = {2, {1, 2}};          // node 2 of level 0 does not exist
    bad[1].levels[0].values = {3, 2, 0};     // 3 is no verdict
    bad[2].levels[0].values = {2, 2, 2};     // one-entry 2 yields 3 for bit 1
    bad[3].twoWay = {2, 1};                  // two-way node 1 needs entries 2 and 3
    bad[4].twoWay = {1, 0};                  // root as one-entry node: entry 0 is 1, needs node 2
    bad[5].levels[0].width = 33;
    for (size_t i = 0; i < bad.size(); i++) {
        DecisionDiagram d;
        std::vector<uint8_t> bytes = bbtest::DiagramBytes(bad[i]);
        EXPECT_FALSE(ReadBytes(d, bytes)) << i;
        EXPECT_EQ(d.levelCount, 0) << i;
    }
    // 33 levels, and a level whose words would run past the end.
    std::vector<uint8_t> many = {0, 33, 0, 0, 0};
    DecisionDiagram d;
    EXPECT_FALSE(ReadBytes(d, many));
    std::vector<uint8_t> huge = {0, 1, 0, 0, 0, 32, 0, 0, 0, 0xff, 0xff, 0xff, 0x0f, 0, 0, 0, 0};
    EXPECT_FALSE(ReadBytes(d, huge));
    // Width 0 with billions of entries reads only zeros and needs no words:
    // the root is a one-entry node storing 0.
    std::vector<uint8_t> zeros = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0};
    EXPECT_TRUE(ReadBytes(d, zeros));
    EXPECT_EQ(d.Walk(0), 0u);
    EXPECT_EQ(d.Walk(1), 1u);

    // Every cut of a good diagram is refused.
    std::vector<uint8_t> bytes = bbtest::DiagramBytes(good);
    for (size_t n = 0; n < bytes.size(); n++) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
        ByteReader in{cut.data(), cut.size(), 0};
        EXPECT_FALSE(d.Read(in)) << n;
    }
}

}  // namespace
