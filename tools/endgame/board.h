// Board geometry for the endgame solver: squares 0..63 (a1 = 0, h8 = 63),
// bitboards, attack tables and the symmetries of the board.
#pragma once

#include <cstdint>

namespace endgame {

enum Colour : uint8_t { White = 0, Black = 1 };
enum PieceType : uint8_t { King = 0, Queen, Rook, Bishop, Knight, Pawn, NoPiece };

using Bitboard = uint64_t;

inline Bitboard Bit(int sq) { return Bitboard(1) << sq; }
inline int FileOf(int sq) { return sq & 7; }
inline int RankOf(int sq) { return sq >> 3; }
inline int PopLsb(Bitboard& b) {
    int sq = __builtin_ctzll(b);
    b &= b - 1;
    return sq;
}

// Filled once by InitBoard(); read-only afterwards.
extern Bitboard KingAttacks[64];
extern Bitboard KnightAttacks[64];
extern Bitboard PawnAttacks[2][64];    // [colour of the pawn][square]
extern Bitboard Between[64][64];       // squares strictly between two aligned squares
extern uint8_t Lines[64][64];          // 1 same rank or file, 2 same diagonal, 0 neither
// The eight symmetries of the square: [transform][square]; 0 is the identity,
// 1 mirrors files, 2 mirrors ranks, 4 flips along a1-h8 (bits combine).
extern uint8_t Transform[8][64];

void InitBoard();

// Squares attacked by a piece of the type standing on `sq`, with `occupied`
// blocking sliders (pawns: captures only).
Bitboard Attacks(PieceType type, Colour colour, int sq, Bitboard occupied);

// True when a piece of the type on `from` attacks `to`.
bool Attacks(PieceType type, Colour colour, int from, int to, Bitboard occupied);

}  // namespace endgame
