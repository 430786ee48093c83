// Our written tables against the solver they were written from: every legal
// position of a material, probed through the engine's registry and cache,
// must answer what the solver says.
#pragma once
#include <string>

#include "endgame/solver.h"

namespace tbtest {

// The probe's score for a solver score: a win in m moves 30000 - 2m, being
// mated in m moves -30000 + 2m, a draw 0.
int ExpectedScore(int solverScore);

struct CheckCounts {
    long positions = 0;      // legal positions probed (en passant included)
    long enPassant = 0;
    long mismatches = 0;
};

// Probes every legal position of table `iTb` (both sides to move; with
// `oneOfMirrors` one image of each, see ForEachLegal), and the
// colour-swapped twin of every `reversedEvery`-th of them (0: none);
// reports the first mismatches through GoogleTest. The tables must be
// registered already.
CheckCounts CheckTable(const endgame::Solver& solver, int iTb, int reversedEvery, bool oneOfMirrors = false);

// Every entry of every registered side of tables `first`..`last` as the
// engine reads it must equal the plain file in `plainDir`; the number of
// entries compared.
long CompareEntries(int first, int last, const std::string& plainDir);

// Writes the tables `first`..`last` (table numbers) plain or compressed.
bool WriteTables(endgame::Solver& solver, int first, int last, const std::string& dir, bool compress);

}  // namespace tbtest
