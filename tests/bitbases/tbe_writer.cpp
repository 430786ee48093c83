#include "tbe_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <unistd.h>

#include "bitbases/format.h"

namespace bbtest {

namespace {

// Hash-consed nodes per level; a child is a node of the level below (or a
// verdict below level 0), named by its index in that level's list.
struct Graph {
    std::vector<std::map<std::pair<uint32_t, uint32_t>, uint32_t>> unique;
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> nodes;
    std::vector<int64_t> restNode;  // per level, the node of an all-`rest` subtree

    uint32_t Intern(int level, uint32_t c0, uint32_t c1) {
        auto key = std::make_pair(c0, c1);
        auto it = unique[level].find(key);
        if (it != unique[level].end()) return it->second;
        uint32_t id = uint32_t(nodes[level].size());
        nodes[level].push_back(key);
        unique[level][key] = id;
        return id;
    }
};

uint32_t Make(Graph& g, int level, const std::vector<std::pair<uint32_t, int>>& items, int rest) {
    if (level < 0) return uint32_t(items.empty() ? rest : items[0].second);
    if (items.empty() && g.restNode[level] >= 0) return uint32_t(g.restNode[level]);
    std::vector<std::pair<uint32_t, int>> half[2];
    for (const auto& it : items) half[(it.first >> level) & 1].push_back(it);
    uint32_t c0 = Make(g, level - 1, half[0], rest);
    uint32_t c1 = Make(g, level - 1, half[1], rest);
    uint32_t id = g.Intern(level, c0, c1);
    if (items.empty()) g.restNode[level] = id;
    return id;
}

RawDiagram Finish(Graph& g, int bits, bool twoWayOnly) {
    RawDiagram d;
    std::vector<uint32_t> below;  // final numbers of the level below, by id
    for (int level = 0; level < bits; level++) {
        auto final = [&](uint32_t child) { return level == 0 ? child : below[child]; };
        const auto& nodes = g.nodes[level];
        std::vector<uint32_t> two, one;
        for (uint32_t id = 0; id < nodes.size(); id++) {
            bool consecutive = final(nodes[id].second) == final(nodes[id].first) + 1;
            (consecutive && !twoWayOnly ? one : two).push_back(id);
        }
        std::vector<uint32_t> number(nodes.size());
        RawLevel l;
        uint32_t t = uint32_t(two.size());
        l.values.resize(2 * t + one.size());
        for (uint32_t u = 0; u < t; u++) {
            number[two[u]] = u;
            l.values[2 * u] = final(nodes[two[u]].first);
            l.values[2 * u + 1] = final(nodes[two[u]].second);
        }
        for (uint32_t k = 0; k < one.size(); k++) {
            number[one[k]] = t + k;
            l.values[2 * t + k] = final(nodes[one[k]].first);
        }
        uint32_t largest = 0;
        for (uint32_t v : l.values) largest = std::max(largest, v);
        l.width = 0;
        while (l.width < 32 && (uint64_t(1) << l.width) <= largest) l.width++;
        d.levels.push_back(l);
        d.twoWay.push_back(t);
        below = number;
    }
    return d;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

RawDiagram BuildDiagram(int bits, const std::map<uint32_t, int>& hot, int rest, bool twoWayOnly) {
    Graph g;
    g.unique.resize(bits);
    g.nodes.resize(bits);
    g.restNode.assign(bits, -1);
    std::vector<std::pair<uint32_t, int>> items(hot.begin(), hot.end());
    if (bits > 0) Make(g, bits - 1, items, rest);
    return Finish(g, bits, twoWayOnly);
}

RawDiagram BuildDiagram(int bits, const std::function<int(uint32_t)>& verdict, bool twoWayOnly) {
    std::map<uint32_t, int> all;
    for (uint32_t k = 0; k < (uint32_t(1) << bits); k++) all[k] = verdict(k);
    return BuildDiagram(bits, all, 0, twoWayOnly);
}

RawDiagram Constant(int verdict) {
    RawDiagram d;
    if (verdict == 0) return d;  // no levels: every key reads 0
    d.levels.push_back({2, {uint32_t(verdict), uint32_t(verdict)}});
    d.twoWay.push_back(1);
    return d;
}

std::vector<uint8_t> DiagramBytes(const RawDiagram& d) {
    std::vector<uint8_t> out;
    out.push_back(0);  // spare byte
    Put32(out, uint32_t(d.levels.size()));
    for (const RawLevel& l : d.levels) {
        Put32(out, l.width);
        Put32(out, uint32_t(l.values.size()));
        size_t words = (size_t(l.width) * l.values.size() + 31) / 32;
        std::vector<uint32_t> packed(words, 0);
        // Bit by bit, so the packing does not share the reader's arithmetic.
        for (size_t i = 0; i < l.values.size(); i++)
            for (uint32_t b = 0; b < l.width; b++)
                if (b < 32 && ((l.values[i] >> b) & 1)) {
                    size_t bit = i * l.width + b;
                    packed[bit / 32] |= uint32_t(1) << (bit % 32);
                }
        for (uint32_t w : packed) Put32(out, w);
    }
    for (uint32_t t : d.twoWay) Put32(out, t);
    return out;
}

RawEntry::RawEntry(std::string n, RawDiagram d) : name(std::move(n)), diagram(std::move(d)) {
    for (int j = 0; j < 32; j++) bitMap[j] = uint8_t(j);
}

std::vector<uint8_t> FileBytes(const std::vector<RawEntry>& entries) {
    std::vector<uint8_t> out;
    Put32(out, bitbases::FileMagic);
    Put32(out, bitbases::FileVersion);
    Put32(out, 0);
    for (const RawEntry& e : entries) {
        out.push_back(uint8_t(e.name.size()));
        for (char c : e.name) out.push_back(uint8_t(c) ^ bitbases::NameMask);
        Put32(out, 0);
        out.insert(out.end(), e.bitMap, e.bitMap + 32);
        std::vector<uint8_t> d = DiagramBytes(e.diagram);
        out.insert(out.end(), d.begin(), d.end());
    }
    FixChecksum(out);
    return out;
}

void FixChecksum(std::vector<uint8_t>& bytes) {
    // XOR of the little-endian words after the header, the last one padded.
    std::vector<uint8_t> body(bytes.begin() + 12, bytes.end());
    while (body.size() % 4) body.push_back(0);
    uint32_t sum = 0;
    for (size_t i = 0; i < body.size(); i += 4)
        sum ^= uint32_t(body[i]) | uint32_t(body[i + 1]) << 8 | uint32_t(body[i + 2]) << 16 |
               uint32_t(body[i + 3]) << 24;
    for (int i = 0; i < 4; i++) bytes[8 + i] = uint8_t(sum >> (8 * i));
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

TempDir::TempDir() {
    char name[] = "/tmp/kestrion-bb-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    path = name;
}

TempDir::~TempDir() {
    std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

}  // namespace bbtest
