#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "../engine/start.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/types.h"
#include "engine/report.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/record.h"
#include "search/root.h"
#include "search/state.h"
#include "search/tt.h"

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

// The principal variation read back from the hash.
struct PvFromHash : ::testing::Test {
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    board::NodeRecord* root = nullptr;
    char text[256] = "";

    void SetUp() override {
        enginetest::StartEngine();
        if (!search::SearchTables[0][0]) search::SetHashSize(4);
        search::ClearSearchTables();
        ASSERT_TRUE(search::AllocateBoardTables(*tree));
        std::memset(search::pvMoves, 0, sizeof(search::pvMoves));
    }
    void TearDown() override {
        search::ClearSearchTables();
        search::FreeBoardTables(*tree);
    }
    // Plays the moves on the game from the start position and sets up the root.
    void Game(const char* const* moves) {
        board::SetStartPosition(board::Game);
        board::StartGame(board::Game);
        for (; *moves; moves++) {
            int side = board::Game.states.back().side;
            board::PlayGameMove(board::Game, board::ReadMoveText(*moves, board::Game.board, side));
        }
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
        root = search::SetUpRoot(*tree, board::Game);
    }
    board::Move Text(const char* move) { return board::ReadMoveText(move, tree->board, root->side); }
    // Writes an entry for the position after `first` (and `second`, if any).
    search::SearchEntry* Store(int tier, board::Move first, board::Move second, board::Move best,
                               int value, int flags) {
        root->currentMove = first;
        board::NodeRecord* node = board::MakeMove(*tree, root);
        board::NodeRecord* child = node;
        if (second) {
            node->currentMove = second;
            child = board::MakeMove(*tree, node);
        }
        search::SearchEntry* slot =
            &search::SearchTables[tier - 1][child->side][search::HashIndex(child)];
        *slot = search::EncodeEntry(child->key[1], best, 0, value, 5, flags | search::searchNumber);
        if (second) board::UnmakeMove(*tree, node);
        board::UnmakeMove(*tree, root);
        return slot;
    }
    void Extract(board::Move move, int score) {
        root->currentMove = move;
        std::memset(search::pvMoves, 0, sizeof(search::pvMoves));
        search::ExtractPv(*tree, root, score);
        // The line as the report writes it after the root move.
        text[0] = 0;
        for (int i = 1; i < search::PvLength && search::pvMoves[i]; i++) {
            size_t length = std::strlen(text);
            text[length] = ' ';
            board::WriteMoveText(text + length + 1, search::pvMoves[i]);
        }
    }
};

const char* const NoMoves[] = {nullptr};

TEST_F(PvFromHash, FollowsExactEntriesWithTheExpectedScore) {
    Game(NoMoves);
    board::Move e2e4 = Text("e2e4");
    board::Move e7e5 = board::MakeMoveWord(53, 37, board::BPawn) | board::MoveDouble;
    board::Move g1f3 = board::MakeMoveWord(7, 22, board::WKnight);
    Store(1, e2e4, 0, e7e5, -20, 0);
    Store(1, e2e4, e7e5, g1f3, 20, 0);
    Extract(e2e4, 20);
    EXPECT_STREQ(text, " e7e5 g1f3");  // no entry after g1f3: the line ends there
    EXPECT_EQ(search::pvMoves[1], e7e5);
    EXPECT_EQ(search::pvMoves[2], g1f3);
    EXPECT_EQ(search::pvMoves[3], 0u);
    EXPECT_NE(search::savedPvEntries[1].slot, nullptr);
    EXPECT_EQ(search::savedPvEntries[1].entry.move, e7e5);
}

TEST_F(PvFromHash, RejectsBoundsAndOtherScores) {
    Game(NoMoves);
    board::Move e2e4 = Text("e2e4");
    board::Move e7e5 = board::MakeMoveWord(53, 37, board::BPawn) | board::MoveDouble;
    Store(1, e2e4, 0, e7e5, -20, search::EntryLower);
    Extract(e2e4, 20);
    EXPECT_STREQ(text, "");
    Store(1, e2e4, 0, e7e5, -21, 0);
    Extract(e2e4, 20);
    EXPECT_STREQ(text, "");
    Extract(e2e4, 29990);  // a mate score takes any exact entry
    EXPECT_STREQ(text, " e7e5");
}

TEST_F(PvFromHash, SecondTierEntryIsSwappedIntoTheFirst) {
    Game(NoMoves);
    board::Move e2e4 = Text("e2e4");
    board::Move e7e5 = board::MakeMoveWord(53, 37, board::BPawn) | board::MoveDouble;
    board::Move d7d5 = board::MakeMoveWord(52, 36, board::BPawn) | board::MoveDouble;
    search::SearchEntry* first = Store(1, e2e4, 0, d7d5, -20, search::EntryUpper);
    search::SearchEntry* second = Store(2, e2e4, 0, e7e5, -20, 0);
    Extract(e2e4, 20);
    EXPECT_STREQ(text, " e7e5");
    EXPECT_EQ(first->move, e7e5);
    EXPECT_EQ(second->move, d7d5);
}

TEST_F(PvFromHash, StopsAtAPositionSeenTwice) {
    const char* const moves[] = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", nullptr};
    Game(moves);
    board::Move f6g8 = Text("f6g8");
    board::Move e2e4 = board::MakeMoveWord(13, 29, board::WPawn) | board::MoveDouble;
    Store(1, f6g8, 0, e2e4, -20, 0);  // the start position, for the third time
    Extract(f6g8, 20);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(search::pvMoves[1], 0u);

    board::Move b8c6 = Text("b8c6");
    Store(1, b8c6, 0, e2e4, -20, 0);  // a new position continues
    Extract(b8c6, 20);
    EXPECT_STREQ(text, " e2e4");
}

}  // namespace
