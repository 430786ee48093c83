// The match statistics: pentanomial counts, Elo with its error bar, and the
// test that decides between two Elo hypotheses.
#include <gtest/gtest.h>

#include <cmath>

#include "sprt.h"

namespace {

using tools::Pentanomial;
using tools::Sprt;

Pentanomial Counts(int64_t a, int64_t b, int64_t c, int64_t d, int64_t e) {
    Pentanomial p;
    int64_t v[5] = {a, b, c, d, e};
    for (int i = 0; i < 5; i++) p.counts[i] = v[i];
    return p;
}

TEST(Pentanomial, PairsAreCountedByTheirPoints) {
    Pentanomial p;
    p.Add(1, 1);
    p.Add(1, 0);
    p.Add(0.5, 0);
    p.Add(0.5, 0.5);
    p.Add(0, 0);
    p.Add(1, 0.5);
    EXPECT_EQ(p.counts[0], 1);
    EXPECT_EQ(p.counts[1], 1);
    EXPECT_EQ(p.counts[2], 2);
    EXPECT_EQ(p.counts[3], 1);
    EXPECT_EQ(p.counts[4], 1);
    EXPECT_EQ(p.Pairs(), 6);
    EXPECT_DOUBLE_EQ(p.Mean(), (0 + 0.25 + 0.5 + 0.5 + 0.75 + 1) / 6);
}

TEST(Elo, ScoreFractionsAndErrorBars) {
    EXPECT_NEAR(tools::EloOf(0.5), 0, 1e-9);
    EXPECT_NEAR(tools::EloOf(0.75), 190.85, 0.01);
    EXPECT_NEAR(tools::EloOf(0.25), -190.85, 0.01);
    EXPECT_TRUE(std::isfinite(tools::EloOf(1.0)));
    EXPECT_TRUE(std::isfinite(tools::EloOf(0.0)));

    // More pairs with the same spread give a narrower interval.
    auto few = tools::Estimate(Counts(2, 10, 20, 14, 4));
    auto many = tools::Estimate(Counts(20, 100, 200, 140, 40));
    EXPECT_NEAR(few.elo, many.elo, 1e-9);
    EXPECT_GT(few.elo, 0);
    EXPECT_NEAR(few.margin / many.margin, std::sqrt(10.0), 0.05);
    // Draw-heavy pairs say more than wild ones of the same mean.
    auto calm = tools::Estimate(Counts(0, 0, 50, 0, 0));
    auto wild = tools::Estimate(Counts(25, 0, 0, 0, 25));
    EXPECT_NEAR(calm.margin, 0, 1e-9);
    EXPECT_GT(wild.margin, 50);
}

TEST(Sprt, BoundsAndDecisions) {
    Sprt test{0, 5};
    EXPECT_NEAR(test.UpperBound(), 2.944, 0.001);
    EXPECT_NEAR(test.LowerBound(), -2.944, 0.001);
    // No spread yet: nothing to say.
    EXPECT_EQ(test.Llr(Counts(0, 0, 10, 0, 0)), 0);
    EXPECT_EQ(test.Decide(Pentanomial{}), 0);

    // A clearly stronger engine passes, an equal one fails after enough pairs.
    EXPECT_EQ(test.Decide(Counts(20, 120, 200, 180, 80)), 1);
    EXPECT_EQ(test.Decide(Counts(2000, 12000, 20000, 12000, 2000)), -1);
    // A handful of pairs decides nothing.
    EXPECT_EQ(test.Decide(Counts(0, 1, 2, 2, 1)), 0);

    // The ratio grows with every pair won and shrinks with every pair lost.
    Pentanomial p = Counts(20, 80, 150, 80, 20);
    double before = test.Llr(p);
    p.counts[4]++;
    EXPECT_GT(test.Llr(p), before);
    p.counts[4]--;
    p.counts[0]++;
    EXPECT_LT(test.Llr(p), before);
    // Swapping the hypotheses swaps the sign.
    Sprt reverse{5, 0};
    EXPECT_NEAR(reverse.Llr(p), -test.Llr(p), 1e-9);
}

}  // namespace
