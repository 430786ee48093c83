// The go parser, set level and the strength-limit node budget.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "core/platform.h"
#include "engine/uci.h"
#include "search/limits.h"

TEST(SetLevel, FillsTheLimitsRecord) {
    search::SetLevel(0, 1500);
    EXPECT_EQ(search::limits.target, 1500);
    EXPECT_EQ(search::limits.extra, 1500);
    EXPECT_EQ(search::limits.depthLimit, 99);
    EXPECT_EQ(search::limits.clockMode, 0);
    search::SetLevel(1, 12);
    EXPECT_EQ(search::limits.depthLimit, 12);
    EXPECT_EQ(search::limits.target, INT_MAX);
    search::SetLevel(3, 0);
    EXPECT_EQ(search::limits.clockMode, 1);
    EXPECT_EQ(search::limits.target, 0);
    EXPECT_EQ(search::limits.depthLimit, 99);
}

TEST(StrengthLimit, NodeBudgetFollowsElo) {
    // Odd random words raise the budget, even ones lower it.
    EXPECT_EQ(engine::StrengthNodeBudget(1400, 1).nodes, 161);
    EXPECT_EQ(engine::StrengthNodeBudget(1400, 2).nodes, 158);
    // The word is taken as signed: all ones is -1, so d = 1.
    EXPECT_EQ(engine::StrengthNodeBudget(1400, 0xffffffffu).nodes, 161);
    EXPECT_EQ(engine::StrengthNodeBudget(1400, 0x80000000u).nodes, 152);
    EXPECT_EQ(engine::StrengthNodeBudget(1400, 1).interval, 161 / 50 + 1);
    // The weakest level searches three nodes with a poll at every node.
    for (uint32_t r : {0u, 1u, 2u, 77u, 0xfffffffeu}) {
        auto b = engine::StrengthNodeBudget(850, r);
        EXPECT_EQ(b.nodes, 3);
        EXPECT_EQ(b.interval, 1);
    }
    // n doubles every 100 Elo and the budget stays between n/4 and 4n.
    for (int elo : {1000, 1400, 2000, 2400}) {
        double n = 10.0 * std::pow(2.0, (elo - 1000) / 100.0);
        for (uint32_t r = 0; r < 5000; r += 7) {
            auto b = engine::StrengthNodeBudget(elo, r * 2654435761u);
            EXPECT_GE(b.nodes, int(n / 4) - 1) << elo;
            EXPECT_LE(b.nodes, int(4 * n)) << elo;
            EXPECT_EQ(b.interval, b.nodes / 50 + 1);
        }
    }
    EXPECT_EQ(engine::StrengthNodeBudget(2400, 0).nodes, 163840);
}

TEST(Platform, LineEndRules) {
    char a[] = "isready\r\n";
    core::StripLineEnd(a);
    EXPECT_STREQ(a, "isready");
    char b[] = "\n";
    core::StripLineEnd(b);
    EXPECT_STREQ(b, "");
    char c[] = "go\r\r\n";
    core::StripLineEnd(c);
    EXPECT_STREQ(c, "go\r");
    char d[] = "stop\n\n";
    core::StripLineEnd(d);
    EXPECT_STREQ(d, "stop\n");
}

TEST(Platform, RandomGeneratorIsSeededOnce) {
    core::RandomSeed(1);
    uint32_t first = core::RandomNext();
    uint32_t second = core::RandomNext();
    EXPECT_NE(first, second);
    core::RandomSeed(999);  // later seeds do nothing: the sequence goes on
    uint32_t third = core::RandomNext();
    EXPECT_NE(third, second);
    // Bits are spread: over many draws every bit is set at some point.
    uint32_t orAll = 0, andAll = ~0u;
    for (int i = 0; i < 1000; i++) {
        uint32_t r = core::RandomNext();
        orAll |= r;
        andAll &= r;
    }
    EXPECT_EQ(orAll, 0xffffffffu);
    EXPECT_EQ(andAll, 0u);
}
