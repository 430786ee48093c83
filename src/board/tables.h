// Geometry, castling and attack-entry helpers shared by the board code only.
#pragma once
#include <cstdint>

#include "board/position.h"

namespace board {

// Step lists by kind, zero-terminated.
enum StepKind { KingSteps = 0, KnightSteps = 1, WhitePawnSteps = 2, BlackPawnSteps = 3 };
// Ray tables by slider kind.
enum RayKind { QueenRays = 0, RookRays = 1, BishopRays = 2 };

// One square of a slider's reach from an origin. The rays of an origin are
// stored one after another; `skip` is the index of the next ray's first
// square (the terminating entry when there is none).
struct RayStep {
    uint8_t square;
    uint8_t skip;
};
constexpr int MaxRaySquares = 28;  // 27 queen squares + terminator

extern uint8_t StepList[4][65][9];
extern RayStep RayList[3][65][MaxRaySquares];
extern int8_t Direction[65][65];       // step from the first square to the second, 0 if no line
extern uint8_t Ahead[2][65];           // one step forward, 0 on the last rank
extern uint8_t RayFrom[65][8][8];      // squares after a square in each of 8 directions, zero-terminated
extern uint8_t LineIndex[65][65];      // direction index from the first square to the second (8: none)
// Squares past `square` on the line from `attacker`, away from it.
inline const uint8_t* Beyond(int square, int attacker) { return RayFrom[square][LineIndex[attacker][square] & 7]; }
extern uint32_t VectorTable[239];      // by 0x88 difference + 119
extern uint8_t FileSquares[9][8];

// Piece code -> step kind (-1 for sliders and empty) and ray kind (-1 for steppers).
extern const int8_t StepKindOf[16];
extern const int8_t RayKindOf[16];
// Piece code -> vector-table mask.
extern const uint32_t VectorMask[16];

inline int Number0x88(int sq) { return (RankOf(sq) - 1) * 16 + (FileOf(sq) - 1); }
inline uint32_t VectorBits(int from, int to) { return VectorTable[Number0x88(to) - Number0x88(from) + 119]; }

// Castling path by index 2 x side + (queen side ? 1 : 0).
struct CastlePath {
    uint8_t king, rook;           // source squares
    uint8_t kingTo, rookTo;       // destinations
    uint8_t empty[10];            // zero-terminated
    uint8_t safe[10];             // zero-terminated
    uint32_t right;               // flags bit of this right
    Move kingMove, rookMove;
    Move castleWord;              // the generated castling move
};
extern CastlePath CastlePaths[4];
// Flags bits kept by a move from or to a square (castling rights it keeps).
extern uint32_t RightsKeep[65];
inline int CastleIndex(int side, Move m) { return 2 * side + (MoveTo(m) < MoveFrom(m) ? 1 : 0); }

// Attack-entry primitives.
inline void AddAttacker(AttackEntry& e, int from, uint32_t slider) {
    e.squares[e.number++] = uint8_t(from);
    e.sliders += slider;
}
inline void RemoveAttacker(AttackEntry& e, int from, uint32_t slider) {
    uint32_t last = --e.number;
    uint8_t* s = e.squares;
    uint32_t i = 0;
    while (s[i] != from) i++;
    s[i] = s[last];
    e.sliders -= slider;
}

inline void AddAttacksFast(AttackEntry* table, int square, int code, const uint8_t* boardSquares) {
    int kind = RayKindOf[code];
    if (kind < 0) {
        for (const uint8_t* s = StepList[StepKindOf[code]][square]; *s; s++) AddAttacker(table[*s], square, 0);
        return;
    }
    const RayStep* ray = RayList[kind][square];
    int i = 0;
    while (int s = ray[i].square) {
        AddAttacker(table[s], square, 1);
        i = boardSquares[s] ? ray[i].skip : i + 1;
    }
}
inline void RemoveAttacksFast(AttackEntry* table, int square, int code, const uint8_t* boardSquares) {
    int kind = RayKindOf[code];
    if (kind < 0) {
        for (const uint8_t* s = StepList[StepKindOf[code]][square]; *s; s++) RemoveAttacker(table[*s], square, 0);
        return;
    }
    const RayStep* ray = RayList[kind][square];
    int i = 0;
    while (int s = ray[i].square) {
        RemoveAttacker(table[s], square, 1);
        i = boardSquares[s] ? ray[i].skip : i + 1;
    }
}

// Own x-ray supporter behind `from` on the line towards `to`.
int HasXraySupporter(const Tree& tree, int side, int from, int to);

}  // namespace board
