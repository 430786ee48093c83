// Evaluation symmetry on random boards, promoted extras included: a position
// and its twin with ranks flipped and colours swapped must score the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "eval_support.h"

namespace {

using evaltest::Root;

// Adds up to 15 men to one side (never more than 16 with those already on
// the board); pawns stay off ranks 1 and 8. The piece kinds are drawn freely,
// so a side may hold several queens or three bishops on one colour.
void PlaceSide(char* board, int side, std::mt19937& rng) {
    static const char Pieces[] = "QRBN";
    const char bit = side ? 'a' - 'A' : 0;
    int present = 0;
    for (int sq = 1; sq <= 64; sq++) present += board[sq] && (board[sq] >= 'a') == (side == 1);
    const int men = std::min(int(rng() % 16), 16 - present);
    const int pawns = std::min(int(rng() % 9), men);
    for (int i = 0; i < men; i++) {
        const bool pawn = i < pawns;
        int sq;
        do {
            sq = pawn ? 9 + int(rng() % 48) : 1 + int(rng() % 64);
        } while (board[sq]);
        board[sq] = char((pawn ? 'P' : Pieces[rng() % 4]) + bit);
    }
}

// Castling rights are offered for every corner; the reader keeps those the
// board allows. An en-passant square is named for the first pawn that could
// just have made a double step beside an enemy pawn.
std::string RandomFen(std::mt19937& rng) {
    char board[65] = {};
    const int side = int(rng() % 2);
    int kings[2];
    do {
        const bool home = rng() % 4 == 0;
        kings[0] = home ? 5 : 1 + int(rng() % 64);
        kings[1] = home ? 61 : 1 + int(rng() % 64);
    } while (board::FileOf(kings[0]) - board::FileOf(kings[1]) <= 1 &&
             board::FileOf(kings[1]) - board::FileOf(kings[0]) <= 1 &&
             board::RankOf(kings[0]) - board::RankOf(kings[1]) <= 1 &&
             board::RankOf(kings[1]) - board::RankOf(kings[0]) <= 1);
    board[kings[0]] = 'K';
    board[kings[1]] = 'k';
    if (rng() % 3 == 0)
        for (int sq : {1, 8, 57, 64})
            if (!board[sq]) board[sq] = sq < 9 ? 'R' : 'r';
    PlaceSide(board, 0, rng);
    PlaceSide(board, 1, rng);

    std::string ep = "-";
    const int rank = side == 0 ? 5 : 4, step = side == 0 ? 8 : -8;
    const char mover = side == 0 ? 'p' : 'P', taker = side == 0 ? 'P' : 'p';
    for (int file = 1; file <= 8 && ep == "-"; file++) {
        const int sq = board::SquareAt(file, rank);
        if (board[sq] != mover || board[sq + step] || board[sq + 2 * step]) continue;
        if ((file > 1 && board[sq - 1] == taker) || (file < 8 && board[sq + 1] == taker))
            ep = board::SquareNames[sq + step];
    }

    std::string fen;
    for (int r = 8; r >= 1; r--) {
        int empty = 0;
        for (int f = 1; f <= 8; f++) {
            const char c = board[board::SquareAt(f, r)];
            if (!c) { empty++; continue; }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (r > 1) fen += '/';
    }
    return fen + (side ? " b KQkq " : " w KQkq ") + ep + " 0 1";
}

int Sign(int x) { return (x > 0) - (x < 0); }

// The pin rule stops at the first pinning slider in the order of the attack
// entry, an order that follows the square order of the set-up, which the
// mirror reverses. A man pinned by two sliders may so lose another amount in
// the twin; such boards are left out.
bool PinnedTwice(const board::Tree& t) {
    using board::FileOf;
    using board::RankOf;
    for (int sq = 1; sq <= 64; sq++) {
        const int code = t.board[sq], kind = code & 7, s = board::ColourOf(code);
        if (kind != 3 && kind != 5 && kind != 6) continue;
        const board::AttackEntry& entry = t.attackTable[s ^ 1][sq];
        int pins = 0;
        for (uint32_t i = 0; i < entry.number; i++) {
            const int from = entry.squares[i], slider = t.board[from];
            if (!board::IsSlider(slider)) continue;
            const int df = Sign(FileOf(sq) - FileOf(from)), dr = Sign(RankOf(sq) - RankOf(from));
            int f = FileOf(sq) + df, r = RankOf(sq) + dr;
            while (f >= 1 && f <= 8 && r >= 1 && r <= 8 && !t.board[board::SquareAt(f, r)]) f += df, r += dr;
            if (f < 1 || f > 8 || r < 1 || r > 8) continue;
            const int behind = t.board[board::SquareAt(f, r)];
            if (board::ColourOf(behind) == s && board::PieceValue[behind] > board::PieceValue[slider]) pins++;
        }
        if (pins >= 2) return true;
    }
    return false;
}

// Castling rights and en-passant square of the mirrored twin.
uint32_t MirrorFlags(uint32_t flags) {
    uint32_t out = uint32_t(board::Mirror(int(flags & board::EpMask)));
    if (flags & board::WhiteKingSide) out |= board::BlackKingSide;
    if (flags & board::WhiteQueenSide) out |= board::BlackQueenSide;
    if (flags & board::BlackKingSide) out |= board::WhiteKingSide;
    if (flags & board::BlackQueenSide) out |= board::WhiteQueenSide;
    return out;
}

TEST(EvalSymmetry, RandomBoardsWithPromotedExtrasMirrorExactly) {
    std::mt19937 rng(20261209);
    Root a, b;
    int tried = 0, pinnedTwice = 0, mismatches = 0, withEnPassant = 0, withCastling = 0, withExtras = 0;
    while (tried < 20000) {
        const std::string fen = RandomFen(rng);
        // Refused when the side that has just moved stands in check.
        if (!evaltest::Load(a, fen)) continue;
        tried++;
        if (PinnedTwice(*a.tree)) {
            pinnedTwice++;
            continue;
        }
        const uint32_t flags = a.node->flags;
        withEnPassant += (flags & board::EpMask) != 0;
        withCastling += (flags & board::CastleMask) != 0;
        const uint8_t* count = a.tree->pieceCount;
        for (int bit : {0, board::BlackBit})
            if (count[board::WQueen | bit] > 1 || count[board::WRook | bit] > 2 ||
                count[board::WBishop | bit] > 2 || count[board::WKnight | bit] > 2) {
                withExtras++;
                break;
            }

        const int score = evaltest::Full(a);
        const std::string twin = evaltest::Fen(a.tree->board, a.node->side, flags, true);
        ASSERT_TRUE(evaltest::Load(b, twin)) << fen << "  vs  " << twin;
        ASSERT_EQ(b.node->flags & (board::EpMask | board::CastleMask), MirrorFlags(flags)) << fen << "  vs  " << twin;
        const int twinScore = evaltest::Full(b);
        if (score != twinScore && ++mismatches <= 5)
            ADD_FAILURE() << fen << " scores " << score << ", " << twin << " scores " << twinScore;
    }
    EXPECT_EQ(mismatches, 0) << "of " << tried;
    // The generator must reach the cases it is meant for.
    EXPECT_LT(pinnedTwice, tried / 100);
    EXPECT_GT(withExtras, tried / 2);
    EXPECT_GT(withCastling, tried / 20);
    EXPECT_GT(withEnPassant, tried / 100);
}

}  // namespace
