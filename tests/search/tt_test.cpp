#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/memory.h"
#include "eval/cache.h"
#include "board/makemove.h"
#include "search/tt.h"

namespace {

using search::ProbeResult;
using search::SearchEntry;

// Fails every request above a size and remembers the largest one asked for.
size_t failAbove = 0, largestRequest = 0;
void* LimitedCalloc(size_t count, size_t size) {
    if (count * size > largestRequest) largestRequest = count * size;
    return count * size > failAbove ? nullptr : std::calloc(count, size);
}
int callsSeen = 0;
void* FailSecondCall(size_t count, size_t size) {
    return ++callsSeen == 2 ? nullptr : std::calloc(count, size);
}

board::NodeRecord Node(uint32_t lower, uint32_t upper, int side = 0, int ply = 3) {
    board::NodeRecord node{};
    node.key[0] = lower;
    node.key[1] = upper;
    node.side = uint8_t(side);
    node.ply = uint8_t(ply);
    return node;
}

constexpr board::Move MoveA = 0x1234, MoveB = 0x5678, MoveC = 0x9abc;

class HashTables : public ::testing::Test {
protected:
    void SetUp() override {
        core::hashAllocator = std::calloc;
        search::FreeHashTables();
        ASSERT_EQ(search::AllocateHash(search::StartHashKilobytes), 1);
        search::searchNumber = 5;
        search::hashWrites = 0;
    }
    void TearDown() override {
        core::hashAllocator = std::calloc;
        search::FreeHashTables();
    }
    static ProbeResult Probe(const board::NodeRecord& node) {
        ProbeResult r{};
        EXPECT_EQ(search::ProbeSearch(&node, r), 1);
        return r;
    }
    static bool Misses(const board::NodeRecord& node) {
        ProbeResult r{};
        return search::ProbeSearch(&node, r) == 0;
    }
    static SearchEntry& Slot(const board::NodeRecord& node, int tier) {
        return search::SearchTables[tier - 1][node.side][search::HashIndex(&node)];
    }
};

TEST_F(HashTables, SizingFollowsTheHashOption) {
    EXPECT_EQ(search::HashKilobytesFor(1), 0);  // ignored
    EXPECT_EQ(search::HashKilobytesFor(-7), 0);
    EXPECT_EQ(search::HashKilobytesFor(2), 4096);
    EXPECT_EQ(search::HashKilobytesFor(3), 4096);
    EXPECT_EQ(search::HashKilobytesFor(5000), int64_t(4096) * 1024);
    int s, e;
    search::SplitKilobytes(int64_t(4096) * 1024, s, e);
    EXPECT_EQ(s, 3355444);
    EXPECT_EQ(s + e, 4096 * 1024);
    // The start-up size: four search tables in 3277 KB, two evaluation tables in 819 KB.
    EXPECT_EQ(search::searchKilobytes, 3277);
    EXPECT_EQ(eval::evalKilobytes, 819);
    EXPECT_EQ(search::SearchEntries, 3277u * 1024 / 64);
    EXPECT_EQ(eval::EvalEntries, 819u * 1024 / 16);
}

TEST_F(HashTables, ResizeOnlyWhenTheShareChanges) {
    auto node = Node(777, 999);
    search::StoreSearch(&node, MoveA, 10, -50, 50, 4, 0, 0);
    SearchEntry* before = search::SearchTables[0][0];
    search::SetHashSize(1);  // ignored
    search::SetHashSize(3);  // the same 4096 KB
    EXPECT_EQ(search::SearchTables[0][0], before);
    EXPECT_EQ(Probe(node).move, MoveA);
    search::SetHashSize(8);
    EXPECT_EQ(search::searchKilobytes + eval::evalKilobytes, 8192);
    EXPECT_TRUE(Misses(node));  // fresh tables start empty
}

TEST_F(HashTables, FailedAllocationFallsBack) {
    core::hashAllocator = LimitedCalloc;
    failAbove = 64 << 20;
    largestRequest = 0;
    search::SetHashSize(5000);
    EXPECT_EQ(largestRequest, size_t(3355444) * 1024 / 4);  // the maximum was asked for
    EXPECT_EQ(search::searchKilobytes, 3072);
    EXPECT_EQ(eval::evalKilobytes, 1024);
    EXPECT_EQ(search::SearchEntries, 3072u * 1024 / 64);
    EXPECT_EQ(eval::EvalEntries, 1024u * 1024 / 16);

    // No memory at all: everything is a safe no-op.
    failAbove = 0;
    EXPECT_EQ(search::AllocateSearchTables(8192), 0);
    EXPECT_EQ(eval::AllocateEvalTables(2048), 0);
    EXPECT_EQ(eval::EvalTables[0], nullptr);
    auto node = Node(1, 2);
    search::StoreSearch(&node, MoveA, 0, -1, 1, 3, 0, 0);
    search::StoreQuiesce(&node, MoveA, 0, -1, 1, 0);
    search::ClearSearchTables();
    EXPECT_TRUE(Misses(node));
    EXPECT_EQ(search::HashFull(), 0);
}

TEST_F(HashTables, RoundTripBoundsAndMateDistance) {
    auto node = Node(4242, 0xdeadbeef, 1, 5);
    search::StoreSearch(&node, MoveA, 120, 100, 200, 7, 1, 0xc0000000u);
    ProbeResult r = Probe(node);
    EXPECT_EQ(r.move, MoveA);
    EXPECT_EQ(r.move2, 0u);
    EXPECT_EQ(r.marks, 0xc0000000u);
    EXPECT_EQ(r.value, 120);
    EXPECT_EQ(r.depth, 7);
    EXPECT_EQ(r.flags, 5 | search::EntryMateThreat);
    EXPECT_TRUE(Misses(Node(4242, 0xdeadbeef, 0, 5)));  // the other side's tables

    search::StoreSearch(&node, MoveA, -29990, -100, 100, 8, 0, 0);
    r = Probe(node);
    EXPECT_EQ(r.flags & 0xc0, search::EntryUpper);
    EXPECT_EQ(r.value, -29700);
    search::StoreSearch(&node, MoveA, 29990, -100, 100, 9, 0, 0);
    r = Probe(node);
    EXPECT_EQ(r.flags & 0xc0, search::EntryLower);
    EXPECT_EQ(r.value, 29700);
    // Exact mate scores are kept relative to the node at ply 5.
    search::StoreSearch(&node, MoveA, 29990, -30000, 30000, 10, 0, 0);
    EXPECT_EQ(Probe(node).value, 29994);
    search::StoreSearch(&node, MoveA, -29980, -30000, 30000, 11, 0, 0);
    EXPECT_EQ(Probe(node).value, -29984);
}

TEST_F(HashTables, ReplacementBetweenTiers) {
    // A deeper entry of this search keeps tier 1; the shallower one goes to tier 2.
    auto node = Node(100, 200);
    search::StoreSearch(&node, MoveA, 50, -100, 100, 8, 0, 0);
    search::StoreSearch(&node, MoveB, 60, -100, 100, 3, 0, 0);
    ProbeResult r = Probe(node);
    EXPECT_EQ(r.tier, 1);
    EXPECT_EQ(r.move, MoveA);
    EXPECT_EQ(Slot(node, 2).move, MoveB);

    // In the next search another position takes tier 1 and the old entry moves down.
    search::NewSearchNumber();
    auto other = Node(100, 300);
    search::StoreSearch(&other, MoveC, 10, -100, 100, 2, 0, 0);
    EXPECT_EQ(Probe(other).tier, 1);
    r = Probe(node);
    EXPECT_EQ(r.tier, 2);
    EXPECT_EQ(r.depth, 8);
    EXPECT_EQ(search::hashWrites, 1u);
    // Overwriting its own entry of this search neither moves nor counts anything.
    search::StoreSearch(&other, MoveB, 11, -100, 100, 3, 0, 0);
    EXPECT_EQ(Probe(other).move, MoveB);
    EXPECT_EQ(Probe(node).tier, 2);
    EXPECT_EQ(search::hashWrites, 1u);
}

TEST_F(HashTables, LearnedEntriesYieldOnlyToDeeperResults) {
    auto node = Node(555, 666);
    Slot(node, 1) = search::EncodeEntry(666, MoveA, MoveB, 35, 9, search::LearnedSn);
    search::StoreSearch(&node, MoveC, -20, -100, 100, 6, 0, 0);
    ProbeResult r = Probe(node);
    EXPECT_EQ(r.move, MoveA);
    EXPECT_EQ(r.move2, MoveB);
    EXPECT_EQ(r.depth, 9);

    search::StoreSearch(&node, MoveC, -20, -100, 100, 9, 0, 0);
    r = Probe(node);
    EXPECT_EQ(r.move, MoveC);
    EXPECT_EQ(r.sn, search::LearnedSn);  // still protected

    auto other = Node(555, 667);
    search::StoreSearch(&other, MoveB, 0, -100, 100, 20, 0, 0);
    EXPECT_EQ(Probe(other).tier, 2);
    EXPECT_EQ(Probe(node).move, MoveC);
}

TEST_F(HashTables, QuiescenceStoreRespectsSearchEntries) {
    auto node = Node(31, 41);
    search::StoreSearch(&node, MoveA, 5, -100, 100, 4, 0, 0);
    search::StoreQuiesce(&node, MoveB, 7, -100, 100, 0);
    EXPECT_EQ(Probe(node).move, MoveA);

    search::NewSearchNumber();
    search::StoreQuiesce(&node, MoveB, 7, -100, 100, -1);
    ProbeResult r{};
    ASSERT_EQ(search::ProbeQuiesce(&node, r), 1);
    EXPECT_EQ(r.move, MoveB);
    EXPECT_EQ(r.depth, -1);
    EXPECT_EQ(search::EntrySn(Slot(node, 2)), 0);  // tier 2 untouched

    Slot(node, 1) = search::EncodeEntry(41, MoveA, 0, 1, 3, search::LearnedSn);
    search::StoreQuiesce(&node, MoveC, 7, -100, 100, 0);
    EXPECT_EQ(Probe(node).move, MoveA);
}

TEST_F(HashTables, OnlyWholeEntriesOfThePositionMatch) {
    auto node = Node(8, 9);
    search::StoreSearch(&node, MoveA, 70, -100, 100, 5, 0, 0);
    SearchEntry saved = Slot(node, 1);
    Slot(node, 1).move ^= 0x80;  // half-written record
    EXPECT_TRUE(Misses(node));
    Slot(node, 1) = saved;
    Slot(node, 1).data ^= 1u << 16;
    EXPECT_TRUE(Misses(node));
    Slot(node, 1) = saved;
    EXPECT_FALSE(Misses(node));
    EXPECT_TRUE(Misses(Node(8, 10)));     // same index, other upper half
    EXPECT_TRUE(Misses(Node(12345, 0)));  // an empty slot matches no key

    // The en-passant square is part of the index.
    uint32_t keep = board::EnPassantKey[21];
    board::EnPassantKey[21] = 0x13579bdf;
    auto withEp = node;
    withEp.flags = 21;
    EXPECT_NE(search::HashIndex(&node), search::HashIndex(&withEp));
    EXPECT_TRUE(Misses(withEp));
    board::EnPassantKey[21] = keep;
}

TEST_F(HashTables, SearchNumbersWrapAndSignaturesGateCutoffs) {
    search::searchNumber = search::FirstSn;
    for (int go = 1; go <= 29; ++go) search::NewSearchNumber();
    EXPECT_EQ(search::searchNumber, 31);
    search::NewSearchNumber();
    EXPECT_EQ(search::searchNumber, 2);  // the 30th go

    search::RecordSignature(111);
    int old = search::searchNumber;
    search::NewSearchNumber();
    search::RecordSignature(111);
    EXPECT_TRUE(search::SignatureMatches(old));  // same weights: old entries may cut
    search::NewSearchNumber();
    search::RecordSignature(222);  // a weight changed
    EXPECT_FALSE(search::SignatureMatches(old));
    EXPECT_TRUE(search::SignatureMatches(search::searchNumber));
    EXPECT_TRUE(search::SignatureMatches(search::LearnedSn));
    EXPECT_FALSE(search::SignatureMatches(32));
}

TEST_F(HashTables, HashFullCountsTierOneWrites) {
    uint32_t n = search::SearchEntries;
    for (uint32_t i = 0; i < n / 10; ++i) {
        auto node = Node(i, i + 1);
        search::StoreSearch(&node, MoveA, 0, -1, 1, 2, 0, 0);
    }
    EXPECT_EQ(search::HashFull(), int(uint64_t(n / 10) * 500 / n));
    search::hashWrites = 5 * n;
    EXPECT_EQ(search::HashFull(), 1000);
    search::NewSearchNumber();
    EXPECT_EQ(search::HashFull(), 0);
}

TEST(BoardTables, AllocateClearAndFailCleanly) {
    auto tree = std::make_unique<board::Tree>();
    ASSERT_EQ(search::AllocateBoardTables(*tree), 1);
    tree->pawnCache[16384 * 200 - 1] = 7;
    tree->auxTable[65535] = 7;
    tree->materialTable[4095] = 7;
    eval::ClearPawnCache(*tree);
    search::ClearAuxTable(*tree);
    eval::ClearMaterialTable(*tree);
    EXPECT_EQ(tree->pawnCache[16384 * 200 - 1], 0);
    EXPECT_EQ(tree->auxTable[65535], 0u);
    EXPECT_EQ(tree->materialTable[4095], 0u);

    core::hashAllocator = FailSecondCall;  // the 65536-entry table
    callsSeen = 0;
    EXPECT_EQ(search::AllocateBoardTables(*tree), 0);
    EXPECT_EQ(tree->pawnCache, nullptr);
    EXPECT_EQ(tree->materialTable, nullptr);
    core::hashAllocator = std::calloc;
}

// A 32-bit process cannot hold all of the largest tables: whichever set does not
// fit must fall back cleanly and leave consistent, usable tables.
TEST(HashTablesLarge, MaximumOnThirtyTwoBitsFallsBack) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "only meaningful in a 32-bit address space";
    core::hashAllocator = std::calloc;
    search::FreeHashTables();
    search::SetHashSize(search::MaxHashMegabytes);
    int s, e;
    search::SplitKilobytes(int64_t(search::MaxHashMegabytes) * 1024, s, e);
    EXPECT_TRUE(search::searchKilobytes == s || search::searchKilobytes == search::FallbackSearchKilobytes);
    EXPECT_TRUE(eval::evalKilobytes == e || eval::evalKilobytes == eval::FallbackEvalKilobytes);
    EXPECT_FALSE(search::searchKilobytes == s && eval::evalKilobytes == e);
    EXPECT_EQ(search::SearchEntries, uint32_t(search::searchKilobytes) * 1024 / 64);
    board::NodeRecord node = Node(0, 5);
    search::StoreSearch(&node, 0x42, 0, -1, 1, 2, 0, 0);
    ProbeResult r{};
    EXPECT_EQ(search::ProbeSearch(&node, r), 1);
    search::FreeHashTables();
}

}  // namespace
