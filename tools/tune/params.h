// The evaluation weights the tuner may change: the free terms of the weight
// table. Weights whose values the engine's rules fix are not listed.
#pragma once
#include <string>
#include <vector>

namespace tune {

struct Param {
    std::string name;  // as in the weight table, arrays with their index: "knightMobility[3]"
    int* value;        // into eval::W
};

std::vector<Param> FreeParams();

}  // namespace tune
