// The engine with our own tables on NalimovPath, driven move by move through
// standard input: it announces the mate distance the tables give, plays a
// shortest mate against the longest defence, and in a drawn ending with more
// material searches only the moves that keep the draw. Release build only:
// the sanitizer build solves the tables too slowly for it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "solver_check.h"
#include "tablebases/tbtables.h"
#include "tb_writer.h"
#include "tbgen/writer.h"

namespace {

using endgame::Position;

// One engine process, one command at a time.
class Session {
public:
    Session() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        signal(SIGPIPE, SIG_IGN);
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(KESTRION_BINARY, KESTRION_BINARY, "cs2000", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toEngine = in[1];
        fromEngine = out[0];
    }
    ~Session() {
        Send("quit");
        close(toEngine);
        close(fromEngine);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    void Send(const std::string& line) {
        const std::string text = line + "\n";
        if (write(toEngine, text.data(), text.size()) < 0) return;
    }
    // Lines up to and including the first one starting with `prefix`.
    std::vector<std::string> ReadUntil(const std::string& prefix, double seconds = 60) {
        std::vector<std::string> lines;
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                lines.push_back(pending.substr(0, eol));
                pending.erase(0, eol + 1);
                if (lines.back().compare(0, prefix.size(), prefix) == 0) return lines;
            }
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds) break;
            pollfd fd = {fromEngine, POLLIN, 0};
            if (poll(&fd, 1, 200) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(fromEngine, buffer, sizeof buffer);
            if (n <= 0) break;
            pending.append(buffer, size_t(n));
        }
        ADD_FAILURE() << "no \"" << prefix << "\" from the engine";
        return lines;
    }

private:
    pid_t pid = -1;
    int toEngine = -1, fromEngine = -1;
    std::string pending;
};

// The last number after `key` in the search's output, or -1.
long LastNumber(const std::vector<std::string>& lines, const std::string& key) {
    long value = -1;
    for (const std::string& line : lines) {
        const size_t at = line.rfind(key);
        if (at != std::string::npos) value = std::strtol(line.c_str() + at + key.size(), nullptr, 10);
    }
    return value;
}

std::string Uci(const Position& p, const endgame::Move& m) {
    std::string s;
    for (int sq : {int(p.square[m.man]), int(m.to)}) {
        s += char('a' + sq % 8);
        s += char('1' + sq / 8);
    }
    if (m.promo != endgame::NoPiece) s += "?qrbn"[m.promo];
    return s;
}

bool FindMove(const Position& p, const std::string& uci, endgame::Move& found) {
    endgame::Move moves[256];
    const int n = endgame::GenerateMoves(p, moves);
    for (int i = 0; i < n; i++)
        if (Uci(p, moves[i]) == uci) {
            found = moves[i];
            return true;
        }
    return false;
}

int Score(const endgame::Solver& solver, const Position& p) {
    int s = 0;
    EXPECT_TRUE(solver.Probe(p, s)) << endgame::WriteFen(p);
    return s;
}

// Our tables for the materials, in a scratch directory.
class EngineTables : public ::testing::Test {
protected:
    void Write(const std::vector<std::string>& names) {
        tbgen::WriteOptions options;
        options.dir = dir.path;
        options.compress = true;
        for (const std::string& name : names) {
            tbgen::WriteStats stats;
            std::string error;
            ASSERT_TRUE(tbgen::WriteTable(solver, tbgen::TableNumber(name), options, stats, error)) << error;
        }
    }
    void Open(Session& engine) {
        engine.Send("uci");
        engine.ReadUntil("uciok");
        engine.Send("setoption name OwnBook value false");
        engine.Send("setoption name NalimovPath value " + dir.path);
        engine.Send("isready");
        engine.ReadUntil("readyok");
    }

    // Plays the winner's moves with the engine and the loser's longest
    // defence from the solver until mate; every engine move must keep the
    // shortest distance and the announced mate must be the tables'.
    void PlayMate(const std::string& fen) {
        Session engine;
        Open(engine);
        Position p;
        ASSERT_TRUE(endgame::ReadFen(fen, p));
        std::string moves;
        int engineMoves = 0;
        for (;;) {
            endgame::Move list[256];
            const int n = endgame::GenerateMoves(p, list);
            if (n == 0) break;
            const int before = Score(solver, p);
            ASSERT_GT(before, 0) << endgame::WriteFen(p);
            const int mateIn = (endgame::Plies(before) + 1) / 2;
            engine.Send("position fen " + fen + (moves.empty() ? "" : " moves" + moves));
            engine.Send("go depth 6");
            const std::vector<std::string> out = engine.ReadUntil("bestmove");
            ASSERT_FALSE(out.empty());
            EXPECT_EQ(LastNumber(out, " score mate "), mateIn) << endgame::WriteFen(p);
            EXPECT_GT(LastNumber(out, " tbhits "), 0) << endgame::WriteFen(p);
            const std::string best = out.back().substr(9, out.back().find(' ', 9) - 9);
            endgame::Move m;
            ASSERT_TRUE(FindMove(p, best, m)) << best << " in " << endgame::WriteFen(p);
            p = endgame::MakeMove(p, m);
            moves += " " + best;
            engineMoves++;
            const int after = Score(solver, p);
            ASSERT_EQ(endgame::Plies(after), endgame::Plies(before) - 1)
                << best << " does not keep the shortest mate in " << endgame::WriteFen(p);
            // The longest defence, or mate.
            const int replies = endgame::GenerateMoves(p, list);
            if (replies == 0) break;
            int pick = 0, longest = -1;
            for (int i = 0; i < replies; i++) {
                const int plies = endgame::Plies(Score(solver, endgame::MakeMove(p, list[i])));
                if (plies > longest) longest = plies, pick = i;
            }
            moves += " " + Uci(p, list[pick]);
            p = endgame::MakeMove(p, list[pick]);
        }
        EXPECT_EQ(engineMoves, (endgame::Plies(Score(solver, ReadStart(fen))) + 1) / 2);
    }

    static Position ReadStart(const std::string& fen) {
        Position p;
        endgame::ReadFen(fen, p);
        return p;
    }

    endgame::Solver solver{endgame::SolveOptions()};
    tbtest::ScratchDir dir;
};

TEST_F(EngineTables, ShortestMateWithQueenAgainstRook) {
    Write({"kqk", "krk", "kqkr"});
    // Mate in 35, the longest of the ending.
    PlayMate("8/8/8/8/2r5/8/2k5/K6Q w - - 0 1");
}

TEST_F(EngineTables, ShortestMateWithBishopAndKnight) {
    Write({"kbk", "knk", "kbnk"});
    // Mate in 33, the longest of the ending.
    PlayMate("8/8/7N/8/8/8/8/K1k1B3 w - - 0 1");
}

// Drawn king and queen against king and rook positions with white to move
// where some moves lose: only drawing moves may be played, and the tables
// are probed at the root and for each root move only.
TEST_F(EngineTables, DrawnRootSearchesOnlyTheDrawingMoves) {
    Write({"kqk", "krk", "kqkr"});
    std::vector<std::string> fens;
    std::vector<std::vector<std::string>> drawing;
    std::vector<int> legal;
    for (int wk = 0; wk < 64 && fens.size() < 8; wk += 9)
        for (int bk = 0; bk < 64 && fens.size() < 8; bk += 5)
            for (int q = 0; q < 64 && fens.size() < 8; q += 7)
                for (int r = 0; r < 64 && fens.size() < 8; r += 3) {
                    Position p;
                    p.count = 4;
                    const endgame::PieceType types[4] = {endgame::King, endgame::King, endgame::Queen, endgame::Rook};
                    const endgame::Colour colours[4] = {endgame::White, endgame::Black, endgame::White, endgame::Black};
                    const int squares[4] = {wk, bk, q, r};
                    for (int i = 0; i < 4; i++) {
                        p.type[i] = types[i];
                        p.colour[i] = colours[i];
                        p.square[i] = uint8_t(squares[i]);
                    }
                    int s;
                    if (!solver.Probe(p, s) || s != 0) continue;
                    endgame::Move list[256];
                    const int n = endgame::GenerateMoves(p, list);
                    std::vector<std::string> draws;
                    int losses = 0;
                    for (int i = 0; i < n; i++) {
                        const int child = Score(solver, endgame::MakeMove(p, list[i]));
                        if (child > 0) losses++;
                        else if (child == 0) draws.push_back(Uci(p, list[i]));
                    }
                    if (draws.size() < 2 || losses < n / 2) continue;
                    fens.push_back(endgame::WriteFen(p));
                    drawing.push_back(draws);
                    legal.push_back(n);
                }
    ASSERT_GE(fens.size(), 4u);
    Session engine;
    Open(engine);
    for (size_t k = 0; k < fens.size(); k++) {
        engine.Send("position fen " + fens[k]);
        engine.Send("go depth 3");
        const std::vector<std::string> out = engine.ReadUntil("bestmove");
        ASSERT_FALSE(out.empty());
        const std::string best = out.back().substr(9, out.back().find(' ', 9) - 9);
        EXPECT_NE(std::find(drawing[k].begin(), drawing[k].end(), best), drawing[k].end())
            << best << " loses in " << fens[k];
        // The root and each root move, nothing in the tree.
        EXPECT_EQ(LastNumber(out, " tbhits "), 1 + legal[k]) << fens[k];
        for (const std::string& line : out)
            if (line.find(" currmove ") != std::string::npos) {
                const std::string move = line.substr(line.find(" currmove ") + 10, 4);
                EXPECT_NE(std::find(drawing[k].begin(), drawing[k].end(), move), drawing[k].end()) << line;
            }
    }
    // With searchmoves given the host's list stands.
    engine.Send("position fen " + fens[0]);
    engine.Send("go depth 3 searchmoves " + drawing[0][0]);
    const std::vector<std::string> out = engine.ReadUntil("bestmove");
    EXPECT_EQ(out.back().substr(9, drawing[0][0].size()), drawing[0][0]);
    EXPECT_NE(LastNumber(out, " tbhits "), 1 + legal[0]);
}

}  // namespace
