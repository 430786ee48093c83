// Fallbacks for subsystems that are not part of this build yet. The real
// definitions replace them when they are linked in.
#include <cstdio>

#include "bitbases/hooks.h"
#include "book/hooks.h"
#include "engine/platform.h"

namespace book {

// Without the learning code there are no hand-set values to keep.
__attribute__((weak)) void SetPositionValue(const char*) {}

// The protected-entry list lives with the learning code; the file can go now.
__attribute__((weak)) void ClearPositionLearning() { std::remove("kestrion.pl2"); }

}  // namespace book

namespace bitbases {

// No bitbase loader: report an empty set.
__attribute__((weak)) void LoadBitbases(int reportMode) {
    if (reportMode == 1) engine::SendInfoString("kestrionbases with 0 pieces found (0 MB)");
}

}  // namespace bitbases
