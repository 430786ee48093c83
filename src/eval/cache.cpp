#include "eval/cache.h"

#include <cstdlib>
#include <cstring>

#include "core/memory.h"
#include "core/platform.h"

namespace eval {

EvalEntry* EvalTables[2] = {nullptr, nullptr};
uint32_t EvalEntries = 0;
int evalKilobytes = 0;

namespace {

int TryEvalSet(int kilobytes) {
    uint64_t entries = uint64_t(kilobytes) * 1024 / (2 * sizeof(EvalEntry));
    if (entries == 0 || entries > UINT32_MAX) return 0;
    for (auto& table : EvalTables) {
        table = static_cast<EvalEntry*>(core::AllocateTable(entries, sizeof(EvalEntry)));
        if (!table) {
            FreeEvalTables();
            return 0;
        }
    }
    EvalEntries = uint32_t(entries);
    evalKilobytes = kilobytes;
    return 1;
}

}  // namespace

int AllocateEvalTables(int kilobytes) {
    FreeEvalTables();
    if (TryEvalSet(kilobytes)) return 1;
    core::SendInfoString("Not enough memory for Hash");
    return kilobytes != FallbackEvalKilobytes && TryEvalSet(FallbackEvalKilobytes);
}

void ClearEvalTables() {
    if (!EvalEntries) return;
    for (auto* table : EvalTables) std::memset(table, 0, size_t(EvalEntries) * sizeof(EvalEntry));
}

void FreeEvalTables() {
    for (auto& table : EvalTables) {
        std::free(table);
        table = nullptr;
    }
    EvalEntries = 0;
    evalKilobytes = 0;
}

int AllocateCaches(board::Tree& tree) {
    FreeCaches(tree);
    tree.pawnCache = static_cast<uint8_t*>(core::AllocateTable(PawnCacheEntries, PawnCacheEntrySize));
    if (tree.pawnCache)
        tree.materialTable = static_cast<uint64_t*>(core::AllocateTable(MaterialEntries, sizeof(uint64_t)));
    if (tree.materialTable) return 1;
    FreeCaches(tree);
    return 0;
}

void ClearPawnCache(board::Tree& tree) {
    if (tree.pawnCache) std::memset(tree.pawnCache, 0, size_t(PawnCacheEntries) * PawnCacheEntrySize);
}

void ClearMaterialTable(board::Tree& tree) {
    if (tree.materialTable)
        std::memset(tree.materialTable, 0, size_t(MaterialEntries) * sizeof(uint64_t));
}

void FreeCaches(board::Tree& tree) {
    std::free(tree.pawnCache);
    std::free(tree.materialTable);
    tree.pawnCache = nullptr;
    tree.materialTable = nullptr;
}

}  // namespace eval
