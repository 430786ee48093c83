// The set of solved tables: solving in dependency order, saving and
// reloading, and probing positions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "table.h"

namespace endgame {

struct Progress {
    std::string table;
    std::string step;
    double fraction;      // of this step
    double rate;          // positions per second in this step
    double secondsLeft;   // in this step
};

struct SolveOptions {
    int threads = 1;
    std::string dir;  // empty: keep tables in memory only
    std::function<void(const Progress&)> progress;
};

// Runs the retrograde analysis on a table whose links are set.
bool SolveTable(Table& t, const SolveOptions& options, std::string& error);

class Solver {
public:
    explicit Solver(const SolveOptions& options) : options(options) {}

    // The table of the material (either colour assignment), solving or
    // loading it and everything it leads into first. Null with `error` set
    // on failure (a corrupt file, an unwritable directory).
    const Table* Get(const Material& m, std::string& error);
    const Table* Find(const Material& m) const;

    // Score of a legal position (side to move's view) from the tables;
    // en-passant rights are answered by one ply of look-ahead. False when
    // the position is illegal or its material is not loaded.
    bool Probe(const Position& p, int& score) const;
    // The score one ply of legal moves into the tables gives.
    bool OnePly(const Position& p, int& score) const;

private:
    SolveOptions options;
    std::map<uint64_t, std::unique_ptr<Table>> tables;
};

}  // namespace endgame
