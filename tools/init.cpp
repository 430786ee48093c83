// Engine tables for the tools, set up by the engine's own start-up sequence
// (repeatable: no speed calibration, no time-dependent random start, no
// learning file).
#include <cstdarg>
#include <cstdio>

#include "command.h"
#include "engine/shell.h"
#include "engine/uci.h"

namespace tools {

int InitEngineTables() {
    static bool done = false;
    if (done) return 0;
    engine::StartOptions options;
    options.calibration = 1000;  // a fixed poll schedule: tools read no commands
    options.interactive = false;
    if (engine::StartUp(options) < 0) return -1;
    done = true;
    return 0;
}

void SendCommand(const char* format, ...) {
    static char line[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    engine::Interpret(line);
}

}  // namespace tools
