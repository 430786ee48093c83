// The game record, the FEN reader and the set-up of the search board.
#include "board/position.h"

#include <cstring>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "core/settings.h"

namespace board {

GameRecord Game;
Tree* MainTree = nullptr;

namespace {

constexpr uint8_t StandardCastleSquares[18] = {5, 1, 8, 61, 57, 64, 2, 3, 4, 5, 6, 7, 58, 59, 60, 61, 62, 63};
constexpr int GameBlock = 200;

int CodeOfLetter(char c) {
    switch (c) {
        case 'K': return WKing;
        case 'P': return WPawn;
        case 'N': return WKnight;
        case 'B': return WBishop;
        case 'R': return WRook;
        case 'Q': return WQueen;
        case 'k': return BKing;
        case 'p': return BPawn;
        case 'n': return BKnight;
        case 'b': return BBishop;
        case 'r': return BRook;
        case 'q': return BQueen;
        default: return 0;
    }
}

void MakeRoom(GameRecord& game) {
    if (game.states.capacity() - game.states.size() < 2) game.states.reserve(game.states.size() + GameBlock);
    if (game.keys.capacity() - game.keys.size() < 2) game.keys.reserve(game.keys.size() + GameBlock);
}

// Home squares of the back-rank men, used by the evaluation in Chess960.
void FillHomeSquares(const uint8_t* b) {
    for (int side = 0; side < 2; side++) {
        int base = side ? 56 : 0, entry = side ? 12 : 6, colour = side ? BlackBit : 0;
        int knights = 0, bishops = 0;
        for (int sq = base + 1; sq <= base + 8; sq++) {
            int code = b[sq];
            if (code == (WKnight | colour) && knights < 2) CastleSquares[entry + (knights++ ? 5 : 0)] = uint8_t(sq);
            if (code == (WBishop | colour) && bishops < 2) CastleSquares[entry + (bishops++ ? 4 : 1)] = uint8_t(sq);
            if (code == (WQueen | colour)) CastleSquares[entry + 2] = uint8_t(sq);
            if (code == (WKing | colour)) CastleSquares[entry + 3] = uint8_t(sq);
        }
    }
}

}  // namespace

void SetStartPosition(GameRecord& game) {
    static const uint8_t backRank[8] = {6, 3, 5, 7, 1, 5, 3, 6};
    std::memset(game.board, 0, sizeof game.board);
    game.board[0] = 255;
    for (int f = 1; f <= 8; f++) {
        game.board[f] = backRank[f - 1];
        game.board[8 + f] = WPawn;
        game.board[48 + f] = BPawn;
        game.board[56 + f] = uint8_t(backRank[f - 1] | BlackBit);
    }
    game.startSide = White;
    game.startFlags = CastleMask;
    std::memcpy(CastleSquares, StandardCastleSquares, sizeof CastleSquares);
}

namespace {

// Reads the text into the given record, which may be left half filled when
// the text is bad.
int ParseFen(const char* text, GameRecord& game) {
    // 1. Empty board, no flags, standard castling squares until told otherwise.
    std::memset(game.board, 0, sizeof game.board);
    game.board[0] = 255;
    game.startFlags = 0;
    game.startSide = White;
    std::memcpy(CastleSquares, StandardCastleSquares, sizeof CastleSquares);
    const char* c = text;
    int kingSquare[2] = {0, 0};

    // 2. Placement, rank 8 down to rank 1.
    bool placementDone = false;
    for (int rank = 8; rank >= 1 && !placementDone; rank--) {
        int file = 0;
        while (file < 8) {
            char ch = *c;
            if (ch == '/' || ch == ' ') break;
            if (ch >= '0' && ch <= '9') {
                file += ch - '0';
            } else if (int code = CodeOfLetter(ch)) {
                int sq = SquareAt(file + 1, rank);
                game.board[sq] = uint8_t(code);
                if (IsKing(code)) kingSquare[ColourOf(code)] = sq;
                file++;
            } else {
                return 0;
            }
            c++;
        }
        if (*c == '/') {
            c++;
        } else if (*c == ' ') {
            placementDone = true;  // the remaining ranks stay empty
        } else {
            return 0;
        }
    }
    while (*c == '/') c++;
    while (*c == ' ') c++;

    // 3. Side to move.
    if (*c == 'w') {
        game.startSide = White;
    } else if (*c == 'b') {
        game.startSide = Black;
    } else {
        return 0;
    }
    c++;
    // 4. Nothing more: no rights, no en passant.
    if (*c != ' ') return 1;
    c++;

    // 5-6. Castling field.
    const uint8_t* b = game.board;
    uint32_t flags = 0;
    const bool chess960 = core::settings.chess960 != 0;
    if (*c == '-') {
        c++;
    } else {
        for (; *c && *c != ' '; c++) {
            char ch = *c;
            if (!chess960) {
                if (ch == 'K') {
                    if (b[5] == WKing && b[8] == WRook) flags |= WhiteKingSide;
                } else if (ch == 'Q') {
                    if (b[5] == WKing && b[1] == WRook) flags |= WhiteQueenSide;
                } else if (ch == 'k') {
                    if (b[61] == BKing && b[64] == BRook) flags |= BlackKingSide;
                } else if (ch == 'q') {
                    if (b[61] == BKing && b[57] == BRook) flags |= BlackQueenSide;
                } else if (!((ch >= 'A' && ch <= 'H') || (ch >= 'a' && ch <= 'h'))) {
                    game.startFlags = flags;
                    return 1;
                }
            } else if (ch >= 'A' && ch <= 'H') {
                int k = kingSquare[White], r = ch - 'A' + 1;
                if (k >= 1 && k <= 8 && b[r] == WRook) {
                    CastleSquares[0] = uint8_t(k);
                    if (r < k) {
                        CastleSquares[1] = uint8_t(r);
                        flags |= WhiteQueenSide;
                    } else {
                        CastleSquares[2] = uint8_t(r);
                        flags |= WhiteKingSide;
                    }
                }
            } else if (ch >= 'a' && ch <= 'h') {
                int k = kingSquare[Black], r = ch - 'a' + 57;
                if (k >= 57 && b[r] == BRook) {
                    CastleSquares[3] = uint8_t(k);
                    if (r < k) {
                        CastleSquares[4] = uint8_t(r);
                        flags |= BlackQueenSide;
                    } else {
                        CastleSquares[5] = uint8_t(r);
                        flags |= BlackKingSide;
                    }
                }
            } else if (!(ch == 'K' || ch == 'Q' || ch == 'k' || ch == 'q')) {
                game.startFlags = flags;
                if (chess960) FillHomeSquares(b);
                return 1;
            }
        }
    }
    game.startFlags = flags;
    // 7. Home squares of the back-rank men.
    if (chess960) FillHomeSquares(b);

    // 8. En passant square.
    if (*c == ' ' && c[1] != '-') {
        char fileLetter = c[1];
        char digit = fileLetter ? c[2] : 0;
        if (fileLetter >= 'a' && fileLetter <= 'h' && digit >= '1' && digit <= '8') {
            int rank = digit - '0';
            if ((game.startSide == White && rank == 6) || (game.startSide == Black && rank == 3))
                game.startFlags |= uint32_t(SquareAt(fileLetter - 'a' + 1, rank));
        }
    }
    // 9. Half-move clock and move number are not read.
    return 1;
}

// A board the search can hold: one king a side, at most 16 men a side (the
// piece lists keep a terminating slot), no pawn on the first or last rank
// (it could never move), and no capture of the king for the side to move.
bool Holdable(const GameRecord& game) {
    const uint8_t* b = game.board;
    int kings[2] = {0, 0}, men[2] = {0, 0}, kingSquare[2] = {0, 0};
    for (int sq = 1; sq <= 64; sq++) {
        const int code = b[sq];
        if (!code) continue;
        men[ColourOf(code)]++;
        if (IsKing(code)) kings[ColourOf(code)]++, kingSquare[ColourOf(code)] = sq;
        if (IsPawn(code) && (RankOf(sq) == 1 || RankOf(sq) == 8)) return false;
    }
    if (kings[0] != 1 || kings[1] != 1 || men[0] > 16 || men[1] > 16) return false;
    const int side = int(game.startSide), target = kingSquare[side ^ 1];
    for (int sq = 1; sq <= 64; sq++)
        if (b[sq] && ColourOf(b[sq]) == side && !GivesNoCheckLine(b, b[sq], sq, target)) return false;
    return true;
}

}  // namespace

int ReadFen(const char* text, GameRecord& game) {
    // Parsed apart, so that a refusal leaves the game and its castling
    // squares as they were.
    uint8_t castleSquares[sizeof CastleSquares];
    std::memcpy(castleSquares, CastleSquares, sizeof castleSquares);
    GameRecord parsed;
    if (!ParseFen(text, parsed) || !Holdable(parsed)) {
        std::memcpy(CastleSquares, castleSquares, sizeof castleSquares);
        return 0;
    }
    std::memcpy(game.board, parsed.board, sizeof game.board);
    game.startSide = parsed.startSide;
    game.startFlags = parsed.startFlags;
    return 1;
}

void StartGame(GameRecord& game) {
    // An en-passant square is kept only with the pawn that could have made
    // the double step standing in front of it; anything else would let make
    // take a man that is not there.
    if (uint32_t ep = game.startFlags & EpMask) {
        int white = game.startSide == White;
        int pawnSquare = white ? int(ep) - 8 : int(ep) + 8;
        int originSquare = white ? int(ep) + 8 : int(ep) - 8;
        bool sound = ep >= 17 && ep <= 48 && game.board[pawnSquare] == (white ? BPawn : WPawn) &&
                     game.board[ep] == Empty && game.board[originSquare] == Empty;
        if (!sound) game.startFlags &= ~EpMask;
    }
    game.states.clear();
    game.keys.clear();
    MakeRoom(game);
    GameState first{uint8_t(game.startSide), 0, uint16_t(game.startFlags), 0};
    game.states.push_back(first);
    uint32_t key[2];
    ComputeKey(game.board, key);
    game.keys.push_back(key[1]);
    BuildCastleTables();
}

void PlayGameMove(GameRecord& game, Move move) {
    if (game.states.empty()) StartGame(game);
    const GameState last = game.states.back();
    int side = last.side;
    uint8_t* b = game.board;
    int from = MoveFrom(move), to = MoveTo(move), piece = MovePiece(move), promo = MovePromotion(move);

    // 1. The board.
    if (move & MoveNull) {
        // nothing moves
    } else if (move & MoveCastle) {
        const CastlePath& p = CastlePaths[CastleIndex(side, move)];
        int king = b[p.king], rook = b[p.rook];
        b[p.king] = 0;
        b[p.rook] = 0;
        b[p.kingTo] = uint8_t(king);
        b[p.rookTo] = uint8_t(rook);
    } else {
        b[from] = 0;
        b[to] = uint8_t(promo ? promo : piece);
        if (move & MoveEnPassant) b[side == White ? to - 8 : to + 8] = 0;
    }

    // 2. Castling rights and the en-passant square.
    uint32_t rights = last.flags & CastleMask;
    if (!(move & MoveNull)) rights &= RightsKeep[from] & RightsKeep[to];
    uint32_t flags = rights;
    if (move & MoveDouble) {
        int enemyPawn = side == White ? BPawn : WPawn;
        if ((FileOf(to) != 1 && b[to - 1] == enemyPawn) || (FileOf(to) != 8 && b[to + 1] == enemyPawn))
            flags |= uint32_t(side == White ? to - 8 : to + 8);
    }

    // 3. The new entry and its key.
    MakeRoom(game);
    GameState next{uint8_t(side ^ 1), 0, uint16_t(flags), move};
    game.states.push_back(next);
    uint32_t key[2];
    ComputeKey(b, key);
    game.keys.push_back(key[1]);
}

void CopyGameBoard(const GameRecord& game, Tree& tree) { std::memcpy(tree.board, game.board, sizeof tree.board); }

void SetUpTree(Tree& tree) {
    static const int kindOrder[8] = {WQueen, BQueen, WRook, BRook, WBishop, BBishop, WKnight, BKnight};
    static const int passOrder[5] = {2, 3, 5, 6, 7};  // pawn, knight, bishop, rook, queen

    // 1. Counts and kind lists cleared; pointers to the tables.
    tree.board[0] = 255;
    std::memset(tree.pieceCount, 0, sizeof tree.pieceCount);
    std::memset(tree.kinds, 0, sizeof tree.kinds);
    std::memset(tree.squareLink, 0, sizeof tree.squareLink);
    std::memset(tree.pieces, 0, sizeof tree.pieces);
    for (int code = 0; code < 16; code++) tree.kindList[code] = nullptr;
    for (int i = 0; i < 8; i++) tree.kindList[kindOrder[i]] = &tree.kinds[i];
    tree.pieceList[0] = tree.pieces[0];
    tree.pieceList[1] = tree.pieces[1];
    tree.attacks[0] = tree.attackTable[0];
    tree.attacks[1] = tree.attackTable[1];
    tree.capturedTop = tree.capturedStack;
    tree.keyTop = tree.keyHistory;
    tree.attackLogTop = tree.attackLog;
    tree.attackMarkTop = tree.attackMarks;
    tree.pendingMove = 0;  // the tables are rebuilt from the board below

    // 2. Kings to slot 0, then the other men kind by kind in ascending square
    // order. Men that do not fit (a second king, more than 16 others) are
    // taken off so that lists and board stay consistent.
    int used[2] = {1, 1};
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (!IsKing(code)) continue;
        int side = ColourOf(code);
        if (tree.pieces[side][0]) {
            tree.board[sq] = 0;
            continue;
        }
        tree.pieces[side][0] = uint8_t(sq);
        tree.squareLink[sq] = &tree.pieces[side][0];
        tree.pieceCount[code]++;
    }
    for (int sq = 1; sq <= 64; sq++) {
        int code = tree.board[sq];
        if (code == 0 || IsKing(code)) continue;
        if ((code & 7) == 0 || (code & 7) == 4 || code > 15) tree.board[sq] = 0;  // not a man
    }
    for (int pass = 0; pass < 5; pass++) {
        for (int sq = 1; sq <= 64; sq++) {
            int code = tree.board[sq];
            if (code == 0 || (code & 7) != passOrder[pass]) continue;
            int side = ColourOf(code);
            if (used[side] > 16) {
                tree.board[sq] = 0;
                continue;
            }
            uint8_t* slot = &tree.pieces[side][used[side]++];
            *slot = uint8_t(sq);
            tree.squareLink[sq] = slot;
            tree.pieceCount[code]++;
        }
    }

    // 3. Slot kinds and kind lists.
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < 17; i++) {
            int sq = tree.pieces[side][i];
            uint32_t code = i == 0 ? uint32_t(side ? BKing : WKing) : (sq ? tree.board[sq] : 0u);
            tree.slotKind[side * 17 + i] = code;
            if (i > 0 && sq && tree.kindList[code]) {
                KindList* k = tree.kindList[code];
                k->slots[k->count++] = &tree.pieces[side][i];
            }
        }
    }

    // 4. Attack tables from scratch.
    std::memset(tree.attackTable, 0, sizeof tree.attackTable);
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < 17; i++) {
            int sq = tree.pieces[side][i];
            if (i > 0 && sq == 0) break;
            if (sq == 0 || sq == CapturedSlot) continue;
            AddAttacksFast(tree.attackTable[side], sq, tree.board[sq], tree.board);
        }
    }
}

}  // namespace board
