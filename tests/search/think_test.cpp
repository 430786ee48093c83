#include <gtest/gtest.h>

#include "engine/settings.h"
#include "search/limits.h"
#include "search/think.h"

namespace {

using search::limits;

// A clock level as `go` leaves it before the budget is computed.
void SuddenDeath(int time, int inc) {
    limits = search::Limits{};
    limits.levelMode = 3;
    limits.clockMode = 1;
    limits.suddenTime = limits.suddenTime2 = time;
    limits.suddenInc = inc;
}

void MovesToGo(int time, int inc, int movesToGo) {
    limits = search::Limits{};
    limits.levelMode = 2;
    limits.clockMode = 1;
    limits.clockTime = time;
    limits.clockInc = inc;
    limits.movesToGo = movesToGo;
}

struct TimeBudget : ::testing::Test {
    engine::Settings saved = engine::settings;
    void TearDown() override { engine::settings = saved; }
};

TEST_F(TimeBudget, SuddenDeathWithoutIncrement) {
    SuddenDeath(60000, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 944);
    EXPECT_EQ(limits.hardMax, 14750);
    EXPECT_EQ(limits.extra, 944);
    EXPECT_EQ(limits.extension, 0);

    SuddenDeath(300000, 0);  // long games plan (2.2 T + 110000) / 100
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7700);
    EXPECT_EQ(limits.hardMax, 74750);
}

TEST_F(TimeBudget, MovesToGoDependsOnPonder) {
    engine::settings.ponder = 1;
    MovesToGo(300000, 0, 40);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 9375);  // 300000 / (0.75 x 40 + 2)

    engine::settings.ponder = 0;
    MovesToGo(300000, 0, 40);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7142);  // 300000 / 42
    EXPECT_EQ(limits.hardMax, 33214);

    engine::settings.ponder = 1;  // few moves to go: no ponder discount
    MovesToGo(30000, 1000, 5);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 30000 / 7 + 900);
}

TEST_F(TimeBudget, MovesToGoHardMaxKeepsASecond) {
    MovesToGo(5000, 0, 1);  // 90 percent would leave less than a second
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.hardMax, 4000);
    MovesToGo(300, 0, 1);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.hardMax, 58);
    EXPECT_EQ(limits.target, 100);
}

TEST_F(TimeBudget, MovesToGoZeroFallsBackToTheClock) {
    MovesToGo(60000, 5000, 0);  // no increment is used without moves to go
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 944);
    EXPECT_EQ(limits.hardMax, 14750);
}

TEST_F(TimeBudget, SuddenDeathWithIncrement) {
    SuddenDeath(30000, 1000);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, (45000 + 92800) / 100);

    SuddenDeath(2500, 1000);  // clock below three increments
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 48);

    SuddenDeath(120000, 2000);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 7020);
    EXPECT_EQ(limits.hardMax, 29750);
}

TEST_F(TimeBudget, FloorsAndTimeUsage) {
    SuddenDeath(500, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 28);
    EXPECT_EQ(limits.hardMax, 58);

    engine::settings.timeUsage = 50;
    SuddenDeath(60000, 0);
    search::ComputeTimeBudget();
    EXPECT_EQ(limits.target, 472);
    EXPECT_EQ(limits.extra, 472);
    EXPECT_EQ(limits.hardMax, 14750);  // the hard limit ignores the option
}

TEST_F(TimeBudget, HardMaxFollowsScoreChanges) {
    SuddenDeath(60000, 0);
    search::HardMaxAfterScoreChange(-100);
    EXPECT_EQ(limits.hardMax, 59000 * 35 / 100);
    search::HardMaxAfterScoreChange(500);  // rising scores never cut below 25 percent
    EXPECT_EQ(limits.hardMax, 14750);
    search::HardMaxAfterScoreChange(-1000);
    EXPECT_EQ(limits.hardMax, 59000 * 75 / 100);

    MovesToGo(300000, 0, 40);
    search::HardMaxAfterScoreChange(-200);
    EXPECT_EQ(limits.hardMax, 88928);
    search::HardMaxAfterScoreChange(100);
    EXPECT_EQ(limits.hardMax, 33214);
    search::HardMaxAfterScoreChange(-10000);
    EXPECT_EQ(limits.hardMax, int((27000000.0 - 300000.0 / 42 * 39 * 15) / 100));
}

TEST(ThinkTime, ExtensionSaturates) {
    limits = search::Limits{};
    search::AddExtension(1500000000);
    search::AddExtension(1500000000);
    EXPECT_GT(limits.extension, 1500000000);
    EXPECT_GT(limits.extensionTotal, 1500000000);
    search::AddExtension(-5);
    EXPECT_GT(limits.extension, 0);
}

}  // namespace
