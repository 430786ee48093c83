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
// Squares along a direction, the square itself excluded: [direction][square];
// directions 0-3 raise the square number (N, E, NE, NW), 4-7 lower it.
extern Bitboard Rays[8][64];

void InitBoard();

inline Bitboard RayAttacks(int sq, int dir, Bitboard occupied) {
    Bitboard a = Rays[dir][sq], blockers = a & occupied;
    if (blockers) a ^= Rays[dir][dir < 4 ? __builtin_ctzll(blockers) : 63 - __builtin_clzll(blockers)];
    return a;
}

inline Bitboard RookAttacks(int sq, Bitboard occ) {
    return RayAttacks(sq, 0, occ) | RayAttacks(sq, 1, occ) | RayAttacks(sq, 4, occ) | RayAttacks(sq, 5, occ);
}

inline Bitboard BishopAttacks(int sq, Bitboard occ) {
    return RayAttacks(sq, 2, occ) | RayAttacks(sq, 3, occ) | RayAttacks(sq, 6, occ) | RayAttacks(sq, 7, occ);
}

// Squares attacked by a piece of the type standing on `sq`, with `occupied`
// blocking sliders (pawns: captures only).
inline Bitboard Attacks(PieceType type, Colour colour, int sq, Bitboard occupied) {
    switch (type) {
        case King: return KingAttacks[sq];
        case Knight: return KnightAttacks[sq];
        case Pawn: return PawnAttacks[colour][sq];
        case Rook: return RookAttacks(sq, occupied);
        case Bishop: return BishopAttacks(sq, occupied);
        case Queen: return RookAttacks(sq, occupied) | BishopAttacks(sq, occupied);
        default: return 0;
    }
}

// True when a piece of the type on `from` attacks `to`.
inline bool Attacks(PieceType type, Colour colour, int from, int to, Bitboard occupied) {
    switch (type) {
        case King: return (KingAttacks[from] >> to) & 1;
        case Knight: return (KnightAttacks[from] >> to) & 1;
        case Pawn: return (PawnAttacks[colour][from] >> to) & 1;
        case Rook: return Lines[from][to] == 1 && !(Between[from][to] & occupied);
        case Bishop: return Lines[from][to] == 2 && !(Between[from][to] & occupied);
        case Queen: return Lines[from][to] != 0 && !(Between[from][to] & occupied);
        default: return false;
    }
}

}  // namespace endgame
