// Transposition tables (two tiers per side to move), evaluation caches and the
// per-board fixed tables. Sized from the Hash option.
#pragma once
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

struct EvalEntry {
    uint32_t check;
    uint32_t data;
};
static_assert(sizeof(EvalEntry) == 8, "evaluation entries are 8 bytes");

// A decoded probe.
struct ProbeResult {
    board::Move move;
    board::Move move2;
    uint32_t marks;   // bits 30-31 of Zug2
    int value;
    int depth;
    int flags;        // sn | mate threat | bounds
    int sn;
    int tier;         // 1 or 2
    SearchEntry* slot;
};

extern SearchEntry* SearchTables[2][2];  // [tier - 1][side to move]
extern uint32_t SearchEntries;           // N, per table
extern EvalEntry* EvalTables[2];         // [side to move]
extern uint32_t EvalEntries;             // M, per table
extern int searchKilobytes, evalKilobytes;
extern int searchNumber;                 // 2..31
extern uint32_t hashWrites;

void SetHashSize(int megabytes);
int AllocateSearchTables(int kilobytes);  // 1 on success (possibly after the fall-back)
int AllocateEvalTables(int kilobytes);
void ClearSearchTables();
void ClearEvalTables();
void FreeHashTables();

// Per-board fixed tables: pawn cache, 65536-entry table, material table.
int AllocateBoardTables(board::Tree& tree);  // 1 on success
void ClearPawnCache(board::Tree& tree);
void ClearAuxTable(board::Tree& tree);
void ClearMaterialTable(board::Tree& tree);
void FreeBoardTables(board::Tree& tree);

// Search numbers and the evaluation-parameter signature recorded per number.
void NewSearchNumber();
void RecordSignature(uint32_t signature);  // into slots 0, 1 and the current one
int SignatureMatches(int sn);              // entries of this number may cut

uint32_t HashIndex(const board::NodeRecord* node);
int ProbeSearch(const board::NodeRecord* node, ProbeResult& out);  // 1 on a hit
// alpha and beta are the node's window at entry; they decide the bound kind.
void StoreSearch(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                 int depth, int mateThreat, uint32_t marks);
void StoreQuiesce(const board::NodeRecord* node, board::Move best, int score, int alpha, int beta,
                  int qdepth);
int HashFull();

}  // namespace search
