// One solved (or solving) material: its index layout and values.
//
// Men are kept in slots: 0 white king, 1 black king, then white's other men
// and black's, strongest first. Index = king pair, then one digit per other
// slot (radix 64, pawns radix 48 over ranks 2 to 7).
//  - Without pawns the king pair is one of 462: the white king folded into
//    a1-d1-d4 by the eight board symmetries, and when it stands on the
//    diagonal the black king folded on or below it.
//  - With pawns only files mirror: the white king on files a-d, 32 x 64 king
//    pairs, kings touching left as broken entries.
// Entries whose men share a square, or whose side not to move is in check,
// are broken; they are kept so that index arithmetic stays plain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "material.h"
#include "position.h"

namespace endgame {

// One byte per position and side to move: 0 draw (unknown while solving),
// 1 + d for mate in d plies (odd d: the side to move mates; even d: it is
// mated; 1 is checkmated), Broken for no position.
const uint8_t Broken = 255;
const int MaxPlies = 253;

// Scores from the side to move's view, higher is better.
const int WinScore = 1000;
inline int ScoreOf(uint8_t v) {
    if (v == 0 || v == Broken) return 0;
    int d = v - 1;
    return (d & 1) ? WinScore - d : d - WinScore;
}
// The parent's score of a move leading to a child with score `s`.
inline int Parent(int s) { return s > 0 ? 1 - s : s < 0 ? -s - 1 : 0; }
inline int Plies(int score) { return score > 0 ? WinScore - score : score + WinScore; }
inline uint8_t Encode(int plies) { return uint8_t(plies + 1); }

class Table;

// Where a capture or promotion leads: the child table, whether colours
// swap there, and for each child slot the parent slot whose square it takes.
struct Link {
    const Table* table = nullptr;
    bool flip = false;
    uint8_t from[MaxMen] = {};
};

class Table {
public:
    explicit Table(const Material& m);

    const Material& GetMaterial() const { return material; }
    int Men() const { return men; }
    uint32_t Size() const { return size; }
    PieceType Type(int slot) const { return type[slot]; }
    Colour ColourOf(int slot) const { return colour[slot]; }

    // Canonical index of the squares per slot.
    uint32_t Index(const uint8_t* sq) const;
    uint32_t Fold(const uint8_t* sq, int transform) const;
    // Without pawns, a position whose kings both fold onto the diagonal has
    // a second entry (its reflection there); true with that entry's index.
    bool MirrorIndex(const uint8_t* sq, uint32_t& index) const;
    // Squares per slot; false for an entry with touching kings.
    bool Decode(uint32_t index, uint8_t* sq) const;

    // Slot squares of a position of this material in either colour
    // assignment; sets `flip` when the position's colours are swapped.
    bool Place(const Position& p, uint8_t* sq, bool& flip) const;
    Position ToPosition(const uint8_t* sq, Colour stm) const;

    // The table reached when man `victim` (or -1) is captured and man
    // `promoter` (or -1) becomes `promo`.
    const Link& LinkFor(int victim, int promoter, PieceType promo) const;
    void SetLink(int victim, int promoter, PieceType promo, const Link& link);
    // What the links must point at: the materials a capture or a promotion
    // leads into, as (victim, promoter, promo) triples with their material.
    struct Conversion {
        int victim, promoter;
        PieceType promo;
        Material material;
    };
    std::vector<Conversion> Conversions() const;

    uint8_t Value(Colour stm, uint32_t index) const { return values[stm][index]; }
    std::vector<uint8_t> values[2];

    // Saved form: header with material and checksum, then both value arrays.
    bool Save(const std::string& path, std::string& error) const;
    bool Load(const std::string& path, std::string& error);

private:
    Material material;
    int men;
    bool pawns;
    uint32_t size;
    PieceType type[MaxMen];
    Colour colour[MaxMen];
    uint32_t stride[MaxMen];
    Link links[MaxMen + 1][MaxMen + 1][4];
};

}  // namespace endgame
