// The engine's UCI options: the `uci` reply and `setoption`.
#pragma once

namespace engine {

// Sends the identification, the 44 option lines and "uciok".
void DeclareOptions();
// text: the rest of a `setoption` line after the command word (modified in place
// is allowed). Ignored while a search runs.
void SetOption(char* text);

// Test hook: when set, the `uci` reply goes to this sink instead of SendLine.
using OptionOutput = void (*)(const char* text);
void SetOptionOutput(OptionOutput sink);

constexpr int MaxOptionName = 255;
constexpr int MaxOptionValue = 799;
constexpr int MaxNalimovPath = 751;
constexpr int MaxBitbasePath = 263;

}  // namespace engine
