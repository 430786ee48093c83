// Generation modes, make rules, castling, keys, repetition, the exchange
// estimate and the move texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board_helpers.h"
#include "core/settings.h"

namespace {

using namespace board;

struct Rules : ::testing::Test {
    boardtest::Fixture f;
    void TearDown() override { core::settings.chess960 = 0; }
    void Load(const char* fen, bool chess960 = false) { ASSERT_EQ(boardtest::Load(f, fen, chess960), 1) << fen; }
    Tree& T() { return *f.tree; }
    Move Text(const char* text, const NodeRecord* node = nullptr) {
        return ReadMoveText(text, T().board, (node ? node : f.root)->side);
    }
    NodeRecord* Play(NodeRecord* node, const char* text) {
        node->currentMove = Text(text, node);
        return MakeMove(T(), node);
    }
    std::vector<MoveEntry> Generate(NodeRecord* node, int mode, int allPromotions, bool captures) {
        node->captureList = node->captureEnd;
        node->quietList = node->quietEnd;
        GenerateMoves(T(), node, mode, allPromotions);
        std::vector<MoveEntry> out;
        for (MoveEntry* e = captures ? node->captureList : node->quietList; e->score != ListEnd; e++) out.push_back(*e);
        return out;
    }
};

TEST_F(Rules, StartPositionModes) {
    Load("");
    EXPECT_EQ(Generate(f.root, GenCaptures, 1, true).size(), 0u);
    EXPECT_EQ(f.root->generated, 1);
    std::vector<MoveEntry> quiet = Generate(f.root, GenQuiets, 1, false);
    EXPECT_EQ(quiet.size(), 20u);
    EXPECT_EQ(f.root->generated, 3);
    EXPECT_EQ(f.root->moveCount, 20);
    int pawnMoves = 0, doubles = 0;
    for (const MoveEntry& e : quiet) {
        if (IsPawn(MovePiece(e.move))) pawnMoves++;
        if (e.move & MoveDouble) doubles++;
    }
    EXPECT_EQ(pawnMoves, 16);
    EXPECT_EQ(doubles, 8);
    // The terminator sits just before the new list end.
    EXPECT_EQ((f.root->quietEnd - 1)->score, ListEnd);
}

TEST_F(Rules, KillersAndHistoryGiveQuietScores) {
    Load("");
    f.tree->history[0][Text("b1c3") & 0x3fff] = 77;
    f.tree->killers[0].move[1] = Text("g2g3");
    std::vector<MoveEntry> quiet = Generate(f.root, GenQuiets, 1, false);
    for (const MoveEntry& e : quiet) {
        if (e.move == Text("b1c3")) EXPECT_EQ(e.score, 77);
        else if (e.move == Text("g2g3")) EXPECT_EQ(e.score, 0x7ffffe0b);
        else EXPECT_EQ(e.score, 0);
    }
    // The marks are gone after the call.
    EXPECT_EQ(f.tree->history[0][Text("g2g3") & 0x3fff], 0u);
}

TEST_F(Rules, PromotionOrderAndAllPromotionsFlag) {
    Load("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
    std::vector<MoveEntry> caps = Generate(f.root, GenCaptures, 1, true);
    std::vector<int> onB8, onA8;
    for (const MoveEntry& e : caps) (MoveTo(e.move) == 58 ? onB8 : onA8).push_back(MovePromotion(e.move));
    EXPECT_EQ(onB8, (std::vector<int>{WQueen, WRook, WKnight, WBishop}));
    EXPECT_EQ(onA8, (std::vector<int>{WQueen, WRook, WKnight, WBishop}));
    caps = Generate(f.root, GenCaptures, 0, true);
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_EQ(MovePromotion(caps[0].move), WQueen);
    EXPECT_EQ(MovePromotion(caps[1].move), WQueen);
}

TEST_F(Rules, DoubleCheckAllowsOnlyKingMoves) {
    Load("4k3/4r3/8/8/8/R4n2/8/4K3 w - - 0 1");
    ASSERT_TRUE(f.root->flags & InCheckFlag);
    for (int mode : {GenCaptures, GenQuiets, GenAll}) {
        f.root->captureList = f.root->captureEnd = f.tree->captureStack;
        f.root->quietList = f.root->quietEnd = f.tree->quietStack;
        f.root->generated = 0;
        GenerateMoves(T(), f.root, mode, 1);
        EXPECT_EQ(f.root->generated, 3);
        for (MoveEntry* list : {f.root->captureList, f.root->quietList})
            for (MoveEntry* e = list; e->score != ListEnd; e++) EXPECT_EQ(MovePiece(e->move), WKing);
    }
    Move legal[64];
    int n = board::LegalMoves(T(), f.root, legal, 64);
    std::vector<std::string> texts;
    for (int i = 0; i < n; i++) {
        char buffer[8];
        WriteMoveText(buffer, legal[i]);
        texts.push_back(buffer);
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"e1d1", "e1f1", "e1f2"}));
}

TEST_F(Rules, SingleCheckEvasionsMatchTheLegalMoves) {
    // Captures, interpositions (with a double step), king moves and an
    // en-passant capture of the checking pawn.
    const char* fens[] = {"4k3/8/8/b7/8/8/1PP5/R3K3 w Q - 0 1", "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1",
                          "4k3/8/8/8/8/8/8/r3K2R w K - 0 1", "r3k3/1P6/8/8/8/8/8/4K2q w - - 0 1"};
    for (const char* fen : fens) {
        Load(fen);
        ASSERT_TRUE(f.root->flags & InCheckFlag) << fen;
        // Every legal move must come out of the evasion generator.
        f.root->flags &= ~InCheckFlag;
        Move all[256];
        int n = board::LegalMoves(T(), f.root, all, 256);
        f.root->flags |= InCheckFlag;
        Move evasions[256];
        int m = board::LegalMoves(T(), f.root, evasions, 256);
        EXPECT_EQ(n, m) << fen;
        for (int i = 0; i < n; i++) EXPECT_NE(std::find(evasions, evasions + m, all[i]), evasions + m) << fen;
    }
}

TEST_F(Rules, PinnedManCannotMoveAndNothingChanges) {
    Load("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
    uint32_t* top = f.tree->keyTop;
    EXPECT_EQ(Play(f.root, "e2c3"), nullptr);
    EXPECT_EQ(f.tree->keyTop, top);
    EXPECT_EQ(f.tree->board[13], WKnight);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");
}

TEST_F(Rules, CastlingPathRules) {
    Load("4k3/8/8/8/8/8/5r2/R3K2R w KQ - 0 1");
    EXPECT_EQ(Play(f.root, "e1g1"), nullptr);  // f1 attacked
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");
    NodeRecord* c = Play(f.root, "e1c1");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(f.tree->board[3], WKing);
    EXPECT_EQ(f.tree->board[4], WRook);
    EXPECT_EQ(c->flags & CastleMask, 0u);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), c), "");
    UnmakeMove(T(), f.root);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");

    Load("1r2k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1");
    EXPECT_EQ(Play(f.root, "e1c1"), nullptr);  // knight in the way
    ASSERT_NE(Play(f.root, "e1g1"), nullptr);
    UnmakeMove(T(), f.root);
    Load("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_NE(Play(f.root, "e1c1"), nullptr);  // b1 attacked does not matter
    Load("4k3/8/8/8/8/8/8/R3K1rR w KQ - 0 1");
    EXPECT_EQ(Play(f.root, "e1c1"), nullptr);  // in check
}

TEST_F(Rules, Chess960CastlingArrangements) {
    // The king already stands on its destination.
    Load("4k3/8/8/8/8/8/8/6KR w H - 0 1", true);
    NodeRecord* c = Play(f.root, "g1h1");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(f.tree->board[7], WKing);
    EXPECT_EQ(f.tree->board[6], WRook);
    EXPECT_EQ(f.tree->board[8], 0);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), c), "");
    UnmakeMove(T(), f.root);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");
    EXPECT_EQ(f.tree->board[8], WRook);

    // The rook already stands on its destination.
    Load("4k3/8/8/8/8/8/8/4KR2 w F - 0 1", true);
    c = Play(f.root, "e1f1");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(f.tree->board[7], WKing);
    EXPECT_EQ(f.tree->board[6], WRook);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), c), "");
    UnmakeMove(T(), f.root);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");

    // King and rook swap squares.
    Load("4k3/8/8/8/8/8/8/5KR1 w G - 0 1", true);
    c = Play(f.root, "f1g1");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(f.tree->board[7], WKing);
    EXPECT_EQ(f.tree->board[6], WRook);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), c), "");
    UnmakeMove(T(), f.root);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), f.root), "");

    // King on b1, rook on a1: the word's to-square is a1 and c1, d1 must be empty.
    Load("4k3/8/8/8/8/8/8/RK6 w A - 0 1", true);
    std::vector<MoveEntry> quiet = Generate(f.root, GenQuiets, 1, false);
    Move castle = 0;
    for (const MoveEntry& e : quiet)
        if (e.move & MoveCastle) castle = e.move;
    ASSERT_NE(castle, 0u);
    EXPECT_EQ(MoveTo(castle), 1);
    EXPECT_TRUE(CastlePathFree(White, 1, f.tree->board));
    uint8_t blocked[65];
    std::memcpy(blocked, f.tree->board, sizeof blocked);
    blocked[4] = BKnight;
    EXPECT_FALSE(CastlePathFree(White, 1, blocked));
    blocked[4] = 0;
    blocked[3] = BKnight;
    EXPECT_FALSE(CastlePathFree(White, 1, blocked));
    char text[8];
    WriteMoveText(text, castle);
    EXPECT_STREQ(text, "b1a1");
    c = Play(f.root, "b1a1");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(f.tree->board[3], WKing);
    EXPECT_EQ(f.tree->board[4], WRook);
}

TEST_F(Rules, EnPassantSquareOnlyBesideAnEnemyPawn) {
    Load("");
    NodeRecord* c = Play(f.root, "e2e4");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->flags & EpMask, 0u);
    Load("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1");
    c = Play(f.root, "e2e4");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->flags & EpMask, 21u);  // e3
    NodeRecord* g = Play(c, "d4e3");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(f.tree->board[29], 0);
    EXPECT_EQ(f.tree->board[28], 0);
    EXPECT_EQ(f.tree->board[21], BPawn);
    EXPECT_EQ(g->men, 3);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), g), "");
}

TEST_F(Rules, RookCaptureTakesAwayTheRight) {
    Load("r3k2r/8/8/8/8/8/8/4K2R w Kkq - 0 1");
    NodeRecord* c = Play(f.root, "h1h8");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->flags & CastleMask, uint32_t(BlackQueenSide));
    EXPECT_EQ(c->capturedKinds, 16);
    EXPECT_EQ(c->material[1], 541);
    EXPECT_EQ(c->phase[1], 3);
}

TEST_F(Rules, KeysPhaseAndResetPoints) {
    Load("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(f.root->pawnKey[0], 0u);
    EXPECT_EQ(f.root->pawnKey[1], 1u);
    Load("4k3/8/8/3p4/8/2N5/8/4K3 w - - 0 1");
    NodeRecord* c = Play(f.root, "c3b5");
    EXPECT_EQ(HalfMoveCount(T(), c), 1);
    NodeRecord* g = Play(c, "e8d7");
    EXPECT_EQ(HalfMoveCount(T(), g), 2);
    NodeRecord* h = Play(g, "b5d4");
    NodeRecord* i = Play(h, "d7d6");
    ASSERT_NE(i, nullptr);
    NodeRecord* j = Play(i, "d4c6");
    NodeRecord* k = Play(j, "d6c6");  // capture: the count restarts
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(HalfMoveCount(T(), k), 0);
    EXPECT_EQ(k->resetPoint, f.tree->keyTop);
    EXPECT_EQ(boardtest::CompareWithRebuild(T(), k), "");
}

TEST_F(Rules, RepetitionReachesIntoTheGame) {
    SetStartPosition(Game);
    StartGame(Game);
    for (const char* text : {"g1f3", "g8f6", "f3g1"}) PlayGameMove(Game, ReadMoveText(text, Game.board, Game.states.back().side));
    CopyGameBoard(Game, T());
    SetUpTree(T());
    NodeRecord* root = SetUpSearchNodes(T(), Game);
    EXPECT_EQ(root->side, Black);
    EXPECT_EQ(T().keyTop - T().keyHistory, 3);
    EXPECT_EQ(HalfMoveCount(T(), root), 3);
    NodeRecord* c = Play(root, "f6g8");  // back to the start position
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(RepeatsOnce(T(), c), 1);
    EXPECT_EQ(OccurrencesSinceReset(T(), c), 1);
    NodeRecord* g = Play(c, "e2e4");  // irreversible
    EXPECT_EQ(RepeatsOnce(T(), g), 0);
    EXPECT_EQ(HalfMoveCount(T(), g), 0);
    UnmakeMove(T(), c);
    NodeRecord* other = Play(c, "b1c3");
    EXPECT_EQ(RepeatsOnce(T(), other), 0);
}

TEST_F(Rules, ExchangeEstimates) {
    struct Case {
        const char* fen;
        const char* move;
        int score;
    } cases[] = {
        {"4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1", "e4d5", 1055},       // pawn takes a free queen
        {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1d5", -955},      // queen takes a defended pawn
        {"4k3/8/2p5/3p4/8/8/3Q4/3RK3 w - - 0 1", "d2d5", -855},    // with a rook behind
        {"4k3/8/2p5/3p4/8/4N3/8/4K3 w - - 0 1", "e3d5", -225},     // lone knight
        {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8q", 955},          // free promotion
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", -101},       // promotion onto a guarded square
        {"4k3/8/8/3r4/4P3/8/8/4K3 w - - 0 1", "e4d5", 541},
        {"4k3/8/2p5/3r4/4P3/8/8/4K3 w - - 0 1", "e4d5", 441},      // defended rook
    };
    for (const Case& c : cases) {
        Load(c.fen);
        Move m = Text(c.move);
        ASSERT_NE(m, 0u) << c.fen;
        EXPECT_EQ(EstimateCapture(T(), m), c.score) << c.fen << " " << c.move;
    }
}

TEST_F(Rules, MoveTextsInAndOut) {
    Load("r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1");
    EXPECT_EQ(Text("b7b8x"), 0u);
    EXPECT_EQ(Text("b7b8Q"), Text("b7b8q"));
    EXPECT_EQ(MovePromotion(Text("b7b8n")), WKnight);
    EXPECT_EQ(MovePromotion(Text("b7a8r")), WRook);
    EXPECT_EQ(MoveCaptured(Text("b7a8r")), BRook);
    EXPECT_EQ(Text("e9e4"), 0u);
    EXPECT_EQ(Text("c3c4"), 0u);  // empty from-square
    EXPECT_EQ(Text("e2"), 0u);
    EXPECT_TRUE(Text("e5d6") & MoveEnPassant);
    EXPECT_EQ(MoveCaptured(Text("e5d6")), BPawn);
    EXPECT_TRUE(Text("e1g1") & MoveCastle);
    EXPECT_TRUE(Text("E1C1") & MoveCastle);
    EXPECT_EQ(MovePromotion(ReadMoveText("b7b8q", T().board, Black)), BQueen);

    char text[16];
    EXPECT_EQ(WriteMoveText(text, Text("b7b8q")), 5);
    EXPECT_STREQ(text, "b7b8q");
    EXPECT_EQ(WriteMoveText(text, MoveNull), 4);
    EXPECT_STREQ(text, "0000");
    WriteMoveText(text, Text("e1g1"));
    EXPECT_STREQ(text, "e1g1");
    WriteLongMoveText(text, Text("e1g1"), 0);
    EXPECT_STREQ(text, "O-O");
    WriteLongMoveText(text, Text("e1c1"), 1);
    EXPECT_STREQ(text, " O-O-O");
    WriteLongMoveText(text, Text("a1a7"), 0);
    EXPECT_STREQ(text, "Ra1-a7");
    WriteLongMoveText(text, Text("b7a8q"), 0);
    EXPECT_STREQ(text, "b7xa8Q");
}

TEST_F(Rules, StoredMovesFitOnlyWhereTheyCanBePlayed) {
    Load("r3k2r/8/8/8/8/8/P7/R3K2R w KQkq - 0 1");
    const Tree& t = T();
    uint32_t flags = f.root->flags;
    EXPECT_TRUE(MoveFits(Text("a2a4"), t, flags));
    EXPECT_TRUE(MoveFits(Text("e1g1"), t, flags));
    EXPECT_FALSE(MoveFits(Text("e1g1"), t, flags | InCheckFlag));
    EXPECT_FALSE(MoveFits(Text("e1g1"), t, flags & ~WhiteKingSide));
    // A rook move through its own pawn, as a killer from another line might be.
    EXPECT_FALSE(MoveFits(MakeMoveWord(1, 25, WRook), t, flags));
    EXPECT_TRUE(MoveFits(MakeMoveWord(1, 4, WRook), t, flags));
    // Wrong capture code, wrong man, a jump no man can make.
    EXPECT_FALSE(MoveFits(MakeMoveWord(8, 64, WRook, BQueen), t, flags));
    EXPECT_TRUE(MoveFits(MakeMoveWord(8, 64, WRook, BRook), t, flags));
    EXPECT_FALSE(MoveFits(MakeMoveWord(9, 17, WKnight), t, flags));
    EXPECT_FALSE(MoveFits(MakeMoveWord(5, 21, WKing), t, flags));
    EXPECT_FALSE(MoveFits(MakeMoveWord(9, 18, WPawn), t, flags));
    EXPECT_FALSE(MoveFits(0, t, flags));
}

TEST_F(Rules, LineAndAttackQueries) {
    Load("4k3/8/8/8/P7/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(GivesNoCheckLine(T().board, WRook, 1, 57), 1);  // a4 blocks
    EXPECT_EQ(GivesNoCheckLine(T().board, WRook, 1, 17), 0);
    EXPECT_EQ(GivesNoCheckLine(T().board, WRook, 1, 10), 1);  // not on a rook line
    EXPECT_EQ(GivesNoCheckLine(T().board, WKnight, 1, 11), 0);
    EXPECT_EQ(GivesNoCheckLine(T().board, WPawn, 25, 34), 0);
    EXPECT_EQ(GivesNoCheckLine(T().board, BPawn, 25, 34), 1);
    EXPECT_EQ(OnCommonDiagonal(1, 64), 1);
    EXPECT_EQ(OnCommonDiagonal(1, 57), 0);
    EXPECT_TRUE(IsAttacked(T(), White, 17));
    EXPECT_FALSE(IsAttacked(T(), White, 33));
    EXPECT_TRUE(IsAttacked(T(), White, 34));  // the pawn's capture square
    EXPECT_FALSE(InCheck(T(), Black));
}

}  // namespace
