// FEN reader, start position and the game-level move player.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/settings.h"

namespace {

using namespace board;

struct FenTest : ::testing::Test {
    void SetUp() override {
        InitBoardTables();
        core::settings.chess960 = 0;
    }
    void TearDown() override { core::settings.chess960 = 0; }
};

const uint8_t StandardSquares[18] = {5, 1, 8, 61, 57, 64, 2, 3, 4, 5, 6, 7, 58, 59, 60, 61, 62, 63};

TEST_F(FenTest, StartPositionHasAllRightsAndStandardSquares) {
    CastleSquares[1] = 2;  // left over from an earlier game
    SetStartPosition(Game);
    EXPECT_EQ(Game.startFlags, 0x3c0u);
    EXPECT_EQ(Game.startSide, 0u);
    EXPECT_EQ(std::memcmp(CastleSquares, StandardSquares, 18), 0);
    EXPECT_EQ(Game.board[0], 255);
    EXPECT_EQ(Game.board[5], WKing);
    EXPECT_EQ(Game.board[60], BQueen);
    EXPECT_EQ(Game.board[12], WPawn);
}

TEST_F(FenTest, PlacementAndSideOnly) {
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K3 w", Game), 1);
    EXPECT_EQ(Game.startFlags, 0u);
    EXPECT_EQ(Game.startSide, 0u);
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K3 b", Game), 1);
    EXPECT_EQ(Game.startSide, 1u);
    EXPECT_EQ(Game.board[61], BKing);
}

TEST_F(FenTest, MalformedTextFails) {
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K3 x - -", Game), 0);        // side letter
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K2Z w - -", Game), 0);       // piece letter
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K3", Game), 0);              // nothing after the placement
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4K3p w - -", Game), 0);       // rank too long
    EXPECT_EQ(ReadFen("", Game), 0);
}

// Boards the search cannot hold, by the reason for the refusal.
const char* const Unholdable[] = {
    "8/8/8/8/8/8/P7/K7 w - - 0 1",                                         // no black king
    "4r3/1P6/8/8/8/8/6p1/4K3 w - - 0 1",                                   // no black king
    "4k3/8/8/8/8/8/8/8 b - - 0 1",                                         // no white king
    "4k3/8/8/8/8/8/8/K3K3 w - - 0 1",                                      // two white kings
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1r2P3/2N2Q1p/PPPBBPPP/R3KRR1 w - - 0 1",  // 17 white men
    "rnbqkbnr/pppppppp/8/8/8/N7/PPPPPPPP/RNBQKBNR w - - 0 1",              // 17 white men
    "rnbqkbnr/pppppppp/n7/8/8/8/PPPPPPPP/RNBQKBNR b - - 0 1",              // 17 black men
    "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                                      // pawn on the last rank
    "4k3/8/8/8/8/8/8/p3K3 b - - 0 1",                                      // black pawn on the first
    "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",                                      // pawn on its own first rank
    "4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",                                     // rook attacks the king
    "4k3/3P4/8/8/8/8/8/4K3 w - - 0 1",                                     // pawn attacks the king
    "4k3/8/8/8/8/8/4n3/6K1 b - - 0 1",                                     // knight attacks the king
    "8/8/8/8/8/3k4/3K4/8 w - - 0 1",                                       // kings side by side
    "7k/8/8/8/8/8/8/B3K3 w - - 0 1",                                       // bishop down the long diagonal
};

TEST_F(FenTest, RefusesBoardsTheSearchCannotHold) {
    for (const char* fen : Unholdable) EXPECT_EQ(ReadFen(fen, Game), 0) << fen;
    // The same boards with the king attack blocked, or with the side in check to move, are fine.
    EXPECT_EQ(ReadFen("4k3/4p3/8/8/8/8/8/4R1K1 w - - 0 1", Game), 1);
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4R1K1 b - - 0 1", Game), 1);
    EXPECT_EQ(ReadFen("4k3/3P4/8/8/8/8/8/4K3 b - - 0 1", Game), 1);
    EXPECT_EQ(ReadFen("7k/8/8/8/8/2P5/8/B3K3 w - - 0 1", Game), 1);
    EXPECT_EQ(ReadFen("4r1k1/8/8/8/8/5n2/8/4K2R w K - 0 1", Game), 1);  // double check to answer
    EXPECT_EQ(Game.startFlags, uint32_t(WhiteKingSide));
}

TEST_F(FenTest, RefusalLeavesTheGameAsItWas) {
    core::settings.chess960 = 1;
    ASSERT_EQ(ReadFen("nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBBQRN w GBgb - 0 1", Game), 1);
    StartGame(Game);
    for (const char* text : {"d2d4", "d7d5", "c1d2"}) {
        Move m = ReadMoveText(text, Game.board, Game.states.back().side);
        ASSERT_NE(m, 0u) << text;
        PlayGameMove(Game, m);
    }
    uint8_t squares[18], before[65];
    std::memcpy(squares, CastleSquares, sizeof squares);
    std::memcpy(before, Game.board, sizeof before);
    const std::vector<GameState> states = Game.states;
    const std::vector<uint32_t> keys = Game.keys;
    const uint32_t side = Game.startSide, flags = Game.startFlags;

    std::vector<const char*> refused(std::begin(Unholdable), std::end(Unholdable));
    refused.push_back("4k3/8/8/8/8/8/8/4K2Z w - -");
    refused.push_back("r3k2r/8/8/8/8/8/8/R3K2R x HAha - 0 1");
    refused.push_back("");
    for (const char* fen : refused) {
        ASSERT_EQ(ReadFen(fen, Game), 0) << fen;
        EXPECT_EQ(std::memcmp(Game.board, before, sizeof before), 0) << fen;
        EXPECT_EQ(std::memcmp(CastleSquares, squares, sizeof squares), 0) << fen;
        EXPECT_EQ(Game.startSide, side) << fen;
        EXPECT_EQ(Game.startFlags, flags) << fen;
        EXPECT_TRUE(Game.states.size() == states.size() &&
                    std::memcmp(Game.states.data(), states.data(), states.size() * sizeof(GameState)) == 0)
            << fen;
        EXPECT_EQ(Game.keys, keys) << fen;
    }
}

TEST_F(FenTest, FullBoardsOfPromotedMenLoadWhole) {
    // 16 men a side, most of them promoted; every man must find a slot.
    const char* const fens[] = {
        "qqqqkqqq/pppppppp/8/8/8/8/PPPPPPPP/RRRRKRRR w - - 0 1",
        "k7/8/8/1nnnnnnn/8/NNNNNNN1/BBBBBBBB/K7 b - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    };
    for (const char* fen : fens) {
        ASSERT_EQ(ReadFen(fen, Game), 1) << fen;
        StartGame(Game);
        std::unique_ptr<Tree> tree(new Tree());
        CopyGameBoard(Game, *tree);
        SetUpTree(*tree);
        EXPECT_EQ(std::memcmp(tree->board + 1, Game.board + 1, 64), 0) << fen;
        for (int side = 0; side < 2; side++) EXPECT_EQ(tree->pieces[side][16], 0) << fen;
    }
}

TEST_F(FenTest, ShortRanksLeaveTheRestEmpty) {
    ASSERT_EQ(ReadFen("k/8/8/8/8/8/8/K w - -", Game), 1);
    EXPECT_EQ(Game.board[57], BKing);
    EXPECT_EQ(Game.board[1], WKing);
    for (int sq = 2; sq <= 56; sq++) EXPECT_EQ(Game.board[sq], 0) << sq;
}

TEST_F(FenTest, StandardRightsNeedKingAndRookAtHome) {
    ASSERT_EQ(ReadFen("r3k2r/8/8/8/8/8/8/R3K3 w KQkq - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0x1c0u);
    ASSERT_EQ(ReadFen("r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0x0c0u);
}

TEST_F(FenTest, Chess960UsesFileLetters) {
    core::settings.chess960 = 1;
    ASSERT_EQ(ReadFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0u);
    ASSERT_EQ(ReadFen("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0x3c0u);
    EXPECT_EQ(CastleSquares[1], 1);
    EXPECT_EQ(CastleSquares[2], 8);
    EXPECT_EQ(CastleSquares[4], 57);
    EXPECT_EQ(CastleSquares[5], 64);

    ASSERT_EQ(ReadFen("nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBBQRN w GBgb - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0x3c0u);
    const uint8_t expected[18] = {3, 2, 7, 59, 58, 63, 1, 4, 6, 3, 5, 8, 57, 60, 62, 59, 61, 64};
    for (int i = 0; i < 18; i++) EXPECT_EQ(CastleSquares[i], expected[i]) << "entry " << i;
    // A letter without a rook on that file gives no right.
    ASSERT_EQ(ReadFen("nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBBQRN w Hb - 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags, 0x040u);
}

TEST_F(FenTest, EnPassantOnlyOnTheRightRank) {
    ASSERT_EQ(ReadFen("4k3/8/8/3pP3/8/8/8/4K3 w - e3 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags & EpMask, 0u);
    ASSERT_EQ(ReadFen("4k3/8/8/4pP2/8/8/8/4K3 w - e6 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags & EpMask, 45u);
    ASSERT_EQ(ReadFen("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags & EpMask, 20u);
}

TEST_F(FenTest, StartGameDropsAnEnPassantSquareWithoutItsPawn) {
    ASSERT_EQ(ReadFen("4k3/8/8/8/3P4/8/8/4K3 w - e6 0 1", Game), 1);
    EXPECT_EQ(Game.startFlags & EpMask, 46u - 1u);
    StartGame(Game);
    EXPECT_EQ(Game.startFlags & EpMask, 0u);
    EXPECT_EQ(Game.states.back().flags & EpMask, 0u);
}

TEST_F(FenTest, GamePlayerKeepsKeysRightsAndEnPassant) {
    SetStartPosition(Game);
    StartGame(Game);
    ASSERT_EQ(Game.states.size(), 1u);
    const char* moves[] = {"e2e4", "d7d5", "e4e5", "f7f5", "e5f6", "g8f6", "g1f3", "b8c6", "f1c4", "e7e6", "e1g1"};
    for (const char* text : moves) {
        Move m = ReadMoveText(text, Game.board, Game.states.back().side);
        ASSERT_NE(m, 0u) << text;
        PlayGameMove(Game, m);
    }
    ASSERT_EQ(Game.states.size(), 12u);
    EXPECT_EQ(Game.states[1].flags & EpMask, 0u);    // e2e4: no black pawn beside e4
    EXPECT_EQ(Game.states[4].flags & EpMask, 46u);   // f7f5 beside the pawn on e5
    EXPECT_TRUE(Game.states[5].move & MoveEnPassant);  // e5xf6 took the pawn on f5
    EXPECT_EQ(Game.board[38], 0);
    EXPECT_EQ(Game.board[37], 0);
    EXPECT_EQ(Game.board[46], BKnight);               // and the knight took back
    EXPECT_EQ(Game.board[7], WKing);                  // castled
    EXPECT_EQ(Game.board[6], WRook);
    EXPECT_EQ(Game.board[8], 0);
    EXPECT_EQ(Game.states.back().flags & CastleMask, 0x0c0u);
    EXPECT_EQ(Game.states.back().side, 1u);
    uint32_t key[2];
    ComputeKey(Game.board, key);
    EXPECT_EQ(Game.keys.back(), key[1]);
    EXPECT_EQ(Game.keys.size(), Game.states.size());
}

TEST_F(FenTest, Chess960GamePlayerCastlesOntoTheRookSquare) {
    core::settings.chess960 = 1;
    ASSERT_EQ(ReadFen("4k3/8/8/8/8/8/8/4KR2 w F - 0 1", Game), 1);
    StartGame(Game);
    Move m = ReadMoveText("e1f1", Game.board, 0);
    ASSERT_TRUE(m & MoveCastle);
    PlayGameMove(Game, m);
    EXPECT_EQ(Game.board[7], WKing);
    EXPECT_EQ(Game.board[6], WRook);
    EXPECT_EQ(Game.board[5], 0);
    EXPECT_EQ(Game.states.back().flags & CastleMask, 0u);
}

}  // namespace
