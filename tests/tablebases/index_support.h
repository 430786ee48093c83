// Positions of one tablebase material for the index tests: legality, the
// square arrays the index functions take, and a code that is the same for
// a position and its mirror images and different otherwise.
#pragma once
#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace tbtest {

struct Material {
    int type[2][3] = {};   // men besides the king, per colour, descending
    int count[2] = {};
    bool pawns = false;
    int men() const { return 2 + count[0] + count[1]; }
};

Material ParseMaterial(const std::string& name);

// king[c] and man[c][i] in the order of the material; ep = 127 for none.
struct Pos {
    int king[2] = {};
    int man[2][3] = {};
    int ep = 127;
};

// Legal with `stm` to move: distinct squares, pawns on ranks 2-7, the side
// not to move not in check, and a usable en-passant square if one is set.
bool Legal(const Material& m, const Pos& p, int stm);

// En-passant squares that the side to move could capture on.
int EnPassantOptions(const Material& m, const Pos& p, int stm, int* out);

void ToArrays(const Material& m, const Pos& p, int* psqW, int* psqB);

// Same value for mirror images (left-right; with no pawns, all 8 symmetries).
uint64_t SymmetryClass(const Material& m, const Pos& p);

// Every legal position (en passant included) with `stm` to move; with
// `oneOfMirrors`, only those with the white king on files a-d (with pawns)
// or in the a1-d1-d4 triangle (without), which still holds an image of
// every position.
void ForEachLegal(const Material& m, int stm, const std::function<void(const Pos&)>& visit,
                  bool oneOfMirrors = false);

// A random legal position, or false after too many tries.
bool RandomLegal(const Material& m, int stm, std::mt19937_64& rng, bool wantEp, Pos& p);

// Range and distinct entries for one table, both sides, over random legal
// positions (with and without en passant) and every legal position one
// man's move away from each; reports through GoogleTest.
void SampleTable(int tb, int bases, uint64_t seed);

}  // namespace tbtest
