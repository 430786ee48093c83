// Temporary weak stand-ins until the tree search and the hash tables land.
#include "search/limits.h"
#include "search/search.h"
#include "search/state.h"
#include "search/tt.h"

#define WEAK __attribute__((weak))

namespace search {

WEAK Limits limits;
WEAK board::Move searchMoves[MaxSearchMoves + 1];
WEAK int searchState = 0;
WEAK volatile int stopFlag = 0;
WEAK SearchGlobals sg;
WEAK SearchEntry* SearchTables[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};
WEAK uint32_t SearchEntries = 0;
WEAK int searchNumber = 2;
WEAK uint32_t hashWrites = 0;

WEAK int Search(board::Tree&, board::NodeRecord* node, int, int, int, int, int, int) {
    return node->material[node->side] - node->material[node->side ^ 1];
}
WEAK uint32_t HashIndex(const board::NodeRecord* node) {
    return SearchEntries ? node->key[0] % SearchEntries : 0;
}
WEAK void NewSearchNumber() { searchNumber = searchNumber >= 31 ? 2 : searchNumber + 1; }
WEAK void RecordSignature(uint32_t) {}
WEAK void ClearSearchTables() {}
WEAK void ClearEvalTables() {}
WEAK void ClearPawnCache(board::Tree&) {}
WEAK void ClearAuxTable(board::Tree&) {}
WEAK void ClearMaterialTable(board::Tree&) {}

WEAK void SetHashSize(int) {}
WEAK int AllocateBoardTables(board::Tree&) { return 1; }
WEAK void FreeBoardTables(board::Tree&) {}

}  // namespace search
