// Tests that need the engine's tables, hooks and hash start it the way the
// engine and the tools do, once per test program.
#pragma once
#include "engine/shell.h"

namespace enginetest {

inline void StartEngine() {
    static const bool started = [] {
        engine::StartOptions options;
        options.calibration = 1000;
        options.interactive = false;
        return engine::StartUp(options) >= 0;
    }();
    (void)started;
}

}  // namespace enginetest
