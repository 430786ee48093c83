// The UCI command interpreter.
#pragma once
#include <cstdint>

#include "board/types.h"

namespace engine {

// Runs one command line (modified in place). 1 if the first word was a
// command, 0 for an empty line or an unknown word.
int Interpret(char* line);

// Parses the words after "go" into the limits record and the search-moves
// list. Returns 1 when the search is a ponder search.
int ParseGo(char** words, int count);

// Node budget of the strength limit: n and the poll interval for an Elo and a
// random word.
struct StrengthBudget {
    int32_t nodes;
    int32_t interval;
};
StrengthBudget StrengthNodeBudget(int elo, uint32_t random);

// Writes " e2e4" (leading blank) or " 0000" for no move.
void MoveTextWithBlank(char* buffer, board::Move move);

}  // namespace engine
