// The game record built by `position`, the search board (`Tree`) with its piece
// lists and exact attack tables, and the per-ply `NodeRecord`.
#pragma once
#include <cstdint>
#include <vector>

#include "board/types.h"

namespace board {

// Castling squares: 0 white king, 1 white queen-side rook, 2 white king-side rook,
// 3..5 the same for black, 6..11 white home squares of knight, bishop, queen, king,
// bishop, knight, 12..17 black home squares in the same order.
extern uint8_t CastleSquares[18];

// One entry per position of the game.
struct GameState {
    uint8_t side;
    uint8_t spare;
    uint16_t flags;  // en passant and castling bits
    Move move;       // the move that led here, 0 for the first
};

struct GameRecord {
    uint8_t board[65];  // [0] = 255
    uint32_t startSide;
    uint32_t startFlags;
    std::vector<GameState> states;  // grown in blocks, never during a search
    std::vector<uint32_t> keys;     // upper key half of every game position
};
extern GameRecord Game;

// Attackers of one square by one side. No legal position has more than 16
// attackers of one colour on a square.
constexpr int MaxAttackers = 16;
struct AttackEntry {
    uint32_t number;
    uint32_t sliders;
    uint8_t squares[MaxAttackers];
};

struct MoveEntry {
    Move move;
    int32_t score;
};
constexpr int32_t ListEnd = 0x7fffffff;

// Kind list: count and addresses of the piece-list slots holding that kind,
// zero-terminated. A captured man's slot stays listed (it reads 99); a
// promotion appends the pawn's slot. Room for every man of a side.
struct KindList {
    uint32_t count;  // entries in slots
    uint8_t* slots[17];
};

struct NodeRecord {
    uint8_t side;
    uint8_t searchFlag;
    uint8_t quiescenceFlag;
    uint8_t ply;
    uint8_t checks[2];
    uint8_t men;
    uint8_t generated;  // bit 0 captures, bit 1 quiets
    uint8_t phase[2];
    uint8_t stage;
    uint8_t capturedKinds;
    uint8_t moveCount;
    uint8_t legalCount;
    uint8_t reduced;
    uint8_t spare;
    int32_t positionalValue;
    uint32_t flags;
    uint32_t key[2];      // [0] lower half (table A), [1] upper half (table B)
    uint32_t pawnKey[2];
    uint32_t* resetPoint;  // key-history entry after the last irreversible move
    MoveEntry* quietList;
    MoveEntry* captureList;
    MoveEntry* quietEnd;
    MoveEntry* captureEnd;
    Move currentMove;
    Move bestMove;
    Move hashMove;
    Move secondMove;
    Move savedMove;
    Move threatMove;
    int32_t bestValue;
    int32_t material[2];
    uint32_t signature[2];
    int32_t squareScore;
};

// Move list stacks: every ply's lists start where its parent's ended.
constexpr int MoveStackSize = MaxPly * 256;

struct Tree {
    uint8_t board[65];
    uint8_t index;
    uint8_t spare;
    uint8_t* squareLink[65];        // occupied square -> its piece-list slot
    uint8_t* pieceList[2];          // heads of the white and black lists
    KindList* kindList[16];         // by piece code; null for empty, kings, pawns
    uint8_t pieceCount[16];         // men of each code on the board
    AttackEntry attackTable[2][65];
    AttackEntry* attacks[2];
    uint8_t** capturedTop;          // top of the captured-slot stack
    uint32_t* keyTop;               // newest key-history entry
    // Per-board tables, allocated once by the hash code; their contents
    // belong to the evaluation.
    uint8_t* pawnCache;             // 16384 entries of 200 bytes
    uint64_t* auxTable;             // 65536 entries of 8 bytes
    uint64_t* materialTable;        // 4096 entries of 8 bytes
    uint64_t nodes;
    uint32_t history[2][8256];      // [side][to * 128 + from]
    struct Killer { Move move[2]; uint32_t count[2]; } killers[MaxPly];
    uint32_t keyHistory[202];
    uint8_t* capturedStack[40];
    uint8_t pieces[2][17];          // slot 0 king, then pawns, knights, bishops, rooks, queens
    uint32_t slotKind[34];
    KindList kinds[8];              // WQ BQ WR BR WB BB WN BN
    NodeRecord nodeArray[MaxPly];
    MoveEntry quietStack[MoveStackSize];
    MoveEntry captureStack[MoveStackSize];
    // Change log of the attack tables: make records the changes that unmake
    // cannot recompute, unmake replays them backwards. Only make and unmake
    // may change the tables while a search runs.
    uint32_t* attackLogTop;
    uint32_t** attackMarkTop;
    // The newest made move when its attack changes are still to be applied
    // (0: the tables are current). Most made moves are taken back before
    // anything reads the tables, so make leaves them to the first reader.
    Move pendingMove;
    uint32_t* attackMarks[4 * MaxPly + 4];  // up to three per ply, four for en passant
    uint32_t attackLog[MaxPly * 320];
};
extern Tree* MainTree;  // the one search board

// Game level.
void SetStartPosition(GameRecord& game);
// 1 success; 0 leaves the record as it was: bad text, or a board the search
// cannot hold (not one king a side, over 16 men a side, a pawn on the first
// or last rank, the side not to move in check).
int ReadFen(const char* text, GameRecord& game);
void StartGame(GameRecord& game);
void PlayGameMove(GameRecord& game, Move move);
void CopyGameBoard(const GameRecord& game, Tree& tree);
void SetUpTree(Tree& tree);

// Applies the pending move's attack changes. Every reader of the attack
// tables calls SyncAttacks first.
void CatchUpAttacks(Tree& tree);
inline void SyncAttacks(const Tree& tree) {
    // The tables are a cache of the board: bringing them up to date does not
    // change the position, so const readers may do it too.
    if (tree.pendingMove) CatchUpAttacks(const_cast<Tree&>(tree));
}

}  // namespace board
