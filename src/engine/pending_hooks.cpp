// The bitbase subsystem is not part of this build: loading finds an empty set.
// A real loader replaces this definition when it is linked in.
#include "bitbases/hooks.h"
#include "engine/platform.h"

namespace bitbases {

__attribute__((weak)) void LoadBitbases(int reportMode) {
    if (reportMode == 1) engine::SendInfoString("kestrionbases with 0 pieces found (0 MB)");
}

}  // namespace bitbases
