#include "tablebases/tbassert.h"

#include <cstdio>
#include <cstdlib>

namespace tablebases {

void VTbAssertFailed(const char* text, const char* function) {
    std::fprintf(stderr, "Assertion failed: %s, function %s\n", text, function);
    std::fflush(stderr);
    std::abort();
}

}  // namespace tablebases
