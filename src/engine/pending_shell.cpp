// Stand-in for the evaluation's calibration workload until it lands.
#include "eval/eval.h"

namespace eval {
__attribute__((weak)) void CalibrationWorkload() {}
}  // namespace eval
