// Make and unmake on the search board, hash keys, repetition and root set-up.
#include "board/makemove.h"

#include <cstring>

#include "board/attacks.h"
#include "board/tables.h"
#include "eval/eval.h"

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

// Takes the man on `sq` off the board (attacks, board, lines through it).
inline void LiftMan(Tree& t, int sq, int code) {
    RemoveAttacksFast(t.attackTable[ColourOf(code)], sq, code, t.board);
    t.board[sq] = 0;
    OpenLines(t, sq);
}

// Puts a man on the empty square `sq`.
inline void PutMan(Tree& t, int sq, int code) {
    CloseLines(t, sq);
    t.board[sq] = uint8_t(code);
    AddAttacksFast(t.attackTable[ColourOf(code)], sq, code, t.board);
}

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

// Both men of a castling move in one step; a man already on its
// destination stays where it is.
void CastleMen(Tree& t, const CastlePath& p, int side, uint32_t* key, uint32_t* pawnKey) {
    int king = side ? BKing : WKing, rook = side ? BRook : WRook;
    bool kingMoves = p.king != p.kingTo, rookMoves = p.rook != p.rookTo;
    uint8_t* kingSlot = t.squareLink[p.king];
    uint8_t* rookSlot = t.squareLink[p.rook];
    if (kingMoves) LiftMan(t, p.king, king);
    if (rookMoves) LiftMan(t, p.rook, rook);
    if (kingMoves) {
        PutMan(t, p.kingTo, king);
        *kingSlot = p.kingTo;
        t.squareLink[p.kingTo] = kingSlot;
        XorKey(key, pawnKey, king, p.king);
        XorKey(key, pawnKey, king, p.kingTo);
    }
    if (rookMoves) {
        PutMan(t, p.rookTo, rook);
        *rookSlot = p.rookTo;
        t.squareLink[p.rookTo] = rookSlot;
        XorKey(key, pawnKey, rook, p.rook);
        XorKey(key, pawnKey, rook, p.rookTo);
    }
}

void UncastleMen(Tree& t, const CastlePath& p, int side) {
    int king = side ? BKing : WKing, rook = side ? BRook : WRook;
    bool kingMoves = p.king != p.kingTo, rookMoves = p.rook != p.rookTo;
    uint8_t* kingSlot = t.squareLink[p.kingTo];
    uint8_t* rookSlot = t.squareLink[p.rookTo];
    if (kingMoves) LiftMan(t, p.kingTo, king);
    if (rookMoves) LiftMan(t, p.rookTo, rook);
    if (kingMoves) {
        PutMan(t, p.king, king);
        *kingSlot = p.king;
        t.squareLink[p.king] = kingSlot;
    }
    if (rookMoves) {
        PutMan(t, p.rook, rook);
        *rookSlot = p.rook;
        t.squareLink[p.rook] = rookSlot;
    }
}

}  // namespace

int DoMove(Tree& t, Move m, uint32_t* key, uint32_t* pawnKey) {
    int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m), captured = MoveCaptured(m);
    int promo = MovePromotion(m);
    int side = ColourOf(piece);
    AttackEntry* own = t.attackTable[side];
    uint8_t* slot = t.squareLink[from];

    // 1-2. The captured man loses its attacks, count, key and slot.
    if (captured) {
        RemoveAttacksFast(t.attackTable[side ^ 1], to, captured, t.board);
        XorKey(key, pawnKey, captured, to);
        CaptureSlot(t, to, captured);
    }
    // 3-4. The mover leaves its square; lines through it open.
    RemoveAttacksFast(own, from, piece, t.board);
    XorKey(key, pawnKey, piece, from);
    t.board[from] = 0;
    OpenLines(t, from);
    // 5-6. Slot and promotion.
    int now = piece;
    if (promo) {
        Promote(t, slot, piece, promo);
        now = promo;
    }
    *slot = uint8_t(to);
    t.squareLink[to] = slot;
    // 7-9. The man arrives; an empty target closes the lines through it.
    if (!captured) CloseLines(t, to);
    t.board[to] = uint8_t(now);
    AddAttacksFast(own, to, now, t.board);
    XorKey(key, pawnKey, now, to);
    // 10. Legality: enemy attackers of the own king.
    return int(t.attackTable[side ^ 1][t.pieces[side][0]].number);
}

void UndoMove(Tree& t, Move m) {
    int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m), captured = MoveCaptured(m);
    int promo = MovePromotion(m);
    int side = ColourOf(piece);
    AttackEntry* own = t.attackTable[side];
    uint8_t* slot = t.squareLink[to];
    int now = promo ? promo : piece;

    RemoveAttacksFast(own, to, now, t.board);
    if (!captured) {
        t.board[to] = 0;
        OpenLines(t, to);
    }
    if (promo) Demote(t, piece, promo);
    CloseLines(t, from);
    t.board[from] = uint8_t(piece);
    *slot = uint8_t(from);
    t.squareLink[from] = slot;
    AddAttacksFast(own, from, piece, t.board);
    if (captured) {
        t.board[to] = uint8_t(captured);
        RestoreSlot(t, to, captured);
        AddAttacksFast(t.attackTable[side ^ 1], to, captured, t.board);
    }
}

NodeRecord* MakeMove(Tree& t, NodeRecord* p) {
    NodeRecord* c = p + 1;
    if (c >= t.nodeArray + MaxPly) return nullptr;  // no record left for the child
    const Move m = p->currentMove;
    const int side = p->side, opp = side ^ 1;

    // 1. Copied fields.
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

    const int from = MoveFrom(m), to = MoveTo(m), piece = MovePiece(m);
    const int captured = MoveCaptured(m), promo = MovePromotion(m);
    int32_t score = p->squareScore;

    if (m & MoveNull) {
        // 2. Null move: rights kept, en passant and check cleared.
        c->flags = p->flags & CastleMask;
        c->material[0] = p->material[0];
        c->material[1] = p->material[1];
        c->phase[0] = p->phase[0];
        c->phase[1] = p->phase[1];
        c->squareScore = -score;
        *++t.keyTop = c->key[1];
        c->resetPoint = t.keyTop;
    } else {
        int captureSquare = to;
        int kingTo = to;
        if (!(m & (MoveEnPassant | MoveCastle))) {
            // 3. Normal move.
            if (DoMove(t, m, c->key, c->pawnKey)) {
                UndoMove(t, m);
                return nullptr;
            }
        } else if (m & MoveEnPassant) {
            // 4. En passant: the pawn beside goes first, then the capturer moves.
            captureSquare = side == White ? to - 8 : to + 8;
            LiftMan(t, captureSquare, captured);
            XorKey(c->key, c->pawnKey, captured, captureSquare);
            CaptureSlot(t, captureSquare, captured);
            Move step = m & ~(Move(15) << 18);
            if (DoMove(t, step, c->key, c->pawnKey)) {
                UndoMove(t, step);
                PutMan(t, captureSquare, captured);
                RestoreSlot(t, captureSquare, captured);
                return nullptr;
            }
        } else {
            // 5. Castling: path empty and not through an attacked square.
            const CastlePath& cp = CastlePaths[CastleIndex(side, m)];
            for (const uint8_t* s = cp.empty; *s; s++)
                if (t.board[*s]) return nullptr;
            const AttackEntry* enemy = t.attackTable[opp];
            for (const uint8_t* s = cp.safe; *s; s++)
                if (enemy[*s].number) return nullptr;
            CastleMen(t, cp, side, c->key, c->pawnKey);
            if (enemy[t.pieces[side][0]].number) {
                UncastleMen(t, cp, side);
                return nullptr;
            }
            kingTo = cp.kingTo;
            const int rook = side ? BRook : WRook;
            score += PieceSquare[rook][cp.rookTo] - PieceSquare[rook][cp.rook];
        }

        // 6. Check given.
        uint32_t flags = 0;
        if (t.attackTable[side][t.pieces[opp][0]].number) {
            c->checks[opp]++;
            flags = InCheckFlag;
        }
        // 7. Castling rights.
        uint32_t rights = p->flags & CastleMask;
        if (rights) {
            if (rights & (WhiteKingSide | WhiteQueenSide)) {
                if (from == CastleSquares[0]) rights &= ~uint32_t(WhiteKingSide | WhiteQueenSide);
                else if (from == CastleSquares[1] || to == CastleSquares[1]) rights &= ~WhiteQueenSide;
                else if (from == CastleSquares[2] || to == CastleSquares[2]) rights &= ~WhiteKingSide;
            }
            if (rights & (BlackKingSide | BlackQueenSide)) {
                if (from == CastleSquares[3]) rights &= ~uint32_t(BlackKingSide | BlackQueenSide);
                else if (from == CastleSquares[4] || to == CastleSquares[4]) rights &= ~BlackQueenSide;
                else if (from == CastleSquares[5] || to == CastleSquares[5]) rights &= ~BlackKingSide;
            }
            flags |= rights;
        }
        // 8. En passant square, only with an enemy pawn beside the target.
        if (m & MoveDouble) {
            int enemyPawn = side == White ? BPawn : WPawn;
            if ((FileOf(to) != 1 && t.board[to - 1] == enemyPawn) || (FileOf(to) != 8 && t.board[to + 1] == enemyPawn))
                flags |= uint32_t(side == White ? to - 8 : to + 8);
        }
        c->flags = flags;

        // 9. Material, phase, signature, square score, key history.
        c->material[side] = p->material[side];
        c->phase[side] = p->phase[side];
        c->material[opp] = p->material[opp] - PieceValue[captured];
        c->phase[opp] = uint8_t(p->phase[opp] - PhaseUnits[captured]);
        int arriving = piece;
        if (promo) {
            arriving = promo;
            c->material[side] += PieceValue[promo] - PieceValue[WPawn];
            c->phase[side] = uint8_t(c->phase[side] + PhaseUnits[promo]);
            c->signature[side] += uint32_t(SignatureWeight(promo, to) - 1);
        }
        score += PieceSquare[arriving][kingTo] - PieceSquare[piece][from];
        if (captured) {
            c->signature[opp] -= uint32_t(SignatureWeight(captured, captureSquare));
            c->men--;
            c->capturedKinds |= CapturedKindBit[captured];
            score += PieceSquare[captured][captureSquare];
        }
        c->squareScore = -score;
        *++t.keyTop = c->key[1];
        c->resetPoint = IsIrreversible(m) ? t.keyTop : p->resetPoint;
    }

    // 10. The child's own lists and fields.
    c->threatMove = 0;
    c->savedMove = 0;
    c->generated = 0;
    c->stage = 0;
    c->reduced = 0;
    c->quiescenceFlag = 0;
    c->quietList = c->quietEnd = p->quietEnd;
    c->captureList = c->captureEnd = p->captureEnd;
    c->positionalValue = -p->positionalValue;
    return c;
}

void UnmakeMove(Tree& t, NodeRecord* p) {
    const Move m = p->currentMove;
    t.keyTop--;
    if (m & MoveNull) return;
    if (!(m & (MoveEnPassant | MoveCastle))) {
        UndoMove(t, m);
    } else if (m & MoveEnPassant) {
        const int side = p->side;
        const int captureSquare = side == White ? MoveTo(m) - 8 : MoveTo(m) + 8;
        const int captured = MoveCaptured(m);
        UndoMove(t, m & ~(Move(15) << 18));
        PutMan(t, captureSquare, captured);
        RestoreSlot(t, captureSquare, captured);
    } else {
        UncastleMen(t, CastlePaths[CastleIndex(p->side, m)], p->side);
    }
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
        root->signature[s] += uint32_t(SignatureWeight(code, sq));
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

    // 4. Empty move lists.
    root->quietList = root->quietEnd = t.quietStack;
    root->captureList = root->captureEnd = t.captureStack;
    return root;
}

NodeRecord* SetUpRoot(Tree& t, const GameRecord& game) {
    NodeRecord* root = SetUpSearchNodes(t, game);
    eval::BuildEvalTables(t, root);
    root->squareScore = SquareScore(t, root->side);
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
