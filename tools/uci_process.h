// A UCI engine run as a child process over two pipes, for the match runner
// and the tuner's labelling step.
#pragma once
#include <sys/types.h>

#include <string>

namespace tools {

double NowSeconds();

class EngineProcess {
public:
    // Runs `command` through the shell; standard error goes to /dev/null.
    bool Start(const std::string& command);
    void Send(const std::string& line);
    // Next line, or false on time-out or when the engine is gone.
    bool ReadLine(std::string& line, double timeoutSeconds);
    // Reads up to the first line starting with `prefix`; notes the depth of
    // every info line on the way.
    bool WaitFor(const std::string& prefix, double timeoutSeconds, std::string* found = nullptr);
    // "quit", then a kill if the engine has not gone within two seconds.
    void Stop();

    int lastDepth = 0;  // of the last "info ... depth N" line read
    bool alive = false;

private:
    pid_t pid = -1;
    int input = -1, output = -1;
    std::string buffer;
};

}  // namespace tools
