// tune gen: quiet positions from the engine's own games, labelled with the
// game's result. Each worker process plays its own games in-process (the
// engine's state is global, so workers are forked, not threaded).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "core/platform.h"
#include "tune/data.h"
#include "tune/tune.h"

namespace tune {
namespace {

struct GenOptions {
    long long positions = 1000000;
    int nodes = 600;
    int jobs = 1;
    int randomPlies = 4;
    unsigned seed = 1;
    std::string out;
    std::string openings = "data/eco_lines.txt";
};

// Game adjudication: a side this far ahead for this many plies has won; a
// long game this level for this long is drawn.
constexpr int WinScore = 1000, WinPlies = 8;
constexpr int DrawScore = 10, DrawPlies = 16, DrawFromPly = 80;
constexpr int MaxGamePlies = 400;

// What the engine said about its last search.
struct Reply {
    char best[16];
    int score;  // side to move's view; mates as +-30000
};
Reply reply;

void CatchReply(const char* text) {
    if (std::strncmp(text, "bestmove ", 9) == 0) {
        std::snprintf(reply.best, sizeof reply.best, "%s", text + 9);
        reply.best[std::strcspn(reply.best, " \n")] = 0;
        return;
    }
    const char* s = std::strstr(text, " score ");
    if (std::strncmp(text, "info ", 5) != 0 || !s) return;
    if (std::strncmp(s + 7, "cp ", 3) == 0) reply.score = std::atoi(s + 10);
    else if (std::strncmp(s + 7, "mate ", 5) == 0)
        reply.score = std::atoi(s + 12) > 0 ? board::MateValue : -board::MateValue;
}

std::vector<std::string> LoadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return lines;
    char buffer[2048];
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    std::fclose(f);
    return lines;
}

board::Move FindMove(Referee& referee, const char* text) {
    board::Move moves[256];
    const int n = referee.LegalMoves(moves, 256);
    for (int i = 0; i < n; i++) {
        char buffer[16];
        board::WriteMoveText(buffer, moves[i]);
        if (std::strcmp(buffer, text) == 0) return moves[i];
    }
    return 0;
}

// One game from an opening line plus random plies; its quiet positions go to
// `out`. Returns the number written.
int PlayGame(const GenOptions& o, const std::string& opening, std::mt19937& random, Referee& referee,
             std::FILE* out) {
    board::SetStartPosition(board::Game);
    board::StartGame(board::Game);
    referee.Start();
    std::string moves;
    auto play = [&](board::Move m) {
        char text[16];
        board::WriteMoveText(text, m);
        board::PlayGameMove(board::Game, m);
        referee.Played(m);
        moves += ' ';
        moves += text;
    };
    // 1. Opening line, then a few random plies for variety.
    for (size_t start = 0; start < opening.size();) {
        size_t end = opening.find(' ', start);
        if (end == std::string::npos) end = opening.size();
        const board::Move m = FindMove(referee, opening.substr(start, end - start).c_str());
        if (!m) break;
        play(m);
        start = end + 1;
    }
    for (int i = 0; i < o.randomPlies; i++) {
        board::Move legal[256];
        const int n = referee.LegalMoves(legal, 256);
        if (n == 0) return 0;
        play(legal[random() % unsigned(n)]);
    }
    // 2. The engine plays both sides.
    tools::SendCommand("setoption name Clear Hash");
    std::vector<std::string> kept;
    float result = 0.5f;
    int winRun[2] = {0, 0}, drawRun = 0;
    for (int ply = 0;; ply++) {
        board::Move legal[256];
        const int n = referee.LegalMoves(legal, 256);
        const int side = board::Game.states.back().side;
        if (n == 0) {
            result = referee.InCheck() ? (side ? 1.0f : 0.0f) : 0.5f;
            break;
        }
        if (referee.Repeated() || referee.HalfMoves() >= 100 || referee.DeadDraw() || ply >= MaxGamePlies) break;
        reply.best[0] = 0;
        reply.score = 0;
        tools::SendCommand("position startpos moves%s", moves.c_str());
        tools::SendCommand("go nodes %d", o.nodes);
        const board::Move m = FindMove(referee, reply.best);
        if (!m) return 0;  // no playable answer: the game has no trustworthy result
        // 3. Keep quiet positions: not in check, a quiet best move, no mate in sight.
        const int white = side ? -reply.score : reply.score;
        if (!referee.InCheck() && !board::MoveCaptured(m) && !board::MovePromotion(m) &&
            reply.score > -board::MateBound && reply.score < board::MateBound)
            kept.push_back(WriteFen(board::Game));
        // 4. Adjudication.
        winRun[0] = white >= WinScore ? winRun[0] + 1 : 0;
        winRun[1] = white <= -WinScore ? winRun[1] + 1 : 0;
        drawRun = (ply >= DrawFromPly && white <= DrawScore && white >= -DrawScore) ? drawRun + 1 : 0;
        if (winRun[0] >= WinPlies) { result = 1.0f; break; }
        if (winRun[1] >= WinPlies) { result = 0.0f; break; }
        if (drawRun >= DrawPlies) break;
        play(m);
    }
    const char* label = result == 1.0f ? "1" : result == 0.0f ? "0" : "0.5";
    for (const std::string& fen : kept) std::fprintf(out, "%s;%s\n", fen.c_str(), label);
    return int(kept.size());
}

// A worker: plays games until it has written `quota` positions; reports each
// game's count on the pipe (4-byte writes are atomic).
int Worker(const GenOptions& o, int index, long long quota, const std::vector<std::string>& openings,
           const std::string& path, int report) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return 1;
    int ends[2];
    if (pipe(ends) == 0) dup2(ends[0], 0);  // the search's input poll finds nothing
    core::SetOutputSink(CatchReply);
    tools::SendCommand("setoption name Hash value 1");
    tools::SendCommand("setoption name OwnBook value false");
    tools::SendCommand("setoption name Use Opening Advice value false");
    tools::SendCommand("setoption name Position Learning value false");
    std::unique_ptr<board::Tree> scratch(new board::Tree());
    Referee referee;
    referee.tree = scratch.get();
    std::mt19937 random(o.seed * 7919u + unsigned(index));
    long long written = 0;
    while (written < quota) {
        const std::string& opening = openings[random() % openings.size()];
        const int n = PlayGame(o, opening, random, referee, out);
        written += n;
        const int32_t count = n;
        if (write(report, &count, sizeof count) != sizeof count) break;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tune gen --out FILE [--positions N] [--nodes N] [--jobs N] [--seed S]\n"
                 "                [--openings FILE] [--random-plies N]\n");
    return 2;
}

}  // namespace

int Gen(int argc, char** argv) {
    GenOptions o;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--out") o.out = v;
        else if (a == "--positions") o.positions = std::atoll(v);
        else if (a == "--nodes") o.nodes = std::atoi(v);
        else if (a == "--jobs") o.jobs = std::atoi(v);
        else if (a == "--seed") o.seed = unsigned(std::strtoul(v, nullptr, 10));
        else if (a == "--openings") o.openings = v;
        else if (a == "--random-plies") o.randomPlies = std::atoi(v);
        else return Usage();
    }
    if (o.out.empty() || o.positions < 1 || o.nodes < 1 || o.jobs < 1 || o.jobs > 64 || o.randomPlies < 0)
        return Usage();
    const std::vector<std::string> openings = LoadLines(o.openings);
    if (openings.empty()) {
        std::fprintf(stderr, "tune gen: no opening lines in %s\n", o.openings.c_str());
        return 1;
    }
    if (tools::InitEngineTables() != 0) return 1;
    std::fflush(nullptr);

    // 1. Workers, each with its share and its own part file.
    const auto start = std::chrono::steady_clock::now();
    int report[2];
    if (pipe(report) != 0) return 1;
    std::vector<pid_t> workers;
    std::vector<std::string> parts;
    for (int j = 0; j < o.jobs; j++) {
        const long long quota = o.positions / o.jobs + (j < o.positions % o.jobs ? 1 : 0);
        parts.push_back(o.out + ".part" + std::to_string(j));
        const pid_t pid = fork();
        if (pid < 0) return 1;
        if (pid == 0) {
            close(report[0]);
            _exit(Worker(o, j, quota, openings, parts.back(), report[1]));
        }
        workers.push_back(pid);
    }
    close(report[1]);

    // 2. Progress until every worker has closed its end of the pipe.
    const bool tty = isatty(2);
    long long total = 0, games = 0;
    int32_t count;
    while (read(report[0], &count, sizeof count) == sizeof count) {
        total += count;
        games++;
        if (tty && games % 20 == 0) {
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "\r%lld games, %lld positions, %.0f s", games, total, s);
        }
    }
    close(report[0]);
    int failed = 0;
    for (pid_t pid : workers) {
        int status = 0;
        if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) failed++;
    }
    if (tty) std::fprintf(stderr, "\n");
    if (failed) {
        std::fprintf(stderr, "tune gen: %d worker(s) failed\n", failed);
        return 1;
    }

    // 3. The parts, cut to their quotas, make the file.
    std::FILE* out = std::fopen(o.out.c_str(), "w");
    if (!out) return 1;
    long long written = 0;
    for (int j = 0; j < o.jobs; j++) {
        const long long quota = o.positions / o.jobs + (j < o.positions % o.jobs ? 1 : 0);
        std::FILE* in = std::fopen(parts[j].c_str(), "r");
        char line[256];
        long long n = 0;
        while (in && n < quota && std::fgets(line, sizeof line, in)) {
            std::fputs(line, out);
            n++;
        }
        if (in) std::fclose(in);
        std::remove(parts[j].c_str());
        written += n;
    }
    if (std::fclose(out) != 0) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("games %lld, %.0f s\n", games, seconds);
    std::printf("positions %lld\n", written);
    return 0;
}

}  // namespace tune
