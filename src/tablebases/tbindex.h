// Index functions: a position of a given material, side to move, en-passant
// square and colour flag, turned into the entry number of the table file.
//
// Square arrays hold 24 squares per colour (0 = a1 .. 63 = h8): the king at
// 0, men of type t (pawn 1, knight 2, bishop 3, rook 4, queen 5) at 4t,
// 4t + 1, ... The invert flag says the caller swapped the colours because the
// table is stored with the other side as white.
//
// Numbering, for the side to move (the reference side) and its opponent:
//   1. The board is turned so that the reference king stands on files a-d
//      (and, without pawns, in the a1-d1-d4 triangle with the other king on
//      or below the long diagonal when the reference king is on it); for the
//      black side, and for inverted colours, ranks are flipped first so that
//      the reference side's pawns always move up.
//   2. The kings and the lead group (the reference side's strongest kind of
//      man, or the opponent's when the reference side has none) together
//      form one number: a running block start per king pair, plus the
//      combination of the lead men over the squares allowed for them.
//   3. Then the other pawns (48 squares each, not reduced) and the other
//      pieces (reduced by every man placed before them) as a mixed-radix
//      number; two or three men of one kind form a combination.
//   4. Positions with an en-passant capture follow all of the others: king
//      pair, the pawns' capture configuration, then the pieces.
// Entry numbers of six-men tables pass 2^32, so they are 64-bit.
#pragma once
#include <cstdint>

#include "tablebases/tbassert.h"

namespace tablebases {

using TbIndex = uint64_t;
using PfnCalcIndex = TbIndex (*)(const int* psqW, const int* psqB, int sqEnP, int fInvert);
using PfnEntries = TbIndex (*)();

constexpr int NoEnPassant = 127;
constexpr int PawnPairs = 1806;     // kings with pawns on the board
constexpr int PieceOnlyPairs = 462; // kings without pawns

// Man kinds for the allowed-square tables. A man of the reference side may
// not attack the other king; pawns stand on ranks 2-7 only.
enum ManKind : int {
    KindPawnFree = 0,   // opponent's pawn: no exclusion
    KindPawnUp = 1,     // reference side's pawn, attacking upward
    KindKnight = 2,
    KindBishop = 3,     // excludes the four diagonal neighbours of the king
    KindRook = 4,       // excludes the four orthogonal neighbours
    KindQueen = 5,      // excludes all eight neighbours
    KindPieceFree = 6,  // opponent's piece: no exclusion
    ManKinds = 7
};

// Run-time tables, built once by VInitIndexTables.
struct IndexTables {
    // allowed[kind][king][square]: the square's rank among the squares allowed
    // for that kind against a king on `king`, or 255; count of allowed squares.
    uint8_t allowed[ManKinds][64][64];
    uint8_t count[ManKinds][64];
    // kingPair[pawns ? 0 : 1][reference * 64 + other]: pair number, or 4000.
    int16_t kingPair[2][64 * 64];
    // blockStart[pawns ? 0 : 1][kind][men - 1][pair]: first entry of the pair's
    // block for 1..3 lead men of that kind; entry [pairs] is the total.
    uint32_t blockStart[2][ManKinds][3][PawnPairs + 1];
};

extern IndexTables IndexData;
void VInitIndexTables();

// En-passant configurations. W variants: ep square on the sixth rank, the
// black pawn that moved two squares stands below it. B variants: ep square
// on the third rank, the white pawn above it. Digits: white's and black's
// pawn counts. Results count capture directions (14) times the places of
// the other pawns.
uint32_t IndEnPassant11W(int sqw, int sqb, int sqEnP);
uint32_t IndEnPassant11B(int sqw, int sqb, int sqEnP);
uint32_t IndEnPassant12W(int sqw, int sqb1, int sqb2, int sqEnP);
uint32_t IndEnPassant12B(int sqw, int sqb1, int sqb2, int sqEnP);
uint32_t IndEnPassant21W(int sqw1, int sqw2, int sqb, int sqEnP);
uint32_t IndEnPassant21B(int sqw1, int sqw2, int sqb, int sqEnP);
uint32_t IndEnPassant22W(int sqw1, int sqw2, int sqb1, int sqb2, int sqEnP);
uint32_t IndEnPassant31W(int sqw1, int sqw2, int sqw3, int sqb, int sqEnP);
uint32_t IndEnPassant31B(int sqw1, int sqw2, int sqw3, int sqb, int sqEnP);

// Number of values each configuration function returns, by the moving
// side's and the other side's pawn counts.
constexpr uint32_t EnPassantRange(int movingPawns, int otherPawns) {
    auto pick = [](int n) { return n == 1 ? 1u : n == 2 ? 44u : 946u; };   // C(44, n - 1)
    return 14 * pick(movingPawns) * pick(otherPawns);
}

namespace detail {

constexpr uint64_t Choose(uint64_t n, int k) {
    uint64_t r = 1;
    for (int i = 0; i < k; i++) r = r * (n - static_cast<uint64_t>(i)) / static_cast<uint64_t>(i + 1);
    return r;
}

// Combination number of c distinct values (any order).
inline uint64_t Combination(const int* v, int c) {
    if (c == 1) return static_cast<uint64_t>(v[0]);
    int a = v[0], b = v[1];
    if (a < b) { int t = a; a = b; b = t; }
    if (c == 2) return static_cast<uint64_t>(a) * (a - 1) / 2 + static_cast<uint64_t>(b);
    int x = v[2];
    if (x > a) { int t = x; x = b; b = a; a = t; }
    else if (x > b) { int t = x; x = b; b = t; }
    return Choose(static_cast<uint64_t>(a), 3) + static_cast<uint64_t>(b) * (b - 1) / 2 + static_cast<uint64_t>(x);
}

struct Group {
    int side;    // 0 reference side, 1 opponent
    int type;    // 1 pawn .. 5 queen
    int count;
};

// The men of one material as seen from one side to move.
struct Layout {
    bool pawns = false;
    int groups = 0;
    Group group[6] = {};    // lead group first, then pawns, then pieces
    int ownPawns = 0, oppPawns = 0;
};

constexpr Layout MakeLayout(const int* own, const int* opp) {
    Layout l;
    Group all[6] = {};
    int n = 0;
    for (int s = 0; s < 2; s++) {
        const int* t = s == 0 ? own : opp;
        for (int i = 0; i < 3 && t[i]; i++) {
            if (i > 0 && t[i] == t[i - 1]) { all[n - 1].count++; continue; }
            all[n++] = Group{s, t[i], 1};
        }
    }
    for (int i = 0; i < n; i++) {
        if (all[i].type == 1) {
            l.pawns = true;
            (all[i].side == 0 ? l.ownPawns : l.oppPawns) = all[i].count;
        }
    }
    if (n == 0) return l;
    l.group[l.groups++] = all[0];   // the reference side's first kind, else the opponent's
    for (int i = 1; i < n; i++)
        if (all[i].type == 1) l.group[l.groups++] = all[i];
    for (int i = 1; i < n; i++)
        if (all[i].type != 1) l.group[l.groups++] = all[i];
    return l;
}

constexpr int LeadKind(const Group& g) {
    return g.side == 0 ? (g.type == 1 ? KindPawnUp : g.type) : (g.type == 1 ? KindPawnFree : KindPieceFree);
}

// Generic body, used for en-passant positions.
TbIndex CalcIndex(const Layout& layout, bool black, const int* psqW, const int* psqB, int sqEnP, int fInvert);
TbIndex NormalEntries(const Layout& layout);
TbIndex EnPassantEntries(const Layout& layout);

constexpr int PlacedBefore(const Layout& l, int g) {
    int n = 2;
    for (int i = 0; i < g; i++) n += l.group[i].count;
    return n;
}

// Pawns after the lead group on 48 squares; pieces reduced by every man
// placed before them. Unrolled per material: counts and radices are constants.
template <const Layout& L, int G>
inline uint64_t AddGroups(uint64_t value, const int* own, const int* opp, int mask, bool transpose, int* placed) {
    if constexpr (G >= L.groups) {
        return value;
    } else {
        constexpr Group g = L.group[G];
        constexpr int before = PlacedBefore(L, G);
        constexpr uint64_t radix = g.type == 1 ? Choose(48, g.count) : Choose(64 - before, g.count);
        const int* side = g.side == 0 ? own : opp;
        int v[3] = {};
        for (int j = 0; j < g.count; j++) {
            int s = side[4 * g.type + j] ^ mask;
            if (transpose) s = ((s & 7) << 3) | (s >> 3);
            if constexpr (g.type == 1) {
                v[j] = s - 8;
            } else {
                int below = 0;
                for (int i = 0; i < before; i++) below += placed[i] < s;
                v[j] = s - below;
            }
            placed[before + j] = s;
        }
        return AddGroups<L, G + 1>(value * radix + Combination(v, g.count), own, opp, mask, transpose, placed);
    }
}

template <const Layout& L, bool Black>
inline TbIndex IndexOf(const int* psqW, const int* psqB, int sqEnP, int fInvert) {
    if (sqEnP != NoEnPassant) return CalcIndex(L, Black, psqW, psqB, sqEnP, fInvert);
    const int* own = Black ? psqB : psqW;
    const int* opp = Black ? psqW : psqB;
    constexpr int num = L.pawns ? 0 : 1;
    constexpr Group lead = L.group[0];
    constexpr int kind = LeadKind(lead);

    // Step 1: orientation (see the top of this file).
    int mask = (fInvert ? 56 : 0) ^ (Black ? 56 : 0) ^ ((own[0] & 7) >= 4 ? 7 : 0);
    int K = own[0] ^ mask, k = opp[0] ^ mask;
    bool transpose = false;
    if constexpr (!L.pawns) {
        if (K >= 32) mask ^= 56, K ^= 56, k ^= 56;
        transpose = (K >> 3) > (K & 7) || ((K >> 3) == (K & 7) && (k >> 3) > (k & 7));
        if (transpose) K = ((K & 7) << 3) | (K >> 3), k = ((k & 7) << 3) | (k >> 3);
    }
    const int pair = IndexData.kingPair[num][K * 64 + k];
    TB_ASSERT(pair != 4000);

    // Step 2: the king pair's block and the lead men within it.
    const uint8_t* allowed = IndexData.allowed[kind][k];
    const int skipK = allowed[K] < 255 ? 1 : 0;
    const int* side = lead.side == 0 ? own : opp;
    int r[3] = {}, placed[8] = {K, k};
    for (int j = 0; j < lead.count; j++) {
        int s = side[4 * lead.type + j] ^ mask;
        if (transpose) s = ((s & 7) << 3) | (s >> 3);
        r[j] = allowed[s] - (skipK && K < s ? 1 : 0);
        placed[2 + j] = s;
    }
    const uint64_t value = IndexData.blockStart[num][kind][lead.count - 1][pair] + Combination(r, lead.count);

    // Step 3: the other men.
    return AddGroups<L, 1>(value, own, opp, mask, transpose, placed);
}

}  // namespace detail

// One material: up to three white and two black men besides the kings, by
// type in descending order (0 = none).
template <int W1, int W2, int W3, int B1, int B2>
struct TbMen {
    static constexpr int white[3] = {W1, W2, W3};
    static constexpr int black[3] = {B1, B2, 0};
    static constexpr detail::Layout layoutW = detail::MakeLayout(white, black);
    static constexpr detail::Layout layoutB = detail::MakeLayout(black, white);

    static TbIndex EntriesW() { return detail::NormalEntries(layoutW) + detail::EnPassantEntries(layoutW); }
    static TbIndex EntriesB() { return detail::NormalEntries(layoutB) + detail::EnPassantEntries(layoutB); }

    static TbIndex IndCalcW(const int* psqW, const int* psqB, int sqEnP, int fInvert) {
        return detail::IndexOf<layoutW, false>(psqW, psqB, sqEnP, fInvert);
    }
    static TbIndex IndCalcB(const int* psqW, const int* psqB, int sqEnP, int fInvert) {
        return detail::IndexOf<layoutB, true>(psqW, psqB, sqEnP, fInvert);
    }
};

// The templates by men per side, kings included.
template <int W1> using T21 = TbMen<W1, 0, 0, 0, 0>;
template <int W1, int B1> using T22 = TbMen<W1, 0, 0, B1, 0>;
template <int W1, int W2> using T31 = TbMen<W1, W2, 0, 0, 0>;
template <int W1, int W2, int B1> using T32 = TbMen<W1, W2, 0, B1, 0>;
template <int W1, int W2, int W3> using T41 = TbMen<W1, W2, W3, 0, 0>;
template <int piw1, int piw2, int pib1, int pib2> using T33 = TbMen<piw1, piw2, 0, pib1, pib2>;
template <int W1, int W2, int W3, int B1> using T42 = TbMen<W1, W2, W3, B1, 0>;

}  // namespace tablebases
