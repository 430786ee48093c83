// Evaluation: colour symmetry, caches, recognised endings and option scaling.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "eval/cache.h"
#include "core/settings.h"
#include "eval_support.h"
#include "search/tt.h"

namespace {

using evaltest::Root;

// Positions from random legal games, as FEN texts.
std::vector<std::string> RandomGamePositions(int games, int plies, unsigned seed) {
    std::vector<std::string> out;
    std::mt19937 rng(seed);
    for (int g = 0; g < games; g++) {
        Root r;
        evaltest::Load(r, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        board::Tree& t = *r.tree;
        board::NodeRecord* node = r.node;
        for (int ply = 0; ply < plies && node->ply < 90; ply++) {
            board::GenerateMoves(t, node, board::GenAll, 1);
            std::vector<board::Move> legal;
            board::MoveEntry* lists[2] = {node->captureList, node->quietList};
            for (board::MoveEntry* list : lists)
                for (board::MoveEntry* e = list; e->score != board::ListEnd; e++) {
                    node->currentMove = e->move;
                    if (!board::MakeMove(t, node)) continue;
                    board::UnmakeMove(t, node);
                    legal.push_back(e->move);
                }
            if (legal.empty()) break;
            node->currentMove = legal[rng() % legal.size()];
            board::NodeRecord* child = board::MakeMove(t, node);
            if (!child) break;
            node = child;
            if (ply % 2 == 1) out.push_back(evaltest::Fen(t.board, node->side, node->flags, false));
        }
    }
    return out;
}

TEST(EvalSymmetry, MirroredTwinsEvaluateAlike) {
    const std::vector<std::string> fens = RandomGamePositions(12, 70, 12345);
    ASSERT_GE(fens.size(), 300u);
    int nonZero = 0;
    for (const std::string& fen : fens) {
        Root a, b;
        evaltest::Load(a, fen);
        const int va = evaltest::Full(a);
        const std::string twin = evaltest::Fen(a.tree->board, a.node->side, a.node->flags, true);
        evaltest::Load(b, twin);
        const int vb = evaltest::Full(b);
        EXPECT_EQ(va, vb) << fen << "  vs  " << twin;
        if (va != 0) nonZero++;
    }
    EXPECT_GT(nonZero, int(fens.size()) / 2);
}

TEST(EvalSymmetry, StartPositionIsLevelAndAMoveChangesIt) {
    Root r;
    evaltest::Load(r, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(evaltest::Full(r), eval::W.tempo);  // level but for the move in hand
    evaltest::Load(r, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_EQ(evaltest::Full(r), eval::W.tempo);
    EXPECT_EQ(eval::RootStage, 1);
    evaltest::Load(r, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    EXPECT_LT(evaltest::Full(r), 0);  // black to move, White has the better game
}

TEST(EvalEndings, KingAndPawnAgainstKing) {
    Root r;
    // won: 600 plus the square-score difference for the pawn side
    evaltest::Load(r, "4k3/8/8/4K3/4P3/8/8/8 w - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 600 + r.node->squareScore);
    // black's pawn, black to move, from black's view
    evaltest::Load(r, "8/8/8/4p3/4k3/8/8/4K3 b - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 600 + r.node->squareScore);
    // drawn: the defender holds the opposition; Kd6 Kd8 e7+ Ke8 Ke6 is stalemate
    evaltest::Load(r, "4k3/8/4P3/4K3/8/8/8/8 w - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 0);
    EXPECT_EQ(r.node->positionalValue, -(r.node->material[0] - r.node->material[1] + r.node->squareScore));
    // a rook pawn with the defender in the corner
    evaltest::Load(r, "7k/8/8/8/8/8/7P/7K w - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 0);
    // with the king in front on the sixth rank it is won whoever moves
    evaltest::Load(r, "4k3/8/4K3/4P3/8/8/8/8 b - - 0 1");
    EXPECT_EQ(evaltest::Full(r), -600 + r.node->squareScore);  // square score: black's view
    // bare kings and a lone minor piece
    evaltest::Load(r, "4k3/8/8/8/8/8/8/2B1K3 w - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 0);
    evaltest::Load(r, "4k3/8/8/8/8/8/8/2R1K3 w - - 0 1");
    EXPECT_GT(evaltest::Full(r), 400);
    // rook pawns and the bishop of the wrong colour: the defender in the corner holds
    evaltest::Load(r, "k7/8/8/8/P7/2B5/P7/K7 w - - 0 1");
    EXPECT_EQ(evaltest::Full(r), 0);
    evaltest::Load(r, "k7/8/8/8/P7/8/P3B3/K7 w - - 0 1");  // the right bishop wins
    EXPECT_GT(evaltest::Full(r), 300);
    evaltest::Load(r, "8/8/3k4/8/P7/2B5/P7/K7 w - - 0 1");  // the king is not there yet
    EXPECT_GT(evaltest::Full(r), 300);
}

TEST(EvalThreats, TheSideToMoveSavesItsWorstThreatenedPiece) {
    // e4 forks the knight on d5 and the bishop on f5; the a-pawns keep the
    // damping for a side without pawns out of the way
    const char* fen = "4k3/p7/8/3n1b2/4P3/8/P7/4K2R %c - - 0 1";
    enginetest::StartEngine();  // its first run sets the weights: before ours
    const eval::Weights saved = eval::W;
    auto whiteView = [&](char side, int knight, int bishop) {
        eval::W.threatByPawn[0] = knight;
        eval::W.threatByPawn[1] = bishop;
        Root r;
        char text[64];
        std::snprintf(text, sizeof text, fen, side);
        evaltest::Load(r, text);
        const int v = evaltest::Full(r);
        return side == 'w' ? v : -v;
    };
    // Black not to move: both threats count in full.
    EXPECT_EQ(whiteView('w', 150, 50) - whiteView('w', 50, 50), 100);
    EXPECT_EQ(whiteView('w', 150, 150) - whiteView('w', 50, 50), 200);
    // Black to move saves the worse-threatened piece and loses the other.
    EXPECT_EQ(whiteView('b', 150, 50), whiteView('b', 50, 50));
    EXPECT_EQ(whiteView('b', 50, 150), whiteView('b', 50, 50));
    EXPECT_EQ(whiteView('b', 150, 150) - whiteView('b', 50, 50), 100);
    eval::W = saved;
}

TEST(EvalKingSafety, OnlyUnguardedCheckSquaresCount) {
    // The knight on g5 reaches h3 and f3, two of the king's knight-check
    // squares; the queen guards f3. The g2 pawn guards both.
    enginetest::StartEngine();
    const eval::Weights saved = eval::W;
    auto kingSafety = [](const char* fen, int knightCheck) {
        eval::W.safeCheck[0] = knightCheck;
        Root r;
        evaltest::Load(r, fen);
        eval::Breakdown b;
        eval::EvaluateVerbose(*r.tree, r.node, b);
        return b.kingSafety;
    };
    const char* open = "r4qk1/pp3ppp/8/6n1/8/8/PP3P1P/3Q1RK1 w - - 0 1";
    const char* guarded = "r4qk1/pp3ppp/8/6n1/8/8/PP3PPP/3Q1RK1 w - - 0 1";
    // White has no knight, so black's king is never checked by one: the
    // difference is white's alone, scaled like the rest of king safety.
    EXPECT_EQ(kingSafety(open, 100) - kingSafety(open, 0), -130);
    EXPECT_EQ(kingSafety(guarded, 100), kingSafety(guarded, 0));
    eval::W = saved;
}

TEST(EvalKingSafety, DangerNeedsTwoAttackersAndGrowsWithTheAttack) {
    // Black's castled king; White brings the queen, then a knight, then a
    // bishop against the squares around it. Middlegame material throughout:
    // king safety counts only without endgame weighting.
    enginetest::StartEngine();
    const eval::Weights saved = eval::W;
    auto danger = [](const char* fen, int linear, int square) {
        auto kingSafety = [&](int l, int q) {
            eval::W.kingDangerLinear = l;
            eval::W.kingDangerSquare = q;
            Root r;
            evaltest::Load(r, fen);
            eval::Breakdown b;
            eval::EvaluateVerbose(*r.tree, r.node, b);
            return b.kingSafety;
        };
        return kingSafety(linear, square) - kingSafety(0, 0);  // white's view: black's danger
    };
    const char* queen = "r1bq1rk1/pp3ppp/2n5/7Q/8/N3B3/PP3PPP/R3R1K1 w - - 0 1";
    const char* queenKnight = "r1bq1rk1/pp3ppp/2n5/6NQ/8/4B3/PP3PPP/R3R1K1 w - - 0 1";
    const char* queenKnightBishop = "r1bq1rk1/pp3ppp/2n5/6NQ/8/3B4/PP3PPP/R3R1K1 w - - 0 1";
    const char* queenAway = "r1bq1rk1/pp3ppp/2n5/6N1/8/3B4/PP3PPP/Q3R1K1 w - - 0 1";
    const char* noQueen = "r1bq1rk1/pp3ppp/2n5/6N1/8/3B4/PP3PPP/R3R1K1 w - - 0 1";
    EXPECT_EQ(danger(queen, 64, 16), 0);  // a lone attacker is no attack
    const int two = danger(queenKnight, 64, 0), three = danger(queenKnightBishop, 64, 0);
    EXPECT_GT(two, 0);
    EXPECT_GT(three, two);
    // The square term makes each further unit dearer than the one before.
    const int twoSq = danger(queenKnight, 0, 16), threeSq = danger(queenKnightBishop, 0, 16);
    EXPECT_GT(threeSq * two, three * twoSq);
    // The same knight and bishop are far less dangerous without White's queen.
    const int bare = danger(noQueen, 64, 0), backed = danger(queenAway, 64, 0);
    EXPECT_GT(bare, 0);
    EXPECT_LT(2 * bare, backed);
    eval::W = saved;
}

// How much the "rest" share moves when one weight goes from 0 to `weight`.
int RestGain(int& field, int weight, const char* fen) {
    auto rest = [&](int w) {
        field = w;
        Root r;
        if (!evaltest::Load(r, fen)) {
            ADD_FAILURE() << fen;
            return 0;
        }
        eval::Breakdown b;
        eval::EvaluateVerbose(*r.tree, r.node, b);
        return b.rest;
    };
    return rest(weight) - rest(0);
}

TEST(EvalPieces, ARookBehindAPassedPawnOfEitherColour) {
    enginetest::StartEngine();
    const eval::Weights saved = eval::W;
    auto gain = [](const char* fen) { return RestGain(eval::W.rookBehindPassed, 50, fen); };
    EXPECT_EQ(gain("4k3/8/8/P7/8/8/8/R3K3 w - - 0 1"), 50);   // behind its own pawn
    EXPECT_EQ(gain("R7/4k3/8/8/8/p7/8/4K3 w - - 0 1"), 50);   // behind the enemy's
    EXPECT_EQ(gain("4k3/R7/8/P7/8/8/8/4K3 w - - 0 1"), 0);    // in front of it
    EXPECT_EQ(gain("4k3/8/8/P7/8/8/N7/R3K3 w - - 0 1"), 0);   // a man in between
    EXPECT_EQ(gain("4k3/p7/8/P7/8/8/8/R3K3 w - - 0 1"), 0);   // the pawn is not passed
    EXPECT_EQ(gain("r3k3/8/8/8/8/p7/8/4K3 w - - 0 1"), -50);  // black's rook, black's pawn
    eval::W = saved;
}

TEST(EvalPieces, SpaceCountsSafeCentralSquaresBehindThePawnsByPieces) {
    enginetest::StartEngine();
    const eval::Weights saved = eval::W;
    auto gain = [](const char* fen) { return RestGain(eval::W.space, 64, fen); };
    // White: 8 free squares, 4 of them behind d4 and e4 (12), seven pieces.
    // Black: d4 and e4 attack c5-f5, leaving c6-f6 (4), seven pieces.
    EXPECT_EQ(gain("rnbqkbnr/pppppppp/8/8/3PP3/8/PPP2PPP/RNBQKBNR b KQkq - 0 2"), 12 * 7 - 4 * 7);
    // Without queen and rooks white has four pieces to use the room.
    EXPECT_EQ(gain("rnbqkbnr/pppppppp/8/8/3PP3/8/PPP2PPP/1NB1KBN1 b kq - 0 2"), 12 * 4 - 4 * 7);
    // The same pawns mirrored: black's room counts against white.
    EXPECT_EQ(gain("rnbqkbnr/ppp2ppp/8/3pp3/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 3"), 4 * 7 - 12 * 7);
    eval::W = saved;
}

TEST(EvalMaterial, RookAndBishopAgainstRookAndPawnScalesTheWhole) {
    Root r;
    evaltest::Load(r, "4k3/8/8/8/8/4p3/2r5/2RBK3 w - - 0 1");
    eval::Breakdown b;
    eval::EvaluateVerbose(*r.tree, r.node, b);
    EXPECT_EQ(b.scale, 25);
    EXPECT_EQ(b.materialValue, -275);
    // the whole evaluation is a quarter of the unscaled sum
    const int m = r.node->material[0] - r.node->material[1] + r.node->squareScore;
    const int unscaled = b.pawns + b.kingSafety + b.centre + b.rest + b.materialValue;
    EXPECT_NEAR(b.total, (m + unscaled) * 25 / 100, 1);
}

TEST(EvalOptions, ScalingStepsAtOneHundredChangeNothing) {
    const char* fens[] = {"r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                          "2r2rk1/pp1bqppp/2n1pn2/3p4/2PP4/P1NBPN2/1P3PPP/R2Q1RK1 b - - 0 12"};
    core::Settings saved = core::settings;
    for (const char* fen : fens) {
        Root r;
        evaltest::Load(r, fen);
        eval::Breakdown b;
        eval::EvaluateVerbose(*r.tree, r.node, b);
        if (b.scale == 0) {
            // at 100 the total is exactly the sum of the parts
            const int white = b.material + b.squareScore + b.pawns + b.kingSafety + b.centre + b.rest +
                              b.materialValue;
            EXPECT_EQ(b.total, r.node->side == 0 ? white : -white) << fen;
        }
        // doubling an option doubles its part
        core::settings.kingSafety = 200;
        core::settings.centerControl = 200;
        eval::Breakdown d;
        eval::EvaluateVerbose(*r.tree, r.node, d);
        EXPECT_NEAR(d.kingSafety, 2 * b.kingSafety, 1) << fen;
        EXPECT_EQ(d.centre, 2 * b.centre) << fen;
        core::settings = saved;
    }
}

TEST(EvalCache, FullWindowIgnoresTheCacheAndNarrowWindowsUseIt) {
    ASSERT_EQ(eval::AllocateEvalTables(64), 1);
    eval::ClearEvalTables();
    Root r;
    evaltest::Load(r, "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9");
    r.node->ply = 0;
    const int full = evaltest::Full(r);
    const int stored = r.node->positionalValue;
    // tamper with the cached value, keeping the entry consistent
    eval::EvalEntry& e = eval::EvalTables[0][r.node->key[0] % eval::EvalEntries];
    const uint32_t keyBits = e.check ^ e.data;
    EXPECT_EQ(int16_t(uint16_t(e.data)), stored);
    e.data = (e.data & 0xffff0000u) | uint16_t(int16_t(stored + 37));
    e.check = e.data ^ keyBits;
    EXPECT_EQ(eval::Evaluate(*r.tree, r.node, -50, 50, 3), full + 37);
    EXPECT_EQ(evaltest::Full(r), full);
    // another position in the slot does not hit
    Root other;
    evaltest::Load(other, "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R b KQ - 3 9");
    EXPECT_EQ(eval::Evaluate(*other.tree, other.node, -50, 50, 3), evaltest::Full(other));
}

TEST(EvalLazy, FarOutsideTheWindowReturnsTheEstimate) {
    Root r;
    evaltest::Load(r, "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9");
    board::NodeRecord* n = r.node + 2;  // a deep node record of the same position
    std::memcpy(n, r.node, sizeof *n);
    n->ply = 2;
    n->positionalValue = 17;
    const int m = n->material[0] - n->material[1] + n->squareScore;
    EXPECT_EQ(eval::Evaluate(*r.tree, n, 500, 501, 0), m + 17);
    EXPECT_EQ(n->positionalValue, 17);
    // inside the margin it evaluates in full
    const int v = eval::Evaluate(*r.tree, n, m + 17, m + 18, 0);
    EXPECT_EQ(v, evaltest::Full(r));
}

}  // namespace

namespace {

TEST(EvalDamping, LongCheckingBySideBehindScalesTheWhole) {
    Root r;
    // Black to move, the exchange and more down
    evaltest::Load(r, "6k1/5ppp/8/8/8/8/r4PPP/3Q2K1 b - - 0 1");
    board::Tree& t = *r.tree;
    const int plain = evaltest::Full(r);
    ASSERT_LT(plain, 0);
    board::NodeRecord* n = r.node + 10;
    for (int i = 1; i <= 10; i++) {
        std::memcpy(r.node + i, r.node, sizeof *r.node);
        r.node[i].ply = uint8_t(i);
        r.node[i].flags &= ~board::InCheckFlag;
    }
    for (int up : {1, 3, 5, 7, 9}) n[-up].flags |= board::InCheckFlag;
    t.keyTop = &t.keyHistory[30];
    n->resetPoint = &t.keyHistory[15];
    const int damped = eval::Evaluate(t, n, -30000, 30000, 0);
    EXPECT_NEAR(damped, plain * 80 / 100, 1);
    // one quiet move in between: no damping
    n[-5].flags &= ~board::InCheckFlag;
    EXPECT_EQ(eval::Evaluate(t, n, -30000, 30000, 0), plain);
    // a recent irreversible move: no damping either
    n[-5].flags |= board::InCheckFlag;
    n->resetPoint = &t.keyHistory[25];
    EXPECT_EQ(eval::Evaluate(t, n, -30000, 30000, 0), plain);
}

}  // namespace

namespace {

TEST(EvalCache, PawnEntriesFollowTheWeights) {
    Root r;
    ASSERT_EQ(search::AllocateBoardTables(*r.tree), 1);
    eval::ClearPawnCache(*r.tree);
    eval::ClearMaterialTable(*r.tree);
    const char* fen = "r1bq1rk1/pp3ppp/2n2n2/3P4/8/2N2N2/PP3PPP/R1BQ1RK1 w - - 0 12";
    evaltest::Load(r, fen);
    ASSERT_EQ(eval::RootStage, 2);
    eval::Breakdown before, after, fresh;
    eval::EvaluateVerbose(*r.tree, r.node, before);
    core::Settings saved = core::settings;
    core::settings.passedPawns = 300;
    evaltest::Load(r, fen);  // the pawn cache keeps its entries
    eval::EvaluateVerbose(*r.tree, r.node, after);
    Root clean;
    evaltest::Load(clean, fen);
    eval::EvaluateVerbose(*clean.tree, clean.node, fresh);
    core::settings = saved;
    EXPECT_GT(after.pawns, before.pawns);
    EXPECT_EQ(after.pawns, fresh.pawns);
    search::FreeBoardTables(*r.tree);
}

}  // namespace
