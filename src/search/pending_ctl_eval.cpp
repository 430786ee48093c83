// Temporary weak stand-ins until the evaluation lands: material only.
#include "eval/eval.h"

#define WEAK __attribute__((weak))

namespace eval {

WEAK int RootStage = 0;
WEAK uint32_t SettingsSignature[2] = {0, 0};
WEAK int Evaluate(board::Tree&, board::NodeRecord* node, int, int, int) {
    return node->material[node->side] - node->material[node->side ^ 1];
}

WEAK void InitEvalTables() {}

}  // namespace eval
