// Temporary stand-in until the evaluation lands: material and square score.
#include "eval/eval.h"

namespace eval {

__attribute__((weak)) int Evaluate(board::Tree&, board::NodeRecord* node, int, int, int) {
    return node->material[node->side] - node->material[node->side ^ 1] + node->squareScore;
}

}  // namespace eval

namespace eval {

__attribute__((weak)) void InitEvalTables() {}
__attribute__((weak)) void BuildEvalTables(board::Tree&, board::NodeRecord*) {}

}  // namespace eval
