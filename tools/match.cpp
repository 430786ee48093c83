// A small match runner: plays two UCI engines against each other under a
// clock, checks every move (and ponder move) for legality with the engine's
// own rules, and counts results, illegal moves, time losses and crashes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "eval/eval.h"

namespace {

double NowSeconds() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

struct EngineSetup {
    std::string command;
    std::vector<std::pair<std::string, std::string>> options;
    std::string name;
};

class EngineProcess {
public:
    bool Start(const EngineSetup& setup) {
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
            execl("/bin/sh", "sh", "-c", ("exec " + setup.command).c_str(), (char*)nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        input = toChild[1];
        output = fromChild[0];
        alive = true;
        return true;
    }

    void Send(const std::string& line) {
        if (!alive) return;
        std::string text = line + "\n";
        if (write(input, text.data(), text.size()) != ssize_t(text.size())) alive = false;
    }

    // Next line, or false on time-out or when the engine is gone.
    bool ReadLine(std::string& line, double timeoutSeconds) {
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

    bool WaitFor(const std::string& prefix, double timeoutSeconds, std::string* found = nullptr) {
        std::string line;
        double deadline = NowSeconds() + timeoutSeconds;
        while (ReadLine(line, deadline - NowSeconds())) {
            if (line.compare(0, prefix.size(), prefix) == 0) {
                if (found) *found = line;
                return true;
            }
        }
        return false;
    }

    void Stop() {
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

    bool alive = false;

private:
    pid_t pid = -1;
    int input = -1, output = -1;
    std::string buffer;
};

// The game as the referee keeps it.
struct Referee {
    board::Tree* tree = nullptr;
    std::vector<std::string> moves;
    std::vector<std::string> positions;  // board + side + flags, for repetitions

    void Start() {
        board::SetStartPosition(board::Game);
        board::StartGame(board::Game);
        moves.clear();
        positions.clear();
        positions.push_back(Signature());
    }

    int Side() const { return board::Game.states.back().side; }

    std::string Signature() const {
        const board::GameState& s = board::Game.states.back();
        std::string sig(reinterpret_cast<const char*>(board::Game.board + 1), 64);
        sig += char('0' + s.side);
        sig += std::to_string(s.flags);
        return sig;
    }

    // Legal moves of the current position.
    std::vector<board::Move> LegalMoves() {
        std::vector<board::Move> legal;
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
        board::NodeRecord* root = board::SetUpSearchNodes(*tree, board::Game);
        board::Move moves[256];
        int count = board::LegalMoves(*tree, root, moves, 256);
        legal.assign(moves, moves + count);
        return legal;
    }

    board::Move Find(const std::string& text) {
        for (board::Move m : LegalMoves()) {
            char buffer[16];
            board::WriteMoveText(buffer, m);
            if (text == buffer) return m;
        }
        return 0;
    }

    bool InCheck() {
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
        int side = Side();
        return board::InCheck(*tree, side) != 0;
    }

    void Play(board::Move move, const std::string& text) {
        board::PlayGameMove(board::Game, move);
        moves.push_back(text);
        if (board::IsIrreversible(move)) positions.clear();
        positions.push_back(Signature());
    }

    int Repetitions() const {
        int count = 0;
        for (const std::string& p : positions) count += p == positions.back();
        return count;
    }

    bool InsufficientMaterial() const {
        int minors = 0;
        for (int sq = 1; sq <= 64; sq++) {
            int code = board::Game.board[sq];
            if (!code || board::IsKing(code)) continue;
            if ((code & 7) == 3 || (code & 7) == 5) minors++;
            else return false;
        }
        return minors <= 1;
    }
};

struct Totals {
    int wins = 0, draws = 0, losses = 0;  // from the first engine's view
    int illegal = 0, illegalPonder = 0, timeLosses = 0, crashes = 0;
};

const char* const Openings[] = {
    "e2e4 e7e5 g1f3 b8c6", "e2e4 c7c5 g1f3 d7d6", "d2d4 d7d5 c2c4 e7e6", "d2d4 g8f6 c2c4 g7g6",
    "e2e4 e7e6 d2d4 d7d5", "e2e4 c7c6 d2d4 d7d5", "c2c4 e7e5 b1c3 g8f6", "g1f3 d7d5 g2g3 g8f6",
    "d2d4 g8f6 c2c4 e7e6", "e2e4 d7d6 d2d4 g8f6", "e2e4 e7e5 f1c4 g8f6", "d2d4 d7d5 g1f3 g8f6",
    "e2e4 c7c5 b1c3 b8c6", "c2c4 c7c5 g1f3 g8f6", "d2d4 f7f5 g2g3 g8f6", "e2e4 g7g6 d2d4 f8g7",
    "b2b3 e7e5 c1b2 b8c6", "e2e4 e7e5 g1f3 g8f6", "d2d4 d7d5 c2c4 c7c6", "e2e4 b8c6 d2d4 d7d5",
    "d2d4 g8f6 g1f3 e7e6", "e2e4 c7c5 c2c3 g8f6", "e2e4 d7d5 e4d5 d8d5", "f2f4 d7d5 g1f3 g8f6",
    "d2d4 e7e6 c2c4 f8b4", "e2e4 e7e5 b1c3 g8f6", "c2c4 g8f6 b1c3 e7e6", "g1f3 c7c5 c2c4 b8c6",
    "e2e4 c7c5 g1f3 e7e6", "d2d4 g8f6 c2c4 c7c5", "e2e4 e7e5 d2d4 e5d4", "d2d4 d7d5 c1f4 g8f6",
    "e2e4 g8f6 e4e5 f6d5", "d2d4 g8f6 c1g5 e7e6", "e2e4 c7c6 b1c3 d7d5", "c2c4 e7e6 b1c3 d7d5",
    "g2g3 d7d5 f1g2 e7e5", "e2e4 e7e5 g1f3 d7d6", "d2d4 c7c5 d4d5 e7e5", "e2e4 c7c5 g1f3 b8c6",
};

bool StartEngine(EngineProcess& engine, const EngineSetup& setup) {
    if (!engine.Start(setup)) return false;
    engine.Send("uci");
    if (!engine.WaitFor("uciok", 10)) return false;
    for (const auto& o : setup.options) engine.Send("setoption name " + o.first + " value " + o.second);
    engine.Send("isready");
    return engine.WaitFor("readyok", 30);
}

// Plays one game; returns 1 if the first engine won, 0 for a draw, -1 for a loss.
int PlayGame(Referee& referee, EngineProcess* engines[2], const EngineSetup* setups[2], int firstIsWhite,
             const std::string& opening, double baseSeconds, double incSeconds, int moveTimeMs,
             int maxPlies, Totals& totals, std::string& reason) {
    referee.Start();
    for (size_t start = 0; start < opening.size();) {
        size_t end = opening.find(' ', start);
        if (end == std::string::npos) end = opening.size();
        std::string text = opening.substr(start, end - start);
        board::Move m = referee.Find(text);
        if (m) referee.Play(m, text);
        start = end + 1;
    }
    double clock[2] = {baseSeconds, baseSeconds};
    for (int e = 0; e < 2; e++) {
        engines[e]->Send("ucinewgame");
        engines[e]->Send("isready");
        if (!engines[e]->WaitFor("readyok", 30)) {
            totals.crashes++;
            reason = setups[e]->name + " did not answer isready";
            return (e == 0) ? -1 : 1;
        }
    }
    for (;;) {
        int side = referee.Side();
        int mover = (side == 0) == (firstIsWhite == 1) ? 0 : 1;  // engine index
        std::vector<board::Move> legal = referee.LegalMoves();
        if (legal.empty()) {
            if (referee.InCheck()) {
                reason = "checkmate";
                return mover == 0 ? -1 : 1;
            }
            reason = "stalemate";
            return 0;
        }
        if (referee.Repetitions() >= 3) { reason = "repetition"; return 0; }
        if (referee.positions.size() > 100) { reason = "fifty moves"; return 0; }
        if (referee.InsufficientMaterial()) { reason = "insufficient material"; return 0; }
        if (int(referee.moves.size()) >= maxPlies) { reason = "move limit"; return 0; }

        std::string position = "position startpos";
        if (!referee.moves.empty()) {
            position += " moves";
            for (const std::string& m : referee.moves) position += " " + m;
        }
        EngineProcess& engine = *engines[mover];
        engine.Send(position);
        // Clocks are kept by colour: clock[0] white, clock[1] black.
        char go[200];
        if (moveTimeMs > 0)
            std::snprintf(go, sizeof go, "go movetime %d", moveTimeMs);
        else
            std::snprintf(go, sizeof go, "go wtime %d btime %d winc %d binc %d", int(clock[0] * 1000),
                          int(clock[1] * 1000), int(incSeconds * 1000), int(incSeconds * 1000));
        double started = NowSeconds();
        engine.Send(go);
        double allowance = moveTimeMs > 0 ? moveTimeMs / 1000.0 + 5.0 : clock[side] + 5.0;
        std::string line;
        if (!engine.WaitFor("bestmove", allowance, &line)) {
            if (!engine.alive) {
                totals.crashes++;
                reason = setups[mover]->name + " crashed";
            } else {
                totals.timeLosses++;
                reason = setups[mover]->name + " never answered";
            }
            return mover == 0 ? -1 : 1;
        }
        double used = NowSeconds() - started;
        if (moveTimeMs <= 0) {
            clock[side] -= used;
            if (clock[side] < 0) {
                totals.timeLosses++;
                char detail[256];
                std::snprintf(detail, sizeof detail, " lost on time (%s, used %d ms)", go,
                              int(used * 1000));
                reason = setups[mover]->name + detail;
                return mover == 0 ? -1 : 1;
            }
            clock[side] += incSeconds;
        }
        char best[64] = "", ponderWord[64] = "", ponder[64] = "";
        std::sscanf(line.c_str(), "bestmove %63s %63s %63s", best, ponderWord, ponder);
        board::Move move = referee.Find(best);
        if (!move) {
            totals.illegal++;
            reason = setups[mover]->name + " played illegal move " + best;
            return mover == 0 ? -1 : 1;
        }
        referee.Play(move, best);
        if (std::strcmp(ponderWord, "ponder") == 0 && ponder[0] && !referee.LegalMoves().empty() &&
            !referee.Find(ponder)) {
            totals.illegalPonder++;
            std::fprintf(stderr, "%s: illegal ponder move %s after %s\n", setups[mover]->name.c_str(),
                         ponder, best);
        }
    }
}

int MatchMain(int argc, char** argv) {
    std::vector<EngineSetup> setups;
    int games = 10, moveTimeMs = 0, maxPlies = 400;
    double base = 10, inc = 0.1;
    std::string pgnPath;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto next = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "match: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--engine") {
            setups.push_back({next("--engine"), {}, ""});
            std::string cmd = setups.back().command;
            size_t slash = cmd.find_last_of('/');
            std::string name = cmd.substr(slash == std::string::npos ? 0 : slash + 1);
            setups.back().name = name.substr(0, name.find(' '));
        } else if (a == "--name" && !setups.empty()) {
            setups.back().name = next("--name");
        } else if (a == "--option" && !setups.empty()) {
            std::string o = next("--option");
            size_t eq = o.find('=');
            if (eq == std::string::npos) continue;
            setups.back().options.push_back({o.substr(0, eq), o.substr(eq + 1)});
        } else if (a == "--games") {
            games = std::atoi(next("--games").c_str());
        } else if (a == "--tc") {
            std::string tc = next("--tc");
            base = std::atof(tc.c_str());
            size_t plus = tc.find('+');
            inc = plus == std::string::npos ? 0 : std::atof(tc.c_str() + plus + 1);
        } else if (a == "--movetime") {
            moveTimeMs = std::atoi(next("--movetime").c_str());
        } else if (a == "--maxplies") {
            maxPlies = std::atoi(next("--maxplies").c_str());
        } else if (a == "--pgn") {
            pgnPath = next("--pgn");
        }
    }
    if (setups.size() != 2 || games < 1) {
        std::fprintf(stderr,
                     "usage: kestrion-tool match --engine CMD [--name N] [--option NAME=VALUE]... "
                     "--engine CMD [...] [--games N] [--tc BASE+INC] [--movetime MS]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    board::InitBoardTables();
    eval::InitEvalTables();
    Referee referee;
    referee.tree = new board::Tree();

    EngineProcess processes[2];
    Totals totals;
    const EngineSetup* setupPtr[2] = {&setups[0], &setups[1]};
    for (int e = 0; e < 2; e++)
        if (!StartEngine(processes[e], setups[e])) {
            std::fprintf(stderr, "match: cannot start %s\n", setups[e].command.c_str());
            return 1;
        }
    FILE* pgn = pgnPath.empty() ? nullptr : std::fopen(pgnPath.c_str(), "w");
    int openingCount = int(sizeof Openings / sizeof Openings[0]);
    for (int g = 0; g < games; g++) {
        int firstIsWhite = (g % 2 == 0) ? 1 : 0;
        std::string opening = Openings[(g / 2) % openingCount];
        EngineProcess* engines[2] = {&processes[0], &processes[1]};
        std::string reason;
        int result = PlayGame(referee, engines, setupPtr, firstIsWhite, opening, base, inc, moveTimeMs,
                              maxPlies, totals, reason);
        if (result > 0) totals.wins++;
        else if (result < 0) totals.losses++;
        else totals.draws++;
        const char* whiteName = setups[firstIsWhite ? 0 : 1].name.c_str();
        const char* blackName = setups[firstIsWhite ? 1 : 0].name.c_str();
        int whiteResult = firstIsWhite ? result : -result;
        const char* resultText = whiteResult > 0 ? "1-0" : whiteResult < 0 ? "0-1" : "1/2-1/2";
        std::printf("game %d: %s - %s %s (%s, %zu plies)\n", g + 1, whiteName, blackName, resultText,
                    reason.c_str(), referee.moves.size());
        std::fflush(stdout);
        if (pgn) {
            std::fprintf(pgn, "[White \"%s\"]\n[Black \"%s\"]\n[Result \"%s\"]\n[Termination \"%s\"]\n\n",
                         whiteName, blackName, resultText, reason.c_str());
            for (const std::string& m : referee.moves) std::fprintf(pgn, "%s ", m.c_str());
            std::fprintf(pgn, "%s\n\n", resultText);
        }
        for (int e = 0; e < 2; e++)
            if (!processes[e].alive) {
                processes[e].Stop();
                if (!StartEngine(processes[e], setups[e])) return 1;
            }
    }
    if (pgn) std::fclose(pgn);
    for (int e = 0; e < 2; e++) processes[e].Stop();
    double score = (totals.wins + 0.5 * totals.draws) * 100.0 / games;
    std::printf("%s vs %s: +%d =%d -%d, illegal moves %d, illegal ponder moves %d, time losses %d, "
                "crashes %d\n",
                setups[0].name.c_str(), setups[1].name.c_str(), totals.wins, totals.draws, totals.losses,
                totals.illegal, totals.illegalPonder, totals.timeLosses, totals.crashes);
    std::printf("score %.1f%%\n", score);
    delete referee.tree;
    return 0;
}

}  // namespace

KESTRION_TOOL(Match, "match", "match --engine CMD [--option N=V]... --engine CMD [...] [--games N] [--tc B+I]",
              MatchMain);
