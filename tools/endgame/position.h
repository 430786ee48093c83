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

// Calls visit(const Move&) for each legal move of the side to move until it
// returns false; returns false when stopped. With `conversionsOnly` quiet
// moves are skipped, except double steps (which may expose an en-passant
// capture).
template <class Visit>
bool ForEachMove(const Position& p, bool conversionsOnly, Visit&& visit);

// Fills `moves` (room for 256; five men never reach 128) with the legal
// moves of the side to move; returns the count.
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

namespace detail {

inline int ManOn(const Position& p, int sq) {
    for (int i = 0; i < p.count; i++)
        if (p.square[i] == sq) return i;
    return -1;
}

// The mover's king must not stand attacked after the move.
inline bool LeavesKingSafe(const Position& p, int man, int to, int victim, Bitboard occ, int king) {
    occ = (occ & ~Bit(p.square[man])) | Bit(to);
    if (victim >= 0) occ &= ~Bit(p.square[victim]) | Bit(to);
    if (p.type[man] == King) king = to;
    Colour them = Colour(p.stm ^ 1);
    for (int i = 0; i < p.count; i++) {
        if (i == victim || p.colour[i] != them) continue;
        if (Attacks(p.type[i], them, p.square[i], king, occ)) return false;
    }
    return true;
}

}  // namespace detail

template <class Visit>
bool ForEachMove(const Position& p, bool conversionsOnly, Visit&& visit) {
    static const PieceType Promotions[4] = {Queen, Rook, Bishop, Knight};
    Bitboard occ = p.Occupied(), own = 0, enemies = 0;
    int king = -1;
    for (int i = 0; i < p.count; i++) {
        if (p.colour[i] == p.stm) {
            own |= Bit(p.square[i]);
            if (p.type[i] == King) king = p.square[i];
        } else if (p.type[i] != King) {
            enemies |= Bit(p.square[i]);
        }
    }
    auto add = [&](int man, int to, int victim, bool doubleStep, bool ep) {
        if (!detail::LeavesKingSafe(p, man, to, victim, occ, king)) return true;
        Move m{int8_t(man), uint8_t(to), int8_t(victim), NoPiece, doubleStep, ep};
        if (p.type[man] == Pawn && (RankOf(to) == 0 || RankOf(to) == 7)) {
            for (PieceType t : Promotions) {
                m.promo = t;
                if (!visit(static_cast<const Move&>(m))) return false;
            }
            return true;
        }
        return bool(visit(static_cast<const Move&>(m)));
    };
    for (int i = 0; i < p.count; i++) {
        if (p.colour[i] != p.stm) continue;
        int from = p.square[i];
        if (p.type[i] == Pawn) {
            int up = p.stm == White ? 8 : -8;
            int one = from + up;
            if (!(occ & Bit(one))) {
                bool promotes = RankOf(one) == 0 || RankOf(one) == 7;
                if ((promotes || !conversionsOnly) && !add(i, one, -1, false, false)) return false;
                int startRank = p.stm == White ? 1 : 6;
                if (RankOf(from) == startRank && !(occ & Bit(one + up)) && !add(i, one + up, -1, true, false))
                    return false;
            }
            Bitboard caps = PawnAttacks[p.stm][from] & (enemies | (p.ep >= 0 ? Bit(p.ep) : 0));
            while (caps) {
                int to = PopLsb(caps);
                if (to == p.ep && !(occ & Bit(to))) {
                    if (!add(i, to, detail::ManOn(p, to - up), false, true)) return false;
                } else if (!add(i, to, detail::ManOn(p, to), false, false)) {
                    return false;
                }
            }
            continue;
        }
        Bitboard targets = Attacks(p.type[i], p.stm, from, occ) & ~own;
        if (conversionsOnly) targets &= enemies;
        while (targets) {
            int to = PopLsb(targets);
            int victim = (enemies & Bit(to)) ? detail::ManOn(p, to) : -1;
            if (victim < 0 && (occ & Bit(to))) continue;  // the enemy king
            if (!add(i, to, victim, false, false)) return false;
        }
    }
    return true;
}

}  // namespace endgame
