// Temporary stand-in until the hash tables land: no table, nothing stored.
#include "search/tt.h"

namespace search {

__attribute__((weak)) uint32_t SearchEntries = 0;
__attribute__((weak)) int ProbeSearch(const board::NodeRecord*, ProbeResult&) { return 0; }
__attribute__((weak)) void StoreSearch(const board::NodeRecord*, board::Move, int, int, int, int, int,
                                       uint32_t) {}
__attribute__((weak)) void StoreQuiesce(const board::NodeRecord*, board::Move, int, int, int, int) {}
__attribute__((weak)) int SignatureMatches(int) { return 1; }

}  // namespace search

namespace search {

__attribute__((weak)) void SetHashSize(int) {}
__attribute__((weak)) void ClearSearchTables() {}
__attribute__((weak)) void ClearEvalTables() {}
__attribute__((weak)) void NewSearchNumber() {}
__attribute__((weak)) int AllocateBoardTables(board::Tree&) { return 1; }

}  // namespace search
