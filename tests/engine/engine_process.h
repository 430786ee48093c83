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

// When closeAfter is given, standard input stays open until that text has
// appeared in the output closeAfterCount times (a host does not hang up in the
// middle of a search).
EngineRun RunEngine(const std::vector<std::string>& args, const std::string& input,
                    double timeoutSeconds = 30.0, const std::string& closeAfter = "",
                    int closeAfterCount = 1);

std::vector<std::string> Lines(const std::string& text);

}  // namespace testing_support
