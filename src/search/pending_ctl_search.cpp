// Temporary weak stand-ins until the tree search and the limits land.
#include "search/limits.h"
#include "search/search.h"
#include "search/state.h"

#define WEAK __attribute__((weak))

namespace search {

WEAK Limits limits;
WEAK board::Move searchMoves[MaxSearchMoves + 1];
WEAK int searchState = 0;
WEAK volatile int stopFlag = 0;
WEAK SearchGlobals sg;

WEAK int Search(board::Tree&, board::NodeRecord* node, int, int, int, int, int, int) {
    return node->material[node->side] - node->material[node->side ^ 1];
}

}  // namespace search
