// Board, move generation and make/unmake for the bitbase look-ahead.
#include "bitbases/position.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace bitbases {

namespace {

inline bool IsWhite(int code) { return code >= WK && code <= WP; }
inline bool IsBlack(int code) { return code >= BK; }
inline int Kind(int code) { return code >= BK ? code - 6 : code; }  // white code of the same man
inline int FileOf(int sq) { return sq & 7; }
inline int RankOf(int sq) { return sq >> 3; }

const int KingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
const int KnightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};

// The square reached by a (file, rank) step, or -1 off the board.
inline int Step(int sq, const int d[2]) {
    int f = FileOf(sq) + d[0], r = RankOf(sq) + d[1];
    return f < 0 || f > 7 || r < 0 || r > 7 ? -1 : r * 8 + f;
}

}  // namespace

void CGamePosition::Reset() {
    ply = 0;
    sideToMove = 1;
}

void CGamePosition::PlayMove(uint32_t move) {
    if (ply < 256) moveStack[ply] = move;
    ply++;
    sideToMove ^= 1;
}

void CGamePosition::TakeBackMove() {
    ply--;
    sideToMove ^= 1;
}

void CChessPosition::Reset() {
    CGamePosition::Reset();
    Clear(true);
}

void CChessPosition::Clear(bool whiteToMove) {
    std::memset(board, 0, sizeof board);
    std::memset(pieceCount, 0, sizeof pieceCount);
    pieceCount[0] = 64;
    sideToMove = whiteToMove ? 1 : 0;
    ply = 0;
    epSquare = 0;
    whiteKing = blackKing = -1;
    menCount = 0;
    countsValid = 1;
}

void CChessPosition::Put(int code, int square) {
    if (board[square]) Remove(square);
    board[square] = uint8_t(code);
    pieceCount[code]++;
    pieceCount[0]--;
    menCount++;
    if (code == WK) whiteKing = square;
    if (code == BK) blackKing = square;
}

void CChessPosition::Remove(int square) {
    int code = board[square];
    board[square] = 0;
    pieceCount[code]--;
    pieceCount[0]++;
    menCount--;
    if (code == WK) whiteKing = -1;
    if (code == BK) blackKing = -1;
}

bool CChessPosition::Attacked(int square, bool byWhite) const {
    int offset = byWhite ? 0 : 6;
    for (const auto& d : KnightSteps) {
        int s = Step(square, d);
        if (s >= 0 && board[s] == WN + offset) return true;
    }
    for (const auto& d : KingSteps) {
        int s = Step(square, d);
        if (s >= 0 && board[s] == WK + offset) return true;
    }
    // A white pawn attacks from one rank below, a black pawn from one above.
    int pawnRank = byWhite ? -1 : 1;
    for (int df : {-1, 1}) {
        const int d[2] = {df, pawnRank};
        int s = Step(square, d);
        if (s >= 0 && board[s] == WP + offset) return true;
    }
    for (int i = 0; i < 8; i++) {
        bool straight = i < 4;
        for (int s = Step(square, KingSteps[i]); s >= 0; s = Step(s, KingSteps[i])) {
            int code = board[s];
            if (!code) continue;
            if (code == WQ + offset || code == (straight ? WR : WB) + offset) return true;
            break;
        }
    }
    return false;
}

bool CChessPosition::InCheck() const {
    int king = sideToMove ? whiteKing : blackKing;
    return king >= 0 && Attacked(king, !sideToMove);
}

void CChessPosition::Generate(BitbaseMoveList& list, int legalOnly) const {
    list.count = 0;
    bool white = sideToMove == 1;
    auto own = [&](int code) { return code && (white ? IsWhite(code) : IsBlack(code)); };
    auto add = [&](int from, int to, int promotion) {
        if (list.count >= 200) return;
        list.from[list.count] = uint16_t(from);
        list.to[list.count] = uint16_t(to | (promotion << 6));
        list.count++;
    };
    for (int from = 0; from < 64; from++) {
        int code = board[from];
        if (!own(code)) continue;
        int kind = Kind(code);
        if (kind == WP) {
            int dir = white ? 8 : -8;
            int lastRank = white ? 7 : 0;
            int startRank = white ? 1 : 6;
            auto addPawn = [&](int to) {
                if (RankOf(to) == lastRank)
                    for (int p : {WQ, WR, WB, WN}) add(from, to, p);
                else
                    add(from, to, 0);
            };
            int to = from + dir;
            if (to >= 0 && to < 64 && !board[to]) {
                addPawn(to);
                if (RankOf(from) == startRank && !board[to + dir]) add(from, to + dir, 0);
            }
            for (int df : {-1, 1}) {
                const int d[2] = {df, white ? 1 : -1};
                int s = Step(from, d);
                if (s < 0) continue;
                if ((board[s] && !own(board[s])) || (epSquare > 0 && s == epSquare)) addPawn(s);
            }
            continue;
        }
        const int (*steps)[2] = kind == WN ? KnightSteps : KingSteps;
        bool slides = kind == WQ || kind == WR || kind == WB;
        int first = kind == WB ? 4 : 0, last = kind == WR ? 4 : 8;
        for (int i = first; i < last; i++) {
            for (int s = Step(from, steps[i]); s >= 0; s = Step(s, steps[i])) {
                if (own(board[s])) break;
                add(from, s, 0);
                if (board[s] || !slides) break;
            }
        }
    }
    if (!legalOnly) return;
    int kept = 0;
    CChessPosition& self = const_cast<CChessPosition&>(*this);  // make and take back leave it as it was
    for (int i = 0; i < list.count; i++) {
        self.PlayMove(list.Move(i));
        int king = white ? whiteKing : blackKing;
        bool legal = king >= 0 && !Attacked(king, !white);
        self.TakeBackMove();
        if (legal) {
            list.from[kept] = list.from[i];
            list.to[kept] = list.to[i];
            kept++;
        }
    }
    list.count = kept;
}

void CChessPosition::PlayMove(uint32_t move) {
    int from = int(move >> 16) & 63, to = int(move & 63), promotion = int(move >> 6) & 15;
    int moved = board[from];
    bool white = IsWhite(moved);
    Undo& u = undo[ply & 255];
    u.moved = uint8_t(moved);
    u.epSquare = epSquare;
    u.capturedSquare = uint8_t(to);
    u.promoted = uint8_t(promotion);
    if (Kind(moved) == WP && epSquare > 0 && to == epSquare && !board[to])
        u.capturedSquare = uint8_t(white ? to - 8 : to + 8);
    u.captured = board[u.capturedSquare];
    if (u.captured) Remove(u.capturedSquare);
    Remove(from);
    Put(promotion ? (white ? promotion : promotion + 6) : moved, to);
    // En passant becomes possible only when an enemy pawn stands beside the
    // arrival square of a double step.
    epSquare = 0;
    if (Kind(moved) == WP && std::abs(to - from) == 16) {
        int enemyPawn = white ? BP : WP;
        if ((FileOf(to) > 0 && board[to - 1] == enemyPawn) || (FileOf(to) < 7 && board[to + 1] == enemyPawn))
            epSquare = (from + to) / 2;
    }
    CGamePosition::PlayMove(move);
}

void CChessPosition::TakeBackMove() {
    CGamePosition::TakeBackMove();
    const Undo& u = undo[ply & 255];
    uint32_t move = moveStack[ply & 255];
    int from = int(move >> 16) & 63, to = int(move & 63);
    Remove(to);
    Put(u.moved, from);
    if (u.captured) Put(u.captured, u.capturedSquare);
    epSquare = u.epSquare;
}

}  // namespace bitbases
