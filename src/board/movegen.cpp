// Pseudo-legal move generation, stored-move tests and move texts.
#include "board/movegen.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/tables.h"
#include "core/settings.h"

namespace board {

namespace {

// Killer moves are marked through their history entries for one call.
constexpr uint32_t GrandparentKillerScore = 0x7ffffe0a;
constexpr uint32_t KillerScore = 0x7ffffe0b;
constexpr int HistorySize = 8256;

struct Generator {
    Tree& t;
    const uint8_t* b;
    int side, opp, colour;
    int allPromotions;
    uint32_t flags;
    const uint32_t* hist;
    MoveEntry* cap;
    MoveEntry* quiet;

    bool Enemy(int sq) const { return b[sq] && ColourOf(b[sq]) == opp; }

    void Capture(Move m) {
        cap->move = m;
        cap->score = EstimateCapture(t, m);
        cap++;
    }
    void Quiet(Move m) {
        quiet->move = m;
        quiet->score = int32_t(hist[m & 0x3fff]);
        quiet++;
    }
    void Promotions(int from, int to, int captured) {
        int pawn = WPawn | colour;
        Capture(MakeMoveWord(from, to, pawn, captured, WQueen | colour));
        if (allPromotions) {
            Capture(MakeMoveWord(from, to, pawn, captured, WRook | colour));
            Capture(MakeMoveWord(from, to, pawn, captured, WKnight | colour));
            Capture(MakeMoveWord(from, to, pawn, captured, WBishop | colour));
        }
    }
    // A capture by any man, promotions for a pawn reaching its last rank.
    void CaptureBy(int from, int to) {
        int code = b[from];
        if (IsPawn(code) && !Ahead[side][to]) Promotions(from, to, b[to]);
        else Capture(MakeMoveWord(from, to, code, b[to]));
    }
    void EnPassantBy(int from, int ep) {
        Capture(MakeMoveWord(from, ep, WPawn | colour, side == White ? BPawn : WPawn) | MoveEnPassant);
    }

    // Castling with the right and a free path; make tests the attacked squares.
    void Castles() {
        for (int i = 2 * side; i < 2 * side + 2; i++) {
            const CastlePath& p = CastlePaths[i];
            if (!(flags & p.right) || b[p.rook] != (WRook | colour)) continue;
            bool free = true;
            for (const uint8_t* s = p.empty; *s; s++) free = free && !b[*s];
            if (free) Quiet(p.castleWord);
        }
    }

    void PawnPushes(int sq, bool withPromotions) {
        int code = b[sq];
        int a = Ahead[side][sq];
        if (!a || b[a]) return;
        if (!Ahead[side][a]) {
            if (withPromotions) Promotions(sq, a, 0);
            return;
        }
        Quiet(MakeMoveWord(sq, a, code));
        if (RankOf(sq) == (side == White ? 2 : 7)) {
            int a2 = Ahead[side][a];
            if (!b[a2]) Quiet(MakeMoveWord(sq, a2, code) | MoveDouble);
        }
    }

    // Quiet moves (and, with `captures`, captures) of one man.
    void ManMoves(int sq, bool captures) {
        int code = b[sq];
        int kind = RayKindOf[code];
        if (kind >= 0) {
            const RayStep* ray = RayList[kind][sq];
            int i = 0;
            while (int s = ray[i].square) {
                if (!b[s]) {
                    Quiet(MakeMoveWord(sq, s, code));
                    i++;
                } else {
                    if (captures && Enemy(s) && !IsKing(b[s])) Capture(MakeMoveWord(sq, s, code, b[s]));
                    i = ray[i].skip;
                }
            }
        } else if (IsPawn(code)) {
            if (captures) {
                int ep = int(flags & EpMask);
                for (const uint8_t* s = StepList[StepKindOf[code]][sq]; *s; s++) {
                    if (Enemy(*s) && !IsKing(b[*s])) CaptureBy(sq, *s);
                    else if (*s == ep && ep) EnPassantBy(sq, ep);
                }
            }
            PawnPushes(sq, captures);
        } else {
            for (const uint8_t* s = StepList[StepKindOf[code]][sq]; *s; s++) {
                if (!b[*s]) Quiet(MakeMoveWord(sq, *s, code));
                else if (captures && Enemy(*s) && !IsKing(b[*s])) Capture(MakeMoveWord(sq, *s, code, b[*s]));
            }
        }
    }

    void AllMen(bool captures) {
        if (int k = t.pieces[side][0]) ManMoves(k, captures);
        for (const uint8_t* p = t.pieces[side] + 1; *p; p++)
            if (*p != CapturedSlot) ManMoves(*p, captures);
    }

    void CaptureMoves() {
        // 1. Every attacked enemy man but the king.
        const AttackEntry* own = t.attackTable[side];
        for (const uint8_t* p = t.pieces[opp] + 1; *p; p++) {
            int to = *p;
            if (to == CapturedSlot) continue;
            const AttackEntry& e = own[to];
            for (uint32_t i = 0; i < e.number; i++) CaptureBy(e.squares[i], to);
        }
        // 2. En passant.
        if (int ep = int(flags & EpMask)) {
            const AttackEntry& e = own[ep];
            for (uint32_t i = 0; i < e.number; i++)
                if (b[e.squares[i]] == (WPawn | colour)) EnPassantBy(e.squares[i], ep);
        }
        // 3. Pushes to the last rank.
        int first = side == White ? 49 : 9;
        for (int sq = first; sq < first + 8; sq++)
            if (b[sq] == (WPawn | colour) && !b[Ahead[side][sq]]) Promotions(sq, Ahead[side][sq], 0);
    }

    void Evasions() {
        const int king = t.pieces[side][0];
        const AttackEntry& checkers = t.attackTable[opp][king];
        const int checker = checkers.squares[0];
        const bool doubleCheck = checkers.number >= 2;
        const int checkerCode = b[checker];
        if (!doubleCheck && !IsKing(checkerCode)) {
            // 1. Captures of the checker by men other than the king.
            const AttackEntry& e = t.attackTable[side][checker];
            for (uint32_t i = 0; i < e.number; i++)
                if (e.squares[i] != king) CaptureBy(e.squares[i], checker);
            // 2. En passant of a checking pawn that has just stepped twice.
            if (int ep = int(flags & EpMask)) {
                if (checker == (side == White ? ep - 8 : ep + 8)) {
                    const AttackEntry& pe = t.attackTable[side][ep];
                    for (uint32_t i = 0; i < pe.number; i++)
                        if (b[pe.squares[i]] == (WPawn | colour)) EnPassantBy(pe.squares[i], ep);
                }
            }
            // 3. Interpositions against a slider.
            if (IsSlider(checkerCode)) {
                const int dir = Direction[checker][king];
                for (int s = checker + dir; s != king; s += dir) {
                    const AttackEntry& se = t.attackTable[side][s];
                    for (uint32_t i = 0; i < se.number; i++) {
                        int a = se.squares[i];
                        if (a != king && !IsPawn(b[a])) Quiet(MakeMoveWord(a, s, b[a]));
                    }
                    int pawn = WPawn | colour;
                    int behind = side == White ? s - 8 : s + 8;
                    if (behind < 1 || behind > 64) continue;
                    if (b[behind] == pawn) {
                        if (!Ahead[side][s]) Promotions(behind, s, 0);
                        else Quiet(MakeMoveWord(behind, s, pawn));
                    } else if (!b[behind] && RankOf(s) == (side == White ? 4 : 5)) {
                        int start = side == White ? s - 16 : s + 16;
                        if (b[start] == pawn) Quiet(MakeMoveWord(start, s, pawn) | MoveDouble);
                    }
                }
            }
        }
        // 4. King moves, off the checking lines.
        int avoid1 = IsSlider(checkerCode) ? king + Direction[checker][king] : 0;
        int avoid2 = 0;
        if (doubleCheck && IsSlider(b[checkers.squares[1]])) avoid2 = king + Direction[checkers.squares[1]][king];
        const AttackEntry* enemy = t.attackTable[opp];
        const int kingCode = WKing | colour;
        for (const uint8_t* s = StepList[KingSteps][king]; *s; s++) {
            int to = *s;
            if ((b[to] && !Enemy(to)) || enemy[to].number || to == avoid1 || to == avoid2) continue;
            if (!b[to]) Quiet(MakeMoveWord(king, to, kingCode));
            else if (!IsKing(b[to])) Capture(MakeMoveWord(king, to, kingCode, b[to]));
        }
    }
};

}  // namespace

void GenerateMoves(Tree& tree, NodeRecord* node, int mode, int allPromotions) {
    SyncAttacks(tree);
    const int side = node->side;
    Generator g{tree,          tree.board,      side, side ^ 1, side ? BlackBit : 0, allPromotions, node->flags,
                tree.history[side], node->captureEnd, node->quietEnd};
    const bool evasions = (node->flags & InCheckFlag) && tree.pieces[side][0];
    const bool wantCaptures = evasions || mode != GenQuiets;
    const bool wantQuiets = evasions || mode != GenCaptures;

    // Killers carry their marks through the history entries for this call.
    uint32_t* hist = tree.history[side];
    int marked[4];
    uint32_t saved[4];
    int marks = 0;
    if (wantQuiets) {
        const int ply = node->ply;
        for (int level = 0; level < 2; level++) {
            if (level == 0 && ply < 2) continue;
            const Tree::Killer& k = tree.killers[level == 0 ? ply - 2 : ply];
            for (int j = 0; j < 2; j++) {
                int index = int(k.move[j] & 0x3fff);
                if (index == 0 || index >= HistorySize) continue;
                marked[marks] = index;
                saved[marks++] = hist[index];
                hist[index] = level == 0 ? GrandparentKillerScore : KillerScore;
            }
        }
    }

    MoveEntry* capStart = g.cap;
    MoveEntry* quietStart = g.quiet;
    if (evasions) {
        g.Evasions();
    } else if (mode == GenCaptures) {
        g.CaptureMoves();
    } else if (mode == GenQuiets) {
        g.Castles();
        g.AllMen(false);
    } else {
        g.Castles();
        g.AllMen(true);
    }

    while (marks > 0) {
        marks--;
        hist[marked[marks]] = saved[marks];
    }

    int count = 0;
    if (wantCaptures) {
        count += int(g.cap - capStart);
        g.cap->move = 0;
        g.cap->score = ListEnd;
        node->captureEnd = g.cap + 1;
        node->generated |= 1;
    }
    if (wantQuiets) {
        count += int(g.quiet - quietStart);
        g.quiet->move = 0;
        g.quiet->score = ListEnd;
        node->quietEnd = g.quiet + 1;
        node->generated |= 2;
    }
    node->moveCount = uint8_t(node->moveCount + count);
}

int MoveFits(Move move, const Tree& tree, uint32_t flags) {
    if (!move || (move & (MoveNull | 0xc0000000u))) return 0;
    const uint8_t* b = tree.board;
    const int from = MoveFrom(move), to = MoveTo(move), piece = MovePiece(move);
    const int captured = MoveCaptured(move), promo = MovePromotion(move);
    if (from < 1 || from > 64 || to < 1 || to > 64 || from == to) return 0;
    if (!piece || b[from] != piece) return 0;
    const int side = ColourOf(piece), colour = side ? BlackBit : 0;

    if (move & MoveCastle) {
        if (!IsKing(piece) || (flags & InCheckFlag)) return 0;
        const CastlePath& p = CastlePaths[CastleIndex(side, move)];
        if (move != p.castleWord || !(flags & p.right) || p.king != from) return 0;
        if (b[p.rook] != (WRook | colour)) return 0;
        for (const uint8_t* s = p.empty; *s; s++)
            if (b[*s]) return 0;
        return 1;
    }
    if ((move & (MoveEnPassant | MoveDouble)) && !IsPawn(piece)) return 0;
    if (captured && (ColourOf(captured) == side || IsKing(captured))) return 0;
    if (promo && (!IsPawn(piece) || ColourOf(promo) != side || IsKing(promo) || IsPawn(promo))) return 0;

    if (move & MoveEnPassant) {
        if (int(flags & EpMask) != to || b[to]) return 0;
        int x = side == White ? to - 8 : to + 8;
        if (captured != (side == White ? BPawn : WPawn) || b[x] != captured) return 0;
        return (VectorBits(from, to) & VectorMask[piece]) != 0;
    }
    if (b[to] != captured) return 0;

    // Geometry: a stored move from a sibling position may not fit this one.
    if (IsPawn(piece)) {
        if ((promo != 0) != (Ahead[side][to] == 0)) return 0;
        if (move & MoveDouble) {
            int a = Ahead[side][from];
            return !captured && RankOf(from) == (side == White ? 2 : 7) && !b[a] && Ahead[side][a] == to;
        }
        if (captured) return (VectorBits(from, to) & VectorMask[piece]) != 0;
        return Ahead[side][from] == to;
    }
    if (promo) return 0;
    if (!(VectorBits(from, to) & VectorMask[piece])) return 0;
    if (IsSlider(piece)) {
        const int dir = Direction[from][to];
        for (int s = from + dir; s != to; s += dir)
            if (b[s]) return 0;
    }
    return 1;
}

int GivesNoCheckLine(const uint8_t* boardSquares, int code, int square, int target) {
    if (square < 1 || square > 64 || target < 1 || target > 64) return 1;
    if (!(VectorBits(square, target) & VectorMask[code & 15])) return 1;
    if (!IsSlider(code)) return 0;
    const int dir = Direction[square][target];
    for (int s = square + dir; s != target; s += dir)
        if (boardSquares[s]) return 1;
    return 0;
}

namespace {
int ReadSquare(const char* text) {
    char file = text[0], rank = text[1];
    if (file >= 'A' && file <= 'H') file = char(file - 'A' + 'a');
    for (int sq = 1; sq <= 64; sq++)
        if (SquareNames[sq][0] == file && SquareNames[sq][1] == rank) return sq;
    return 0;
}
}  // namespace

Move ReadMoveText(const char* text, const uint8_t* boardSquares, int side) {
    size_t length = std::strlen(text);
    int promo = 0;
    if (length == 5) {
        char letter = text[4];
        if (letter >= 'A' && letter <= 'Z') letter = char(letter - 'A' + 'a');
        switch (letter) {
            case 'n': promo = WKnight; break;
            case 'b': promo = WBishop; break;
            case 'r': promo = WRook; break;
            case 'q': promo = WQueen; break;
            default: return 0;
        }
        if (side == Black) promo |= BlackBit;
        length = 4;
    }
    if (length != 4) return 0;
    const int from = ReadSquare(text), to = ReadSquare(text + 2);
    if (!from || !to) return 0;
    const int piece = boardSquares[from];
    if (!piece) return 0;
    const int colour = piece & BlackBit;
    if (IsKing(piece)) {
        bool castle = core::settings.chess960 ? boardSquares[to] == (WRook | colour)
                                                : (FileOf(to) - FileOf(from) == 2 || FileOf(from) - FileOf(to) == 2);
        if (castle) return MakeMoveWord(from, to, piece) | MoveCastle;
    }
    if (IsPawn(piece)) {
        if (FileOf(from) != FileOf(to) && !boardSquares[to])
            return MakeMoveWord(from, to, piece, colour ? WPawn : BPawn, promo) | MoveEnPassant;
        if (to - from == 16 || from - to == 16) return MakeMoveWord(from, to, piece) | MoveDouble;
    }
    return MakeMoveWord(from, to, piece, boardSquares[to], promo);
}

int WriteMoveText(char* buffer, Move move) {
    if (move & MoveNull) {
        std::memcpy(buffer, "0000", 5);
        return 4;
    }
    int n = 0;
    const char* from = SquareNames[MoveFrom(move) <= 64 ? MoveFrom(move) : 0];
    const char* to = SquareNames[MoveTo(move) <= 64 ? MoveTo(move) : 0];
    buffer[n++] = from[0];
    buffer[n++] = from[1];
    buffer[n++] = to[0];
    buffer[n++] = to[1];
    if (int promo = MovePromotion(move)) buffer[n++] = PieceLetters[16 + promo];
    buffer[n] = 0;
    return n;
}

void WriteLongMoveText(char* buffer, Move move, int leadingBlank) {
    char text[16];
    int n = 0;
    if (leadingBlank) text[n++] = ' ';
    if (move & MoveNull) {
        std::memcpy(text + n, "0000", 5);
    } else if (move & MoveCastle) {
        std::strcpy(text + n, MoveTo(move) > MoveFrom(move) ? "O-O" : "O-O-O");
    } else {
        char letter = PieceLetters[MovePiece(move)];
        if (letter != ' ') text[n++] = letter;
        const char* from = SquareNames[MoveFrom(move) <= 64 ? MoveFrom(move) : 0];
        const char* to = SquareNames[MoveTo(move) <= 64 ? MoveTo(move) : 0];
        text[n++] = from[0];
        text[n++] = from[1];
        text[n++] = MoveCaptured(move) ? 'x' : '-';
        text[n++] = to[0];
        text[n++] = to[1];
        if (int promo = MovePromotion(move)) text[n++] = PieceLetters[promo];
        text[n] = 0;
    }
    if (buffer) std::strcpy(buffer, text);
    else std::fputs(text, stdout);
}

}  // namespace board
