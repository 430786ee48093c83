// Levelled decision diagrams over the bits of a 32-bit diagram key: one level
// per key bit, the highest level first in the walk, verdicts below level 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bitbases {

// Bounded little-endian reading from a file held in memory. Every read
// reports whether the bytes were there.
struct ByteReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
    bool Read8(uint8_t& v);
    bool Read32(uint32_t& v);
    bool Skip(size_t n);
    size_t Left() const { return size - pos; }
};

struct DiagramLevel {
    uint32_t width = 0;       // bits per entry, 0 to 32
    uint32_t entryCount = 0;
    // ceil(width * entryCount / 32) packed words and two zero words of
    // padding, so an entry is always read from two words without a test.
    std::vector<uint32_t> entries;
    uint32_t Entry(uint32_t i) const {
        uint32_t p = i * width;
        uint64_t pair = uint64_t(entries[p >> 5]) | (uint64_t(entries[(p >> 5) + 1]) << 32);
        return uint32_t(pair >> (p & 31)) & uint32_t((uint64_t(1) << width) - 1);
    }
};

struct DecisionDiagram {
    int32_t levelCount = 0;
    std::vector<DiagramLevel> levels;     // level 0 first
    std::vector<uint32_t> twoWayCounts;   // per level: nodes below it are two-way

    // Replaces the content with the diagram at the reader's position (from
    // its spare byte on). False if the bytes are short or describe a diagram
    // whose walk could leave its entries or yield no verdict; the diagram is
    // then left empty.
    bool Read(ByteReader& in);
    uint32_t Walk(uint32_t key) const;
    // Accounting size: 12 + per level (12 + 4 * packed words).
    uint64_t Size() const;
    void Clear();
};

}  // namespace bitbases
