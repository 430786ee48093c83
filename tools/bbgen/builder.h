// The bitbase builder: from the endgame solver's values to ".tbe" files and
// the "bases.ini" that lists them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bitbases/format.h"
#include "endgame/solver.h"

namespace bbgen {

// A material as the bitbase reader normalises it: white has more men, or
// as many and at least the weight.
struct BitbaseMaterial {
    std::string name;  // "kqkr": both kings, men by code order
    int count = 0;     // men besides the kings
    int codes[4] = {};  // bitbase codes of those men, ascending
    bool pawns = false;
    int Men() const { return count + 2; }
    int SubTables() const { return bitbases::SubTableCount(Men(), pawns); }
    endgame::Material Solver() const;
};

// Reads "KRPKR", "krpkr" or "kpkrr" (either colour order); false with a
// reason for anything else, or for fewer than 3 or more than 5 men.
bool ParseBitbaseMaterial(const std::string& text, BitbaseMaterial& out, std::string& error);
// Every material of exactly `men` men, in a fixed order.
std::vector<BitbaseMaterial> AllMaterials(int men);

// Verdict per key of one sub-table and side (bitbases::Win / Draw / Loss,
// or DontCare for a key no legal position reaches); 2^KeyBits entries.
int KeyBits(const BitbaseMaterial& m);
bool SubTableValues(const BitbaseMaterial& m, const endgame::Solver& solver, bool whiteToMove, bool foldWhiteKing,
                    int sub, std::vector<uint8_t>& values, std::string& error);

struct BuildOptions {
    int threads = 1;
    std::string out = ".";
    // Put before every file name in "bases.ini": the reader takes a name
    // without a backslash as it stands, so a set meant for any working
    // directory names its files by full path.
    std::string indexPrefix;
    std::string solverDir;  // where the solver keeps its tables; empty: memory only
    // A side of 4 or more men whose movers are a king and pawns is left out
    // from this many bytes on, where the rest of the set answers it through
    // the reader's look-ahead; 0 keeps every side.
    uint64_t omitSideBytes = 64 * 1024;
    // Called with a short text of the step in hand (for a progress line).
    std::function<void(const std::string&)> progress;
};

struct MaterialResult {
    std::string name;
    uint64_t fileBytes = 0;
    uint64_t memoryBytes = 0;  // the loader's accounting figure for the table
};

// Builds one ".tbe" per material in options.out and a "bases.ini" naming
// them all. The bytes depend only on the materials, never on the threads.
// Checking an omitted side loads the new files into the process's bitbase
// set, which is left empty afterwards.
bool BuildSet(const std::vector<BitbaseMaterial>& materials, const BuildOptions& options,
              std::vector<MaterialResult>& results, std::string& error);

}  // namespace bbgen
