// Shared by the endgame solver tests.
#pragma once

#include <string>

#include "endgame/solver.h"

namespace endgametest {

// Solves (in memory) and returns the table, failing the test on error.
const endgame::Table* Solve(endgame::Solver& solver, const std::string& material);

// Entries of both sides to move whose value differs from what one ply of
// moves into the finished tables gives; the first one's FEN goes to `first`.
uint64_t OnePlyMismatches(const endgame::Solver& solver, const endgame::Table& t, std::string& first);

// Score text the way the probe prints it.
std::string Describe(int score);

// Runs the tool with arguments and standard input; returns the exit status
// and fills the output (stdout and stderr together).
int RunTool(const std::string& args, const std::string& input, std::string& output);

}  // namespace endgametest
