// The order of the attackers inside each attack entry is part of the tables'
// contents: capture generation, evasions and the search's tie-breaks follow
// it. These digests were taken from the reference implementation of the
// attack updates; any change to the sequence of additions and removals on an
// entry shows up here even when the perft counts still agree.
#include <gtest/gtest.h>

#include "board_helpers.h"

namespace {

using namespace board;

uint64_t Mix(uint64_t h, uint32_t v) {
    h ^= v;
    return h * 0x100000001b3ull;
}

uint64_t TablesDigest(const Tree& t, uint64_t h) {
    SyncAttacks(t);
    for (int side = 0; side < 2; side++)
        for (int sq = 1; sq <= 64; sq++) {
            const AttackEntry& e = t.attackTable[side][sq];
            h = Mix(h, e.number | (e.sliders << 8));
            for (uint32_t i = 0; i < e.number && i < uint32_t(MaxAttackers); i++) h = Mix(h, e.squares[i]);
        }
    return h;
}

// Walks every legal line to the depth; digests the tables after each make and
// checks that refusals and unmakes give every entry back in its old order.
void Walk(Tree& t, NodeRecord* node, int depth, uint64_t& h, int& faults) {
    GenerateMoves(t, node, GenAll, 1);
    const uint64_t here = TablesDigest(t, 0);
    MoveEntry* lists[2] = {node->captureList, node->quietList};
    for (MoveEntry* list : lists) {
        for (MoveEntry* e = list; e->score != ListEnd; e++) {
            node->currentMove = e->move;
            if (!MakeMove(t, node)) {
                if (TablesDigest(t, 0) != here) faults++;
                continue;
            }
            h = TablesDigest(t, Mix(h, e->move));
            if (depth > 1) Walk(t, node + 1, depth - 1, h, faults);
            UnmakeMove(t, node);
            if (TablesDigest(t, 0) != here) faults++;
        }
    }
}

struct DigestCase {
    const char* fen;
    bool chess960;
    int depth;
    uint64_t digest;
};

TEST(AttackOrder, EntriesFollowTheMovePath) {
    const DigestCase cases[] = {
        {"", false, 3, 16612255833722832342ull},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", false, 2, 3102321327863257821ull},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", false, 2, 7828450217831870914ull},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", false, 3, 4955249950390282593ull},
        {"rnbqkbnr/pp1p1ppp/8/2pPp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3", false, 2, 12816255303935985916ull},
        {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", true, 2, 12820660137498098186ull},
        {"1r4kr/8/8/8/8/8/8/1R4KR w HBhb - 0 1", true, 3, 10609254342220705076ull},
    };
    for (const DigestCase& c : cases) {
        boardtest::Fixture f;
        ASSERT_EQ(boardtest::Load(f, c.fen, c.chess960), 1) << c.fen;
        uint64_t h = 0xcbf29ce484222325ull;
        int faults = 0;
        Walk(*f.tree, f.root, c.depth, h, faults);
        EXPECT_EQ(faults, 0) << c.fen;
        EXPECT_EQ(h, c.digest) << c.fen;
    }
}

}  // namespace
