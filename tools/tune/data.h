// The tuner's position file: one position a line, "FEN;RESULT" with the
// game's result from White's view (1, 0.5 or 0).
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "board/position.h"

namespace tune {

// FEN of the game record's current position (no move counters kept: 0 1).
std::string WriteFen(const board::GameRecord& game);

struct Sample {
    std::string fen;
    float result;  // White's view
};

// Parses one line of the file; false for a malformed line.
bool ParseLine(const char* line, Sample& out);

// Game end by the rules, judged on the game record: 0 none, else the reason's
// result from White's view is stored in `result` (1, 0.5, 0).
struct Referee {
    board::Tree* tree = nullptr;
    std::vector<uint32_t> keys;  // upper key halves since the last irreversible move
    int LegalMoves(board::Move* out, int capacity);
    bool InCheck();
    void Start();
    void Played(board::Move move);
    bool Repeated() const;   // the current position stood twice before
    bool DeadDraw() const;   // no pawn, rook or queen, and at most one minor
    int HalfMoves() const { return int(keys.size()) - 1; }
};

}  // namespace tune
