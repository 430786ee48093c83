// Process entry, start-up, main loop and release of everything at exit.
#pragma once
#include <cstdint>

namespace engine {

// The shell's runtime flags (the option values live in core::settings).
struct ShellState {
    int quit = 0;
    int debug = 0;
    int autoQuit = 0;
    int evalPrint = 0;        // analysis mode: print the score with the move
    int bitbasesLoaded = 0;   // the first isready loads the bitbases
    int tablebaseReopen = 1;  // the next isready re-opens the tablebases
};
extern ShellState shell;

// How a process starts: the engine itself, or a tool or test that drives it.
struct StartOptions {
    int hashKilobytes = 4096;
    int32_t calibration = 0;  // nodes per poll unit; 0 measures the machine for a second
    // The engine proper: unbuffered input, a time-dependent random start and
    // the learning file's trim. Tools and tests start repeatably without them.
    bool interactive = true;
};

int Main(int argc, char** argv);
// The one start-up sequence: hooks, tables, hash, poll schedule, position.
// Returns the hash size in kilobytes on success, -1 when the hash failed.
int StartUp(const StartOptions& options);
void ReleaseAll();

}  // namespace engine
