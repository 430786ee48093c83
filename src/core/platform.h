// The platform layer: input poll, sleep, clocks, output to the host and the
// engine's own random generator. Every subsystem may use it; it knows nothing
// of them. What it must hand upward (a line read, the release at exit) goes
// through hooks that the engine installs.
#pragma once
#include <cstdint>

namespace core {

struct PlatformState {
    int cpuTime = 0;          // clocks read processor time
    int commandLineMode = 0;  // analysis mode: output muted
    int inputClosed = 0;      // analysis mode only: standard input has ended
};
extern PlatformState platform;

int InputPending();           // 1 if stdin has an unread byte; never waits
void SleepMs(int ms);
int32_t Now();                // milliseconds, wall clock or process time
inline int32_t Elapsed(int32_t start) { return Now() - start; }
void SendLine(const char* text);        // caller supplies the newline
void SendInfoString(const char* text);  // "info string %s\n"
void RandomSeed(uint32_t seed);
uint32_t RandomNext();
void StripLineEnd(char* text);

// The interpreter's entry for one input line (line end removed; it may edit
// the text) and the release-all routine run before the process ends.
using LineHandler = void (*)(char* line);
using ReleaseHandler = void (*)();
void SetLineHandler(LineHandler handler);
// Where output to the host goes instead of stdout (null: stdout), for a
// program that drives the engine in-process.
using OutputSink = void (*)(const char* text);
void SetOutputSink(OutputSink sink);
void SetReleaseHandler(ReleaseHandler handler);

// Blocks until a line is read and hands it to the line handler. Ends the
// process with status 255 at end of input.
void ReadAndDispatch();
[[noreturn]] void ExitProcess(int status);  // release all, then exit

}  // namespace core
