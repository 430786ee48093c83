// The evaluation weights the tuner may change: the free terms of the weight
// table. Weights whose values the engine's rules fix are not listed.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace tune {

struct Param {
    Param(std::string n, int* v) : name(std::move(n)), value(v) {}
    std::string name;  // as in the weight table, arrays with their index: "knightMobility[3]"
    int* value;        // into eval::W
    // Piece-square entries: the piece code (white) and square they score, and
    // the left-right twin that moves with them (none for the king's tables).
    // Their effect shows only once the root's tables are rebuilt.
    int kind = 0, square = 0;
    int* twin = nullptr;
    std::string twinName;
    int twinSquare = 0;
};

std::vector<Param> FreeParams();

}  // namespace tune
