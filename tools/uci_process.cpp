// A UCI engine run as a child process over two pipes.
#include "uci_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tools {

double NowSeconds() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

bool EngineProcess::Start(const std::string& command) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, 2);
        close(toChild[1]);
        close(fromChild[0]);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), (char*)nullptr);
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    input = toChild[1];
    output = fromChild[0];
    alive = true;
    return true;
}

void EngineProcess::Send(const std::string& line) {
    if (!alive) return;
    std::string text = line + "\n";
    if (write(input, text.data(), text.size()) != ssize_t(text.size())) alive = false;
}

bool EngineProcess::ReadLine(std::string& line, double timeoutSeconds) {
    double deadline = NowSeconds() + timeoutSeconds;
    for (;;) {
        size_t nl = buffer.find('\n');
        if (nl != std::string::npos) {
            line = buffer.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            buffer.erase(0, nl + 1);
            return true;
        }
        double left = deadline - NowSeconds();
        if (left <= 0 || !alive) return false;
        pollfd fd{output, POLLIN, 0};
        int r = poll(&fd, 1, int(left * 1000) + 1);
        if (r > 0) {
            char chunk[4096];
            ssize_t n = read(output, chunk, sizeof chunk);
            if (n <= 0) {
                alive = false;
                return false;
            }
            buffer.append(chunk, size_t(n));
        }
    }
}

bool EngineProcess::WaitFor(const std::string& prefix, double timeoutSeconds, std::string* found) {
    std::string line;
    double deadline = NowSeconds() + timeoutSeconds;
    while (ReadLine(line, deadline - NowSeconds())) {
        if (line.compare(0, 5, "info ") == 0) {
            size_t at = line.find(" depth ");
            if (at != std::string::npos) lastDepth = std::atoi(line.c_str() + at + 7);
        }
        if (line.compare(0, prefix.size(), prefix) == 0) {
            if (found) *found = line;
            return true;
        }
    }
    return false;
}

void EngineProcess::Stop() {
    if (pid <= 0) return;
    Send("quit");
    close(input);
    double deadline = NowSeconds() + 2;
    int status;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (NowSeconds() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(10000);
    }
    close(output);
    pid = -1;
    alive = false;
}

}  // namespace tools
