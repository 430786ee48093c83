// The material table: a value and a scale for each pair of material signatures.
#include "board/makemove.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/internal.h"

namespace eval {

namespace {

// A side with pieces but few pawns is penalised.
const int FewPawns[9] = {-34, -34, -11, -4, 0, 0, 0, 0, 0};
const int PairByPawns[10] = {18, 26, 41, 43, 43, 38, 33, 28, 28, 3};
const int BalanceWeight = 10, PhaseBalanceWeight = 99999, PawnEndingWeight = 6;
const int ExchangeBonus = 59, MinorExtraBonus = 37, ManyMinorsExtra = 16, TwoMinorsBishops = 48,
          TwoMinorsKnights = 37, TwoMinorsRookToo = 9, NoPiecesPenalty = -52,
          RooksAgainstQueen = 42, KnightQueenBonus = 23;

struct SideCount {
    int pawns, knights, light, dark, bishops, rooks, queens;
    int minors, phase, material, pieces;
    bool hasPieces;
};

SideCount Decode(uint32_t sig) {
    SideCount s;
    s.pawns = int(sig & 15);
    s.knights = int((sig >> 4) & 3);
    s.light = int((sig >> 6) & 1);
    s.dark = int((sig >> 7) & 1);
    s.bishops = s.light + s.dark;
    s.rooks = int((sig >> 8) & 3);
    s.queens = int((sig >> 10) & 3);
    s.minors = s.knights + s.bishops;
    s.phase = s.minors + 3 * s.rooks + 6 * s.queens;
    s.pieces = 325 * s.minors + 541 * s.rooks + 1055 * s.queens;
    s.material = s.pieces + 100 * s.pawns;
    s.hasPieces = s.minors + s.rooks + s.queens > 0;
    return s;
}

int Abs(int x) { return x < 0 ? -x : x; }

// Opposite-coloured bishops: scale by pawn difference and white's phase units.
int OppositeBishopScale(int pawnDiff, int phase, bool queen) {
    static const int Thin[5] = {45, 50, 60, 75, 85};
    static const int Rich[5] = {90, 92, 92, 95, 98};
    static const int Middle[5] = {66, 72, 82, 90, 95};
    if (phase == 1) return Thin[pawnDiff];
    if (phase == 2 || (phase == 7 && !queen) || phase == 10) return Rich[pawnDiff];
    if (phase == 4 || phase == 8 || (phase == 7 && queen)) return Middle[pawnDiff];
    return 0;
}

}  // namespace

int CombineScale(int a, int b) {
    if (a == 0) return b;
    int s = a * b / 100;
    return s < 1 ? 1 : s;
}

MaterialEntry ComputeMaterialEntry(uint32_t whiteSig, uint32_t blackSig) {
    const SideCount side[2] = {Decode(whiteSig), Decode(blackSig)};
    int value = 0, scale = 0, flags = 0;
    auto add = [&](int s, int v) { value += s == 0 ? v : -v; };

    // 1. Balance.
    int d = side[0].material - side[1].material;
    if (d > 325) d = 325;
    if (d < -325) d = -325;
    if (d != 0) {
        const int other = d > 0 ? 1 : 0;
        const int amount = d / BalanceWeight;
        value += side[other].queens ? -amount : amount;
        value += d * (37 - side[0].phase - side[1].phase) / PhaseBalanceWeight;
    }
    // 2. Pawn endings.
    if (side[0].phase + side[1].phase == 0) value += 4 * d / PawnEndingWeight;

    // 3. Opposite-coloured bishops.
    bool opposite = false;
    if ((side[0].knights + side[1].knights == 0 || side[0].phase == 2) && side[0].bishops == 1 &&
        side[1].bishops == 1 && side[0].light != side[1].light && side[0].phase == side[1].phase &&
        side[0].rooks == side[1].rooks) {
        opposite = true;
        const int diff = Abs(side[0].pawns - side[1].pawns);
        if (side[1].phase == 1 && side[0].pawns <= 1 && side[1].pawns <= 1)
            scale = CombineScale(scale, 5);
        else if (diff <= 4) {
            int s = OppositeBishopScale(diff, side[0].phase, side[0].queens > 0);
            if (s) scale = CombineScale(scale, s);
        }
    }
    // 4. Bishop pair.
    if (!opposite) {
        const int totalPawns = side[0].pawns + side[1].pawns;
        const int option = totalPawns > 9 ? core::settings.bishopPair : core::settings.bishopPairEnd;
        for (int s = 0; s < 2; s++) {
            if (!(side[s].light && side[s].dark)) continue;
            const SideCount& o = side[s ^ 1];
            int bonus = PairByPawns[totalPawns < 20 ? totalPawns / 2 : 9];  // a FEN may hold 15 pawns a side
            if (option != 100) bonus = bonus * option / 100;
            if (o.knights == 0 && o.bishops == 0) bonus += 11;
            else if (o.bishops == 0) bonus += 2;
            if (o.queens) bonus += 1;
            if (o.rooks == 0) bonus += 18;
            add(s, bonus);
        }
    }
    // 5. Both sides have pieces.
    if (side[0].hasPieces && side[1].hasPieces) {
        if (side[0].rooks == side[1].rooks) {
            if (side[0].minors != side[1].minors) {
                const int x = side[0].minors > side[1].minors ? 0 : 1;
                const SideCount& a = side[x];
                const SideCount& b = side[x ^ 1];
                const int extra = a.minors - b.minors;
                add(x, MinorExtraBonus + (extra >= 3 ? ManyMinorsExtra : 0));
                if (a.pawns == 0 && a.queens == b.queens && extra == 1) {
                    if (a.rooks || a.queens) add(x, -50);
                    else if (a.knights == 0 && b.bishops == 0) add(x, -30);
                    else { add(x, -200); scale = CombineScale(scale, 25); }
                }
                add(x, FewPawns[a.pawns > 8 ? 8 : a.pawns]);
            } else {
                flags |= 4;
                const int diff = Abs(side[0].pawns - side[1].pawns);
                if (side[0].minors == 0 && side[0].queens + side[1].queens == 0) {
                    static const int OneRook[3] = {85, 85, 95};
                    static const int TwoRooks[4] = {85, 90, 90, 95};
                    if (side[0].rooks == 1 && diff <= 2) scale = CombineScale(scale, OneRook[diff]);
                    if (side[0].rooks == 2 && diff <= 3) scale = CombineScale(scale, TwoRooks[diff]);
                }
                if (side[0].minors == 1) {
                    for (int s = 0; s < 2; s++) {
                        if (side[s].bishops == 1 && side[s].rooks && !side[s].queens)
                            add(s, RookBishopBonus);
                        if (side[s].knights == 1 && side[s].queens && !side[s].rooks)
                            add(s, KnightQueenBonus);
                    }
                }
            }
        } else {
            const int x = side[0].rooks > side[1].rooks ? 0 : 1;  // more rooks
            const SideCount& a = side[x];
            const SideCount& b = side[x ^ 1];
            if (a.minors == b.minors && a.minors == 0) {
                if (a.rooks == 2 && b.rooks == 0 && b.queens && !a.queens) add(x, RooksAgainstQueen);
            } else if (a.minors != b.minors && a.rooks + a.minors == b.rooks + b.minors) {
                add(x, ExchangeBonus + FewPawns[a.pawns > 8 ? 8 : a.pawns]);
                flags |= x == 0 ? 1 : 2;
            } else {
                for (int s = 0; s < 2; s++) {
                    const SideCount& p = side[s];
                    const SideCount& o = side[s ^ 1];
                    if (p.minors - o.minors >= 2)
                        add(s, (p.light && p.dark ? TwoMinorsBishops : TwoMinorsKnights) +
                                   (p.rooks > o.rooks ? TwoMinorsRookToo : 0) +
                                   FewPawns[p.pawns > 8 ? 8 : p.pawns]);
                    if (p.queens == 1 && p.rooks == 0 && p.minors == 0 && o.minors == 1 &&
                        !o.queens && (o.rooks == 1 || o.rooks == 2))
                        add(s, o.rooks == 1 ? -38 : -37);
                }
            }
        }
    }
    // 6. A side without pieces.
    for (int s = 0; s < 2; s++) {
        if (side[s].hasPieces) continue;
        add(s, NoPiecesPenalty);
        if (side[s ^ 1].hasPieces) add(s ^ 1, FewPawns[side[s ^ 1].pawns > 8 ? 8 : side[s ^ 1].pawns]);
    }
    // 7. Specific endings, first match only.
    bool matched = false;
    for (int s = 0; s < 2 && !matched; s++) {
        const SideCount& a = side[s];
        const SideCount& b = side[s ^ 1];
        const bool bRookOnly = b.rooks == 1 && b.minors == 0 && b.queens == 0;
        if (a.material == 866 && a.pawns == 0 && a.rooks == 1 && bRookOnly && b.pawns >= 1) {
            static const int V[3] = {-250, -150, -100}, S[3] = {25, 30, 35};
            const int i = b.pawns >= 3 ? 2 : b.pawns - 1;
            add(s, V[i]);
            scale = CombineScale(scale, S[i]);
            matched = true;
        } else if (a.material == 325 && !b.hasPieces && b.pawns >= 1 && b.pawns <= 3) {
            static const int V[3] = {375, 350, 325}, S[3] = {50, 75, 90};
            add(s, 100 * b.pawns - V[b.pawns - 1]);
            scale = CombineScale(scale, S[b.pawns - 1]);
            flags |= s == 0 ? 1 : 2;
            matched = true;
        } else if (a.material == 541 && a.rooks == 1 && b.minors == 1 && b.rooks == 0 &&
                   b.queens == 0 && (b.pawns == 1 || b.pawns == 2)) {
            add(s, b.pawns == 1 ? -100 : 50);
            scale = CombineScale(scale, b.pawns == 1 ? 50 : 65);
            matched = true;
        } else if (a.pawns == 0 && b.pawns > 0 && (b.rooks || b.queens || b.minors >= 2) &&
                   a.pieces - b.pieces >= 216 && a.pieces - b.pieces <= 325) {
            add(s, -100);
            scale = CombineScale(scale, 50);
            matched = true;
        } else if (a.knights == 2 && a.bishops + a.rooks + a.queens + a.pawns == 0) {
            scale = CombineScale(scale, 20);
            if (a.material > b.material) add(s, b.material - a.material);
            matched = true;
        }
    }
    if (!matched && side[0].phase == 2 && side[1].phase == 2 && side[0].pawns + side[1].pawns == 1)
        scale = CombineScale(scale, 40);

    MaterialEntry e;
    e.key = (whiteSig << 16) | (blackSig & 0xffff);
    if (value > 32767) value = 32767;
    if (value < -32767) value = -32767;
    e.value = int16_t(value);
    e.scale = uint8_t(scale);
    e.flags = uint8_t(flags);
    return e;
}

namespace {

inline uint64_t Pack(const MaterialEntry& e) {
    return uint64_t(e.key) | (uint64_t(uint16_t(e.value)) << 32) | (uint64_t(e.scale) << 48) |
           (uint64_t(e.flags) << 56);
}
inline MaterialEntry Unpack(uint64_t w) {
    MaterialEntry e;
    e.key = uint32_t(w);
    e.value = int16_t(uint16_t(w >> 32));
    e.scale = uint8_t(w >> 48);
    e.flags = uint8_t(w >> 56);
    return e;
}

}  // namespace

MaterialEntry LookupMaterial(board::Tree& tree, const board::NodeRecord* node) {
    const uint32_t ws = node->signature[0], bs = node->signature[1];
    if (!tree.materialTable) return ComputeMaterialEntry(ws, bs);
    const uint32_t* a = board::ZobristA;
    const uint32_t slot = (a[1 * 65 + (ws & 63) + 1] ^ a[2 * 65 + ((ws >> 6) & 63) + 1] ^
                           a[3 * 65 + (bs & 63) + 1] ^ a[5 * 65 + ((bs >> 6) & 63) + 1]) &
                          0xfff;
    const uint32_t key = (ws << 16) | (bs & 0xffff);
    uint64_t& word = tree.materialTable[slot];
    if (uint32_t(word) == key) return Unpack(word);
    MaterialEntry e = ComputeMaterialEntry(ws, bs);
    word = Pack(e);
    return e;
}

}  // namespace eval
