// Run-time index tables, the en-passant configurations and the generic body
// of the index functions.
#include "tablebases/tbindex.h"

#include <cstdlib>
#include <utility>

namespace tablebases {

IndexTables IndexData;

namespace {

int File(int sq) { return sq & 7; }
int Rank(int sq) { return sq >> 3; }
bool Adjacent(int a, int b) { return std::abs(File(a) - File(b)) <= 1 && std::abs(Rank(a) - Rank(b)) <= 1; }

// Would a man of this kind on s attack a king on k directly?
bool Attacks(int kind, int s, int k) {
    const int df = std::abs(File(s) - File(k)), dr = std::abs(Rank(s) - Rank(k));
    switch (kind) {
    case KindPawnUp: return (k == s + 7 && File(s) != 0) || (k == s + 9 && File(s) != 7);
    case KindKnight: return (df == 1 && dr == 2) || (df == 2 && dr == 1);
    case KindBishop: return df == 1 && dr == 1;
    case KindRook: return df + dr == 1;
    case KindQueen: return df <= 1 && dr <= 1 && df + dr > 0;
    default: return false;
    }
}

bool InTriangle(int sq) { return File(sq) <= 3 && Rank(sq) <= File(sq); }

}  // namespace

void VInitIndexTables() {
    static bool done = false;
    if (done) return;
    IndexTables& t = IndexData;
    for (int kind = 0; kind < ManKinds; kind++)
        for (int k = 0; k < 64; k++) {
            int n = 0;
            const bool pawn = kind == KindPawnFree || kind == KindPawnUp;
            for (int s = 0; s < 64; s++) {
                const bool ok = (!pawn || (s >= 8 && s < 56)) && s != k && !Attacks(kind, s, k);
                t.allowed[kind][k][s] = ok ? static_cast<uint8_t>(n++) : 255;
            }
            t.count[kind][k] = static_cast<uint8_t>(n);
        }
    for (int num = 0; num < 2; num++) {
        int n = 0;
        for (int K = 0; K < 64; K++)
            for (int k = 0; k < 64; k++) {
                bool ok = K != k && !Adjacent(K, k);
                if (num == 0) ok = ok && File(K) <= 3;
                else ok = ok && InTriangle(K) && (Rank(K) != File(K) || File(k) >= Rank(k));
                t.kingPair[num][K * 64 + k] = static_cast<int16_t>(ok ? n++ : 4000);
            }
        TB_ASSERT(n == (num == 0 ? PawnPairs : PieceOnlyPairs));
        for (int kind = 0; kind < ManKinds; kind++)
            for (int c = 1; c <= 3; c++) {
                uint32_t sum = 0;
                for (int K = 0; K < 64; K++)
                    for (int k = 0; k < 64; k++) {
                        const int pair = t.kingPair[num][K * 64 + k];
                        if (pair == 4000) continue;
                        t.blockStart[num][kind][c - 1][pair] = sum;
                        const int free = t.count[kind][k] - (t.allowed[kind][k][K] < 255 ? 1 : 0);
                        sum += static_cast<uint32_t>(detail::Choose(static_cast<uint64_t>(free), c));
                    }
                t.blockStart[num][kind][c - 1][n] = sum;
            }
    }
    done = true;
}

// En passant, with the moving side's pawns going up and the ep square on the
// sixth rank: d = ep - 8 is the pawn that moved two squares, the capturer is
// the first of the moving side's pawns (in square order) beside it. Result:
// capture direction and file (14), then the other pawns, each on one of the
// 44 squares of ranks 2-7 that are not d, ep, ep + 8 or the capturer.
namespace {

int EpReduce(int s, int sqEnP, int capturer) {
    const int d = sqEnP - 8;
    return s - 8 - (d < s) - (sqEnP < s) - (sqEnP + 8 < s) - (capturer < s);
}

// direction: capturer file - 1 when taking towards the a-file (+7), file + 7 otherwise.
uint32_t EpCore(int capturer, int direction, const int* others, int nOthers, const int* opponents, int nOpponents,
                int sqEnP) {
    int r[3] = {};
    uint64_t value = 0;
    for (int i = 0; i < nOthers; i++) r[i] = EpReduce(others[i], sqEnP, capturer);
    if (nOthers) value = detail::Combination(r, nOthers);
    value *= nOpponents ? detail::Choose(44, nOpponents) : 1;
    for (int i = 0; i < nOpponents; i++) r[i] = EpReduce(opponents[i], sqEnP, capturer);
    if (nOpponents) value += detail::Combination(r, nOpponents);
    return static_cast<uint32_t>(direction + 14 * value);
}

void Sort2(int& a, int& b) {
    if (a > b) { int t = a; a = b; b = t; }
}

void Sort3(int& a, int& b, int& c) {
    Sort2(a, b), Sort2(b, c), Sort2(a, b);
}

}  // namespace

uint32_t IndEnPassant11W(int sqw, int sqb, int sqEnP) {
    TB_ASSERT(sqb+8 == sqEnP);
    if (sqw + 7 == sqEnP && 0 != (sqw & 7)) return static_cast<uint32_t>((sqw & 7) - 1);
    TB_ASSERT(sqw+9 == sqEnP);
    return static_cast<uint32_t>((sqw & 7) + 7);
}

uint32_t IndEnPassant11B(int sqw, int sqb, int sqEnP) {
    TB_ASSERT(sqw-8 == sqEnP);
    if (sqb - 9 == sqEnP && 0 != (sqb & 7)) return static_cast<uint32_t>((sqb & 7) - 1);
    TB_ASSERT(sqb-7 == sqEnP);
    return static_cast<uint32_t>((sqb & 7) + 7);
}

uint32_t IndEnPassant21W(int sqw1, int sqw2, int sqb, int sqEnP) {
    TB_ASSERT(sqb+8 == sqEnP);
    Sort2(sqw1, sqw2);
    if (sqw1 + 7 == sqEnP && 0 != (sqw1 & 7)) return EpCore(sqw1, (sqw1 & 7) - 1, &sqw2, 1, nullptr, 0, sqEnP);
    if (sqw1 + 9 == sqEnP && 7 != (sqw1 & 7)) return EpCore(sqw1, (sqw1 & 7) + 7, &sqw2, 1, nullptr, 0, sqEnP);
    if (sqw2 + 7 == sqEnP && 0 != (sqw2 & 7)) return EpCore(sqw2, (sqw2 & 7) - 1, &sqw1, 1, nullptr, 0, sqEnP);
    TB_ASSERT(sqw2+9 == sqEnP && 7 != ((sqw2) & 7));
    return EpCore(sqw2, (sqw2 & 7) + 7, &sqw1, 1, nullptr, 0, sqEnP);
}

uint32_t IndEnPassant12W(int sqw, int sqb1, int sqb2, int sqEnP) {
    if (sqb2 + 8 == sqEnP) std::swap(sqb1, sqb2);
    TB_ASSERT(sqb1+8 == sqEnP);
    if (sqw + 7 == sqEnP && 0 != (sqw & 7)) return EpCore(sqw, (sqw & 7) - 1, nullptr, 0, &sqb2, 1, sqEnP);
    TB_ASSERT(sqw+9 == sqEnP && 7 != ((sqw) & 7));
    return EpCore(sqw, (sqw & 7) + 7, nullptr, 0, &sqb2, 1, sqEnP);
}

uint32_t IndEnPassant22W(int sqw1, int sqw2, int sqb1, int sqb2, int sqEnP) {
    if (sqb2 + 8 == sqEnP) std::swap(sqb1, sqb2);
    TB_ASSERT(sqb1+8 == sqEnP);
    Sort2(sqw1, sqw2);
    if (sqw1 + 7 == sqEnP && 0 != (sqw1 & 7)) return EpCore(sqw1, (sqw1 & 7) - 1, &sqw2, 1, &sqb2, 1, sqEnP);
    if (sqw1 + 9 == sqEnP && 7 != (sqw1 & 7)) return EpCore(sqw1, (sqw1 & 7) + 7, &sqw2, 1, &sqb2, 1, sqEnP);
    if (sqw2 + 7 == sqEnP && 0 != (sqw2 & 7)) return EpCore(sqw2, (sqw2 & 7) - 1, &sqw1, 1, &sqb2, 1, sqEnP);
    TB_ASSERT(sqw2+9 == sqEnP && 7 != ((sqw2) & 7));
    return EpCore(sqw2, (sqw2 & 7) + 7, &sqw1, 1, &sqb2, 1, sqEnP);
}

uint32_t IndEnPassant31W(int sqw1, int sqw2, int sqw3, int sqb, int sqEnP) {
    TB_ASSERT(sqb+8 == sqEnP);
    Sort3(sqw1, sqw2, sqw3);
    const int w[3] = {sqw1, sqw2, sqw3};
    for (int i = 0; i < 3; i++) {
        int others[2], n = 0;
        for (int j = 0; j < 3; j++)
            if (j != i) others[n++] = w[j];
        if (w[i] + 7 == sqEnP && 0 != (w[i] & 7)) return EpCore(w[i], (w[i] & 7) - 1, others, 2, nullptr, 0, sqEnP);
        if (w[i] + 9 == sqEnP && 7 != (w[i] & 7)) return EpCore(w[i], (w[i] & 7) + 7, others, 2, nullptr, 0, sqEnP);
    }
    TB_ASSERT(sqw3+9 == sqEnP && 7 != ((sqw3) & 7));
    return 0;
}

// The black-to-move configurations are the white ones on the board seen from
// black's side (ranks flipped), with the colours' roles exchanged.
uint32_t IndEnPassant12B(int sqw, int sqb1, int sqb2, int sqEnP) {
    TB_ASSERT(sqw - 8 == sqEnP);
    Sort2(sqb1, sqb2);
    const bool first = (sqb1 - 9 == sqEnP && 0 != (sqb1 & 7)) || (sqb1 - 7 == sqEnP && 7 != (sqb1 & 7));
    if (!first && !(sqb2 - 9 == sqEnP && 0 != (sqb2 & 7))) TB_ASSERT(sqb2-7 == sqEnP && 7 != ((sqb2) & 7));
    return IndEnPassant21W(sqb1 ^ 56, sqb2 ^ 56, sqw ^ 56, sqEnP ^ 56);
}

uint32_t IndEnPassant21B(int sqw1, int sqw2, int sqb, int sqEnP) {
    if (sqw2 - 8 == sqEnP) std::swap(sqw1, sqw2);
    TB_ASSERT(sqw1 - 8 == sqEnP);
    if (!(sqb - 9 == sqEnP && 0 != (sqb & 7))) TB_ASSERT(sqb - 7 == sqEnP && 7 != ((sqb) & 7));
    return IndEnPassant12W(sqb ^ 56, sqw1 ^ 56, sqw2 ^ 56, sqEnP ^ 56);
}

uint32_t IndEnPassant31B(int sqw1, int sqw2, int sqw3, int sqb, int sqEnP) {
    if (sqw2 - 8 == sqEnP) std::swap(sqw1, sqw2);
    if (sqw3 - 8 == sqEnP) std::swap(sqw1, sqw3);
    TB_ASSERT(sqw1 - 8 == sqEnP);
    if (!(sqb - 9 == sqEnP && 0 != (sqb & 7))) TB_ASSERT(sqb-7 == sqEnP && 7 != ((sqb) & 7));
    const int b = sqb ^ 56, ep = sqEnP ^ 56;
    const int others[2] = {sqw2 ^ 56, sqw3 ^ 56};
    const int direction = b + 7 == ep ? (b & 7) - 1 : (b & 7) + 7;
    return EpCore(b, direction, nullptr, 0, others, 2, ep);
}

namespace detail {

namespace {

struct View {
    int mask = 0;
    bool transpose = false;
    int operator()(int sq) const {
        const int t = sq ^ mask;
        return transpose ? ((t & 7) << 3) | (t >> 3) : t;
    }
};

View Orient(const Layout& layout, bool black, int ownKing, int oppKing, int fInvert) {
    View v;
    v.mask = (fInvert ? 56 : 0) ^ (black ? 56 : 0);
    if (File(ownKing) >= 4) v.mask ^= 7;
    if (layout.pawns) return v;
    if (Rank(ownKing ^ v.mask) >= 4) v.mask ^= 56;
    const int K = ownKing ^ v.mask, k = oppKing ^ v.mask;
    v.transpose = Rank(K) > File(K) || (Rank(K) == File(K) && Rank(k) > File(k));
    return v;
}

uint64_t PieceRadix(int placed, int count) { return Choose(static_cast<uint64_t>(64 - placed), count); }

// Pieces after the pawns: each reduced by the men already placed below it.
uint64_t AddPieces(const Layout& layout, int first, uint64_t value, int* placed, int nPlaced, const int (*men)[3]) {
    for (int g = first; g < layout.groups; g++) {
        const Group& grp = layout.group[g];
        if (grp.type == 1) continue;
        int v[3] = {};
        for (int j = 0; j < grp.count; j++) {
            const int s = men[g][j];
            int below = 0;
            for (int i = 0; i < nPlaced; i++) below += placed[i] < s;
            v[j] = s - below;
        }
        value = value * PieceRadix(nPlaced, grp.count) + Combination(v, grp.count);
        for (int j = 0; j < grp.count; j++) placed[nPlaced++] = men[g][j];
    }
    return value;
}

}  // namespace

TbIndex NormalEntries(const Layout& layout) {
    const int num = layout.pawns ? 0 : 1;
    const Group& lead = layout.group[0];
    TbIndex n = IndexData.blockStart[num][LeadKind(lead)][lead.count - 1][num == 0 ? PawnPairs : PieceOnlyPairs];
    int placed = 2 + lead.count;
    for (int g = 1; g < layout.groups; g++) {
        const Group& grp = layout.group[g];
        if (grp.type == 1) {
            n *= Choose(48, grp.count);
        } else {
            n *= PieceRadix(placed, grp.count);
        }
        placed += grp.count;
    }
    return n;
}

TbIndex EnPassantEntries(const Layout& layout) {
    if (!layout.ownPawns || !layout.oppPawns) return 0;
    TbIndex n = TbIndex(PawnPairs) * EnPassantRange(layout.ownPawns, layout.oppPawns);
    int placed = 2 + layout.ownPawns + layout.oppPawns;
    for (int g = 0; g < layout.groups; g++) {
        const Group& grp = layout.group[g];
        if (grp.type == 1) continue;
        n *= PieceRadix(placed, grp.count);
        placed += grp.count;
    }
    return n;
}

TbIndex CalcIndex(const Layout& layout, bool black, const int* psqW, const int* psqB, int sqEnP, int fInvert) {
    const int* own = black ? psqB : psqW;
    const int* opp = black ? psqW : psqB;

    // Step 1: orientation.
    const View view = Orient(layout, black, own[0], opp[0], fInvert);
    const int K = view(own[0]), k = view(opp[0]);
    int men[6][3];
    for (int g = 0; g < layout.groups; g++) {
        const Group& grp = layout.group[g];
        const int* side = grp.side == 0 ? own : opp;
        for (int j = 0; j < grp.count; j++) men[g][j] = view(side[4 * grp.type + j]);
    }
    const int num = layout.pawns ? 0 : 1;
    const int pair = IndexData.kingPair[num][K * 64 + k];
    TB_ASSERT(pair != 4000);
    int placed[8] = {K, k};
    int nPlaced = 2;

    if (sqEnP != NoEnPassant) {
        // Step 4: the capture configuration replaces the pawns.
        const int piw2 = (black ? layout.oppPawns : layout.ownPawns) ? 1 : 0;
        const int pib2 = (black ? layout.ownPawns : layout.oppPawns) ? 1 : 0;
        if (!black) {
            if (pib2 == 1) TB_ASSERT(1 == piw2);
            else TB_ASSERT(1 == piw2 && 1 == pib2);
        } else {
            if (piw2 == 1) TB_ASSERT(1 == pib2);
            else TB_ASSERT(1 == pib2 && 1 == piw2);
        }
        int w[3], b[3], nw = 0, nb = 0;
        for (int g = 0; g < layout.groups; g++) {
            const Group& grp = layout.group[g];
            if (grp.type != 1) continue;
            const bool white = (grp.side == 0) != black;
            for (int j = 0; j < grp.count; j++) {
                // Black-to-move configurations take the board with white's pawns going up.
                const int s = black ? men[g][j] ^ 56 : men[g][j];
                (white ? w[nw++] : b[nb++]) = s;
                placed[nPlaced++] = men[g][j];
            }
        }
        const int ep = black ? view(sqEnP) ^ 56 : view(sqEnP);
        uint32_t config = 0;
        if (!black) {
            if (nw == 1 && nb == 1) config = IndEnPassant11W(w[0], b[0], ep);
            else if (nw == 1 && nb == 2) config = IndEnPassant12W(w[0], b[0], b[1], ep);
            else if (nw == 2 && nb == 1) config = IndEnPassant21W(w[0], w[1], b[0], ep);
            else if (nw == 2 && nb == 2) config = IndEnPassant22W(w[0], w[1], b[0], b[1], ep);
            else { TB_ASSERT(nw == 3 && nb == 1); config = IndEnPassant31W(w[0], w[1], w[2], b[0], ep); }
        } else {
            if (nw == 1 && nb == 1) config = IndEnPassant11B(w[0], b[0], ep);
            else if (nw == 1 && nb == 2) config = IndEnPassant12B(w[0], b[0], b[1], ep);
            else if (nw == 2 && nb == 1) config = IndEnPassant21B(w[0], w[1], b[0], ep);
            else { TB_ASSERT(nw == 3 && nb == 1); config = IndEnPassant31B(w[0], w[1], w[2], b[0], ep); }
        }
        const uint64_t value = uint64_t(pair) * EnPassantRange(layout.ownPawns, layout.oppPawns) + config;
        return NormalEntries(layout) + AddPieces(layout, 0, value, placed, nPlaced, men);
    }

    // Step 2: the king pair and the lead group.
    const Group& lead = layout.group[0];
    const int kind = LeadKind(lead);
    const uint8_t* allowed = IndexData.allowed[kind][k];
    const int skipK = allowed[K] < 255 ? 1 : 0;
    int r[3] = {};
    for (int j = 0; j < lead.count; j++) {
        r[j] = allowed[men[0][j]] - (skipK && K < men[0][j] ? 1 : 0);
        placed[nPlaced++] = men[0][j];
    }
    uint64_t value = IndexData.blockStart[num][kind][lead.count - 1][pair] + Combination(r, lead.count);

    // Step 3: the other pawns on 48 squares, then the pieces.
    for (int g = 1; g < layout.groups; g++) {
        const Group& grp = layout.group[g];
        if (grp.type != 1) continue;
        int v[3] = {};
        for (int j = 0; j < grp.count; j++) {
            v[j] = men[g][j] - 8;
            placed[nPlaced++] = men[g][j];
        }
        value = value * Choose(48, grp.count) + Combination(v, grp.count);
    }
    return AddPieces(layout, 1, value, placed, nPlaced, men);
}

}  // namespace detail

}  // namespace tablebases
