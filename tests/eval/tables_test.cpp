// Per-search tables: root stage, endgame-after-captures, piece-square tables
// and material options; the material table's rules and scales.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "core/settings.h"
#include "eval_support.h"

namespace {

using evaltest::Root;

const char* const Developed = "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQ1RK1 w - - 0 1";

TEST(RootStage, FollowsTheMaterialAndDevelopment) {
    Root r;
    evaltest::Load(r, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(eval::RootStage, 1);
    EXPECT_EQ(r.switches.endgameClass, 1);
    EXPECT_EQ(r.switches.checkExtPlyLimit, 99);
    EXPECT_EQ(r.switches.fewPiecesFlag, 0);
    evaltest::Load(r, Developed);
    EXPECT_EQ(eval::RootStage, 2);
    evaltest::Load(r, "4k3/pp3ppp/8/8/8/8/PP3PPP/2R1K3 w - - 0 1");
    EXPECT_EQ(eval::RootStage, 4);
    EXPECT_EQ(r.switches.checkExtPlyLimit, 4);
    EXPECT_EQ(r.switches.nullMovePlyRule, 1);
    EXPECT_EQ(r.switches.fewPiecesFlag, 1);
    evaltest::Load(r, "4k3/pp3ppp/8/8/8/8/PP3PPP/4K3 w - - 0 1");
    EXPECT_EQ(eval::RootStage, 4 | 0x10);
    // white's bare king against king and rook
    evaltest::Load(r, "4k3/8/8/8/8/8/8/r3K3 w - - 0 1");
    EXPECT_EQ(eval::RootStage, 0x20);
    evaltest::Load(r, "4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(eval::RootStage, 0x40);
}

TEST(RootStage, CapturesSinceTheRootDecideEndgameWeighting) {
    Root r;
    evaltest::Load(r, Developed);
    // both queens and one rook each: still a middle game by the counts
    EXPECT_EQ(eval::EndgameAfterCaptures[64 | 128 | 16 | 32], 0);
    // add both light pieces of each side: the endgame starts
    EXPECT_EQ(eval::EndgameAfterCaptures[0xff], 1);
    EXPECT_EQ(eval::EndgameAfterCaptures[0], 0);
    evaltest::Load(r, "4k3/pp3ppp/8/8/8/8/PP3PPP/2R1K3 w - - 0 1");
    for (int mask = 0; mask < 256; mask++) EXPECT_EQ(eval::EndgameAfterCaptures[mask], 0);
}

TEST(PieceSquare, BuiltInTablesAndMaterialOptions) {
    static const int PawnRows[6][8] = {{6, 5, 3, 5, 5, 6, 5, 6},         {8, 4, 6, 8, 8, 6, 4, 8},
                                       {11, 5, 12, 13, 13, 12, 5, 11},   {14, 12, 20, 24, 24, 20, 12, 14},
                                       {16, 22, 17, 26, 26, 17, 22, 16}, {28, 10, 10, 27, 27, 10, 10, 28}};
    core::Settings saved = core::settings;
    Root r;
    evaltest::Load(r, Developed);
    ASSERT_EQ(eval::RootStage, 2);
    int queens[2][65];
    for (int rank = 2; rank <= 7; rank++)
        for (int file = 1; file <= 8; file++) {
            const int sq = board::SquareAt(file, rank);
            EXPECT_EQ(board::PieceSquare[board::WPawn][sq], PawnRows[rank - 2][file - 1]);
            EXPECT_EQ(board::PieceSquare[board::BPawn][board::Mirror(sq)], PawnRows[rank - 2][file - 1]);
        }
    // castled shelter: g1 with f2 and g2
    EXPECT_EQ(board::PieceSquare[board::WKing][7] - board::PieceSquare[board::WKing][8],
              eval::W.kingSquaresMg[6] - eval::W.kingSquaresMg[7] + 12);
    for (int sq = 1; sq <= 64; sq++) {
        queens[0][sq] = board::PieceSquare[board::WQueen][sq];
        queens[1][sq] = board::PieceSquare[board::BQueen][sq];
    }
    // the side term cancels the root's pawn tables
    EXPECT_EQ(board::SquareScore(*r.tree, 0), -board::SquareScore(*r.tree, 1));
    core::settings.queen = 150;
    evaltest::Load(r, Developed);
    for (int sq = 1; sq <= 64; sq++) {
        EXPECT_EQ(board::PieceSquare[board::WQueen][sq], queens[0][sq] + 527);
        EXPECT_EQ(board::PieceSquare[board::BQueen][sq], queens[1][sq] + 527);
    }
    core::settings = saved;
    // in an endgame the endgame options apply
    const char* ending = "4k3/pp3ppp/8/8/8/8/PP3PPP/2R1K3 w - - 0 1";
    evaltest::Load(r, ending);
    int pawns[65];
    for (int sq = 1; sq <= 64; sq++) pawns[sq] = board::PieceSquare[board::BPawn][sq];
    const uint32_t signature = eval::SettingsSignature[0];
    core::settings.pawnEnd = 50;
    core::settings.pawn = 300;  // the middlegame option does not count here
    evaltest::Load(r, ending);
    for (int sq = 9; sq <= 56; sq++) EXPECT_EQ(board::PieceSquare[board::BPawn][sq], pawns[sq] - 50);
    EXPECT_NE(eval::SettingsSignature[0], signature);
    core::settings = saved;
    evaltest::Load(r, ending);
    EXPECT_EQ(eval::SettingsSignature[0], signature);
}

TEST(PieceSquare, PreferOpenMarksPawnTensions) {
    core::Settings saved = core::settings;
    Root r;
    const char* fen = "rnbqkbnr/p1pppppp/8/8/1p6/8/P1PPPPPP/RNBQKBNR w KQkq - 0 1";
    evaltest::Load(r, fen);
    int w[65], b[65];
    for (int sq = 1; sq <= 64; sq++) {
        w[sq] = board::PieceSquare[board::WPawn][sq];
        b[sq] = board::PieceSquare[board::BPawn][sq];
    }
    core::settings.preferOpen = 1;
    evaltest::Load(r, fen);
    core::settings = saved;
    const int c2 = 11, c4 = 27, c3 = 19, b3 = 18;
    EXPECT_EQ(board::PieceSquare[board::WPawn][c2], w[c2] - 10);
    EXPECT_EQ(board::PieceSquare[board::WPawn][c4], w[c4] - 5);
    EXPECT_EQ(board::PieceSquare[board::BPawn][c3], b[c3] + 10);
    EXPECT_EQ(board::PieceSquare[board::BPawn][b3], b[b3] + 10);
    EXPECT_EQ(board::PieceSquare[board::WPawn][12], w[12]);
}

uint32_t Sig(int pawns, int knights, int light, int dark, int rooks, int queens) {
    return uint32_t(pawns + 16 * knights + 64 * light + 128 * dark + 256 * rooks + 1024 * queens);
}

TEST(MaterialTable, RulesAndScales) {
    // rook and bishop against rook and pawn
    eval::MaterialEntry e = eval::ComputeMaterialEntry(Sig(0, 0, 1, 0, 1, 0), Sig(1, 0, 0, 0, 1, 0));
    EXPECT_EQ(e.value, -275);
    EXPECT_EQ(e.scale, 25);
    e = eval::ComputeMaterialEntry(Sig(1, 0, 0, 0, 1, 0), Sig(0, 0, 1, 0, 1, 0));
    EXPECT_EQ(e.value, 275);  // colours exchanged
    EXPECT_EQ(e.scale, 25);
    // two knights alone: scale 20, advantage cancelled
    e = eval::ComputeMaterialEntry(Sig(0, 2, 0, 0, 0, 0), 0);
    EXPECT_EQ(e.scale, 20);
    EXPECT_LE(e.value, -600);
    // opposite-coloured bishops, three pawns each
    e = eval::ComputeMaterialEntry(Sig(3, 0, 1, 0, 0, 0), Sig(3, 0, 0, 1, 0, 0));
    EXPECT_EQ(e.scale, 45);
    e = eval::ComputeMaterialEntry(Sig(4, 0, 1, 0, 0, 0), Sig(3, 0, 0, 1, 0, 0));
    EXPECT_EQ(e.scale, 50);
    e = eval::ComputeMaterialEntry(Sig(1, 0, 1, 0, 0, 0), Sig(0, 0, 0, 1, 0, 0));
    EXPECT_EQ(e.scale, 5);
    // same-coloured bishops are no reason to scale
    e = eval::ComputeMaterialEntry(Sig(3, 0, 1, 0, 0, 0), Sig(3, 0, 1, 0, 0, 0));
    EXPECT_EQ(e.scale, 0);
    EXPECT_EQ(e.flags & 4, 4);
    // single rooks with equal pawns
    e = eval::ComputeMaterialEntry(Sig(4, 0, 0, 0, 1, 0), Sig(4, 0, 0, 0, 1, 0));
    EXPECT_EQ(e.scale, 85);
    EXPECT_EQ(e.value, 0);
    // bishop pair, 16 pawns: 28 + 1 (enemy queen) with knights against the pair
    e = eval::ComputeMaterialEntry(Sig(8, 0, 1, 1, 2, 1), Sig(8, 2, 0, 0, 2, 1));
    EXPECT_EQ(e.value, 28 + 2 + 1);
    // more pawns than a game can have, as a FEN may give: the table's last entry
    e = eval::ComputeMaterialEntry(Sig(13, 0, 1, 1, 2, 1), Sig(13, 2, 0, 0, 2, 1));
    EXPECT_EQ(e.value, 3 + 2 + 1);
    // the exchange: rook against minor piece
    e = eval::ComputeMaterialEntry(Sig(6, 1, 0, 0, 2, 1), Sig(6, 2, 0, 0, 1, 1));
    EXPECT_EQ(e.flags & 1, 1);
    // minor piece against pawns
    e = eval::ComputeMaterialEntry(Sig(0, 1, 0, 0, 0, 0), Sig(2, 0, 0, 0, 0, 0));
    EXPECT_EQ(e.scale, 75);
    EXPECT_EQ(e.flags & 1, 1);
    // symmetric material is level
    e = eval::ComputeMaterialEntry(Sig(7, 1, 1, 0, 2, 1), Sig(7, 1, 1, 0, 2, 1));
    EXPECT_EQ(e.value, 0);
}

TEST(MaterialTable, CombineScale) {
    EXPECT_EQ(eval::CombineScale(0, 40), 40);
    EXPECT_EQ(eval::CombineScale(50, 80), 40);
    EXPECT_EQ(eval::CombineScale(1, 5), 1);
    EXPECT_EQ(eval::CombineScale(25, 0), 1);
}

}  // namespace
