// The bitbase code's own small position classes: a 64-square board with the
// bitbase piece codes and the move generator the look-ahead needs. Squares
// run 0..63, a1 = 0, h8 = 63.
#pragma once
#include <cstdint>

#include "bitbases/format.h"

namespace bitbases {

// Moves carry the from-square in the high 16 bits and the to-field in the
// low 16: the to-square in bits 0-5, the promoted man's white code in 6-9.
inline uint32_t PackMove(int from, int to, int promotion = 0) {
    return (uint32_t(from) << 16) | uint32_t(to) | (uint32_t(promotion) << 6);
}

struct BitbaseMoveList {
    int32_t count = 0;
    uint16_t from[200];
    uint16_t to[200];
    uint32_t Move(int i) const { return (uint32_t(from[i]) << 16) | to[i]; }
};

class CGamePosition {
public:
    int32_t sideToMove = 1;  // 1 white, 0 black
    uint32_t moveStack[256];
    int32_t ply = 0;

    virtual void Reset();
    virtual uint64_t Key() const = 0;
    virtual void PlayMove(uint32_t move);
    virtual void TakeBackMove();
    virtual ~CGamePosition() = default;
};

class CChessPosition : public CGamePosition {
public:
    uint8_t board[64];
    int32_t epSquare = 0;          // 0: none (a1 is never one)
    uint8_t pieceCount[CodeCount];  // [code]; entry 0 counts empty squares
    int32_t whiteKing = -1, blackKing = -1;
    int32_t menCount = 0;
    uint8_t countsValid = 1;        // the counts are kept current by every change

    CChessPosition() { Clear(true); }
    void Reset() override;
    uint64_t Key() const override { return 0; }
    void PlayMove(uint32_t move) override;
    void TakeBackMove() override;

    void Clear(bool whiteToMove);
    void Put(int code, int square);
    // legalOnly 1: legal moves; 0: every move without the check test (king
    // captures included).
    void Generate(BitbaseMoveList& list, int legalOnly) const;
    bool Attacked(int square, bool byWhite) const;
    bool InCheck() const;

private:
    struct Undo {
        uint8_t moved, captured, capturedSquare, promoted;
        int32_t epSquare;
    };
    Undo undo[256];
    void Remove(int square);
};

}  // namespace bitbases
