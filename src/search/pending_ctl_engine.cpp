// Temporary weak stand-ins until the platform layer lands.
#include <sys/time.h>

#include <cstdio>

#include "engine/platform.h"

#define WEAK __attribute__((weak))

namespace engine {

WEAK ShellState shell;

WEAK int InputPending() { return 0; }
WEAK int32_t Now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return int32_t(int64_t(tv.tv_sec) * 1000 + tv.tv_usec / 1000);
}
WEAK void SendLine(const char* text) {
    if (shell.commandLineMode) return;
    std::fputs(text, stdout);
    std::fflush(stdout);
}
WEAK void ReadAndDispatch() {}

}  // namespace engine
