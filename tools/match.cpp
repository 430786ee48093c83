// A small match runner: plays two UCI engines against each other under a
// clock, checks every move (and ponder move) for legality with the engine's
// own rules, and counts results, illegal moves, time losses and crashes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "eval/eval.h"
#include "sprt.h"
#include "uci_process.h"

namespace {

using tools::NowSeconds;
using tools::EngineProcess;

struct EngineSetup {
    std::string command;
    std::vector<std::pair<std::string, std::string>> options;
    std::string name;
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

constexpr int BalancedMargin = 50;  // centipawns either way for a usable opening

struct Totals {
    int wins = 0, draws = 0, losses = 0;  // from the first engine's view
    int illegal = 0, illegalPonder = 0, timeLosses = 0, crashes = 0;
};

// How each engine (index as in the match) spent its clock in one game or in
// all of them: milliseconds used, moves, the depth it reported last before
// each move, and the clock left after its 40th and 60th move.
struct TimeUse {
    long long usedMs[2] = {0, 0};
    int moves[2] = {0, 0};
    long long depthSum[2] = {0, 0};
    long long left40Ms[2] = {0, 0}, left60Ms[2] = {0, 0};
    int reached40[2] = {0, 0}, reached60[2] = {0, 0};

    void Add(const TimeUse& o) {
        for (int e = 0; e < 2; e++) {
            usedMs[e] += o.usedMs[e];
            moves[e] += o.moves[e];
            depthSum[e] += o.depthSum[e];
            left40Ms[e] += o.left40Ms[e];
            left60Ms[e] += o.left60Ms[e];
            reached40[e] += o.reached40[e];
            reached60[e] += o.reached60[e];
        }
    }
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
    if (!engine.Start(setup.command)) return false;
    engine.Send("uci");
    if (!engine.WaitFor("uciok", 10)) return false;
    for (const auto& o : setup.options) engine.Send("setoption name " + o.first + " value " + o.second);
    engine.Send("isready");
    return engine.WaitFor("readyok", 30);
}

// Plays one game; returns 1 if the first engine won, 0 for a draw, -1 for a loss.
int PlayGame(Referee& referee, EngineProcess* engines[2], const EngineSetup* setups[2], int firstIsWhite,
             const std::string& opening, double baseSeconds, double incSeconds, int moveTimeMs,
             int maxPlies, Totals& totals, TimeUse& use, std::string& reason) {
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
        engine.lastDepth = 0;
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
        use.usedMs[mover] += (long long)(used * 1000);
        use.depthSum[mover] += engine.lastDepth;
        int own = ++use.moves[mover];
        if (moveTimeMs <= 0 && own == 40) {
            use.left40Ms[mover] = (long long)(clock[side] * 1000);
            use.reached40[mover] = 1;
        }
        if (moveTimeMs <= 0 && own == 60) {
            use.left60Ms[mover] = (long long)(clock[side] * 1000);
            use.reached60[mover] = 1;
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

// Opening lines from a file of coordinate moves (one line each, '#' for
// comments), kept when they are legal, 6 to 16 plies long and close to level
// by the engine's own evaluation, then shuffled by the seed.
std::vector<std::string> LoadOpenings(const std::string& path, Referee& referee, unsigned seed) {
    std::vector<std::string> lines;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return lines;
    char buffer[2048];
    std::unique_ptr<board::Tree> tree(new board::Tree());
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        referee.Start();
        int plies = 0;
        bool legal = true;
        for (size_t start = 0; start < line.size() && legal;) {
            size_t end = line.find(' ', start);
            if (end == std::string::npos) end = line.size();
            std::string text = line.substr(start, end - start);
            board::Move m = referee.Find(text);
            if (m) {
                referee.Play(m, text);
                plies++;
            } else {
                legal = false;
            }
            start = end + 1;
        }
        if (!legal || plies < 6 || plies > 16 || referee.LegalMoves().empty()) continue;
        board::CopyGameBoard(board::Game, *tree);
        board::SetUpTree(*tree);
        board::NodeRecord* root = eval::SetUpRoot(*tree, board::Game);
        int score = eval::Evaluate(*tree, root, -board::MateValue, board::MateValue, 0);
        if (score < -BalancedMargin || score > BalancedMargin) continue;
        lines.push_back(line);
    }
    std::fclose(f);
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::mt19937 random(seed);
    std::shuffle(lines.begin(), lines.end(), random);
    return lines;
}

// One finished game as a worker reports it to the match.
struct GameReport {
    int pair = 0, game = 0;  // game 0: the first engine has white
    int result = 0;          // from the first engine's view
    Totals faults;
    TimeUse use;
    std::string reason, moves;
};

std::string Encode(const GameReport& r) {
    char head[512];
    const TimeUse& u = r.use;
    std::snprintf(head, sizeof head, "%d %d %d %d %d %d %d", r.pair, r.game, r.result, r.faults.illegal,
                  r.faults.illegalPonder, r.faults.timeLosses, r.faults.crashes);
    std::string text = head;
    for (int e = 0; e < 2; e++) {
        std::snprintf(head, sizeof head, " %lld %d %lld %lld %lld %d %d", u.usedMs[e], u.moves[e], u.depthSum[e],
                      u.left40Ms[e], u.left60Ms[e], u.reached40[e], u.reached60[e]);
        text += head;
    }
    return text + "\t" + r.reason + "\t" + r.moves + "\n";
}

bool Decode(const std::string& line, GameReport& r) {
    size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 == std::string::npos ? 0 : tab1 + 1);
    if (tab1 == std::string::npos || tab2 == std::string::npos) return false;
    if (std::sscanf(line.c_str(), "%d %d %d %d %d %d %d", &r.pair, &r.game, &r.result, &r.faults.illegal,
                    &r.faults.illegalPonder, &r.faults.timeLosses, &r.faults.crashes) != 7)
        return false;
    TimeUse& u = r.use;
    if (std::sscanf(line.c_str(), "%*d %*d %*d %*d %*d %*d %*d %lld %d %lld %lld %lld %d %d %lld %d %lld %lld %lld %d %d",
                    &u.usedMs[0], &u.moves[0], &u.depthSum[0], &u.left40Ms[0], &u.left60Ms[0], &u.reached40[0],
                    &u.reached60[0], &u.usedMs[1], &u.moves[1], &u.depthSum[1], &u.left40Ms[1], &u.left60Ms[1],
                    &u.reached40[1], &u.reached60[1]) != 14)
        return false;
    r.reason = line.substr(tab1 + 1, tab2 - tab1 - 1);
    r.moves = line.substr(tab2 + 1);
    return true;
}

struct MatchPlan {
    std::vector<EngineSetup> setups;
    std::vector<std::string> openings;
    int pairs = 5;
    double base = 10, inc = 0.1;
    int moveTimeMs = 0, maxPlies = 400;
};

// A worker plays every pair whose number leaves `slot` modulo `workers`, with
// engines of its own, and writes one report line per game.
void RunWorker(const MatchPlan& plan, int slot, int workers, int out) {
    Referee referee;
    referee.tree = new board::Tree();
    EngineProcess processes[2];
    const EngineSetup* setupPtr[2] = {&plan.setups[0], &plan.setups[1]};
    for (int e = 0; e < 2; e++)
        if (!StartEngine(processes[e], plan.setups[e])) _exit(3);
    for (int pair = slot; pair < plan.pairs; pair += workers) {
        const std::string& opening = plan.openings[size_t(pair) % plan.openings.size()];
        for (int game = 0; game < 2; game++) {
            GameReport r;
            r.pair = pair;
            r.game = game;
            EngineProcess* engines[2] = {&processes[0], &processes[1]};
            r.result = PlayGame(referee, engines, setupPtr, game == 0 ? 1 : 0, opening, plan.base, plan.inc,
                                plan.moveTimeMs, plan.maxPlies, r.faults, r.use, r.reason);
            for (size_t i = 0; i < referee.moves.size(); i++)
                r.moves += (i ? " " : "") + referee.moves[i];
            std::string text = Encode(r);
            if (write(out, text.data(), text.size()) != ssize_t(text.size())) _exit(4);
            for (int e = 0; e < 2; e++)
                if (!processes[e].alive) {
                    processes[e].Stop();
                    if (!StartEngine(processes[e], plan.setups[e])) _exit(3);
                }
        }
    }
    for (int e = 0; e < 2; e++) processes[e].Stop();
    delete referee.tree;
}

int MatchMain(int argc, char** argv) {
    MatchPlan plan;
    int games = 10, concurrency = 1;
    unsigned seed = 1;
    bool sprtOn = false;
    tools::Sprt sprt{0, 5};
    std::string pgnPath, openingPath;
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
            plan.setups.push_back({next("--engine"), {}, ""});
            std::string cmd = plan.setups.back().command;
            size_t slash = cmd.find_last_of('/');
            std::string name = cmd.substr(slash == std::string::npos ? 0 : slash + 1);
            plan.setups.back().name = name.substr(0, name.find(' '));
        } else if (a == "--name" && !plan.setups.empty()) {
            plan.setups.back().name = next("--name");
        } else if (a == "--option" && !plan.setups.empty()) {
            std::string o = next("--option");
            size_t eq = o.find('=');
            if (eq == std::string::npos) continue;
            plan.setups.back().options.push_back({o.substr(0, eq), o.substr(eq + 1)});
        } else if (a == "--games") {
            games = std::atoi(next("--games").c_str());
        } else if (a == "--tc") {
            std::string tc = next("--tc");
            plan.base = std::atof(tc.c_str());
            size_t plus = tc.find('+');
            plan.inc = plus == std::string::npos ? 0 : std::atof(tc.c_str() + plus + 1);
        } else if (a == "--movetime") {
            plan.moveTimeMs = std::atoi(next("--movetime").c_str());
        } else if (a == "--maxplies") {
            plan.maxPlies = std::atoi(next("--maxplies").c_str());
        } else if (a == "--pgn") {
            pgnPath = next("--pgn");
        } else if (a == "--openings") {
            openingPath = next("--openings");
        } else if (a == "--seed") {
            seed = unsigned(std::strtoul(next("--seed").c_str(), nullptr, 10));
        } else if (a == "--concurrency") {
            concurrency = std::atoi(next("--concurrency").c_str());
        } else if (a == "--sprt") {
            sprt.elo0 = std::atof(next("--sprt").c_str());
            sprt.elo1 = std::atof(next("--sprt").c_str());
            sprtOn = true;
        }
    }
    if (plan.setups.size() != 2 || games < 1 || concurrency < 1 || (sprtOn && sprt.elo1 <= sprt.elo0)) {
        std::fprintf(stderr,
                     "usage: kestrion-tool match --engine CMD [--name N] [--option NAME=VALUE]... "
                     "--engine CMD [...] [--games N] [--tc BASE+INC] [--movetime MS] [--openings FILE] "
                     "[--seed N] [--concurrency N] [--sprt ELO0 ELO1] [--pgn FILE]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    if (tools::InitEngineTables() != 0) return 1;
    Referee referee;
    referee.tree = new board::Tree();
    if (!openingPath.empty()) {
        plan.openings = LoadOpenings(openingPath, referee, seed);
        if (plan.openings.empty()) {
            std::fprintf(stderr, "match: no usable opening in %s\n", openingPath.c_str());
            return 1;
        }
    } else {
        plan.openings.assign(std::begin(Openings), std::end(Openings));
    }
    // Games go in pairs: one opening, each engine once with white. With the
    // SPRT on, the game count is only an upper limit.
    plan.pairs = (games + 1) / 2;
    if (concurrency > plan.pairs) concurrency = plan.pairs;

    std::vector<pid_t> workers;
    std::vector<int> pipes;
    for (int w = 0; w < concurrency; w++) {
        int ends[2];
        if (pipe(ends) != 0) return 1;
        pid_t pid = fork();
        if (pid == 0) {
            close(ends[0]);
            RunWorker(plan, w, concurrency, ends[1]);
            _exit(0);
        }
        close(ends[1]);
        workers.push_back(pid);
        pipes.push_back(ends[0]);
    }

    FILE* pgn = pgnPath.empty() ? nullptr : std::fopen(pgnPath.c_str(), "w");
    Totals totals;
    TimeUse use;
    tools::Pentanomial penta;
    std::vector<int> firstGame(size_t(plan.pairs), 9);
    std::vector<std::string> buffers(pipes.size());
    int played = 0, decision = 0;
    size_t open = pipes.size();
    while (open > 0 && decision == 0) {
        std::vector<pollfd> fds;
        for (int fd : pipes)
            if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), nfds_t(fds.size()), 1000) <= 0) continue;
        for (size_t w = 0; w < pipes.size() && decision == 0; w++) {
            if (pipes[w] < 0) continue;
            pollfd* mine = nullptr;
            for (pollfd& f : fds)
                if (f.fd == pipes[w]) mine = &f;
            if (!mine || !(mine->revents & (POLLIN | POLLHUP))) continue;
            char chunk[8192];
            ssize_t n = read(pipes[w], chunk, sizeof chunk);
            if (n <= 0) {
                close(pipes[w]);
                pipes[w] = -1;
                open--;
                continue;
            }
            buffers[w].append(chunk, size_t(n));
            size_t nl;
            while ((nl = buffers[w].find('\n')) != std::string::npos && decision == 0) {
                GameReport r;
                std::string line = buffers[w].substr(0, nl);
                buffers[w].erase(0, nl + 1);
                if (!Decode(line, r) || r.pair < 0 || r.pair >= plan.pairs) continue;
                played++;
                if (r.result > 0) totals.wins++;
                else if (r.result < 0) totals.losses++;
                else totals.draws++;
                totals.illegal += r.faults.illegal;
                totals.illegalPonder += r.faults.illegalPonder;
                totals.timeLosses += r.faults.timeLosses;
                totals.crashes += r.faults.crashes;
                use.Add(r.use);
                const char* whiteName = plan.setups[r.game == 0 ? 0 : 1].name.c_str();
                const char* blackName = plan.setups[r.game == 0 ? 1 : 0].name.c_str();
                int whiteResult = r.game == 0 ? r.result : -r.result;
                const char* resultText = whiteResult > 0 ? "1-0" : whiteResult < 0 ? "0-1" : "1/2-1/2";
                size_t plies = r.moves.empty() ? 0 : size_t(std::count(r.moves.begin(), r.moves.end(), ' ')) + 1;
                std::printf("game %d: %s - %s %s (%s, %zu plies)\n", played, whiteName, blackName, resultText,
                            r.reason.c_str(), plies);
                if (pgn) {
                    std::fprintf(pgn, "[White \"%s\"]\n[Black \"%s\"]\n[Result \"%s\"]\n[Termination \"%s\"]\n\n%s %s\n\n",
                                 whiteName, blackName, resultText, r.reason.c_str(), r.moves.c_str(), resultText);
                    std::fflush(pgn);
                }
                double score = (r.result + 1) / 2.0;
                int& other = firstGame[size_t(r.pair)];
                if (other == 9) {
                    other = r.result;
                } else {
                    penta.Add((other + 1) / 2.0, score);
                    if (sprtOn) {
                        std::printf("pairs %lld, LLR %.2f (%.2f, %.2f)\n", (long long)penta.Pairs(),
                                    sprt.Llr(penta), sprt.LowerBound(), sprt.UpperBound());
                        decision = sprt.Decide(penta);
                    }
                }
                std::fflush(stdout);
            }
        }
    }
    // A decided test stops the games still running.
    for (pid_t pid : workers)
        if (decision != 0) kill(pid, SIGTERM);
    for (pid_t pid : workers) waitpid(pid, nullptr, 0);
    for (int fd : pipes)
        if (fd >= 0) close(fd);
    if (pgn) std::fclose(pgn);

    const int total = totals.wins + totals.draws + totals.losses;
    std::printf("%s vs %s: +%d =%d -%d, illegal moves %d, illegal ponder moves %d, time losses %d, "
                "crashes %d\n",
                plan.setups[0].name.c_str(), plan.setups[1].name.c_str(), totals.wins, totals.draws,
                totals.losses, totals.illegal, totals.illegalPonder, totals.timeLosses, totals.crashes);
    for (int e = 0; e < 2; e++) {
        if (use.moves[e] == 0) continue;
        std::printf("%s: %d moves, %.0f ms per move, depth %.1f", plan.setups[size_t(e)].name.c_str(), use.moves[e],
                    double(use.usedMs[e]) / use.moves[e], double(use.depthSum[e]) / use.moves[e]);
        if (use.reached40[e])
            std::printf(", clock left after move 40 %.2f s (%d games)", use.left40Ms[e] / 1000.0 / use.reached40[e],
                        use.reached40[e]);
        if (use.reached60[e])
            std::printf(", after move 60 %.2f s (%d games)", use.left60Ms[e] / 1000.0 / use.reached60[e],
                        use.reached60[e]);
        std::printf("\n");
    }
    tools::EloEstimate elo = tools::Estimate(penta);
    std::printf("pairs %lld, pentanomial [%lld %lld %lld %lld %lld], Elo %.1f +/- %.1f, draws %.1f%%\n",
                (long long)penta.Pairs(), (long long)penta.counts[0], (long long)penta.counts[1],
                (long long)penta.counts[2], (long long)penta.counts[3], (long long)penta.counts[4], elo.elo,
                elo.margin, total ? totals.draws * 100.0 / total : 0.0);
    if (sprtOn)
        std::printf("SPRT elo0 %g elo1 %g: LLR %.2f (%.2f, %.2f), %s\n", sprt.elo0, sprt.elo1, sprt.Llr(penta),
                    sprt.LowerBound(), sprt.UpperBound(),
                    decision > 0 ? "H1 accepted" : decision < 0 ? "H0 accepted" : "undecided");
    double score = total ? (totals.wins + 0.5 * totals.draws) * 100.0 / total : 0.0;
    std::printf("score %.1f%%\n", score);
    delete referee.tree;
    return 0;
}

}  // namespace

KESTRION_TOOL(Match, "match",
              "match --engine CMD [--option N=V]... --engine CMD [...] [--games N] [--tc B+I] [--sprt E0 E1]",
              MatchMain);
