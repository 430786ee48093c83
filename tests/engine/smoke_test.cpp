#include <gtest/gtest.h>

#include "board/types.h"

TEST(MoveWord, FieldsRoundTrip) {
    board::Move m = board::MakeMoveWord(13, 29, board::WPawn, board::BKnight, board::WQueen);
    EXPECT_EQ(board::MoveFrom(m), 13);
    EXPECT_EQ(board::MoveTo(m), 29);
    EXPECT_EQ(board::MovePiece(m), board::WPawn);
    EXPECT_EQ(board::MoveCaptured(m), board::BKnight);
    EXPECT_EQ(board::MovePromotion(m), board::WQueen);
}
