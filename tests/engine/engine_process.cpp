#include "engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace testing_support {

namespace {
double Seconds() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}
}  // namespace

namespace {

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

}  // namespace

EngineRun RunEngine(const std::vector<std::string>& args, const std::string& input,
                    double timeoutSeconds, const std::string& closeAfter, int closeAfterCount) {
    EngineRun run;
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return run;
    signal(SIGPIPE, SIG_IGN);
    double start = Seconds();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[1]);
        close(fromChild[0]);
        std::vector<char*> argv;
        std::string binary = KESTRION_BINARY;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    fcntl(toChild[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    bool inputOpen = true;
    char buffer[4096];
    for (;;) {
        if (Seconds() - start > timeoutSeconds) {
            kill(pid, SIGKILL);
            break;
        }
        if (inputOpen && written == input.size() &&
            (closeAfter.empty() || Occurrences(run.output, closeAfter) >= closeAfterCount)) {
            close(toChild[1]);
            inputOpen = false;
        }
        pollfd fds[2];
        int n = 0;
        fds[n++] = {fromChild[0], POLLIN, 0};
        if (inputOpen && written < input.size()) fds[n++] = {toChild[1], POLLOUT, 0};
        poll(fds, nfds_t(n), 100);
        if (n > 1 && (fds[1].revents & (POLLOUT | POLLERR))) {
            ssize_t w = write(toChild[1], input.data() + written, input.size() - written);
            if (w > 0) written += size_t(w);
            else if (w < 0 && errno != EAGAIN) written = input.size();
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            ssize_t r = read(fromChild[0], buffer, sizeof buffer);
            if (r <= 0) break;
            run.output.append(buffer, size_t(r));
        }
    }
    if (inputOpen) close(toChild[1]);
    close(fromChild[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.seconds = Seconds() - start;
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
