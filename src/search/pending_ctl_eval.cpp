// Temporary weak stand-ins until the evaluation lands.
#include "eval/eval.h"

#define WEAK __attribute__((weak))

namespace eval {

WEAK int RootStage = 0;
WEAK uint32_t SettingsSignature[2] = {0, 0};

}  // namespace eval
