#include "endgame_helpers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace endgametest {

using namespace endgame;

const Table* Solve(Solver& solver, const std::string& material) {
    Material m;
    std::string error;
    EXPECT_TRUE(ParseMaterial(material, m, error)) << error;
    const Table* t = solver.Get(m, error);
    EXPECT_NE(t, nullptr) << error;
    return t;
}

namespace {

// Like Solver::OnePly, with the plain moves looked up in the table directly
// (most moves; the generic probe does the rest).
bool OnePly(const Solver& solver, const Table& t, const Position& p, const uint8_t* sq, int& score) {
    Move moves[256];
    int n = GenerateMoves(p, moves);
    if (n == 0) return solver.OnePly(p, score);
    score = -WinScore;
    uint8_t after[MaxMen];
    for (int k = 0; k < n; k++) {
        const Move& m = moves[k];
        int child;
        if (m.victim < 0 && m.promo == NoPiece && !m.doubleStep) {
            std::copy(sq, sq + t.Men(), after);
            after[m.man] = m.to;
            child = ScoreOf(t.Value(Colour(p.stm ^ 1), t.Index(after)));
        } else if (!solver.Probe(MakeMove(p, m), child)) {
            return false;
        }
        score = std::max(score, Parent(child));
    }
    return true;
}

}  // namespace

uint64_t OnePlyMismatches(const Solver& solver, const Table& t, std::string& first) {
    std::atomic<uint64_t> bad{0};
    std::atomic<uint32_t> next{0};
    std::mutex lock;
    const uint32_t chunk = 1 << 14;
    auto work = [&]() {
        uint8_t sq[MaxMen];
        for (uint32_t begin; (begin = next.fetch_add(chunk)) < t.Size();) {
            uint32_t end = std::min(t.Size(), begin + chunk);
            for (uint32_t i = begin; i < end; i++) {
                if (!t.Decode(i, sq)) continue;
                for (int side = White; side <= Black; side++) {
                    uint8_t v = t.Value(Colour(side), i);
                    if (v == Broken) continue;
                    Position p = t.ToPosition(sq, Colour(side));
                    int score;
                    if (OnePly(solver, t, p, sq, score) && score == ScoreOf(v)) continue;
                    if (bad.fetch_add(1) == 0) {
                        std::lock_guard<std::mutex> g(lock);
                        first = WriteFen(p) + " stored " + Describe(ScoreOf(v)) + ", one ply gives " + Describe(score);
                    }
                }
            }
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    return bad.load();
}

std::string Describe(int score) {
    if (score == 0) return "draw";
    int plies = Plies(score);
    return score > 0 ? "win " + std::to_string((plies + 1) / 2) : "loss " + std::to_string(plies / 2);
}

int RunTool(const std::string& args, const std::string& input, std::string& output) {
    char inName[] = "/tmp/kestrion-solve-in-XXXXXX";
    int fd = mkstemp(inName);
    if (fd < 0) return -1;
    FILE* f = fdopen(fd, "w");
    std::fputs(input.c_str(), f);
    std::fclose(f);
    std::string command = std::string(KESTRION_TOOL) + " solve " + args + " < " + inName + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    output.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    std::remove(inName);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace endgametest
