// solve: builds the endgame tables of a material with the retrograde
// solver, prints their statistics, or answers FENs read from stdin.
#include <unistd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "command.h"
#include "endgame/solver.h"

namespace {

using namespace endgame;

void ShowProgress(const Progress& p) {
    int left = int(p.secondsLeft + 0.5);
    std::fprintf(stderr, "\r%-6s %-8s %5.1f%% %7.2fM pos/s %3d:%02d left ", p.table.c_str(), p.step.c_str(),
                 100 * p.fraction, p.rate / 1e6, left / 60, left % 60);
    std::fflush(stderr);
}

bool PrepareDirectory(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "solve: cannot create directory %s: %s\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    std::string probe = dir + "/.kestrion-write-test";
    FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "solve: cannot write to directory %s: %s\n", dir.c_str(), std::strerror(errno));
        return false;
    }
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

std::string Describe(int score) {
    if (score == 0) return "draw";
    int plies = Plies(score);
    if (score > 0) return "win " + std::to_string((plies + 1) / 2);
    return "loss " + std::to_string(plies / 2);
}

void PrintSummary(const Table& t) {
    uint64_t positions = 0;
    std::printf("material %s\n", t.GetMaterial().Name().c_str());
    for (int side = White; side <= Black; side++) {
        uint64_t wins = 0, draws = 0, losses = 0;
        int longest = 0;
        uint32_t example = 0;
        for (uint32_t i = 0; i < t.Size(); i++) {
            uint8_t v = t.Value(Colour(side), i);
            if (v == Broken) continue;
            int s = ScoreOf(v);
            if (s > 0) {
                wins++;
                if (Plies(s) > longest) {
                    longest = Plies(s);
                    example = i;
                }
            } else if (s < 0) {
                losses++;
            } else {
                draws++;
            }
        }
        positions += wins + draws + losses;
        std::printf("%s to move: wins %" PRIu64 ", draws %" PRIu64 ", losses %" PRIu64, side == White ? "white" : "black",
                    wins, draws, losses);
        if (longest) {
            uint8_t sq[MaxMen];
            t.Decode(example, sq);
            std::printf(", longest win %d moves: %s", (longest + 1) / 2,
                        WriteFen(t.ToPosition(sq, Colour(side))).c_str());
        }
        std::printf("\n");
    }
    std::printf("positions %" PRIu64 "\n", positions);
}

int RunSolve(int argc, char** argv) {
    SolveOptions options;
    std::string materialText;
    bool probe = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--threads" && i + 1 < argc) {
            options.threads = std::atoi(argv[++i]);
            if (options.threads < 1 || options.threads > 64) {
                std::fprintf(stderr, "solve: --threads takes 1 to 64\n");
                return 2;
            }
        } else if (arg == "--dir" && i + 1 < argc) {
            options.dir = argv[++i];
        } else if (arg == "--probe") {
            probe = true;
        } else if (materialText.empty() && arg[0] != '-') {
            materialText = arg;
        } else {
            std::fprintf(stderr, "usage: solve MATERIAL [--threads N] [--dir DIR] [--probe]\n");
            return 2;
        }
    }
    Material material;
    std::string error;
    if (materialText.empty()) {
        std::fprintf(stderr, "solve: no material given\nusage: solve MATERIAL [--threads N] [--dir DIR] [--probe]\n");
        return 2;
    }
    if (!ParseMaterial(materialText, material, error)) {
        std::fprintf(stderr, "solve: bad material %s: %s\n", materialText.c_str(), error.c_str());
        return 2;
    }
    if (!options.dir.empty() && !PrepareDirectory(options.dir)) return 1;
    bool terminal = isatty(STDERR_FILENO);
    if (terminal) options.progress = ShowProgress;

    Solver solver(options);
    const Table* table = solver.Get(material, error);
    if (terminal) std::fprintf(stderr, "\r%60s\r", "");
    if (!table) {
        std::fprintf(stderr, "solve: %s\n", error.c_str());
        return 1;
    }
    if (!probe) {
        PrintSummary(*table);
        return 0;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        Position p;
        int score;
        bool ok = ReadFen(line, p) && p.count == table->Men();
        if (ok) {
            Material m;
            for (int i = 0; i < p.count; i++) m.count[p.colour[i]][p.type[i]]++;
            ok = m.Key() == material.Key() || m.Swapped().Key() == material.Key();
        }
        ok = ok && solver.Probe(p, score);
        std::printf("%s\n", ok ? Describe(score).c_str() : "none");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

KESTRION_TOOL(Solve, "solve", "solve MATERIAL [--threads N] [--dir DIR] [--probe]", RunSolve);
