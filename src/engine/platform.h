// The platform layer: input poll, sleep, clocks, output to the host and the
// engine's own random generator. Only the engine layer writes to stdout.
#pragma once
#include <cstdint>

namespace engine {

struct ShellState {
    int quit = 0;
    int debug = 0;
    int cpuTime = 0;
    int autoQuit = 0;
    int commandLineMode = 0;  // analysis mode: output muted
    int evalPrint = 0;
    int inputClosed = 0;  // analysis mode only: standard input has ended
    int32_t calibration = 0;
    int64_t pollIntervalSlow = 0;  // 25 x calibration
    int64_t pollIntervalFast = 0;  // a quarter of it
};
extern ShellState shell;

int InputPending();           // 1 if stdin has an unread byte; never waits
void SleepMs(int ms);
int32_t Now();                // milliseconds, wall clock or process time
inline int32_t Elapsed(int32_t start) { return Now() - start; }
void SendLine(const char* text);        // caller supplies the newline
void SendInfoString(const char* text);  // "info string %s\n"
void RandomSeed(uint32_t seed);
uint32_t RandomNext();

// Blocks until a line is read and hands it to the interpreter. Ends the
// process with status 255 at end of input.
void ReadAndDispatch();
[[noreturn]] void ExitProcess(int status);  // release all, then exit

}  // namespace engine
