// Levelled decision diagrams as the bitbase reader walks them, built from a
// table of verdicts in which keys that no position reaches are free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bbgen {

// A key that no legal position reaches: any verdict will do.
constexpr uint8_t DontCare = 3;

struct BuiltLevel {
    uint32_t width = 0;
    uint32_t entryCount = 0;
    uint32_t twoWay = 0;
    std::vector<uint32_t> words;  // packed entries, ceil(width * entryCount / 32)
};

struct BuiltDiagram {
    std::vector<BuiltLevel> levels;  // level 0 first
    // Bytes the diagram takes in a file: spare byte, level count, the levels
    // and their two-way counts.
    uint64_t FileBytes() const;
};

// Builds the diagram of `values` (2^bits verdicts or DontCare, by key) when
// key bit j is diagram bit map[j]; map is a permutation of 0 .. bits-1.
// Every level numbers the nodes of the level below so that as many nodes as
// it can become one-entry nodes.
BuiltDiagram BuildDiagram(const std::vector<uint8_t>& values, int bits, const uint8_t* map);

// BuildDiagram after filling free keys: blocks of 2^blockBits keys (in
// diagram-key order, blockBits at most 6) that agree wherever both are bound
// are made equal; at most maxClasses distinct blocks are compared against.
BuiltDiagram MergeFreeBlocks(const std::vector<uint8_t>& values, int bits, const uint8_t* map, int blockBits,
                             size_t maxClasses);

// Field layout of a key, lowest bits first: widths of its fields (a king or
// man square is 6 bits, the fold index 2 to 5). Tries orders of the fields
// and of the bits inside the squares and returns the smallest diagram, with
// its bit map in `map` (32 entries; bits beyond the key map to 0).
BuiltDiagram SmallestDiagram(const std::vector<uint8_t>& values, const std::vector<int>& fieldBits, uint8_t* map);

}  // namespace bbgen
