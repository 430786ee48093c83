// A position of at most five men, its legal moves and FEN text.
#pragma once

#include <string>

#include "board.h"

namespace endgame {

const int MaxMen = 5;

struct Position {
    int count = 0;
    PieceType type[MaxMen] = {};
    Colour colour[MaxMen] = {};
    uint8_t square[MaxMen] = {};
    Colour stm = White;
    int ep = -1;  // square a pawn may capture onto en passant, -1 none

    Bitboard Occupied() const;
    int KingSquare(Colour c) const;
};

struct Move {
    int8_t man;       // index of the moving man
    uint8_t to;
    int8_t victim;    // index of the captured man, -1 none
    PieceType promo;  // NoPiece unless promoting
    bool doubleStep;
    bool enPassant;
};

// True when a man of colour `by` attacks `sq`; the man at index `skip` (a
// captured one) is ignored.
bool Attacked(const Position& p, int sq, Colour by, int skip = -1);

// Fills `moves` with the legal moves of the side to move (at most 128 with
// five men); returns the count.
int GenerateMoves(const Position& p, Move* moves);

// Applies a move: the captured man is removed (indices above it shift
// down), the side to move changes and the en-passant square is set after a
// double step only when an enemy pawn stands ready to take it (legality of
// that capture is left to the caller's look-ahead).
Position MakeMove(const Position& p, const Move& m);

// Checks that both kings are present once, no pawn stands on a back rank,
// men do not share squares, the side not to move is not in check and any
// en-passant square matches a pawn that has just stepped two squares.
bool IsLegal(const Position& p);

bool ReadFen(const std::string& fen, Position& p);
std::string WriteFen(const Position& p);

}  // namespace endgame
