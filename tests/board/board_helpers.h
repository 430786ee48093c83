// Shared helpers of the board tests: a heap-allocated tree set up from a FEN
// and a comparison of the incremental state against a rebuild.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"

namespace boardtest {

struct Fixture {
    std::unique_ptr<board::Tree> tree{new board::Tree()};
    board::NodeRecord* root = nullptr;
};

// Reads the FEN (empty: the start position) into the game record and sets
// up the tree and its root. Returns the reader's result.
int Load(Fixture& f, const std::string& fen, bool chess960 = false);

// Compares the tree's incremental state (board, lists, counts, attack tables)
// and the node's keys, material, phase and signatures with a rebuild from the
// board. Returns an empty string when they agree, else the first difference.
std::string CompareWithRebuild(const board::Tree& tree, const board::NodeRecord* node);

}  // namespace boardtest
