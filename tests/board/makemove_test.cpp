// Make/unmake keep every incremental structure equal to a rebuild.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "board/attacks.h"
#include "board_helpers.h"

namespace {

using namespace board;

// Everything make must restore exactly (attack entries compared as sets).
struct Snapshot {
    uint8_t boardSquares[65];
    uint8_t pieces[2][17];
    uint8_t counts[16];
    uint32_t kindCounts[8];
    std::vector<std::vector<int>> attackers;
    const uint32_t* keyTop;
    uint8_t* const* capturedTop;

    explicit Snapshot(const Tree& t) {
        std::memcpy(boardSquares, t.board, sizeof boardSquares);
        std::memcpy(pieces, t.pieces, sizeof pieces);
        std::memcpy(counts, t.pieceCount, sizeof counts);
        for (int i = 0; i < 8; i++) kindCounts[i] = t.kinds[i].count;
        for (int side = 0; side < 2; side++)
            for (int sq = 1; sq <= 64; sq++) {
                const AttackEntry& e = t.attackTable[side][sq];
                std::vector<int> v(e.squares, e.squares + e.number);
                std::sort(v.begin(), v.end());
                v.push_back(-int(e.sliders));
                attackers.push_back(v);
            }
        keyTop = t.keyTop;
        capturedTop = t.capturedTop;
    }
    bool operator==(const Snapshot& o) const {
        return std::memcmp(boardSquares, o.boardSquares, sizeof boardSquares) == 0 &&
               std::memcmp(pieces, o.pieces, sizeof pieces) == 0 && std::memcmp(counts, o.counts, sizeof counts) == 0 &&
               std::memcmp(kindCounts, o.kindCounts, sizeof kindCounts) == 0 && attackers == o.attackers &&
               keyTop == o.keyTop && capturedTop == o.capturedTop;
    }
};

// Random values so that the square score is really tested.
struct RandomPieceSquare {
    int32_t saved[16][65];
    int32_t savedSide;
    explicit RandomPieceSquare(uint32_t seed) {
        std::memcpy(saved, PieceSquare, sizeof saved);
        savedSide = SideTerm;
        std::mt19937 rng(seed);
        for (auto& row : PieceSquare)
            for (int32_t& v : row) v = int32_t(rng() % 201) - 100;
        SideTerm = 17;
    }
    ~RandomPieceSquare() {
        std::memcpy(PieceSquare, saved, sizeof saved);
        SideTerm = savedSide;
    }
};

void RandomWalk(const char* fen, bool chess960, uint32_t seed, int steps) {
    SCOPED_TRACE(fen);
    RandomPieceSquare pst(seed);
    boardtest::Fixture f;
    ASSERT_EQ(boardtest::Load(f, fen, chess960), 1);
    Tree& t = *f.tree;
    f.root->squareScore = SquareScore(t, f.root->side);
    ASSERT_EQ(boardtest::CompareWithRebuild(t, f.root), "");
    std::mt19937 rng(seed);
    NodeRecord* node = f.root;
    int nulls = 0, illegal = 0, made = 0;
    for (int step = 0; step < steps; step++) {
        int ply = int(node - t.nodeArray);
        bool back = ply > 0 && (ply >= 60 || rng() % 4 == 0);
        if (!back) {
            Move moves[256];
            int n = board::LegalMoves(t, node, moves, 256);
            if (n == 0) {
                back = ply > 0;
                if (!back) break;
            } else {
                // Mostly legal moves; sometimes a pseudo-legal one to test
                // refusal, sometimes a null move.
                Move m = moves[rng() % unsigned(n)];
                if (!(node->flags & InCheckFlag) && rng() % 16 == 0) m = MoveNull;
                if (rng() % 8 == 0) {
                    node->quietList = node->quietEnd;
                    node->captureList = node->captureEnd;
                    GenerateMoves(t, node, GenAll, 1);
                    std::vector<Move> all;
                    for (MoveEntry* e = node->captureList; e->score != ListEnd; e++) all.push_back(e->move);
                    for (MoveEntry* e = node->quietList; e->score != ListEnd; e++) all.push_back(e->move);
                    node->quietEnd = node->quietList;
                    node->captureEnd = node->captureList;
                    if (!all.empty()) m = all[rng() % all.size()];
                }
                node->currentMove = m;
                Snapshot before(t);
                NodeRecord* child = MakeMove(t, node);
                if (!child) {
                    illegal++;
                    ASSERT_TRUE(before == Snapshot(t)) << "refused move changed the board";
                    continue;
                }
                if (m == MoveNull) nulls++;
                made++;
                node = child;
                // Comparing reads the tables and so brings them up to date;
                // without it the next unmake takes back a move the tables
                // never saw.
                if (rng() % 2) {
                    std::string diff = boardtest::CompareWithRebuild(t, node);
                    ASSERT_EQ(diff, "") << "after making a move at step " << step;
                }
                continue;
            }
        }
        node--;
        UnmakeMove(t, node);
        std::string diff = boardtest::CompareWithRebuild(t, node);
        ASSERT_EQ(diff, "") << "after unmaking at step " << step;
    }
    EXPECT_GT(made, steps / 3);
    (void)nulls;
    (void)illegal;
}

TEST(MakeUnmake, RandomSequencesMatchRebuild) {
    RandomWalk("", false, 1, 3000);
    RandomWalk("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", false, 2, 3000);
    RandomWalk("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", false, 3, 3000);
    RandomWalk("n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", false, 4, 3000);
    RandomWalk("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", false, 5, 3000);
    RandomWalk("rnbqkbnr/pp1p1ppp/8/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3", false, 6, 3000);
    // promoted extras: a capture takes off exactly what its man added to the signature
    RandomWalk("rn1qkbnr/pP2b2p/2nq1n2/2b5/2BR4/2NQ1N2/P3B1pP/RN1QKBNR w - - 0 1", false, 11, 3000);
}

TEST(MakeUnmake, RandomChess960SequencesMatchRebuild) {
    RandomWalk("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", true, 7, 3000);
    RandomWalk("rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1", true, 8, 3000);
    RandomWalk("1r4kr/8/8/8/8/8/8/1R4KR w HBhb - 0 1", true, 9, 3000);
    RandomWalk("r1k3r1/8/8/8/8/8/8/R1K3R1 w GAga - 0 1", true, 10, 3000);
}

// Make judges legality and check from the tables before the move. At every
// node of these trees each normal move is also played on a copy of the board
// whose tables are built from scratch: make must refuse exactly the moves
// that leave the own king attacked there, and flag exactly the checks.
struct Oracle {
    bool legal;
    bool check;
};

Oracle Rebuilt(const Tree& t, Move m, int side) {
    static Tree scratch;
    std::memcpy(scratch.board, t.board, sizeof scratch.board);
    scratch.board[MoveFrom(m)] = 0;
    scratch.board[MoveTo(m)] = uint8_t(MovePromotion(m) ? MovePromotion(m) : MovePiece(m));
    SetUpTree(scratch);
    return Oracle{!InCheck(scratch, side), InCheck(scratch, side ^ 1) != 0};
}

void WalkChecks(Tree& t, NodeRecord* node, int depth, int& checks, int& faults) {
    GenerateMoves(t, node, GenAll, 1);
    MoveEntry* lists[2] = {node->captureList, node->quietList};
    for (MoveEntry* list : lists) {
        for (MoveEntry* e = list; e->score != ListEnd; e++) {
            node->currentMove = e->move;
            const bool special = (e->move & (MoveEnPassant | MoveCastle)) != 0;
            const Oracle o = special ? Oracle{true, false} : Rebuilt(t, e->move, node->side);
            NodeRecord* child = MakeMove(t, node);
            if (!special && (child != nullptr) != o.legal) faults++;
            if (!child) continue;
            const bool flagged = (child->flags & InCheckFlag) != 0;
            if (flagged != (InCheck(t, child->side) != 0) || InCheck(t, node->side)) faults++;
            if (!special && flagged != o.check) faults++;
            checks += flagged;
            if (depth > 1) WalkChecks(t, child, depth - 1, checks, faults);
            UnmakeMove(t, node);
        }
    }
}

TEST(MakeUnmake, CheckFlagAndLegalityFromTablesBeforeTheMove) {
    struct Case {
        const char* fen;
        int depth;
    };
    const Case cases[] = {
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3},
        // Discovered checks and pins on every line kind, pawns stepping
        // towards and away from the slider behind them.
        {"3k4/8/3K4/8/8/3p4/8/3r4 b - - 0 1", 4},
        {"4k3/8/4q3/8/1B2N2r/8/2P5/R3K3 w Q - 0 1", 3},
        {"6k1/5p2/4P3/3B4/8/1q6/1P6/1K1R3r w - - 0 1", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        boardtest::Fixture f;
        ASSERT_EQ(boardtest::Load(f, c.fen, false), 1);
        int checks = 0, faults = 0;
        WalkChecks(*f.tree, f.root, c.depth, checks, faults);
        EXPECT_EQ(faults, 0);
        EXPECT_GT(checks, 0);
        EXPECT_EQ(boardtest::CompareWithRebuild(*f.tree, f.root), "");
    }
}

TEST(MakeUnmake, PawnInFrontOfOwnRookChecksOnlyByLeavingTheFile) {
    boardtest::Fixture f;
    ASSERT_EQ(boardtest::Load(f, "8/8/3K4/8/8/3p3k/4N3/3r4 b - - 0 1", false), 1);
    // Stepping towards the rook keeps the file shut.
    f.root->currentMove = MakeMoveWord(SquareAt(4, 3), SquareAt(4, 2), BPawn);
    NodeRecord* child = MakeMove(*f.tree, f.root);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->flags & InCheckFlag, 0u);
    UnmakeMove(*f.tree, f.root);
    // Capturing off the file opens it.
    f.root->currentMove = MakeMoveWord(SquareAt(4, 3), SquareAt(5, 2), BPawn, WKnight);
    child = MakeMove(*f.tree, f.root);
    ASSERT_NE(child, nullptr);
    EXPECT_NE(child->flags & InCheckFlag, 0u);
    EXPECT_EQ(child->checks[White], 1);
    UnmakeMove(*f.tree, f.root);
    EXPECT_EQ(boardtest::CompareWithRebuild(*f.tree, f.root), "");
}

}  // namespace
