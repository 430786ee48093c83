#include "search/tt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "board/makemove.h"
#include "core/memory.h"
#include "core/platform.h"
#include "eval/cache.h"

namespace search {

SearchEntry* SearchTables[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};
uint32_t SearchEntries = 0;
int searchKilobytes = 0;
int searchNumber = FirstSn;
uint32_t hashWrites = 0;

namespace {

// Bounds are clamped so that a bound never looks like a mate score.
constexpr int BoundClamp = 29700;
constexpr int64_t MaxHashKilobytes = int64_t(MaxHashMegabytes) * 1024;
// Below this the Hash option is ignored; up to the minimum it is raised to it.
constexpr int64_t IgnoredKilobytes = 1024;
constexpr int64_t MinHashKilobytes = int64_t(MinHashMegabytes) * 1024;

uint32_t signatures[32];  // by search number
uint32_t currentSignature = 0;

void FreeSearchSet() {
    for (auto& tier : SearchTables)
        for (auto& table : tier) {
            std::free(table);
            table = nullptr;
        }
    SearchEntries = 0;
    searchKilobytes = 0;
}

// The four search tables together take the given kilobytes; all or nothing.
int TrySearchSet(int kilobytes) {
    uint64_t entries = uint64_t(kilobytes) * 1024 / (4 * sizeof(SearchEntry));
    if (entries == 0 || entries > UINT32_MAX) return 0;
    for (auto& tier : SearchTables)
        for (auto& table : tier) {
            table = static_cast<SearchEntry*>(core::AllocateTable(entries, sizeof(SearchEntry)));
            if (!table) {
                FreeSearchSet();
                return 0;
            }
        }
    SearchEntries = uint32_t(entries);
    searchKilobytes = kilobytes;
    return 1;
}

// The entry image for a store: bound kind from the window, clamped bounds and
// exact mate scores made relative to the node.
SearchEntry MakeStoreImage(const board::NodeRecord* node, board::Move best, uint32_t move2,
                           int score, int alpha, int beta, int depth, int flags) {
    if (score <= alpha) {
        flags |= EntryUpper;
        if (score < -BoundClamp) score = -BoundClamp;
    } else if (score >= beta) {
        flags |= EntryLower;
        if (score > BoundClamp) score = BoundClamp;
    } else if (score > board::MateBound) {
        score += node->ply - 1;
    } else if (score < -board::MateBound) {
        score -= node->ply - 1;
    }
    return EncodeEntry(node->key[1], best, move2, score, depth, flags);
}

void Decode(const SearchEntry& e, int tier, SearchEntry* slot, ProbeResult& out) {
    out.move = e.move;
    out.move2 = e.move2 & SecondMoveMask;
    out.marks = e.move2 & CarriedMarks;
    out.value = EntryValue(e);
    out.depth = EntryDepth(e);
    out.flags = EntryFlags(e);
    out.sn = EntrySn(e);
    out.tier = tier;
    out.slot = slot;
}

}  // namespace

// ---------------------------------------------------------------------------
// Sizing and allocation

void SplitKilobytes(int64_t totalKilobytes, int& searchShare, int& evalShare) {
    int64_t s = (4 * totalKilobytes + 4) / 5;  // ceiling of 4/5
    if (s < 4) s = 4;
    int64_t e = totalKilobytes - s;
    if (e < 1) e = 1;
    searchShare = int(s);
    evalShare = int(e);
}

int64_t HashKilobytesFor(int megabytes) {
    int64_t kilobytes = int64_t(megabytes) * 1024;
    if (kilobytes <= IgnoredKilobytes) return 0;
    if (kilobytes < MinHashKilobytes) return MinHashKilobytes;
    if (kilobytes > MaxHashKilobytes) return MaxHashKilobytes;
    return kilobytes;
}

int AllocateSearchTables(int kilobytes) {
    FreeSearchSet();
    if (TrySearchSet(kilobytes)) return 1;
    core::SendInfoString("Not enough memory for Hash");
    return kilobytes != FallbackSearchKilobytes && TrySearchSet(FallbackSearchKilobytes);
}

int AllocateHash(int totalKilobytes) {
    int s, e;
    SplitKilobytes(totalKilobytes, s, e);
    int ok = AllocateSearchTables(s);
    ok &= eval::AllocateEvalTables(e);
    return ok;
}

int SetHashSize(int megabytes) {
    int64_t total = HashKilobytesFor(megabytes);
    if (total == 0) return 0;
    int s, e;
    SplitKilobytes(total, s, e);
    // Fresh blocks come zeroed from the allocator, so no clearing pass is needed.
    int renewed = 0;
    if (s != searchKilobytes || !SearchTables[0][0]) {
        AllocateSearchTables(s);
        renewed = 1;
    }
    if (e != eval::evalKilobytes || !eval::EvalTables[0]) eval::AllocateEvalTables(e);
    return renewed;
}

bool HashAllocated() {
    return SearchEntries > 0 && SearchTables[0][0] && SearchTables[0][1] && SearchTables[1][0] &&
           SearchTables[1][1];
}

void ClearSearchTables() {
    if (!SearchEntries) return;
    for (auto& tier : SearchTables)
        for (auto* table : tier) std::memset(table, 0, size_t(SearchEntries) * sizeof(SearchEntry));
}

void FreeHashTables() {
    FreeSearchSet();
    eval::FreeEvalTables();
}

// ---------------------------------------------------------------------------
// Per-board tables

int AllocateBoardTables(board::Tree& tree) {
    FreeBoardTables(tree);
    if (eval::AllocateCaches(tree))
        tree.auxTable = static_cast<uint64_t*>(core::AllocateTable(AuxEntries, sizeof(uint64_t)));
    if (tree.auxTable) return 1;
    FreeBoardTables(tree);
    return 0;
}

void ClearAuxTable(board::Tree& tree) {
    if (tree.auxTable) std::memset(tree.auxTable, 0, size_t(AuxEntries) * sizeof(uint64_t));
}

void ClearAllTables(board::Tree& tree) {
    ClearSearchTables();
    eval::ClearEvalTables();
    eval::ClearPawnCache(tree);
    ClearAuxTable(tree);
    eval::ClearMaterialTable(tree);
}

void FreeBoardTables(board::Tree& tree) {
    eval::FreeCaches(tree);
    std::free(tree.auxTable);
    tree.auxTable = nullptr;
}

// ---------------------------------------------------------------------------
// Search numbers and signatures

void NewSearchNumber() {
    searchNumber = searchNumber >= LastSn ? FirstSn : searchNumber + 1;
    hashWrites = 0;
}

void RecordSignature(uint32_t signature) {
    currentSignature = signature;
    signatures[0] = signature;
    signatures[LearnedSn] = signature;
    signatures[searchNumber & SnMask] = signature;
}

int SignatureMatches(int sn) {
    return sn >= 0 && sn <= SnMask && signatures[sn] == currentSignature;
}

// ---------------------------------------------------------------------------
// Entries, probe and store

SearchEntry EncodeEntry(uint32_t upperKey, board::Move move, uint32_t move2, int value, int depth,
                        int flags) {
    if (value > INT16_MAX) value = INT16_MAX;
    if (value < INT16_MIN) value = INT16_MIN;
    if (depth > INT8_MAX) depth = INT8_MAX;
    if (depth < INT8_MIN) depth = INT8_MIN;
    SearchEntry e;
    e.move = move;
    e.move2 = move2;
    e.data = (uint32_t(value) & 0xffff) | ((uint32_t(depth) & 0xff) << 16) |
             (uint32_t(flags & 0xff) << 24);
    e.check = upperKey ^ e.move ^ e.move2 ^ e.data;
    return e;
}

int EntryMatches(const SearchEntry& e, uint32_t upperKey) {
    return EntrySn(e) != 0 && EntryKey(e) == upperKey;
}

uint32_t IndexKey(const board::NodeRecord* node) {
    return node->key[0] ^ board::EnPassantKey[node->flags & board::EpMask];
}

SearchEntry EntryWithData(uint32_t upperKey, board::Move move, uint32_t move2, uint32_t data) {
    return SearchEntry{upperKey ^ move ^ move2 ^ data, move, move2, data};
}

void SetEntryData(SearchEntry& e, uint32_t data) {
    e.check ^= e.data ^ data;
    e.data = data;
}

int ProbeSearch(const board::NodeRecord* node, ProbeResult& out) {
    if (!SearchEntries) return 0;
    uint32_t index = HashIndex(node);
    for (int tier = 0; tier < 2; ++tier) {
        SearchEntry* slot = &SearchTables[tier][node->side][index];
        SearchEntry copy = *slot;  // decode a copy, never the slot itself
        if (EntryMatches(copy, node->key[1])) {
            Decode(copy, tier + 1, slot, out);
            return 1;
        }
    }
    return 0;
}

void PrefetchSearch(const board::NodeRecord* node, int tiers) {
    if (!SearchEntries) return;
    uint32_t index = HashIndex(node);
    for (int tier = 0; tier < tiers; ++tier) __builtin_prefetch(&SearchTables[tier][node->side][index]);
}

int ProbeQuiesce(const board::NodeRecord* node, ProbeResult& out) {
    if (!SearchEntries) return 0;
    SearchEntry* slot = &SearchTables[0][node->side][HashIndex(node)];
    SearchEntry copy = *slot;
    if (!EntryMatches(copy, node->key[1])) return 0;
    Decode(copy, 1, slot, out);
    return 1;
}

void StoreSearch(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                 int depth, int mateThreat, uint32_t marks) {
    if (!SearchEntries) return;
    // 1. Flags and 2. the second-move word carrying only the marks.
    int flags = searchNumber | (mateThreat ? EntryMateThreat : 0);
    uint32_t move2 = marks & CarriedMarks;
    uint32_t index = HashIndex(node);
    SearchEntry* t1 = &SearchTables[0][node->side][index];
    SearchEntry* t2 = &SearchTables[1][node->side][index];
    SearchEntry old = *t1;
    int oldSn = EntrySn(old);

    // 3. Replacement. A deeper entry of this search keeps tier 1.
    if (oldSn == searchNumber && EntryDepth(old) > depth) {
        *t2 = MakeStoreImage(node, best, move2, score, alpha, beta, depth, flags);
        return;
    }
    int samePosition = EntryMatches(old, node->key[1]);
    if (oldSn == LearnedSn) {
        // Learned entries yield only to results at least as deep for their position.
        if (!samePosition) {
            *t2 = MakeStoreImage(node, best, move2, score, alpha, beta, depth, flags);
        } else if (depth >= EntryDepth(old)) {
            flags = (flags & ~SnMask) | LearnedSn;
            *t1 = MakeStoreImage(node, best, move2, score, alpha, beta, depth, flags);
        }
        return;
    }
    if (oldSn != 0 && !samePosition) *t2 = old;
    if (oldSn != searchNumber || EntryDepth(old) < 1) ++hashWrites;
    // 4. Encode and write the whole record.
    *t1 = MakeStoreImage(node, best, move2, score, alpha, beta, depth, flags);
}

void StoreQuiesce(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                  int qdepth) {
    if (!SearchEntries) return;
    SearchEntry* t1 = &SearchTables[0][node->side][HashIndex(node)];
    int oldSn = EntrySn(*t1);
    if (EntryDepth(*t1) > 0 && (oldSn == searchNumber || oldSn == LearnedSn)) return;
    *t1 = MakeStoreImage(node, best, 0, score, alpha, beta, qdepth, searchNumber);
}

int HashFull() {
    if (!SearchEntries) return 0;
    uint64_t permille = uint64_t(hashWrites) * 500 / SearchEntries;
    return permille > 1000 ? 1000 : int(permille);
}

}  // namespace search
