// Transposition tables (two tiers per side to move), evaluation caches and the
// per-board fixed tables. Sized from the Hash option.
#pragma once
#include <cstddef>
#include <cstdint>

#include "board/position.h"

namespace search {

// 16-byte search entry; word 0 is the upper key half XOR the other three.
struct SearchEntry {
    uint32_t check;
    uint32_t move;   // Zug
    uint32_t move2;  // Zug2: bits 0-29 second move, bits 30-31 carried marks
    uint32_t data;   // value i16 | depth i8 << 16 | flags << 24
};
static_assert(sizeof(SearchEntry) == 16, "search entries are 16 bytes");

// Flag bits of an entry (bits 24-31 of data).
constexpr int SnMask = 0x1f;
constexpr int EntryMateThreat = 0x20;
constexpr int EntryUpper = 0x40;
constexpr int EntryLower = 0x80;

constexpr uint32_t SecondMoveMask = 0x3fffffff;  // Zug2 bits 0-29
constexpr uint32_t CarriedMarks = 0xc0000000;    // Zug2 bits 30-31
constexpr int LearnedSn = 1;                     // entries seeded by position learning
constexpr int FirstSn = 2, LastSn = 31;          // search numbers of ordinary searches

// A decoded probe.
struct ProbeResult {
    board::Move move;
    board::Move move2;
    uint32_t marks;   // bits 30-31 of Zug2, in place
    int value;
    int depth;
    int flags;        // sn | mate threat | bounds
    int sn;
    int tier;         // 1 or 2
    SearchEntry* slot;
};

// Hash option limits in megabytes, and the fall-back shares in kilobytes used
// when a resize cannot get its memory.
constexpr int MinHashMegabytes = 4;
constexpr int MaxHashMegabytes = 4096;
constexpr int FallbackSearchKilobytes = 3072;
constexpr int StartHashKilobytes = 4096;

// Fixed per-board tables.
constexpr int AuxEntries = 65536;

// Null (and the entry counts 0) while a set is not allocated.
extern SearchEntry* SearchTables[2][2];  // [tier - 1][side to move]
extern uint32_t SearchEntries;           // N, per table
extern int searchKilobytes;
extern int searchNumber;                 // 2..31
extern uint32_t hashWrites;

// Splits a total size in kilobytes into the search and evaluation shares.
void SplitKilobytes(int64_t totalKilobytes, int& searchShare, int& evalShare);
// The total kilobytes the Hash option asks for; 0 when the value is ignored.
int64_t HashKilobytesFor(int megabytes);

// Resizes for the Hash option; 1 when the search tables were allocated anew
// (what pointed into them is gone).
int SetHashSize(int megabytes);
// Both tiers of both sides are allocated.
bool HashAllocated();
// The entry of a side's table at a tier (1 or 2) and slot.
inline SearchEntry* SlotAt(int tier, int side, uint32_t slot) { return &SearchTables[tier - 1][side][slot]; }
// Allocates both sets for a total size (start-up); 1 when both sets exist after.
int AllocateHash(int totalKilobytes);
int AllocateSearchTables(int kilobytes);  // 1 on success (possibly after the fall-back)
void ClearSearchTables();
void FreeHashTables();

// Per-board fixed tables: pawn cache, 65536-entry table, material table.
// On failure frees what it took and returns 0; the caller reports and ends the
// process.
int AllocateBoardTables(board::Tree& tree);  // 1 on success
void ClearAuxTable(board::Tree& tree);
void FreeBoardTables(board::Tree& tree);
// Empties every table: search and evaluation hash, and the board's caches.
void ClearAllTables(board::Tree& tree);

// Search numbers and the evaluation-parameter signature recorded per number.
void NewSearchNumber();                    // raises sn (31 wraps to 2), resets hashWrites
void RecordSignature(uint32_t signature);  // into slots 0, 1 and the current one
int SignatureMatches(int sn);              // entries of this number may cut

// The slot of a position: its index key (kept by the learning file) modulo
// the entries per table.
uint32_t IndexKey(const board::NodeRecord* node);
inline uint32_t SlotOf(uint32_t indexKey) { return SearchEntries ? indexKey % SearchEntries : 0; }
inline uint32_t HashIndex(const board::NodeRecord* node) { return SlotOf(IndexKey(node)); }
int ProbeSearch(const board::NodeRecord* node, ProbeResult& out);  // 1 on a hit
// Starts loading the node's slots into the cache; the probe comes later.
void PrefetchSearch(const board::NodeRecord* node, int tiers);
// Tier 1 only, as the quiescence search probes.
int ProbeQuiesce(const board::NodeRecord* node, ProbeResult& out);
// alpha and beta are the node's window at entry; they decide the bound kind.
void StoreSearch(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                 int depth, int mateThreat, uint32_t marks);
void StoreQuiesce(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                  int qdepth);
int HashFull();

// Entry words, shared with the learning code that writes ready-made entries.
SearchEntry EncodeEntry(uint32_t upperKey, board::Move move, uint32_t move2, int value, int depth,
                        int flags);
// An entry from its raw words: the data word as DataWord builds it, without clamping.
SearchEntry EntryWithData(uint32_t upperKey, board::Move move, uint32_t move2, uint32_t data);
inline uint32_t DataWord(int value, int depth, uint32_t flags) {
    return uint32_t(uint16_t(int16_t(value))) | (uint32_t(uint8_t(int8_t(depth))) << 16) |
           ((flags & 0xffu) << 24);
}
// Replaces the data word and keeps the entry matching its position.
void SetEntryData(SearchEntry& entry, uint32_t data);
// The upper key half an entry was stored for.
inline uint32_t EntryKey(const SearchEntry& e) { return e.check ^ e.move ^ e.move2 ^ e.data; }
// 1 when the entry is a live (non-empty) entry of the position with this upper key half.
int EntryMatches(const SearchEntry& entry, uint32_t upperKey);
inline int EntryValue(const SearchEntry& e) { return int16_t(e.data & 0xffff); }
inline int EntryDepth(const SearchEntry& e) { return int8_t((e.data >> 16) & 0xff); }
inline int EntryFlags(const SearchEntry& e) { return int(e.data >> 24); }
inline int EntrySn(const SearchEntry& e) { return int(e.data >> 24) & SnMask; }

}  // namespace search
