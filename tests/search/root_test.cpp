#include <gtest/gtest.h>

#include "board/types.h"
#include "engine/settings.h"
#include "search/root.h"

namespace {

using search::rootMoves;
using search::rootMoveCount;

board::Move MoveNo(int i) { return board::MakeMoveWord(9 + i, 17 + i, board::WPawn); }

void FillList(const int64_t* keys, int count) {
    for (int i = 0; i < count; i++) rootMoves[i] = search::RootMove{MoveNo(i), keys[i], 0, 0};
    rootMoves[count] = search::RootMove{0, search::RootListEnd, 0, 0};
    rootMoveCount = count;
}

TEST(RootList, SortKeepsTheBestFirstAndOrdersByNodes) {
    const int64_t keys[] = {5, 40, 900, 7, 300};
    FillList(keys, 5);
    search::SortRootMoves(MoveNo(3));  // best move with a small key still leads
    EXPECT_EQ(rootMoves[0].move, MoveNo(3));
    EXPECT_EQ(rootMoves[1].move, MoveNo(2));
    EXPECT_EQ(rootMoves[2].move, MoveNo(4));
    EXPECT_EQ(rootMoves[3].move, MoveNo(1));
    EXPECT_EQ(rootMoves[4].move, MoveNo(0));
    EXPECT_EQ(rootMoves[5].move, 0u);  // the end record stays in place

    search::SortRootMoves(0);  // no best move yet: keys alone
    EXPECT_EQ(rootMoves[0].move, MoveNo(2));
    EXPECT_EQ(rootMoves[4].move, MoveNo(0));
}

TEST(RootList, SearchMovesKeepOnlyListedRootMoves) {
    const int64_t keys[] = {1, 2, 3, 4};
    FillList(keys, 4);
    board::Move listed[] = {MoveNo(3), board::MakeMoveWord(1, 2, board::WRook), MoveNo(1), 0};
    EXPECT_EQ(search::RestrictRootMoves(listed), 2);
    EXPECT_EQ(rootMoveCount, 2);
    EXPECT_EQ(rootMoves[0].move, MoveNo(1));
    EXPECT_EQ(rootMoves[1].move, MoveNo(3));
    EXPECT_EQ(rootMoves[2].move, 0u);
    EXPECT_EQ(rootMoves[2].orderKey, search::RootListEnd);
}

TEST(RootList, SearchMovesWithNoRootMoveKeepTheList) {
    const int64_t keys[] = {1, 2, 3};
    FillList(keys, 3);
    board::Move listed[] = {board::MakeMoveWord(1, 2, board::WRook), 0};
    EXPECT_EQ(search::RestrictRootMoves(listed), 3);
    EXPECT_EQ(rootMoveCount, 3);
}

TEST(RootList, TimePercentDefaultsToHundred) {
    const int64_t keys[] = {1, 2};
    FillList(keys, 2);
    rootMoves[1].timePercent = 60;
    EXPECT_EQ(search::TimePercentOf(MoveNo(0)), 100);
    EXPECT_EQ(search::TimePercentOf(MoveNo(1)), 60);
    EXPECT_EQ(search::TimePercentOf(MoveNo(7)), 100);
    EXPECT_EQ(search::FindRootMove(MoveNo(1)), &rootMoves[1]);
    EXPECT_EQ(search::FindRootMove(MoveNo(7)), nullptr);
}

}  // namespace
