// Tablebase writer: turns the retrograde solver's tables into files the
// engine's tablebase reader registers and probes. Entries follow the engine's
// own index functions; values are the stored form the reader converts back
// to distances. Offline use only.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "endgame/solver.h"

namespace tbgen {

// Stored value for an entry no legal position reaches.
constexpr int BrokenRaw = 32767;

// Stored value of a solver score (side to move's view): a win in m moves
// is 32767 - m, a loss with the mate m moves away is m - 32766 (so being
// mated now reads as distance -1, score -30000), a draw 0.
int RawFromScore(int score);
// The 8-bit form of a stored value, or false when it has none.
bool ByteFromRaw(int raw, int8_t& byte);

// Table number of a material given as "kqkr", "KQKR" or with the colours the
// other way round ("krkq"); 0 when there is no such table.
int TableNumber(const std::string& material);
// Table numbers of every table with this many men.
std::vector<int> TablesWithMen(int men);

struct WriteOptions {
    std::string dir = ".";
    bool compress = false;
    // Called now and then with the table, the step and its fraction done.
    std::function<void(const char* table, const char* step, double fraction)> progress;
};

struct WriteStats {
    int files = 0;
    uint64_t bytes = 0;           // written to disk
    uint64_t entries = 0;         // entries of the written sides
    uint64_t positions = 0;       // entries set from a legal position
};

// The entry image of one table side (8 or 16 bits per entry as the table's
// flag says), filled from the solver. False with `error` set when the
// material is beyond the solver, or when two positions that must agree
// land on one entry with different values (a numbering fault).
bool BuildImage(endgame::Solver& solver, int iTb, int side, std::vector<uint8_t>& image, uint64_t& positions,
                std::string& error, const WriteOptions& options = WriteOptions());

// Builds and writes every side (and every part) of a table into
// options.dir. Files are written under a temporary name and renamed, so a
// failed run leaves no half-written table behind.
bool WriteTable(endgame::Solver& solver, int iTb, const WriteOptions& options, WriteStats& stats, std::string& error);

}  // namespace tbgen
