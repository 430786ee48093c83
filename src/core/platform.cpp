#include "core/platform.h"

#include <sys/select.h>
#include <sys/time.h>
#include <sys/times.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace core {

PlatformState platform;

namespace {

constexpr int LineSize = 4096;
char inputLine[LineSize];
char messageBuffer[LineSize + 64];

// Lagged-Fibonacci style generator over 1279 words with four cursors.
constexpr int RandomSize = 1279;
uint32_t randomTable[RandomSize];
uint16_t randomNextIndex[RandomSize];
int cursorA, cursorB, cursorC, cursorD;
bool randomSeeded = false;

long ticksPerSecond = 0;

LineHandler lineHandler = nullptr;
OutputSink outputSink = nullptr;
ReleaseHandler releaseHandler = nullptr;

}  // namespace

int InputPending() {
    if (platform.inputClosed) return 0;
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(0, &readSet);
    timeval zero{0, 0};
    int result = select(1, &readSet, nullptr, nullptr, &zero);
    if (result < 0) ExitProcess(255);
    return result > 0 && FD_ISSET(0, &readSet) ? 1 : 0;
}

void SleepMs(int ms) {
    if (ms <= 0) return;
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    select(0, nullptr, nullptr, nullptr, &wait);
}

int32_t Now() {
    if (!platform.cpuTime) {
        timeval tv;
        gettimeofday(&tv, nullptr);
        int64_t ms = int64_t(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
        return int32_t(uint32_t(uint64_t(ms)));
    }
    if (ticksPerSecond <= 0) {
        ticksPerSecond = sysconf(_SC_CLK_TCK);
        if (ticksPerSecond <= 0) ticksPerSecond = 100;
    }
    tms t;
    times(&t);
    int64_t ticks = int64_t(t.tms_utime) + int64_t(t.tms_stime) + int64_t(t.tms_cutime) +
                    int64_t(t.tms_cstime);
    return int32_t(uint32_t(uint64_t(ticks * 1000 / ticksPerSecond)));
}

void SendLine(const char* text) {
    if (platform.commandLineMode) return;
    if (outputSink) {
        outputSink(text);
        return;
    }
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void SendInfoString(const char* text) {
    std::snprintf(messageBuffer, sizeof messageBuffer, "info string %s\n", text);
    SendLine(messageBuffer);
}

void RandomSeed(uint32_t seed) {
    if (randomSeeded) return;
    randomSeeded = true;
    randomTable[0] = seed;
    for (int i = 1; i < RandomSize; i++) randomTable[i] = randomTable[i - 1] * 69069u + 1u;
    for (int i = 0; i < RandomSize; i++) randomNextIndex[i] = uint16_t((i + 1) % RandomSize);
    cursorA = 1278;
    cursorB = 1062;
    cursorC = 979;
    cursorD = 680;
    for (int round = 0; round < 100000; round++) {
        cursorA = randomNextIndex[cursorA];
        cursorB = randomNextIndex[cursorB];
        cursorC = randomNextIndex[cursorC];
        cursorD = randomNextIndex[cursorD];
        randomTable[cursorA] ^= randomTable[cursorB] + randomTable[cursorC] + randomTable[cursorD];
    }
}

uint32_t RandomNext() {
    if (!randomSeeded) RandomSeed(1);
    cursorA = randomNextIndex[cursorA];
    cursorB = randomNextIndex[cursorB];
    cursorC = randomNextIndex[cursorC];
    cursorD = randomNextIndex[cursorD];
    uint32_t r = (randomTable[cursorB] + randomTable[cursorC] + randomTable[cursorD]) ^
                 randomTable[cursorA];
    randomTable[cursorA] = r;
    return r;
}

void StripLineEnd(char* text) {
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n') text[--length] = 0;
    if (length > 0 && text[length - 1] == '\r') text[--length] = 0;
}

void ReadAndDispatch() {
    if (!std::fgets(inputLine, LineSize, stdin)) {
        // The analysis mode needs no input: a closed standard input (a script,
        // /dev/null) must not cut its one search short.
        if (platform.commandLineMode) {
            platform.inputClosed = 1;
            return;
        }
        ExitProcess(255);
    }
    size_t length = std::strlen(inputLine);
    if (length == LineSize - 1 && inputLine[length - 1] != '\n') {
        // Overlong line: its tail must not run as a command of its own.
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        }
    }
    StripLineEnd(inputLine);
    if (lineHandler) lineHandler(inputLine);
}

void SetLineHandler(LineHandler handler) { lineHandler = handler; }
void SetOutputSink(OutputSink sink) { outputSink = sink; }
void SetReleaseHandler(ReleaseHandler handler) { releaseHandler = handler; }

void ExitProcess(int status) {
    if (releaseHandler) releaseHandler();
    std::fflush(stdout);
    std::exit(status);
}

}  // namespace core
