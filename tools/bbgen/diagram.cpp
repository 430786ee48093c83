// Bottom-up construction of levelled decision diagrams.
//
// Level L holds one node per distinct sub-function of the blocks of 2^(L+1)
// keys (in diagram-bit order); its two successors are nodes of level L - 1,
// or verdicts below level 0. A block whose keys are all free stays free and
// takes whatever its sibling needs. A node with one free half takes an
// existing node that agrees on the other half, or else becomes a node whose
// free successor is the neighbour of the known one in the numbering below,
// so that it is always stored as a one-entry node.
#include "bbgen/diagram.h"

#include <algorithm>
#include <numeric>

namespace bbgen {

namespace {

constexpr uint32_t None = 0xffffffffu;
constexpr uint32_t Free = 0xfffffffeu;      // a block of free keys only
constexpr uint32_t Pending = 0x80000000u;   // one free half, resolved in a second pass
constexpr uint32_t SecondKnown = 0x40000000u;
constexpr uint32_t ChildMask = 0x3fffffffu;

enum Kind : uint8_t { Both, FirstOnly, SecondOnly };

struct Node {
    uint32_t a, b;  // successors; one of them unused for FirstOnly / SecondOnly
    Kind kind;
};

// Pairs of successors to node numbers, open addressing.
class PairMap {
public:
    void Reset(size_t expected) {
        size_t capacity = 64;
        while (capacity < 2 * expected) capacity <<= 1;
        keys.assign(capacity, EmptyKey);
        values.resize(capacity);
        mask = capacity - 1;
    }
    // The value stored for `key`, or `fresh` after storing it.
    uint32_t FindOrAdd(uint64_t key, uint32_t fresh, bool& added) {
        size_t i = size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
        while (keys[i] != EmptyKey) {
            if (keys[i] == key) {
                added = false;
                return values[i];
            }
            i = (i + 1) & mask;
        }
        keys[i] = key;
        values[i] = fresh;
        added = true;
        return fresh;
    }

private:
    static constexpr uint64_t EmptyKey = ~uint64_t(0);
    std::vector<uint64_t> keys;
    std::vector<uint32_t> values;
    size_t mask = 0;
};

// Numbers the `count` nodes of a level: two-way nodes first (the reader
// tells them apart by number), and within each group chains of nodes that a
// parent wants as consecutive successors v, v + 1.
std::vector<uint32_t> Number(uint32_t count, const std::vector<uint8_t>& oneEntry, const std::vector<Node>& parents) {
    std::vector<uint32_t> succ(count, None), pred(count, None), root(count);
    std::iota(root.begin(), root.end(), 0u);
    auto find = [&](uint32_t x) {
        while (root[x] != x) x = root[x] = root[root[x]];
        return x;
    };
    for (const Node& n : parents) {
        if (n.kind != Both || n.a == n.b || oneEntry[n.a] != oneEntry[n.b]) continue;
        if (succ[n.a] != None || pred[n.b] != None) continue;
        uint32_t ra = find(n.a), rb = find(n.b);
        if (ra == rb) continue;  // would close a cycle
        succ[n.a] = n.b;
        pred[n.b] = n.a;
        root[ra] = rb;
    }
    std::vector<uint32_t> number(count);
    uint32_t next = 0;
    for (uint8_t group = 0; group < 2; group++)
        for (uint32_t id = 0; id < count; id++)
            if (oneEntry[id] == group && pred[id] == None)
                for (uint32_t x = id; x != None; x = succ[x]) number[x] = next++;
    return number;
}

uint32_t WidthOf(uint32_t largest) {
    uint32_t w = 0;
    while (w < 32 && (largest >> w) != 0) w++;
    return w;
}

}  // namespace

uint64_t BuiltDiagram::FileBytes() const {
    uint64_t bytes = 1 + 4 + 4 * uint64_t(levels.size());
    for (const BuiltLevel& l : levels) bytes += 8 + 4 * uint64_t(l.words.size());
    return bytes;
}

BuiltDiagram BuildDiagram(const std::vector<uint8_t>& values, int bits, const uint8_t* map) {
    const size_t size = size_t(1) << bits;
    // Key to diagram key, a byte of the key at a time.
    uint32_t part[4][256] = {};
    for (int c = 0; c < 4; c++)
        for (int v = 0; v < 256; v++)
            for (int i = 0; i < 8; i++)
                if ((v >> i) & 1 && c * 8 + i < bits) part[c][v] |= uint32_t(1) << map[c * 8 + i];
    std::vector<uint32_t> ids(size);
    for (size_t k = 0; k < size; k++) {
        uint32_t d = part[0][k & 255] | part[1][(k >> 8) & 255] | part[2][(k >> 16) & 255] | part[3][(k >> 24) & 255];
        ids[d] = values[k] == DontCare ? Free : values[k];
    }

    std::vector<std::vector<Node>> nodes(static_cast<size_t>(bits));
    std::vector<std::vector<uint32_t>> numbers(static_cast<size_t>(bits));
    std::vector<std::vector<uint8_t>> oneEntry(static_cast<size_t>(bits));
    const std::vector<uint32_t> verdicts = {0, 1, 2};
    uint32_t childCount = 3;
    PairMap pairs;
    std::vector<uint32_t> firstOf, secondOf, freeFirst, freeSecond;
    std::vector<uint8_t> wantFirst, wantSecond;
    for (int level = 0; level < bits; level++) {
        std::vector<Node>& here = nodes[size_t(level)];
        const size_t blocks = ids.size() / 2;
        pairs.Reset(std::min<uint64_t>(blocks, uint64_t(childCount) * childCount));
        firstOf.assign(childCount, None);
        secondOf.assign(childCount, None);
        freeFirst.assign(childCount, None);
        freeSecond.assign(childCount, None);
        // Blocks with both halves known first, so that a half-free block can
        // join any of them.
        for (size_t i = 0; i < blocks; i++) {
            uint32_t a = ids[2 * i], b = ids[2 * i + 1];
            if (a == Free && b == Free) {
                ids[i] = Free;
            } else if (a == Free) {
                ids[i] = Pending | SecondKnown | b;
            } else if (b == Free) {
                ids[i] = Pending | a;
            } else {
                bool added;
                uint32_t id = pairs.FindOrAdd((uint64_t(a) << 32) | b, uint32_t(here.size()), added);
                if (added) {
                    here.push_back({a, b, Both});
                    if (firstOf[a] == None) firstOf[a] = id;
                    if (secondOf[b] == None) secondOf[b] = id;
                }
                ids[i] = id;
            }
        }
        // A node asked for as (a, free) and as (free, a) becomes (a, a)
        // for both.
        wantFirst.assign(childCount, 0);
        wantSecond.assign(childCount, 0);
        for (size_t i = 0; i < blocks; i++) {
            uint32_t v = ids[i];
            if (v == Free || !(v & Pending)) continue;
            (v & SecondKnown ? wantSecond : wantFirst)[v & ChildMask] = 1;
        }
        for (size_t i = 0; i < blocks; i++) {
            uint32_t v = ids[i];
            if (v == Free || !(v & Pending)) continue;
            uint32_t child = v & ChildMask;
            bool second = (v & SecondKnown) != 0;
            uint32_t& known = second ? secondOf[child] : firstOf[child];
            uint32_t& loose = second ? freeSecond[child] : freeFirst[child];
            if (known != None) {
                ids[i] = known;
            } else if (wantFirst[child] && wantSecond[child]) {
                bool added;
                uint32_t id = pairs.FindOrAdd((uint64_t(child) << 32) | child, uint32_t(here.size()), added);
                if (added) here.push_back({child, child, Both});
                ids[i] = id;
            } else {
                if (loose == None) {
                    loose = uint32_t(here.size());
                    here.push_back({child, child, second ? SecondOnly : FirstOnly});
                }
                ids[i] = loose;
            }
        }
        ids.resize(blocks);
        ids.shrink_to_fit();

        // Now that the parents are known, number the level below.
        if (level > 0) numbers[size_t(level - 1)] = Number(childCount, oneEntry[size_t(level - 1)], here);
        const std::vector<uint32_t>& num = level > 0 ? numbers[size_t(level - 1)] : verdicts;
        std::vector<uint8_t>& one = oneEntry[size_t(level)];
        one.assign(here.size(), 0);
        for (size_t id = 0; id < here.size(); id++) {
            const Node& n = here[id];
            one[id] = n.kind == Both        ? num[n.b] == num[n.a] + 1
                      : n.kind == FirstOnly ? num[n.a] + 1 < childCount
                                            : num[n.b] >= 1;
        }
        childCount = uint32_t(here.size());
    }

    BuiltDiagram out;
    if (bits == 0 || childCount != 1) return out;  // nothing but free keys: the empty diagram
    numbers[size_t(bits - 1)] = {0};
    out.levels.resize(size_t(bits));
    for (int level = 0; level < bits; level++) {
        const std::vector<Node>& here = nodes[size_t(level)];
        const std::vector<uint32_t>& num = numbers[size_t(level)];
        const std::vector<uint32_t>& below = level > 0 ? numbers[size_t(level - 1)] : verdicts;
        const uint32_t count = uint32_t(here.size());
        std::vector<uint32_t> byNumber(count);
        for (uint32_t id = 0; id < count; id++) byNumber[num[id]] = id;
        // Two-way nodes come first in the numbering.
        const std::vector<uint8_t>& one = oneEntry[size_t(level)];
        const uint32_t t = uint32_t(std::count(one.begin(), one.end(), uint8_t(0)));
        std::vector<uint32_t> entries(size_t(count) + t);
        uint32_t largest = 0;
        for (uint32_t u = 0; u < count; u++) {
            const Node& n = here[byNumber[u]];
            if (u < t) {
                uint32_t a = n.kind == SecondOnly ? below[n.b] : below[n.a];
                uint32_t b = n.kind == FirstOnly ? below[n.a] : below[n.b];
                entries[2 * u] = a;
                entries[2 * u + 1] = b;
                largest = std::max(largest, std::max(a, b));
            } else {
                uint32_t v = n.kind == SecondOnly ? below[n.b] - 1 : below[n.a];
                entries[u + t] = v;
                largest = std::max(largest, v);
            }
        }
        BuiltLevel& l = out.levels[size_t(level)];
        l.width = WidthOf(largest);
        l.entryCount = uint32_t(entries.size());
        l.twoWay = t;
        l.words.assign((uint64_t(l.width) * l.entryCount + 31) / 32, 0);
        for (size_t i = 0; l.width && i < entries.size(); i++) {
            uint64_t p = uint64_t(i) * l.width;
            uint64_t v = uint64_t(entries[i]) << (p & 31);
            l.words[size_t(p >> 5)] |= uint32_t(v);
            if ((p & 31) + l.width > 32) l.words[size_t(p >> 5) + 1] |= uint32_t(v >> 32);
        }
    }
    return out;
}

BuiltDiagram MergeFreeBlocks(const std::vector<uint8_t>& values, int bits, const uint8_t* map, int blockBits,
                             size_t maxClasses) {
    const size_t size = size_t(1) << bits;
    std::vector<uint32_t> perm(size);
    for (size_t k = 0; k < size; k++) {
        uint32_t d = 0;
        for (int j = 0; j < bits; j++)
            if ((k >> j) & 1) d |= uint32_t(1) << map[j];
        perm[k] = d;
    }
    std::vector<uint8_t> ordered(size);
    for (size_t k = 0; k < size; k++) ordered[perm[k]] = values[k];

    // A block of 2^blockBits keys as two bit planes of its verdicts and the
    // mask of the keys that matter.
    struct Block {
        uint64_t low = 0, high = 0, care = 0;
    };
    const int width = 1 << blockBits;
    const size_t blocks = size >> blockBits;
    std::vector<Block> block(blocks);
    for (size_t b = 0; b < blocks; b++)
        for (int i = 0; i < width; i++) {
            uint8_t v = ordered[b * size_t(width) + size_t(i)];
            if (v == DontCare) continue;
            block[b].care |= uint64_t(1) << i;
            block[b].low |= uint64_t(v & 1) << i;
            block[b].high |= uint64_t(v >> 1) << i;
        }
    // Most constrained blocks first; each joins the first class it agrees
    // with on the keys both care about, and fills its free keys from it.
    std::vector<uint32_t> byCare(blocks);
    std::iota(byCare.begin(), byCare.end(), 0u);
    std::stable_sort(byCare.begin(), byCare.end(), [&](uint32_t a, uint32_t b) {
        return __builtin_popcountll(block[a].care) > __builtin_popcountll(block[b].care);
    });
    std::vector<Block> classes;
    std::vector<uint32_t> classOf(blocks, None);
    for (uint32_t b : byCare) {
        const Block& x = block[b];
        if (!x.care) continue;  // wholly free: left to the diagram's own merging
        size_t c = 0, scan = std::min(classes.size(), maxClasses);
        for (; c < scan; c++) {
            const Block& y = classes[c];
            if ((((x.low ^ y.low) | (x.high ^ y.high)) & x.care & y.care) == 0) break;
        }
        if (c == scan) {
            c = classes.size();
            classes.push_back(x);
        } else {
            Block& y = classes[c];
            uint64_t fresh = x.care & ~y.care;
            y.low |= x.low & fresh;
            y.high |= x.high & fresh;
            y.care |= x.care;
        }
        classOf[b] = uint32_t(c);
    }
    std::vector<uint8_t> filled(values);
    for (size_t k = 0; k < size; k++) {
        if (filled[k] != DontCare) continue;
        size_t d = perm[k];
        uint32_t c = classOf[d >> blockBits];
        if (c == None) continue;
        int i = int(d & size_t(width - 1));
        const Block& y = classes[c];
        if ((y.care >> i) & 1) filled[k] = uint8_t(((y.low >> i) & 1) | (((y.high >> i) & 1) << 1));
    }
    return BuildDiagram(filled, bits, map);
}

namespace {

// Diagram bit of every key bit when the fields are stacked from the bottom
// of the diagram up in `order`; square fields (6 bits: file low, rank high)
// may take their bits in another order.
void MapFor(const std::vector<int>& fieldBits, const std::vector<int>& order, int squareOrder, uint8_t* map) {
    static const int Inside[3][6] = {{0, 1, 2, 3, 4, 5}, {3, 4, 5, 0, 1, 2}, {0, 3, 1, 4, 2, 5}};
    std::vector<int> start(fieldBits.size());
    for (size_t f = 1; f < fieldBits.size(); f++) start[f] = start[f - 1] + fieldBits[f - 1];
    std::fill(map, map + 32, 0);
    int next = 0;
    for (int f : order)
        for (int i = 0; i < fieldBits[size_t(f)]; i++) {
            int bit = fieldBits[size_t(f)] == 6 ? Inside[squareOrder][i] : i;
            map[start[size_t(f)] + bit] = uint8_t(next++);
        }
}

// The best order's diagram, or one with its free keys filled block by block
// when that is smaller.
BuiltDiagram Refined(const std::vector<uint8_t>& values, int bits, const uint8_t* map, BuiltDiagram best) {
    for (int blockBits : {6, 4}) {
        BuiltDiagram d = MergeFreeBlocks(values, bits, map, blockBits, 4096);
        if (d.FileBytes() < best.FileBytes()) best = std::move(d);
    }
    return best;
}

}  // namespace

BuiltDiagram SmallestDiagram(const std::vector<uint8_t>& values, const std::vector<int>& fieldBits, uint8_t* map) {
    const int bits = std::accumulate(fieldBits.begin(), fieldBits.end(), 0);
    const int fields = int(fieldBits.size());
    BuiltDiagram best;
    uint64_t bestBytes = ~uint64_t(0);
    uint8_t candidate[32];
    auto consider = [&](const std::vector<int>& order, int squareOrder) {
        MapFor(fieldBits, order, squareOrder, candidate);
        BuiltDiagram d = BuildDiagram(values, bits, candidate);
        const uint64_t bytes = d.FileBytes();
        // Strictly smaller only, so ties keep the first order tried.
        if (bytes < bestBytes) {
            bestBytes = bytes;
            best = std::move(d);
            std::copy(candidate, candidate + 32, map);
        }
        return bytes;
    };
    std::vector<int> order(static_cast<size_t>(fields));
    std::iota(order.begin(), order.end(), 0);
    if (fields <= 4) {
        // Few fields: every order of them, with each way through a square.
        for (int squareOrder = 0; squareOrder < 3; squareOrder++) {
            std::vector<int> o = order;
            do consider(o, squareOrder);
            while (std::next_permutation(o.begin(), o.end()));
        }
        return Refined(values, bits, map, std::move(best));
    }
    // More fields: choose the bottom field first, then the next, each by
    // trying every remaining field there; then the way through squares.
    std::vector<int> chosen, left = order;
    int squareOrder = 0;
    while (left.size() > 1) {
        uint64_t pickBytes = ~uint64_t(0);
        size_t pick = 0;
        for (size_t i = 0; i < left.size(); i++) {
            std::vector<int> o = chosen;
            o.push_back(left[i]);
            for (size_t j = 0; j < left.size(); j++)
                if (j != i) o.push_back(left[j]);
            uint64_t bytes = consider(o, squareOrder);
            if (bytes < pickBytes) {
                pickBytes = bytes;
                pick = i;
            }
        }
        chosen.push_back(left[pick]);
        left.erase(left.begin() + long(pick));
    }
    chosen.push_back(left[0]);
    for (squareOrder = 1; squareOrder < 3; squareOrder++) consider(chosen, squareOrder);
    return Refined(values, bits, map, std::move(best));
}

}  // namespace bbgen
