// Reading, checking and walking decision diagrams.
#include "bitbases/diagram.h"

#include <algorithm>

#include "bitbases/format.h"

namespace bitbases {

bool ByteReader::Read8(uint8_t& v) {
    if (Left() < 1) return false;
    v = data[pos++];
    return true;
}

bool ByteReader::Read32(uint32_t& v) {
    if (Left() < 4) return false;
    const uint8_t* p = data + pos;
    v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    pos += 4;
    return true;
}

bool ByteReader::Skip(size_t n) {
    if (Left() < n) return false;
    pos += n;
    return true;
}

void DecisionDiagram::Clear() {
    levelCount = 0;
    levels.clear();
    twoWayCounts.clear();
}

namespace {

uint64_t PackedWords(uint32_t width, uint32_t count) {
    return (uint64_t(width) * count + 31) / 32;
}

// Follows every node that a walk can reach, level by level from the top, and
// checks that its entries exist and that level 0 leads only to verdicts.
// Node numbers of a level are assumed to be reachable up to the largest
// successor named by the level above: a well-formed diagram has no holes.
bool WalkStaysInside(const DecisionDiagram& d) {
    uint64_t nodes = 1;  // nodes 0 .. nodes-1 of the current level
    for (int level = d.levelCount - 1; level >= 0; level--) {
        const DiagramLevel& l = d.levels[level];
        uint64_t t = d.twoWayCounts[level];
        uint64_t twoWay = std::min(nodes, t);
        if (2 * twoWay > l.entryCount) return false;
        if (nodes > t && nodes + t > l.entryCount) return false;
        uint64_t largest = 0;  // largest successor plus one
        if (l.width == 0) {
            // Every entry reads 0; no need to look at (possibly billions of) them.
            largest = nodes > t ? 2 : 1;
        } else {
            for (uint64_t i = 0; i < 2 * twoWay; i++)
                largest = std::max<uint64_t>(largest, uint64_t(l.Entry(uint32_t(i))) + 1);
            for (uint64_t u = t; u < nodes; u++)
                largest = std::max<uint64_t>(largest, uint64_t(l.Entry(uint32_t(u + t))) + 2);
        }
        nodes = largest;
    }
    // Below level 0 the node numbers are the verdicts themselves.
    return nodes <= Loss + 1;
}

}  // namespace

bool DecisionDiagram::Read(ByteReader& in) {
    Clear();
    uint32_t n;
    if (!in.Skip(DiagramSpareBytes) || !in.Read32(n) || n > uint32_t(MaxLevels)) return false;
    levels.resize(n);
    for (uint32_t i = 0; i < n; i++) {
        DiagramLevel& l = levels[i];
        if (!in.Read32(l.width) || !in.Read32(l.entryCount) || l.width > uint32_t(MaxWidth)) break;
        uint64_t words = PackedWords(l.width, l.entryCount);
        // Positions of entries are 32-bit bit offsets; the words must be in
        // the file, which also bounds the allocation.
        if (uint64_t(l.width) * l.entryCount > 0xffffffffu || words > in.Left() / 4) break;
        l.entries.assign(size_t(words) + 2, 0);
        for (uint64_t w = 0; w < words; w++) in.Read32(l.entries[size_t(w)]);
        levelCount = int32_t(i + 1);
    }
    if (uint32_t(levelCount) != n) {
        Clear();
        return false;
    }
    twoWayCounts.resize(n);
    for (uint32_t i = 0; i < n; i++)
        if (!in.Read32(twoWayCounts[i])) {
            Clear();
            return false;
        }
    if (!WalkStaysInside(*this)) {
        Clear();
        return false;
    }
    return true;
}

uint32_t DecisionDiagram::Walk(uint32_t key) const {
    uint32_t u = 0;
    for (int level = levelCount - 1; level >= 0; level--) {
        uint32_t b = (key >> level) & 1;
        uint32_t t = twoWayCounts[level];
        const DiagramLevel& l = levels[level];
        u = u < t ? l.Entry(2 * u + b) : l.Entry(u + t) + b;
    }
    return u;
}

uint64_t DecisionDiagram::Size() const {
    uint64_t size = 12;
    for (const DiagramLevel& l : levels) size += 12 + 4 * PackedWords(l.width, l.entryCount);
    return size;
}

}  // namespace bitbases
