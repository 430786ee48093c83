// Stand-ins for symbols whose owners have not landed yet; removed once they have.
#include "board/movegen.h"
#include "board/position.h"

#define WEAK __attribute__((weak))

namespace book {
WEAK void LoadLearning() {}
WEAK void ForgetProtectedEntries() {}
}  // namespace book

namespace eval {
WEAK void CalibrationWorkload() {}
}  // namespace eval
