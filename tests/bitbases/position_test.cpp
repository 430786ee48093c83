// The look-ahead's own move generator against the engine's, on random
// positions of three to five men.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bitbases/position.h"
#include "../board/board_helpers.h"

namespace {

TEST(BitbasePosition, LegalMovesMatchTheEngine) {
    std::mt19937 rng(5);
    const char* letters = " KQRBNPkqrbnp";
    int compared = 0, withEnPassant = 0;
    boardtest::Fixture f;
    for (int trial = 0; trial < 4000 && compared < 1500; trial++) {
        bitbases::CChessPosition pos;
        bool white = rng() % 2;
        pos.Clear(white);
        int men = 1 + int(rng() % 3);
        int codes[5] = {bitbases::WK, bitbases::BK};
        static const int Men[10] = {2, 3, 4, 5, 6, 8, 9, 10, 11, 12};
        for (int i = 0; i < men; i++) codes[2 + i] = Men[rng() % 10];
        bool ok = true;
        for (int i = 0; i < men + 2 && ok; i++) {
            int code = codes[i];
            int sq = int(rng() % 64);
            bool pawn = code == bitbases::WP || code == bitbases::BP;
            if (pos.board[sq] || (pawn && (sq < 8 || sq >= 56))) ok = false;
            else pos.Put(code, sq);
        }
        if (!ok) continue;
        // Sometimes a double step just made, with a pawn beside to take it.
        if (rng() % 3 == 0) {
            int file = int(rng() % 8), side = rng() % 2 ? 1 : -1;
            int pawnSq = white ? 32 + file : 24 + file, taker = pawnSq + side;
            int behind = white ? pawnSq + 8 : pawnSq - 8, start = white ? pawnSq + 16 : pawnSq - 16;
            if (taker / 8 == pawnSq / 8 && !pos.board[pawnSq] && !pos.board[taker] && !pos.board[behind] &&
                !pos.board[start]) {
                pos.Put(white ? bitbases::BP : bitbases::WP, pawnSq);
                pos.Put(white ? bitbases::WP : bitbases::BP, taker);
                pos.epSquare = behind;
            }
        }
        // The side not to move must not be in check.
        pos.sideToMove ^= 1;
        bool illegal = pos.InCheck();
        pos.sideToMove ^= 1;
        if (illegal) continue;
        std::string fen;
        for (int r = 7; r >= 0; r--) {
            int empty = 0;
            for (int file = 0; file < 8; file++) {
                int c = pos.board[r * 8 + file];
                if (!c) {
                    empty++;
                    continue;
                }
                if (empty) fen += char('0' + empty);
                empty = 0;
                fen += letters[c];
            }
            if (empty) fen += char('0' + empty);
            if (r) fen += '/';
        }
        fen += white ? " w - " : " b - ";
        fen += pos.epSquare ? std::string(1, char('a' + pos.epSquare % 8)) + char('1' + pos.epSquare / 8) : "-";
        fen += " 0 1";
        if (!boardtest::Load(f, fen)) continue;
        board::Move moves[256];
        int engine = board::LegalMoves(*f.tree, f.root, moves, 256);
        bitbases::BitbaseMoveList list;
        pos.Generate(list, 1);
        ASSERT_EQ(list.count, engine) << fen;
        // Every move made and taken back leaves the board as it was.
        bitbases::CChessPosition copy = pos;
        for (int i = 0; i < list.count; i++) {
            pos.PlayMove(list.Move(i));
            pos.TakeBackMove();
        }
        ASSERT_EQ(std::memcmp(pos.board, copy.board, 64), 0) << fen;
        ASSERT_EQ(pos.epSquare, copy.epSquare) << fen;
        compared++;
        withEnPassant += pos.epSquare > 0;
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(withEnPassant, 100);
}

}  // namespace
