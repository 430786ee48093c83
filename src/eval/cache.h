// The evaluation's caches: the evaluation hash (sized with the Hash option)
// and the pawn cache and material table that hang off the search board.
#pragma once
#include <cstddef>
#include <cstdint>

#include "board/position.h"

namespace eval {

// Word 1 is the check word XOR word 2; word 2 holds the value (low half) and the
// low 16 bits of the evaluation signature (high half).
struct EvalEntry {
    uint32_t check;
    uint32_t data;
};
static_assert(sizeof(EvalEntry) == 8, "evaluation entries are 8 bytes");

constexpr int FallbackEvalKilobytes = 1024;
constexpr int PawnCacheEntries = 16384;
constexpr int PawnCacheEntrySize = 200;
constexpr int MaterialEntries = 4096;

// Null (and the entry count 0) while not allocated.
extern EvalEntry* EvalTables[2];  // [side to move]
extern uint32_t EvalEntries;      // M, per table
extern int evalKilobytes;

// Starts loading a node's evaluation entry and pawn entry, so that their
// cache misses overlap the search's own table probe instead of following it.
inline void PrefetchEvalEntries(const board::Tree& tree, const board::NodeRecord* node) {
    if (EvalEntries) __builtin_prefetch(&EvalTables[node->side][node->key[0] % EvalEntries]);
    if (tree.pawnCache) {
        const std::size_t slot = node->pawnKey[0] & (PawnCacheEntries - 1);
        __builtin_prefetch(tree.pawnCache + slot * PawnCacheEntrySize);
    }
}

// 1 on success, possibly after falling back to the smaller size (the host
// hears "Not enough memory for Hash" when the asked size fails).
int AllocateEvalTables(int kilobytes);
void ClearEvalTables();
void FreeEvalTables();

// The pawn cache and the material table of a board; all or nothing.
int AllocateCaches(board::Tree& tree);  // 1 on success
void ClearPawnCache(board::Tree& tree);
void ClearMaterialTable(board::Tree& tree);
void FreeCaches(board::Tree& tree);

}  // namespace eval
