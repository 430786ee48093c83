// LZ77 over a file-wide set of 24 back-reference distances, then one
// canonical prefix code over literals and (distance slot, length code)
// pairs. Each 8192-byte block is coded on its own so that the reader can
// decode any block without its neighbours; a block that does not shrink is
// stored as it is.
#include "tbgen/tbencode.h"

#include <algorithm>
#include <cstring>
#include <queue>
#include <utility>

#include "tablebases/format.h"

namespace tablebases {

namespace {

constexpr uint32_t MinMatch = 2;
constexpr int MainCodeLimit = 24;
constexpr int SmallCodeLimit = 15;
constexpr uint32_t SampleBlocks = 256;

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    // Appends the low n bits of v, most significant first (n <= 32).
    void Put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; i--) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((v >> i) & 1));
            if (++fill_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                fill_ = 0;
            }
        }
        bits_ += static_cast<uint64_t>(n);
    }
    void Align() {
        if (fill_) Put(0, 8 - fill_);
    }
    uint64_t Bits() const { return bits_; }

private:
    std::vector<uint8_t>& out_;
    uint8_t acc_ = 0;
    int fill_ = 0;
    uint64_t bits_ = 0;
};

// Canonical codes from lengths, the same assignment the reader makes.
struct PrefixCode {
    std::vector<uint8_t> length;
    std::vector<uint32_t> code;
    bool lone = false;   // one used symbol: it is written with no bits

    void Build(const uint64_t* freq, int count, int limit) {
        length.assign(static_cast<size_t>(count), 0);
        huffman_encode_lengths(freq, count, limit, length.data());
        code.assign(static_cast<size_t>(count), 0);
        int used = 0;
        uint32_t perLength[MaxCodeLength + 1] = {};
        for (int s = 0; s < count; s++) {
            perLength[length[s]]++;
            used += length[s] != 0;
        }
        lone = used == 1;
        uint32_t next[MaxCodeLength + 1] = {};
        uint32_t c = 0;
        perLength[0] = 0;
        for (int len = 1; len <= MaxCodeLength; len++) {
            c = (c + perLength[len - 1]) << 1;
            next[len] = c;
        }
        for (int s = 0; s < count; s++)
            if (length[s]) code[s] = next[length[s]]++;
    }
    void Put(BitWriter& w, int s) const {
        if (!lone) w.Put(code[s], length[s]);
    }
};

struct Token {
    uint16_t symbol;
    uint8_t extraBits;
    uint32_t extra;
};

// Length code and extra bits of a match length.
Token LengthToken(int slot, uint32_t length) {
    Token t{};
    if (length <= ShortLengthCodes) {
        t.symbol = static_cast<uint16_t>(LiteralCount + slot * LengthCodes + int(length) - 1);
        return t;
    }
    int n = 1;
    while ((2u << n) + 14 <= length) n++;   // 2^n + 14 <= length < 2^(n+1) + 14
    t.symbol = static_cast<uint16_t>(LiteralCount + slot * LengthCodes + n + ShortLengthCodes - 1);
    t.extraBits = static_cast<uint8_t>(n);
    t.extra = length - (1u << n) - 14;
    return t;
}

// Greedy parse of one block with the file's distances.
void ParseBlock(const uint8_t* block, uint32_t size, const uint32_t* distances, std::vector<Token>& tokens) {
    tokens.clear();
    uint32_t at = 0;
    while (at < size) {
        uint32_t best = 0;
        int bestSlot = 0;
        for (int slot = 0; slot < DistanceSlots; slot++) {
            const uint32_t d = distances[slot];
            if (d == 0 || d > at) continue;
            const uint8_t* from = block + at - d;
            uint32_t n = 0;
            const uint32_t room = size - at;
            while (n < room && from[n] == block[at + n]) n++;
            if (n > best) best = n, bestSlot = slot;
        }
        if (best >= MinMatch) {
            tokens.push_back(LengthToken(bestSlot, best));
            at += best;
        } else {
            tokens.push_back(Token{block[at], 0, 0});
            at++;
        }
    }
}

// The 24 distances that the best matches of a sample of blocks use most.
void ChooseDistances(const uint8_t* data, uint64_t size, uint32_t* distances) {
    const uint64_t blocks = (size + BlockSize - 1) / BlockSize;
    const uint64_t step = blocks > SampleBlocks ? blocks / SampleBlocks : 1;
    std::vector<uint64_t> weight(BlockSize, 0);
    std::vector<int32_t> head(1 << 15), chain(BlockSize);
    for (uint64_t b = 0; b < blocks; b += step) {
        const uint8_t* block = data + b * BlockSize;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(BlockSize, size - b * BlockSize));
        std::fill(head.begin(), head.end(), -1);
        auto hash = [&](uint32_t i) {
            return ((uint32_t(block[i]) << 10) ^ (uint32_t(block[i + 1]) << 5) ^ block[i + 2]) & 0x7FFF;
        };
        uint32_t i = 0;
        uint32_t inserted = 0;
        while (i + 2 < n) {
            for (; inserted < i; inserted++) {
                if (inserted + 2 >= n) break;
                const uint32_t h = hash(inserted);
                chain[inserted] = head[h];
                head[h] = static_cast<int32_t>(inserted);
            }
            uint32_t best = 0, bestDistance = 0;
            int probes = 32;
            for (int32_t p = head[hash(i)]; p >= 0 && probes-- > 0; p = chain[p]) {
                uint32_t len = 0;
                while (i + len < n && block[p + len] == block[i + len]) len++;
                if (len > best) best = len, bestDistance = i - static_cast<uint32_t>(p);
            }
            if (best >= 3) {
                weight[bestDistance] += best - 1;
                i += best;
            } else {
                i++;
            }
        }
    }
    std::vector<std::pair<uint64_t, uint32_t>> ranked;
    for (uint32_t d = 1; d < BlockSize; d++)
        if (weight[d]) ranked.push_back({weight[d], d});
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    int used = 0;
    for (const auto& r : ranked) {
        if (used == DistanceSlots) break;
        distances[used++] = r.second;
    }
    // Unused slots get the nearest distances not yet taken.
    for (uint32_t d = 1; used < DistanceSlots; d++)
        if (std::find(distances, distances + used, d) == distances + used) distances[used++] = d;
    std::sort(distances, distances + DistanceSlots);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

int BitLength(uint32_t v) {
    int n = 0;
    while (v >> n) n++;
    return n;
}

// Lists of up to 128 lengths: a W-bit length each, 4-bit runs after zeros.
void WriteShortLengths(BitWriter& w, const uint8_t* lengths, int count) {
    const uint8_t top = *std::max_element(lengths, lengths + count);
    if (top == 0) {
        w.Put(1, 1);
        return;
    }
    w.Put(0, 1);
    const int width = BitLength(top);
    w.Put(static_cast<uint32_t>(width), 5);
    for (int i = 0; i < count;) {
        w.Put(lengths[i], width);
        if (lengths[i++] != 0) continue;
        int zeros = 0;
        while (zeros < 15 && i + zeros < count && lengths[i + zeros] == 0) zeros++;
        w.Put(static_cast<uint32_t>(zeros), 4);
        i += zeros;
    }
}

// Long lists: literal lengths and runs, packed with two small codes.
void WriteLongLengths(BitWriter& w, const uint8_t* lengths, int count) {
    if (*std::max_element(lengths, lengths + count) == 0) {
        w.Put(1, 1);
        return;
    }
    w.Put(0, 1);
    struct Item { int a; int b; uint32_t extra; int extraBits; };
    std::vector<Item> items;
    for (int i = 0; i < count;) {
        int run = 1;
        while (i + run < count && lengths[i + run] == lengths[i]) run++;
        if (run < 3) {
            items.push_back({lengths[i], -1, 0, 0});
            i++;
            continue;
        }
        const uint32_t r = static_cast<uint32_t>(run - 2);
        if (r < 32) {
            items.push_back({32 + lengths[i], static_cast<int>(r), 0, 0});
        } else {
            int e = 0;
            while ((2u << e) + 31 <= r) e++;   // 2^e + 31 <= r < 2^(e+1) + 31
            items.push_back({32 + lengths[i], 32 + e, r - 31 - (1u << e), e});
        }
        i += run;
    }
    uint64_t fa[LengthCodeSymbols] = {}, fb[LengthCodeSymbols] = {};
    for (const Item& it : items) {
        fa[it.a]++;
        if (it.b >= 0) fb[it.b]++;
    }
    PrefixCode a, b;
    a.Build(fa, LengthCodeSymbols, SmallCodeLimit);
    b.Build(fb, LengthCodeSymbols, SmallCodeLimit);
    uint8_t small[2 * LengthCodeSymbols];
    std::copy(a.length.begin(), a.length.end(), small);
    std::copy(b.length.begin(), b.length.end(), small + LengthCodeSymbols);
    WriteShortLengths(w, small, 2 * LengthCodeSymbols);
    for (const Item& it : items) {
        a.Put(w, it.a);
        if (it.b < 0) continue;
        b.Put(w, it.b);
        if (it.extraBits) w.Put(it.extra, it.extraBits);
    }
}

}  // namespace

void huffman_encode_lengths(const uint64_t* freqIn, int count, int maxLength, uint8_t* lengths) {
    std::vector<uint64_t> freq(freqIn, freqIn + count);
    std::fill(lengths, lengths + count, 0);
    int used = 0, only = 0;
    for (int s = 0; s < count; s++)
        if (freq[s]) used++, only = s;
    if (used == 0) return;
    if (used == 1) {
        lengths[only] = 1;
        return;
    }
    for (;;) {
        // Plain Huffman over a heap of (weight, node); nodes >= count are merges.
        std::vector<int> parent(2 * static_cast<size_t>(count), -1);
        using Entry = std::pair<uint64_t, int>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;
        for (int s = 0; s < count; s++)
            if (freq[s]) heap.push({freq[s], s});
        int next = count;
        while (heap.size() > 1) {
            Entry x = heap.top();
            heap.pop();
            Entry y = heap.top();
            heap.pop();
            parent[x.second] = parent[y.second] = next;
            heap.push({x.first + y.first, next++});
        }
        int longest = 0;
        for (int s = 0; s < count; s++) {
            if (!freq[s]) continue;
            int depth = 0;
            for (int n = s; parent[n] >= 0; n = parent[n]) depth++;
            lengths[s] = static_cast<uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= maxLength) return;
        // Too deep: flatten the weights and try again.
        for (uint64_t& f : freq)
            if (f) f = (f + 1) / 2;
    }
}

bool comp_encode_buffer(const uint8_t* data, uint64_t size, std::vector<uint8_t>& out) {
    out.clear();
    if (size == 0) return false;
    const uint64_t blockCount64 = (size + BlockSize - 1) / BlockSize;
    if (blockCount64 > 0xFFFFFFF) return false;
    const uint32_t blocks = static_cast<uint32_t>(blockCount64);
    const uint32_t lastSize = static_cast<uint32_t>(size - uint64_t(blocks - 1) * BlockSize);

    uint32_t distances[DistanceSlots];
    ChooseDistances(data, size, distances);

    // Pass 1: symbol frequencies of the whole file.
    std::vector<Token> tokens;
    std::vector<uint64_t> freq(SymbolCount, 0);
    auto blockAt = [&](uint32_t b) { return data + uint64_t(b) * BlockSize; };
    auto sizeOf = [&](uint32_t b) { return b + 1 == blocks ? lastSize : BlockSize; };
    for (uint32_t b = 0; b < blocks; b++) {
        ParseBlock(blockAt(b), sizeOf(b), distances, tokens);
        for (const Token& t : tokens) freq[t.symbol]++;
    }
    PrefixCode code;
    code.Build(freq.data(), SymbolCount, MainCodeLimit);

    // Pass 2: code each block; keep it as it is when that is no smaller.
    std::vector<uint8_t> body;
    std::vector<uint32_t> compSizes(blocks), crcs(2 * size_t(blocks));
    std::vector<uint8_t> coded;
    for (uint32_t b = 0; b < blocks; b++) {
        const uint8_t* block = blockAt(b);
        const uint32_t n = sizeOf(b);
        ParseBlock(block, n, distances, tokens);
        coded.clear();
        BitWriter w(coded);
        for (const Token& t : tokens) {
            code.Put(w, t.symbol);
            if (t.extraBits) w.Put(t.extra, t.extraBits);
        }
        w.Align();
        // A block that codes to nothing (one lone literal) is stored too: a
        // size field of 0 would read as 2^S.
        const bool shrinks = !coded.empty() && coded.size() < n;
        const uint8_t* stored = shrinks ? coded.data() : block;
        const uint32_t storedSize = shrinks ? static_cast<uint32_t>(coded.size()) : n;
        compSizes[b] = storedSize;
        crcs[2 * size_t(b)] = comp_crc(block, n);
        crcs[2 * size_t(b) + 1] = comp_crc(stored, storedSize);
        body.insert(body.end(), stored, stored + storedSize);
    }

    // Header: fixed part, CRC pairs, size and distance fields, code lengths.
    uint32_t widest = lastSize;
    for (uint32_t s : compSizes) widest = std::max(widest, s);
    for (uint32_t d : distances) widest = std::max(widest, d);
    const int sizeBits = BitLength(widest);

    std::vector<uint8_t>& h = out;
    h.assign(FixedHeaderBytes, 0);
    std::memcpy(h.data(), Banner, BannerBytes);
    h[HeaderBlockSizeOffset] = static_cast<uint8_t>(BlockSize >> 8);
    h[HeaderBlockSizeOffset + 1] = static_cast<uint8_t>(BlockSize & 255);
    h[HeaderSizeBitsOffset] = static_cast<uint8_t>(sizeBits);
    h[HeaderSlotsOffset] = DistanceSlots;
    Put32(h, HeaderBlocksOffset, blocks);
    Put32(h, HeaderTagOffset, FormatTag);
    for (uint32_t c : crcs) {
        h.resize(h.size() + 4);
        Put32(h, h.size() - 4, c);
    }
    {
        BitWriter w(h);
        for (uint32_t s : compSizes) w.Put(s, sizeBits);
        w.Put(lastSize, sizeBits);
        for (uint32_t d : distances) w.Put(d, sizeBits);
        w.Align();
    }
    {
        BitWriter w(h);
        WriteLongLengths(w, code.length.data(), SymbolCount);
        w.Align();
    }
    h.resize(h.size() + 4);
    const uint32_t headerBytes = static_cast<uint32_t>(h.size());
    Put32(h, HeaderLengthOffset, headerBytes);
    Put32(h, headerBytes - 4, comp_crc(h.data(), headerBytes - 4));
    h.insert(h.end(), body.begin(), body.end());
    return true;
}

bool comp_encode_file(const uint8_t* data, uint64_t size, FILE* file) {
    std::vector<uint8_t> image;
    if (!comp_encode_buffer(data, size, image)) return false;
    return fwrite(image.data(), 1, image.size(), file) == image.size() && fflush(file) == 0;
}

}  // namespace tablebases
