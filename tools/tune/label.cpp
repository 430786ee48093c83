// tune label: a reference engine's verdict on each position of a tuner file,
// so that the fit can blend it with the game's result. The game result alone
// is a noisy label (one game decides for every position in it); a shallow
// search of a stronger engine says what the position itself is worth.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tune/data.h"
#include "tune/tune.h"
#include "uci_process.h"

namespace tune {
namespace {

struct LabelOptions {
    std::string data, out, engine;
    std::vector<std::string> options;  // "Name=Value"
    int nodes = 2000, jobs = 1;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: tune label --data FILE --out FILE --engine COMMAND [--option NAME=VALUE]... "
                 "[--nodes N] [--jobs N]\n");
    return 2;
}

// The expected score of the side to move from the engine's last info line
// with a score; an exact score is never replaced by a later bound. False
// when the engine said nothing usable before its best move.
bool ReadVerdict(tools::EngineProcess& engine, double& expected) {
    std::string line;
    bool exact = false, have = false;
    while (engine.ReadLine(line, 60)) {
        if (line.compare(0, 9, "bestmove ") == 0) return have;
        double e;
        bool bound;
        if (!InfoVerdict(line, e, bound) || (have && exact && bound)) continue;
        expected = e;
        have = true;
        exact = !bound;
    }
    return false;
}

// Labels the lines slot, slot + jobs, ... of the input into `part`.
int Worker(const LabelOptions& o, int slot, const std::string& part, int report) {
    std::FILE* in = std::fopen(o.data.c_str(), "r");
    std::FILE* out = std::fopen(part.c_str(), "w");
    if (!in || !out) return 1;
    tools::EngineProcess engine;
    if (!engine.Start(o.engine)) return 1;
    engine.Send("uci");
    if (!engine.WaitFor("uciok", 30)) return 1;
    engine.Send("setoption name UCI_ShowWDL value true");
    for (const std::string& option : o.options) {
        const size_t eq = option.find('=');
        engine.Send("setoption name " + option.substr(0, eq) +
                    (eq == std::string::npos ? "" : " value " + option.substr(eq + 1)));
    }
    engine.Send("ucinewgame");
    engine.Send("isready");
    if (!engine.WaitFor("readyok", 30)) return 1;
    char line[512];
    Sample s;
    int32_t done = 0;
    for (long long n = 0; std::fgets(line, sizeof line, in); n++) {
        if (n % o.jobs != slot) continue;
        line[std::strcspn(line, "\r\n")] = 0;
        if (!ParseLine(line, s)) continue;
        engine.Send("position fen " + s.fen);
        engine.Send("go nodes " + std::to_string(o.nodes));
        double e = 0.5;
        if (!ReadVerdict(engine, e)) {
            std::fprintf(stderr, "tune label: no verdict on %s\n", s.fen.c_str());
            engine.Stop();
            return 1;
        }
        const bool blackToMove = s.fen.find(" b ") != std::string::npos;
        std::fprintf(out, "%s;%g;%.3f\n", s.fen.c_str(), double(s.result), blackToMove ? 1 - e : e);
        if (++done == 1000) {
            if (write(report, &done, sizeof done) != sizeof done) break;
            done = 0;
        }
    }
    if (done && write(report, &done, sizeof done) != sizeof done) return 1;
    engine.Stop();
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int Label(int argc, char** argv) {
    LabelOptions o;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--data") o.data = v;
        else if (a == "--out") o.out = v;
        else if (a == "--engine") o.engine = v;
        else if (a == "--option") o.options.push_back(v);
        else if (a == "--nodes") o.nodes = std::atoi(v);
        else if (a == "--jobs") o.jobs = std::atoi(v);
        else return Usage();
    }
    if (o.data.empty() || o.out.empty() || o.engine.empty() || o.nodes < 1 || o.jobs < 1 || o.jobs > 64)
        return Usage();
    if (o.out == o.data) {
        std::fprintf(stderr, "tune label: the output would overwrite the input\n");
        return 2;
    }
    std::fflush(nullptr);
    signal(SIGPIPE, SIG_IGN);  // an engine that dies must not take the labeller with it

    const auto start = std::chrono::steady_clock::now();
    int report[2];
    if (pipe(report) != 0) return 1;
    std::vector<pid_t> workers;
    std::vector<std::string> parts;
    for (int j = 0; j < o.jobs; j++) {
        parts.push_back(o.out + ".part" + std::to_string(j));
        const pid_t pid = fork();
        if (pid < 0) return 1;
        if (pid == 0) {
            close(report[0]);
            _exit(Worker(o, j, parts.back(), report[1]));
        }
        workers.push_back(pid);
    }
    close(report[1]);
    const bool tty = isatty(2);
    long long total = 0;
    int32_t count;
    while (read(report[0], &count, sizeof count) == sizeof count) {
        total += count;
        if (tty) {
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "\r%lld positions, %.0f s", total, s);
        }
    }
    close(report[0]);
    if (tty) std::fprintf(stderr, "\n");
    int failed = 0;
    for (pid_t pid : workers) {
        int status = 0;
        if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) failed++;
    }
    if (failed) {
        for (const std::string& p : parts) std::remove(p.c_str());
        std::fprintf(stderr, "tune label: %d worker(s) failed\n", failed);
        return 1;
    }
    std::FILE* out = std::fopen(o.out.c_str(), "w");
    if (!out) return 1;
    long long written = 0;
    char line[512];
    for (const std::string& p : parts) {
        std::FILE* in = std::fopen(p.c_str(), "r");
        while (in && std::fgets(line, sizeof line, in)) {
            std::fputs(line, out);
            written++;
        }
        if (in) std::fclose(in);
        std::remove(p.c_str());
    }
    if (std::fclose(out) != 0) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.0f s\n", seconds);
    std::printf("positions %lld\n", written);
    return 0;
}

}  // namespace tune
