// The tuner's position file: one position a line, "FEN;RESULT" with the
// game's result from White's view (1, 0.5 or 0), or "FEN;RESULT;EXPECTED"
// once a reference engine has labelled it (its expected score for White,
// 0 to 1).
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
    float expected = -1;  // the reference engine's, White's view; -1: none
};

// Parses one line of the file; false for a malformed line.
bool ParseLine(const char* line, Sample& out);

// A reference engine's "info" line read as the expected score of the side
// to move (0 to 1): from its win/draw/loss figures, else from a mate score.
// `bound` tells a lower or upper bound. False when the line has neither.
bool InfoVerdict(const std::string& line, double& expected, bool& bound);

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
