// Runs the engine binary as a host would: writes the given input to its
// standard input, closes it (unless asked to keep it open) and collects
// standard output and the exit status.
#pragma once
#include <string>
#include <vector>

namespace testing_support {

struct EngineRun {
    int status = -1;       // exit status, or -1 if it had to be killed
    std::string output;
    double seconds = 0;
};

EngineRun RunEngine(const std::vector<std::string>& args, const std::string& input,
                    double timeoutSeconds = 30.0);

std::vector<std::string> Lines(const std::string& text);

}  // namespace testing_support
