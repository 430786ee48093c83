// Squares, piece codes, move words and the fixed piece tables shared by every
// subsystem. Squares run 1..64 (a1 = 1, h8 = 64); 0 is "no square".
#pragma once
#include <cstdint>

namespace board {

using Move = uint32_t;  // 0 = no move

enum Side : int { White = 0, Black = 1 };

// Piece codes: bit 3 is black, bit 2 marks sliders.
enum Piece : int {
    Empty = 0,
    WKing = 1, WPawn = 2, WKnight = 3, WBishop = 5, WRook = 6, WQueen = 7,
    BKing = 9, BPawn = 10, BKnight = 11, BBishop = 13, BRook = 14, BQueen = 15,
    CapturedSlot = 99  // marks a captured man's slot in a piece list
};

constexpr int BlackBit = 8;
inline int ColourOf(int code) { return code >> 3; }
inline bool IsSlider(int code) { return (code & 4) != 0; }
inline bool IsPawn(int code) { return (code & 7) == 2; }
inline bool IsKing(int code) { return (code & 7) == 1; }
inline bool IsKnight(int code) { return (code & 7) == 3; }
inline bool IsDiagonalSlider(int code) { return (code & 5) == 5; }   // bishop or queen
inline bool IsStraightSlider(int code) { return (code & 6) == 6; }   // rook or queen

// Flags word of a position / node.
constexpr uint32_t EpMask = 0x3f;
constexpr uint32_t BlackQueenSide = 0x40;
constexpr uint32_t BlackKingSide = 0x80;
constexpr uint32_t WhiteQueenSide = 0x100;
constexpr uint32_t WhiteKingSide = 0x200;
constexpr uint32_t CastleMask = 0x3c0;
constexpr uint32_t InCheckFlag = 0x400;

// Move word layout.
constexpr Move MoveEnPassant = 1u << 26;
constexpr Move MoveCastle = 1u << 27;
constexpr Move MoveNull = 1u << 28;
constexpr Move MoveDouble = 1u << 29;

inline int MoveFrom(Move m) { return int(m & 127); }
inline int MoveTo(Move m) { return int((m >> 7) & 127); }
inline int MovePromotion(Move m) { return int((m >> 14) & 15); }
inline int MoveCaptured(Move m) { return int((m >> 18) & 15); }
inline int MovePiece(Move m) { return int((m >> 22) & 15); }
inline Move MakeMoveWord(int from, int to, int piece, int captured = 0, int promotion = 0) {
    return Move(from) | (Move(to) << 7) | (Move(promotion) << 14) | (Move(captured) << 18) |
           (Move(piece) << 22);
}
// An irreversible move resets the repetition and fifty-move count.
// (Promotion and capture fields are bits 14-21; a pawn has neither bit 0
// nor bit 2 of its code, bits 22 and 24 of the word.)
inline bool IsIrreversible(Move m) {
    return (m & (MoveCastle | MoveNull | (Move(255) << 14))) || !(m & (Move(5) << 22));
}

// Square geometry.
inline int FileOf(int sq) { return (sq - 1) % 8 + 1; }  // 1..8
inline int RankOf(int sq) { return (sq - 1) / 8 + 1; }  // 1..8
inline int SquareAt(int file, int rank) { return 8 * (rank - 1) + file; }
inline int SquareColour(int sq) { return ((FileOf(sq) + RankOf(sq)) & 1) ? 0 : 1; }  // 1 dark
inline int Mirror(int sq) { return sq <= 0 ? sq : SquareAt(FileOf(sq), 9 - RankOf(sq)); }

extern const char* const SquareNames[65];  // "00", "a1" .. "h8"
extern const char PieceLetters[];         // "0K NXBRQXK NXBRQ0k nXbrqXk nXbrq00"

// Fixed piece tables by code (both colours share values).
extern const int PieceValue[16];      // king 10000, pawn 100, knight 325, bishop 325, rook 541, queen 1055
extern const int PhaseUnits[16];      // knight 1, bishop 1, rook 3, queen 6
// Material signature of a side: bits 0-3 pawns, 4-5 knights, 6 a light-squared
// bishop, 7 a dark-squared one, 8-9 rooks, 10-11 queens. Men beyond a full
// field (promoted extras) are counted in a nibble of their own: knights 12-15,
// light bishops 16-19, dark bishops 20-23, rooks 24-27, queens 28-31. Spilling
// into the next field instead would read differently for a light and a dark
// bishop, and a position and its colour-mirrored twin would score apart.
// Tables by code & 7, with 4 (no man) standing for the dark-squared bishop.
constexpr uint32_t SignatureUnit[8] = {0, 0, 1, 0x10, 0x80, 0x40, 0x100, 0x400};
constexpr uint32_t SignatureFull[8] = {0, 0, 0, 0x30, 0x80, 0x40, 0x300, 0xc00};
constexpr uint32_t SignatureExtra[8] = {0, 0, 0, 0x1000, 0x100000, 0x10000, 0x1000000, 0x10000000};
inline int SignatureIndex(int code, int sq) {
    const int kind = code & 7;
    return kind == 5 && SquareColour(sq) ? 4 : kind;
}
inline uint32_t SignatureAdd(uint32_t signature, int code, int sq) {
    const int i = SignatureIndex(code, sq);
    const bool full = SignatureFull[i] && (signature & SignatureFull[i]) == SignatureFull[i];
    return signature + (full ? SignatureExtra[i] : SignatureUnit[i]);
}
inline uint32_t SignatureRemove(uint32_t signature, int code, int sq) {
    const int i = SignatureIndex(code, sq);
    return signature - ((signature & (15 * SignatureExtra[i])) ? SignatureExtra[i] : SignatureUnit[i]);
}
// Captured-kind bit of a piece code (0 for kings and pawns).
extern const uint8_t CapturedKindBit[16];

// Score scale shared by search, evaluation and the databases.
constexpr int MateValue = 30000;
constexpr int MateBound = 29000;
constexpr int NoAnswer = 30001;
constexpr int MaxPly = 100;  // node records per search; ply 99 is the limit

}  // namespace board
