// Make and unmake on the search board, hash keys, repetition and root set-up.
#include "board/makemove.h"
// Count and slider count of an entry change together; paired into one vector
// they cost more than two plain increments and stall on the byte stores.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-slp-vectorize")
#endif

#include <cstring>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/tables.h"

// The attack updates are the hottest code of make: keep them inline.
#if defined(__GNUC__)
#define KESTRION_INLINE inline __attribute__((always_inline))
#define KESTRION_RARE __attribute__((noinline))
#else
#define KESTRION_INLINE inline
#define KESTRION_RARE
#endif

namespace board {

namespace {

inline void XorKey(uint32_t* key, uint32_t* pawnKey, int code, int sq) {
    int i = code * 65 + sq;
    key[0] ^= ZobristA[i];
    key[1] ^= ZobristB[i];
    if ((code & 5) == 0) {
        pawnKey[0] ^= ZobristA[i];
        pawnKey[1] ^= ZobristB[i];
    }
}

// Attack-table changes with their log records: bits 0-7 entry (side x 65 +
// square), 8-12 position in the entry, 13-19 attacker square, bit 30 a
// removal, bit 31 a slider.
constexpr uint32_t LogRemoval = 1u << 30;
constexpr uint32_t LogSlider = 1u << 31;

struct Changer {
    Tree& t;
    AttackEntry* base;
    uint32_t* log;

    explicit Changer(Tree& tree) : t(tree), base(&tree.attackTable[0][0]), log(tree.attackLogTop) {}
    void Done() { t.attackLogTop = log; }

    // `index` is side x 65 + square; `tag` the attacker square << 13 plus the slider bit.
    void Add(uint32_t index, uint32_t from, uint32_t tag, uint32_t slider) {
        AttackEntry& e = base[index];
        *log++ = index | tag;
        e.squares[e.number++] = uint8_t(from);
        e.sliders += slider;
    }
    void Remove(uint32_t index, uint32_t from, uint32_t tag, uint32_t slider) {
        AttackEntry& e = base[index];
        uint32_t last = --e.number;
        uint8_t* s = e.squares;
        uint32_t i = 0;
        while (s[i] != from) i++;
        s[i] = s[last];
        e.sliders -= slider;
        *log++ = index | (i << 8) | tag | LogRemoval;
    }

    KESTRION_INLINE void AddAttacks(int side, int square, int code) {
        const uint32_t offset = uint32_t(side * 65);
        const uint32_t from = uint32_t(square);
        int kind = RayKindOf[code];
        if (kind < 0) {
            const uint32_t tag = from << 13;
            for (const uint8_t* s = StepList[StepKindOf[code]][square]; *s; s++) Add(offset + *s, from, tag, 0);
            return;
        }
        const uint32_t tag = (from << 13) | LogSlider;
        const RayStep* ray = RayList[kind][square];
        const uint8_t* b = t.board;
        int i = 0;
        while (int s = ray[i].square) {
            Add(offset + uint32_t(s), from, tag, 1);
            i = b[s] ? ray[i].skip : i + 1;
        }
    }
    KESTRION_INLINE void RemoveAttacks(int side, int square, int code) {
        const uint32_t offset = uint32_t(side * 65);
        const uint32_t from = uint32_t(square);
        int kind = RayKindOf[code];
        if (kind < 0) {
            const uint32_t tag = from << 13;
            for (const uint8_t* s = StepList[StepKindOf[code]][square]; *s; s++) Remove(offset + *s, from, tag, 0);
            return;
        }
        const uint32_t tag = (from << 13) | LogSlider;
        const RayStep* ray = RayList[kind][square];
        const uint8_t* b = t.board;
        int i = 0;
        while (int s = ray[i].square) {
            Remove(offset + uint32_t(s), from, tag, 1);
            i = b[s] ? ray[i].skip : i + 1;
        }
    }
    // The square was emptied: sliders hitting it reach past it.
    void OpenLines(int square) {
        const uint8_t* b = t.board;
        for (int side = 0; side < 2; side++) {
            const uint32_t offset = uint32_t(side * 65);
            const AttackEntry& e = base[offset + uint32_t(square)];
            if (!e.sliders) continue;
            for (uint32_t i = 0; i < e.number; i++) {
                const uint32_t a = e.squares[i];
                if (!IsSlider(b[a])) continue;
                const uint32_t tag = (a << 13) | LogSlider;
                for (const uint8_t* x = Beyond(square, int(a)); *x; x++) {
                    Add(offset + *x, a, tag, 1);
                    if (b[*x]) break;
                }
            }
        }
    }
    // The empty square became occupied: sliders hitting it stop there.
    void CloseLines(int square) {
        const uint8_t* b = t.board;
        for (int side = 0; side < 2; side++) {
            const uint32_t offset = uint32_t(side * 65);
            const AttackEntry& e = base[offset + uint32_t(square)];
            if (!e.sliders) continue;
            for (uint32_t i = 0; i < e.number; i++) {
                const uint32_t a = e.squares[i];
                if (!IsSlider(b[a])) continue;
                const uint32_t tag = (a << 13) | LogSlider;
                for (const uint8_t* x = Beyond(square, int(a)); *x; x++) {
                    Remove(offset + *x, a, tag, 1);
                    if (b[*x]) break;
                }
            }
        }
    }
    void Lift(int sq, int code) {
        RemoveAttacks(ColourOf(code), sq, code);
        t.board[sq] = 0;
        OpenLines(sq);
    }
    void Put(int sq, int code) {
        CloseLines(sq);
        t.board[sq] = uint8_t(code);
        AddAttacks(ColourOf(code), sq, code);
    }
};

// Replays the log back to the newest mark.
inline void RewindAttacks(Tree& t) {
    uint32_t* mark = *--t.attackMarkTop;
    uint32_t* log = t.attackLogTop;
    AttackEntry* base = &t.attackTable[0][0];
    while (log > mark) {
        uint32_t op = *--log;
        AttackEntry& e = base[op & 255];
        uint32_t slider = op >> 31;
        if (op & LogRemoval) {
            uint32_t pos = (op >> 8) & 31;
            e.squares[e.number] = e.squares[pos];
            e.squares[pos] = uint8_t((op >> 13) & 127);
            e.number++;
            e.sliders += slider;
        } else {
            e.number--;
            e.sliders -= slider;
        }
    }
    t.attackLogTop = mark;
}

// The child's picker state and move lists start empty, above the parent's.
inline void StartChildLists(const NodeRecord* p, NodeRecord* c) {
    c->threatMove = 0;
    c->savedMove = 0;
    c->generated = 0;
    c->stage = 0;
    c->reduced = 0;
    c->quiescenceFlag = 0;
    c->quietList = c->quietEnd = p->quietEnd;
    c->captureList = c->captureEnd = p->captureEnd;
    c->positionalValue = -p->positionalValue;
}

inline void MarkAttacks(Tree& t) { *t.attackMarkTop++ = t.attackLogTop; }

inline void CaptureSlot(Tree& t, int sq, int code) {
    uint8_t* slot = t.squareLink[sq];
    *t.capturedTop++ = slot;
    *slot = CapturedSlot;
    t.pieceCount[code]--;
}

inline void RestoreSlot(Tree& t, int sq, int code) {
    uint8_t* slot = *--t.capturedTop;
    *slot = uint8_t(sq);
    t.squareLink[sq] = slot;
    t.pieceCount[code]++;
}

inline void Promote(Tree& t, uint8_t* slot, int pawn, int promo) {
    t.pieceCount[pawn]--;
    t.pieceCount[promo]++;
    KindList* k = t.kindList[promo];
    k->slots[k->count++] = slot;
    k->slots[k->count] = nullptr;
}

inline void Demote(Tree& t, int pawn, int promo) {
    t.pieceCount[pawn]++;
    t.pieceCount[promo]--;
    KindList* k = t.kindList[promo];
    k->slots[--k->count] = nullptr;
}

// Fast path of a normal move. Removals are logged with their place in the
// entry (it cannot be recomputed); every addition is the last change of its
// entry at its stage, so unmake takes it back by walking the same squares
// again and dropping the last attacker. The log of one move has three marks:
// its start, the end of the removals made before the lines through the
// from-square open, and the end of the records of those opened lines.

// Reach of every man by code and square, with the entry offsets inside its
// side's table precomputed: steppers list their targets (0-terminated),
// sliders their rays (square 0 ends them).
struct FastStep {
    uint16_t offset;  // byte offset of the target's entry in the whole table, 0 ends
};
struct FastRay {
    uint16_t offset;  // byte offset of the square's entry in its side's table
    uint8_t square;
    uint8_t skip;
};
constexpr uint32_t EntryBytes = sizeof(AttackEntry);
constexpr uint32_t SideBytes = 65 * EntryBytes;

struct ReachTables {
    FastStep steps[16][65][9];
    FastRay rays[3][65][MaxRaySquares];
    ReachTables() {
        InitBoardTables();
        for (int code = 0; code < 16; code++) {
            const int kind = StepKindOf[code];
            for (int sq = 0; sq <= 64; sq++) {
                int n = 0;
                if (kind >= 0 && sq > 0)
                    for (const uint8_t* x = StepList[kind][sq]; *x; x++)
                        steps[code][sq][n++].offset = uint16_t(uint32_t(ColourOf(code)) * SideBytes + *x * EntryBytes);
                for (; n < 9; n++) steps[code][sq][n].offset = 0;
            }
        }
        for (int kind = 0; kind < 3; kind++)
            for (int sq = 0; sq <= 64; sq++)
                for (int i = 0; i < MaxRaySquares; i++) {
                    const RayStep& r = RayList[kind][sq][i];
                    rays[kind][sq][i] = FastRay{uint16_t(r.square * EntryBytes), r.square, r.skip};
                }
    }
};
const ReachTables Reach;

KESTRION_INLINE AttackEntry& At(uint8_t* bytes, uint32_t offset) { return *reinterpret_cast<AttackEntry*>(bytes + offset); }

// Attacks of a man of `code` on `sq` join its side's table.
KESTRION_INLINE void PushAll(uint8_t* table, int sq, int code, const uint8_t* b) {
    const int kind = RayKindOf[code];
    const uint8_t from = uint8_t(sq);
    if (kind < 0) {
        for (const FastStep* s = Reach.steps[code][sq]; s->offset; s++) {
            AttackEntry& e = At(table, s->offset);
            const uint32_t n = e.number;
            e.squares[n] = from;
            e.number = n + 1;
        }
        return;
    }
    uint8_t* tbl = table + uint32_t(ColourOf(code)) * SideBytes;
    const FastRay* ray = Reach.rays[kind][sq];
    for (const FastRay* r = ray; r->square;) {
        AttackEntry& e = At(tbl, r->offset);
        const uint32_t n = e.number;
        e.squares[n] = from;
        e.number = n + 1;
        e.sliders++;
        r = b[r->square] ? ray + r->skip : r + 1;
    }
}

// Reverse of PushAll on the same board.
KESTRION_INLINE void UnpushAll(uint8_t* table, int sq, int code, const uint8_t* b) {
    const int kind = RayKindOf[code];
    if (kind < 0) {
        for (const FastStep* s = Reach.steps[code][sq]; s->offset; s++) At(table, s->offset).number--;
        return;
    }
    uint8_t* tbl = table + uint32_t(ColourOf(code)) * SideBytes;
    const FastRay* ray = Reach.rays[kind][sq];
    for (const FastRay* r = ray; r->square;) {
        AttackEntry& e = At(tbl, r->offset);
        e.number--;
        e.sliders--;
        r = b[r->square] ? ray + r->skip : r + 1;
    }
}

// Removal records: bits 0-11 entry offset in the whole table, 12-15 place in
// the entry, 16-22 attacker square, bit 31 a slider.
constexpr uint32_t PullSlider = 1u << 31;

// Drops the attacker `from` from the entry and logs where it stood.
KESTRION_INLINE uint32_t* Pull(AttackEntry& e, uint32_t from, uint32_t record, uint32_t* log) {
    const uint32_t n = e.number - 1;
    // A byte-wise scan: the entry was usually just written byte by byte, and
    // a wide load would wait for those stores.
    uint32_t i = 0;
    while (e.squares[i] != from) i++;
    e.squares[i] = e.squares[n];
    e.number = n;
    *log = record | (i << 12);
    return log + 1;
}

// Attacks of a man of `code` on `sq` leave its side's table.
KESTRION_INLINE uint32_t* PullAll(uint8_t* table, int sq, int code, const uint8_t* b, uint32_t* log) {
    const int kind = RayKindOf[code];
    const uint32_t from = uint32_t(sq);
    if (kind < 0) {
        const uint32_t tag = from << 16;
        for (const FastStep* s = Reach.steps[code][sq]; s->offset; s++)
            log = Pull(At(table, s->offset), from, tag | s->offset, log);
        return log;
    }
    const uint32_t sideOffset = uint32_t(ColourOf(code)) * SideBytes;
    uint8_t* tbl = table + sideOffset;
    const uint32_t tag = (from << 16) | PullSlider | sideOffset;
    const FastRay* ray = Reach.rays[kind][sq];
    for (const FastRay* r = ray; r->square;) {
        AttackEntry& e = At(tbl, r->offset);
        log = Pull(e, from, tag + r->offset, log);
        e.sliders--;
        r = b[r->square] ? ray + r->skip : r + 1;
    }
    return log;
}

// Calls `visit(table, side, a)` for every slider `a` of either side that
// attacks the square, found in the square's two entries.
template <class Visit>
KESTRION_INLINE void ForSlidersOn(AttackEntry* base, int sq, const uint8_t* b, Visit&& visit) {
    if (!(base[sq].sliders | base[65 + sq].sliders)) return;
    for (uint32_t side = 0; side < 2; side++) {
        AttackEntry* tbl = base + side * 65;
        const AttackEntry& e = tbl[sq];
        uint32_t left = e.sliders;
        for (const uint8_t* p = e.squares; left; p++) {
            const uint32_t a = *p;
            if (!IsSlider(b[a])) continue;
            left--;
            visit(tbl, side, a);
        }
    }
}

// The square was emptied: sliders hitting it reach past it. Each square past
// it is reached by at most one slider per side and the additions are the last
// change of their entries, so the log keeps only one record per slider: its
// square (bits 0-7), the squares it gained (8-15) and its side (bit 16).
KESTRION_INLINE uint32_t* OpenLinesFast(AttackEntry* base, int sq, const uint8_t* b, uint32_t* log) {
    ForSlidersOn(base, sq, b, [&](AttackEntry* tbl, uint32_t side, uint32_t a) {
        const uint8_t* first = Beyond(sq, int(a));
        const uint8_t* x = first;
        for (; *x; x++) {
            AttackEntry& f = tbl[*x];
            const uint32_t n = f.number;
            f.squares[n] = uint8_t(a);
            f.number = n + 1;
            f.sliders++;
            if (b[*x]) {
                x++;
                break;
            }
        }
        *log++ = a | (uint32_t(x - first) << 8) | (side << 16);
    });
    return log;
}

// Reverse of OpenLinesFast from its records.
KESTRION_INLINE void UnopenLines(AttackEntry* base, int sq, const uint32_t* log, const uint32_t* mark) {
    while (log > mark) {
        const uint32_t op = *--log;
        AttackEntry* tbl = base + (op >> 16) * 65;
        const uint8_t* x = Beyond(sq, int(op & 255));
        for (uint32_t k = (op >> 8) & 255; k; k--, x++) {
            AttackEntry& f = tbl[*x];
            f.number--;
            f.sliders--;
        }
    }
}

// The empty square became occupied: sliders hitting it stop there.
KESTRION_INLINE uint32_t* CloseLinesFast(AttackEntry* base, int sq, const uint8_t* b, uint32_t* log) {
    ForSlidersOn(base, sq, b, [&](AttackEntry* tbl, uint32_t side, uint32_t a) {
        const uint32_t tag = (a << 16) | PullSlider | side * SideBytes;
        for (const uint8_t* x = Beyond(sq, int(a)); *x; x++) {
            AttackEntry& f = tbl[*x];
            log = Pull(f, a, tag + *x * EntryBytes, log);
            f.sliders--;
            if (b[*x]) break;
        }
    });
    return log;
}

// Replays logged removals back to `mark`.
KESTRION_INLINE void Unpull(uint8_t* table, const uint32_t* log, const uint32_t* mark) {
    while (log > mark) {
        const uint32_t op = *--log;
        AttackEntry& e = At(table, op & 0xfff);
        const uint32_t n = e.number;
        const uint32_t pos = (op >> 12) & 15;
        e.squares[n] = e.squares[pos];
        e.squares[pos] = uint8_t(op >> 16);
        e.number = n + 1;
        e.sliders += op >> 31;
    }
}

// Key changes of one man's move (with capture and promotion), worked out in
// registers and stored once.
KESTRION_INLINE void MoveKeys(Move m, uint32_t* key, uint32_t* pawnKey) {
    const int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m), captured = MoveCaptured(m);
    const int now = MovePromotion(m) ? MovePromotion(m) : piece;
    uint32_t k[2] = {key[0], key[1]}, pk[2] = {pawnKey[0], pawnKey[1]};
    if (captured) XorKey(k, pk, captured, to);
    XorKey(k, pk, piece, from);
    XorKey(k, pk, now, to);
    key[0] = k[0];
    key[1] = k[1];
    pawnKey[0] = pk[0];
    pawnKey[1] = pk[1];
}

// Piece lists of one man's move (capture and promotion included); the board
// and the attack tables are left to the callers.
KESTRION_INLINE void MoveSlots(Tree& t, Move m) {
    const int from = MoveFrom(m), to = MoveTo(m);
    if (const int captured = MoveCaptured(m)) CaptureSlot(t, to, captured);
    uint8_t* slot = t.squareLink[from];
    if (const int promo = MovePromotion(m)) Promote(t, slot, MovePiece(m), promo);
    *slot = uint8_t(to);
    t.squareLink[to] = slot;
}

KESTRION_INLINE void UnmoveSlots(Tree& t, Move m) {
    const int from = MoveFrom(m), to = MoveTo(m);
    uint8_t* slot = t.squareLink[to];
    if (const int promo = MovePromotion(m)) Demote(t, MovePiece(m), promo);
    *slot = uint8_t(from);
    t.squareLink[from] = slot;
    if (const int captured = MoveCaptured(m)) RestoreSlot(t, to, captured);
}

// Attack tables and board squares of one man's move, from the board as it
// stood before the move. Few values stay live across the steps (the rest is
// decoded again from the move word when needed): spilling them cost more
// than the decoding.
KESTRION_INLINE void MoveAttacks(Tree& t, Move m) {
    const int from = MoveFrom(m), to = MoveTo(m);
    uint32_t* log = t.attackLogTop;
    uint32_t** marks = t.attackMarkTop;
    marks[0] = log;
    t.attackMarkTop = marks + 3;

    // The captured man loses its attacks.
    if (const int captured = MoveCaptured(m))
        log = PullAll(reinterpret_cast<uint8_t*>(t.attackTable), to, captured, t.board, log);
    // The mover leaves its square; lines through it open.
    log = PullAll(reinterpret_cast<uint8_t*>(t.attackTable), from, MovePiece(m), t.board, log);
    marks[1] = log;
    t.board[from] = 0;
    log = OpenLinesFast(&t.attackTable[0][0], from, t.board, log);
    marks[2] = log;
    // The man arrives; an empty target closes the lines through it.
    if (!MoveCaptured(m)) log = CloseLinesFast(&t.attackTable[0][0], to, t.board, log);
    t.attackLogTop = log;
    const int now = MovePromotion(m) ? MovePromotion(m) : MovePiece(m);
    t.board[to] = uint8_t(now);
    PushAll(reinterpret_cast<uint8_t*>(t.attackTable), to, now, t.board);
}

// MoveAttacks backwards, ending with the board as before the move.
KESTRION_INLINE void UnmoveAttacks(Tree& t, Move m) {
    const int from = MoveFrom(m), to = MoveTo(m);
    uint32_t** marks = t.attackMarkTop - 3;
    t.attackMarkTop = marks;

    // The arrival, the closed lines, the opened lines, then the removals.
    UnpushAll(reinterpret_cast<uint8_t*>(t.attackTable), to, MovePromotion(m) ? MovePromotion(m) : MovePiece(m), t.board);
    Unpull(reinterpret_cast<uint8_t*>(t.attackTable), t.attackLogTop, marks[2]);
    UnopenLines(&t.attackTable[0][0], from, marks[2], marks[1]);
    Unpull(reinterpret_cast<uint8_t*>(t.attackTable), marks[1], marks[0]);
    t.attackLogTop = marks[0];
    t.board[from] = uint8_t(MovePiece(m));
    t.board[to] = uint8_t(MoveCaptured(m));
}

// One man (with capture and promotion) on board, lists and attack tables.
// Returns the number of enemy attackers of the mover's king afterwards.
KESTRION_INLINE int MoveMan(Tree& t, Move m) {
    MoveAttacks(t, m);
    MoveSlots(t, m);
    const int side = ColourOf(MovePiece(m));
    return int(t.attackTable[side ^ 1][t.pieces[side][0]].number);
}

KESTRION_INLINE void UnmoveMan(Tree& t, Move m) {
    UnmoveAttacks(t, m);
    UnmoveSlots(t, m);
}

// Squares strictly between two squares on one line are all empty.
KESTRION_INLINE bool PathEmpty(const uint8_t* b, int from, int to) {
    const int dir = Direction[from][to];
    for (int s = from + dir; s != to; s += dir)
        if (b[s]) return false;
    return true;
}

// The slider among the attackers of `from` whose line runs on through it in
// direction `line` (0 if none; at most one can).
KESTRION_INLINE int SliderOnLine(const AttackEntry& e, const uint8_t* b, int from, int line) {
    for (uint32_t i = 0; i < e.number; i++) {
        const int a = e.squares[i];
        if (IsSlider(b[a]) && LineIndex[a][from] == line) return a;
    }
    return 0;
}

// With neither king in check: whether a normal move keeps the mover's king
// safe, judged from the tables as they stand before it. A king may go to any
// unattacked square (no slider sees through it, as none attacks it); any
// other man may leave its square unless an enemy slider pins it to the king,
// and then only along the pinning line.
KESTRION_INLINE bool SafeBeforeMove(const Tree& t, Move m, int side) {
    const int from = MoveFrom(m), to = MoveTo(m);
    const AttackEntry* enemy = t.attackTable[side ^ 1];
    if (IsKing(MovePiece(m))) return enemy[to].number == 0;
    const AttackEntry& e = enemy[from];
    if (!e.sliders) return true;
    const int king = t.pieces[side][0];
    const int line = LineIndex[from][king];
    if (line == 8) return true;
    const int a = SliderOnLine(e, t.board, from, line);
    if (!a || !PathEmpty(t.board, from, king)) return true;
    return to == a || LineIndex[a][to] == line;
}

// After a normal move played on the board only (the tables still as before
// it): whether it checks the enemy king, directly from the target or by
// opening a line of an own slider through the square it left.
KESTRION_INLINE bool ChecksAfter(const Tree& t, Move m, int side, int now) {
    const int king = t.pieces[side ^ 1][0];
    if (!king) return false;
    const int from = MoveFrom(m), to = MoveTo(m);
    const uint8_t* b = t.board;
    if ((VectorBits(to, king) & VectorMask[now]) && (!IsSlider(now) || PathEmpty(b, to, king))) return true;
    const AttackEntry& e = t.attackTable[side][from];
    if (!e.sliders) return false;
    const int line = LineIndex[from][king];
    if (line == 8) return false;
    const int a = SliderOnLine(e, b, from, line);
    // The mover may have stopped between the slider and its old square.
    return a && PathEmpty(b, a, king);
}

// Both men of a castling move in one step; a man already on its
// destination stays where it is.
void CastleMen(Tree& t, const CastlePath& p, int side, uint32_t* key, uint32_t* pawnKey) {
    int king = side ? BKing : WKing, rook = side ? BRook : WRook;
    bool kingMoves = p.king != p.kingTo, rookMoves = p.rook != p.rookTo;
    uint8_t* kingSlot = t.squareLink[p.king];
    uint8_t* rookSlot = t.squareLink[p.rook];
    Changer c(t);
    if (kingMoves) c.Lift(p.king, king);
    if (rookMoves) c.Lift(p.rook, rook);
    if (kingMoves) {
        c.Put(p.kingTo, king);
        *kingSlot = p.kingTo;
        t.squareLink[p.kingTo] = kingSlot;
        XorKey(key, pawnKey, king, p.king);
        XorKey(key, pawnKey, king, p.kingTo);
    }
    if (rookMoves) {
        c.Put(p.rookTo, rook);
        *rookSlot = p.rookTo;
        t.squareLink[p.rookTo] = rookSlot;
        XorKey(key, pawnKey, rook, p.rook);
        XorKey(key, pawnKey, rook, p.rookTo);
    }
    c.Done();
}

void UncastleMen(Tree& t, const CastlePath& p, int side) {
    int king = side ? BKing : WKing, rook = side ? BRook : WRook;
    uint8_t* kingSlot = t.squareLink[p.kingTo];
    uint8_t* rookSlot = t.squareLink[p.rookTo];
    t.board[p.kingTo] = 0;
    t.board[p.rookTo] = 0;
    t.board[p.king] = uint8_t(king);
    t.board[p.rook] = uint8_t(rook);
    *kingSlot = p.king;
    t.squareLink[p.king] = kingSlot;
    *rookSlot = p.rook;
    t.squareLink[p.rook] = rookSlot;
}

// En passant: the pawn beside goes first (fully logged, one mark), then the
// capturer moves.
KESTRION_RARE int EnPassant(Tree& t, Move m, int captureSquare, uint32_t* key, uint32_t* pawnKey) {
    const int captured = MoveCaptured(m);
    MarkAttacks(t);
    Changer c(t);
    c.Lift(captureSquare, captured);
    c.Done();
    XorKey(key, pawnKey, captured, captureSquare);
    CaptureSlot(t, captureSquare, captured);
    const Move step = m & ~(Move(15) << 18);
    MoveKeys(step, key, pawnKey);
    return MoveMan(t, step);
}

KESTRION_RARE void UndoEnPassant(Tree& t, Move m, int captureSquare) {
    const int captured = MoveCaptured(m);
    UnmoveMan(t, m & ~(Move(15) << 18));
    RewindAttacks(t);
    t.board[captureSquare] = uint8_t(captured);
    RestoreSlot(t, captureSquare, captured);
}

}  // namespace

int DoMove(Tree& t, Move m, uint32_t* key, uint32_t* pawnKey) {
    SyncAttacks(t);
    MoveKeys(m, key, pawnKey);
    return MoveMan(t, m);
}

void UndoMove(Tree& t, Move m) { UnmoveMan(t, m); }

namespace {

// The mover's side attacks the enemy king (tables up to date).
KESTRION_INLINE bool GivesCheck(const Tree& t, int side) { return t.attackTable[side][t.pieces[side ^ 1][0]].number != 0; }

// 1. Fields the child takes over from its parent.
KESTRION_INLINE void CopyDown(const NodeRecord* p, NodeRecord* c) {
    c->key[0] = p->key[0];
    c->key[1] = p->key[1];
    c->pawnKey[0] = p->pawnKey[0];
    c->pawnKey[1] = p->pawnKey[1];
    c->checks[0] = p->checks[0];
    c->checks[1] = p->checks[1];
    c->men = p->men;
    c->signature[0] = p->signature[0];
    c->signature[1] = p->signature[1];
    c->capturedKinds = p->capturedKinds;
    c->moveCount = 0;
    c->legalCount = 0;
    c->spare = 0;
}

// 6-10 of a made move (not a null move); `score` is the parent's square score
// with the castling rook's change already in.
KESTRION_INLINE NodeRecord* Finish(Tree& t, const NodeRecord* p, NodeRecord* c, Move m, int captureSquare, int kingTo,
                                   int32_t score, bool check) {
    const int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m);
    const int captured = MoveCaptured(m), promo = MovePromotion(m);
    const int side = p->side, opp = side ^ 1;

    // 6. Check given.
    uint32_t flags = 0;
    if (check) {
        c->checks[opp]++;
        flags = InCheckFlag;
    }
    // 7. Castling rights.
    // The king's square loses both rights of its side, a rook square its own.
    if (uint32_t rights = p->flags & CastleMask) flags |= rights & RightsKeep[from] & RightsKeep[to];
    // 8. En passant square, only with an enemy pawn beside the target.
    if (m & MoveDouble) {
        int enemyPawn = side == White ? BPawn : WPawn;
        if ((FileOf(to) != 1 && t.board[to - 1] == enemyPawn) || (FileOf(to) != 8 && t.board[to + 1] == enemyPawn))
            flags |= uint32_t(side == White ? to - 8 : to + 8);
    }
    c->flags = flags;

    // 9. Material, phase, signature, square score, key history.
    c->material[0] = p->material[0];
    c->material[1] = p->material[1];
    c->phase[0] = p->phase[0];
    c->phase[1] = p->phase[1];
    int arriving = piece;
    if (promo) {
        arriving = promo;
        c->material[side] += PieceValue[promo] - PieceValue[WPawn];
        c->phase[side] = uint8_t(c->phase[side] + PhaseUnits[promo]);
        c->signature[side] = SignatureAdd(c->signature[side] - 1, promo, to);  // less the pawn
    }
    score += PieceSquare[arriving][kingTo] - PieceSquare[piece][from];
    if (captured) {
        c->material[opp] -= PieceValue[captured];
        c->phase[opp] = uint8_t(c->phase[opp] - PhaseUnits[captured]);
        c->signature[opp] = SignatureRemove(c->signature[opp], captured, captureSquare);
        c->men--;
        c->capturedKinds |= CapturedKindBit[captured];
        score += PieceSquare[captured][captureSquare];
    }
    c->squareScore = -score;
    *++t.keyTop = c->key[1];
    c->resetPoint = IsIrreversible(m) ? t.keyTop : p->resetPoint;

    // 10. The child's own lists and fields.
    StartChildLists(p, c);
    return c;
}

// Null moves, en passant and castling.
KESTRION_RARE NodeRecord* MakeSpecial(Tree& t, NodeRecord* p, NodeRecord* c, Move m) {
    const int side = p->side, opp = side ^ 1;
    const int to = MoveTo(m);
    CopyDown(p, c);
    if (m & MoveNull) {
        // 2. Null move: rights kept, en passant and check cleared.
        c->flags = p->flags & CastleMask;
        c->material[0] = p->material[0];
        c->material[1] = p->material[1];
        c->phase[0] = p->phase[0];
        c->phase[1] = p->phase[1];
        c->squareScore = -p->squareScore;
        *++t.keyTop = c->key[1];
        c->resetPoint = t.keyTop;
        StartChildLists(p, c);
        return c;
    }
    if (m & MoveEnPassant) {
        // 4. En passant.
        const int captureSquare = side == White ? to - 8 : to + 8;
        if (EnPassant(t, m, captureSquare, c->key, c->pawnKey)) {
            UndoEnPassant(t, m, captureSquare);
            return nullptr;
        }
        return Finish(t, p, c, m, captureSquare, to, p->squareScore, GivesCheck(t, side));
    }
    // 5. Castling: path empty and not through an attacked square.
    const CastlePath& cp = CastlePaths[CastleIndex(side, m)];
    for (const uint8_t* s = cp.empty; *s; s++)
        if (t.board[*s]) return nullptr;
    const AttackEntry* enemy = t.attackTable[opp];
    for (const uint8_t* s = cp.safe; *s; s++)
        if (enemy[*s].number) return nullptr;
    MarkAttacks(t);
    CastleMen(t, cp, side, c->key, c->pawnKey);
    if (enemy[t.pieces[side][0]].number) {
        RewindAttacks(t);
        UncastleMen(t, cp, side);
        return nullptr;
    }
    const int rook = side ? BRook : WRook;
    return Finish(t, p, c, m, to, cp.kingTo, p->squareScore + PieceSquare[rook][cp.rookTo] - PieceSquare[rook][cp.rook],
                  GivesCheck(t, side));
}

}  // namespace

NodeRecord* MakeMove(Tree& t, NodeRecord* p) {
    NodeRecord* c = p + 1;
    if (c >= t.nodeArray + MaxPly) return nullptr;  // no record left for the child
    SyncAttacks(t);
    const Move m = p->currentMove;
    if (m & (MoveNull | MoveEnPassant | MoveCastle)) return MakeSpecial(t, p, c, m);

    const int side = p->side;
    const int from = MoveFrom(m), to = MoveTo(m);
    const AttackEntry* enemy = t.attackTable[side ^ 1];
    if (!enemy[t.pieces[side][0]].number && !t.attackTable[side][t.pieces[side ^ 1][0]].number) {
        // 3. Normal move with neither king in check: legality and check are
        // read from the tables before the move, which stay behind until a
        // reader needs them.
        if (!SafeBeforeMove(t, m, side)) return nullptr;
        const int now = MovePromotion(m) ? MovePromotion(m) : MovePiece(m);
        t.board[from] = 0;
        t.board[to] = uint8_t(now);
        MoveSlots(t, m);
        t.pendingMove = m;
        const bool check = ChecksAfter(t, m, side, now);
        CopyDown(p, c);
        MoveKeys(m, c->key, c->pawnKey);
        return Finish(t, p, c, m, to, to, p->squareScore, check);
    }

    // 3. Normal move out of check (or in a position with the side not to
    // move in check): played on the tables and tested. A king stepping onto
    // an attacked square is refused before anything changes.
    if (IsKing(MovePiece(m)) && enemy[to].number) return nullptr;
    if (MoveMan(t, m)) {
        UnmoveMan(t, m);
        return nullptr;
    }
    CopyDown(p, c);
    MoveKeys(m, c->key, c->pawnKey);
    return Finish(t, p, c, m, to, to, p->squareScore, GivesCheck(t, side));
}

void UnmakeMove(Tree& t, NodeRecord* p) {
    const Move m = p->currentMove;
    t.keyTop--;
    if (m & MoveNull) return;
    if (t.pendingMove) {
        // The newest move, never applied to the tables.
        t.pendingMove = 0;
        t.board[MoveFrom(m)] = uint8_t(MovePiece(m));
        t.board[MoveTo(m)] = uint8_t(MoveCaptured(m));
        UnmoveSlots(t, m);
    } else if (!(m & (MoveEnPassant | MoveCastle))) {
        UnmoveMan(t, m);
    } else if (m & MoveEnPassant) {
        const int captureSquare = p->side == White ? MoveTo(m) - 8 : MoveTo(m) + 8;
        UndoEnPassant(t, m, captureSquare);
    } else {
        RewindAttacks(t);
        UncastleMen(t, CastlePaths[CastleIndex(p->side, m)], p->side);
    }
}

void CatchUpAttacks(Tree& t) {
    const Move m = t.pendingMove;
    t.pendingMove = 0;
    t.board[MoveFrom(m)] = uint8_t(MovePiece(m));
    t.board[MoveTo(m)] = uint8_t(MoveCaptured(m));
    MoveAttacks(t, m);
}

void ComputeKey(const uint8_t* b, uint32_t key[2]) {
    key[0] = key[1] = 0;
    for (int sq = 1; sq <= 64; sq++) {
        if (int code = b[sq]) {
            key[0] ^= ZobristA[code * 65 + sq];
            key[1] ^= ZobristB[code * 65 + sq];
        }
    }
}

void ComputePawnKey(const uint8_t* b, uint32_t key[2]) {
    key[0] = 0;
    key[1] = 1;
    for (int sq = 1; sq <= 64; sq++) {
        int code = b[sq];
        if (code && (code & 5) == 0) {
            key[0] ^= ZobristA[code * 65 + sq];
            key[1] ^= ZobristB[code * 65 + sq];
        }
    }
}

int SquareScore(const Tree& t, int side) {
    int32_t sum = side == White ? SideTerm : -SideTerm;
    for (int sq = 1; sq <= 64; sq++) {
        int code = t.board[sq];
        if (!code) continue;
        sum += ColourOf(code) == side ? PieceSquare[code][sq] : -PieceSquare[code][sq];
    }
    return sum;
}

NodeRecord* SetUpSearchNodes(Tree& t, const GameRecord& game) {
    SyncAttacks(t);
    // 1. Sides and plies of the whole array.
    std::memset(t.nodeArray, 0, sizeof t.nodeArray);
    const GameState* last = game.states.empty() ? nullptr : &game.states.back();
    const int side = last ? last->side : int(game.startSide);
    for (int i = 0; i < MaxPly; i++) {
        t.nodeArray[i].ply = uint8_t(i);
        t.nodeArray[i].side = uint8_t((i & 1) ? side ^ 1 : side);
    }
    NodeRecord* root = t.nodeArray;

    // 2. Flags, check and material from the board.
    root->flags = (last ? last->flags : game.startFlags) & (EpMask | CastleMask);
    if (InCheck(t, side)) {
        root->flags |= InCheckFlag;
        root->checks[side] = 1;
    }
    ComputeKey(t.board, root->key);
    ComputePawnKey(t.board, root->pawnKey);
    int men = 0;
    for (int sq = 1; sq <= 64; sq++) {
        int code = t.board[sq];
        if (!code) continue;
        men++;
        int s = ColourOf(code);
        if (!IsKing(code)) root->material[s] += PieceValue[code];
        root->phase[s] = uint8_t(root->phase[s] + PhaseUnits[code]);
        root->signature[s] = SignatureAdd(root->signature[s], code, sq);
    }
    root->men = uint8_t(men);

    // 3. Key history seeded from the reversible tail of the game.
    int count = 0;
    if (last) {
        int n = int(game.states.size());
        while (count < 100 && n - 1 - count > 0 && !IsIrreversible(game.states[n - 1 - count].move)) count++;
        if (int(game.keys.size()) < count + 1) count = int(game.keys.size()) - 1;
        for (int i = 0; i < count; i++) t.keyHistory[i] = game.keys[game.keys.size() - 1 - count + i];
    }
    t.keyHistory[count] = root->key[1];
    t.keyTop = t.keyHistory + count;
    root->resetPoint = t.keyHistory;
    t.capturedTop = t.capturedStack;
    t.attackLogTop = t.attackLog;
    t.attackMarkTop = t.attackMarks;

    // 4. Empty move lists.
    root->quietList = root->quietEnd = t.quietStack;
    root->captureList = root->captureEnd = t.captureStack;
    return root;
}

// The node is the newest entry of the key history (keyTop).
int RepeatsOnce(const Tree& t, const NodeRecord* node) {
    const uint32_t key = node->key[1];
    const long reach = long(t.keyTop - node->resetPoint);
    for (long back = 4; back <= reach; back += 2)
        if (t.keyTop[-back] == key) return 1;
    return 0;
}

int OccurrencesSinceReset(const Tree& t, const NodeRecord* node) {
    const uint32_t key = node->key[1];
    const long reach = long(t.keyTop - node->resetPoint);
    int n = 0;
    for (long back = 4; back <= reach; back += 2)
        if (t.keyTop[-back] == key) n++;
    return n;
}

int HalfMoveCount(const Tree& t, const NodeRecord* node) { return int(t.keyTop - node->resetPoint); }

}  // namespace board
