#include "position.h"

#include <cctype>
#include <sstream>

namespace endgame {

Bitboard Position::Occupied() const {
    Bitboard b = 0;
    for (int i = 0; i < count; i++) b |= Bit(square[i]);
    return b;
}

int Position::KingSquare(Colour c) const {
    for (int i = 0; i < count; i++)
        if (type[i] == King && colour[i] == c) return square[i];
    return -1;
}

bool Attacked(const Position& p, int sq, Colour by, int skip) {
    Bitboard occ = p.Occupied();
    for (int i = 0; i < p.count; i++) {
        if (i == skip || p.colour[i] != by) continue;
        if (Attacks(p.type[i], by, p.square[i], sq, occ)) return true;
    }
    return false;
}

using detail::ManOn;

int GenerateMoves(const Position& p, Move* moves) {
    int n = 0;
    ForEachMove(p, false, [&](const Move& m) {
        moves[n++] = m;
        return true;
    });
    return n;
}

Position MakeMove(const Position& p, const Move& m) {
    Position q = p;
    q.square[m.man] = m.to;
    if (m.promo != NoPiece) q.type[m.man] = m.promo;
    if (m.victim >= 0) {
        for (int i = m.victim; i + 1 < q.count; i++) {
            q.type[i] = q.type[i + 1];
            q.colour[i] = q.colour[i + 1];
            q.square[i] = q.square[i + 1];
        }
        q.count--;
    }
    q.stm = Colour(p.stm ^ 1);
    q.ep = -1;
    if (m.doubleStep) {
        int behind = (p.square[m.man] + m.to) / 2;
        Bitboard pawns = 0;
        for (int i = 0; i < q.count; i++)
            if (q.type[i] == Pawn && q.colour[i] == q.stm) pawns |= Bit(q.square[i]);
        if (PawnAttacks[p.stm][behind] & pawns) q.ep = behind;
    }
    return q;
}

bool IsLegal(const Position& p) {
    int kings[2] = {0, 0};
    Bitboard occ = 0;
    for (int i = 0; i < p.count; i++) {
        if (occ & Bit(p.square[i])) return false;
        occ |= Bit(p.square[i]);
        if (p.type[i] == King) kings[p.colour[i]]++;
        if (p.type[i] == Pawn && (RankOf(p.square[i]) == 0 || RankOf(p.square[i]) == 7)) return false;
    }
    if (kings[White] != 1 || kings[Black] != 1) return false;
    Colour them = Colour(p.stm ^ 1);
    if (Attacked(p, p.KingSquare(them), p.stm)) return false;
    if (p.ep >= 0) {
        // The pawn that just stepped two squares stands in front of the
        // square, with the square and the one behind it empty.
        int rank = p.stm == White ? 5 : 2;
        int up = p.stm == White ? -8 : 8;
        if (RankOf(p.ep) != rank) return false;
        int pawn = ManOn(p, p.ep + up);
        if (pawn < 0 || p.type[pawn] != Pawn || p.colour[pawn] != them) return false;
        if ((occ & Bit(p.ep)) || (occ & Bit(p.ep - up))) return false;
    }
    return true;
}

bool ReadFen(const std::string& fen, Position& p) {
    std::istringstream in(fen);
    std::string placement, side, castling = "-", ep = "-";
    if (!(in >> placement >> side)) return false;
    in >> castling >> ep;
    p = Position();
    int rank = 7, file = 0;
    for (char c : placement) {
        if (c == '/') {
            if (file != 8 || rank == 0) return false;
            rank--;
            file = 0;
            continue;
        }
        if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) return false;
            continue;
        }
        static const char Letters[] = "kqrbnp";
        const char* at = nullptr;
        for (const char* l = Letters; *l; l++)
            if (*l == std::tolower(static_cast<unsigned char>(c))) at = l;
        if (!at || file > 7 || p.count == MaxMen) return false;
        p.type[p.count] = PieceType(at - Letters);
        p.colour[p.count] = std::isupper(static_cast<unsigned char>(c)) ? White : Black;
        p.square[p.count] = uint8_t(rank * 8 + file);
        p.count++;
        file++;
    }
    if (rank != 0 || file != 8) return false;
    if (side == "w") p.stm = White;
    else if (side == "b") p.stm = Black;
    else return false;
    if (castling != "-") return false;
    if (ep != "-") {
        if (ep.size() != 2 || ep[0] < 'a' || ep[0] > 'h' || ep[1] < '1' || ep[1] > '8') return false;
        p.ep = (ep[1] - '1') * 8 + (ep[0] - 'a');
    }
    return true;
}

std::string WriteFen(const Position& p) {
    std::string s;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int man = ManOn(p, rank * 8 + file);
            if (man < 0) {
                empty++;
                continue;
            }
            if (empty) s += char('0' + empty);
            empty = 0;
            char c = "kqrbnp"[p.type[man]];
            s += p.colour[man] == White ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        }
        if (empty) s += char('0' + empty);
        if (rank) s += '/';
    }
    s += p.stm == White ? " w - " : " b - ";
    if (p.ep >= 0) {
        s += char('a' + FileOf(p.ep));
        s += char('1' + RankOf(p.ep));
    } else {
        s += '-';
    }
    return s + " 0 1";
}

}  // namespace endgame
