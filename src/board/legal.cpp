// Walks over the legal moves of a node: the list for the book, learning and
// the host's moves, and perft.
#include "board/makemove.h"
#include "board/movegen.h"

namespace board {

int LegalMoves(Tree& tree, NodeRecord* node, Move* out, int capacity) {
    // Generate after whatever the node already holds and leave its lists and
    // generation state as they were: the caller's picker is not ours.
    MoveEntry* savedQuiet[2] = {node->quietList, node->quietEnd};
    MoveEntry* savedCapture[2] = {node->captureList, node->captureEnd};
    uint8_t generated = node->generated, moveCount = node->moveCount;
    Move saved = node->currentMove;
    node->quietList = node->quietEnd;
    node->captureList = node->captureEnd;
    GenerateMoves(tree, node, GenAll, 1);
    int n = 0;
    for (MoveEntry* list : {node->captureList, node->quietList}) {
        for (MoveEntry* e = list; e->score != ListEnd; e++) {
            node->currentMove = e->move;
            if (!MakeMove(tree, node)) continue;
            UnmakeMove(tree, node);
            if (n < capacity) out[n++] = e->move;
        }
    }
    node->quietList = savedQuiet[0];
    node->quietEnd = savedQuiet[1];
    node->captureList = savedCapture[0];
    node->captureEnd = savedCapture[1];
    node->generated = generated;
    node->moveCount = moveCount;
    node->currentMove = saved;
    return n;
}

uint64_t Perft(Tree& tree, NodeRecord* node, int depth) {
    if (depth == 0) return 1;
    GenerateMoves(tree, node, GenAll, 1);
    uint64_t total = 0;
    for (MoveEntry* list : {node->captureList, node->quietList}) {
        for (MoveEntry* e = list; e->score != ListEnd; e++) {
            node->currentMove = e->move;
            if (!MakeMove(tree, node)) continue;
            total += depth > 1 ? Perft(tree, node + 1, depth - 1) : 1;
            UnmakeMove(tree, node);
        }
    }
    return total;
}

}  // namespace board
