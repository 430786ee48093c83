// tablebases build|probe|bench: writes our tables from the endgame solver,
// and answers positions or measures probes through the engine's own
// tablebase code.
#include <unistd.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "board/types.h"
#include "command.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tbgen/writer.h"

namespace {

constexpr const char* Usage =
    "tablebases build MATERIAL... | --men N [--out DIR] [--compress] [--threads N]\n"
    "         | probe DIR [--cache MB] (FENs on standard input) | bench DIR [POSITIONS] [--cache MB]";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Build(int argc, char** argv) {
    std::vector<int> tables;
    tbgen::WriteOptions options;
    endgame::SolveOptions solve;
    for (int i = 2; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            options.dir = argv[++i];
        } else if (arg == "--compress") {
            options.compress = true;
        } else if (arg == "--threads" && i + 1 < argc) {
            solve.threads = std::atoi(argv[++i]);
            if (solve.threads < 1 || solve.threads > 64) {
                std::fprintf(stderr, "tablebases: --threads takes 1 to 64\n");
                return 2;
            }
        } else if (arg == "--men" && i + 1 < argc) {
            const int men = std::atoi(argv[++i]);
            if (men < 3 || men > endgame::MaxMen) {
                std::fprintf(stderr, "tablebases: --men takes 3 to %d\n", endgame::MaxMen);
                return 2;
            }
            for (int t : tbgen::TablesWithMen(men)) tables.push_back(t);
        } else if (!arg.empty() && arg[0] != '-') {
            const int t = tbgen::TableNumber(arg);
            if (t == 0) {
                std::fprintf(stderr, "tablebases: no table for the material %s\n", arg.c_str());
                return 2;
            }
            tables.push_back(t);
        } else {
            std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
            return 2;
        }
    }
    if (tables.empty()) {
        std::fprintf(stderr, "tablebases: no material given\nusage: kestrion-tool %s\n", Usage);
        return 2;
    }
    if (mkdir(options.dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tablebases: cannot create %s: %s\n", options.dir.c_str(), std::strerror(errno));
        return 1;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (terminal)
        options.progress = [](const char* table, const char* step, double fraction) {
            std::fprintf(stderr, "\r%-8s %-9s %5.1f%%   ", table, step, 100 * fraction);
            std::fflush(stderr);
        };
    endgame::Solver solver(solve);
    tbgen::WriteStats stats;
    const auto start = std::chrono::steady_clock::now();
    for (int t : tables) {
        std::string error;
        tbgen::WriteStats one;
        if (!tbgen::WriteTable(solver, t, options, one, error)) {
            if (terminal) std::fprintf(stderr, "\r%40s\r", "");
            std::fprintf(stderr, "tablebases: %s\n", error.c_str());
            return 1;
        }
        if (terminal) std::fprintf(stderr, "\r%40s\r", "");
        std::printf("%-8s %d files, %llu bytes, %llu of %llu entries from positions\n",
                    tablebases::TbDescriptors[t].name, one.files, (unsigned long long)one.bytes,
                    (unsigned long long)one.positions, (unsigned long long)one.entries);
        std::fflush(stdout);
        stats.files += one.files;
        stats.bytes += one.bytes;
    }
    std::printf("tables %zu, files %d, seconds %.1f\n", tables.size(), stats.files, Seconds(start));
    std::printf("bytes %llu\n", (unsigned long long)stats.bytes);
    return 0;
}

// Registers the tables as the engine does at isready.
int Register(const char* dir, int cacheMb) {
    tablebases::VTbCloseAll();
    return tablebases::IInitializeTb(dir, cacheMb);
}

std::string Verdict(int score) {
    if (score == tablebases::TbNoAnswer) return "none";
    if (score == 0) return "draw";
    if (score > 0) return "mate " + std::to_string((board::MateValue - score) / 2);
    // -2d - 30002 with d = -(moves + 1): being mated now is "mated 0".
    return "mated " + std::to_string((score + board::MateValue) / 2);
}

int Probe() {
    char line[1024];
    long answered = 0, lines = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (!line[0]) continue;
        lines++;
        board::GameRecord game;
        int score = tablebases::TbNoAnswer;
        if (board::ReadFen(line, game))
            score = tablebases::TbProbeScore(game.board, int(game.startSide), int(game.startFlags & board::EpMask));
        answered += score != tablebases::TbNoAnswer;
        std::printf("%s\n", Verdict(score).c_str());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "answered %ld of %ld\n", answered, lines);
    return 0;
}

struct BenchBoard {
    uint8_t board[65];
    int side;
};

// Random legal positions of a table's material, as engine boards.
std::vector<BenchBoard> RandomBoards(const char* name, int count, std::mt19937& random) {
    static const char Letters[] = "kqrbnp";                  // the solver's piece types
    static const uint8_t Codes[] = {board::WKing, board::WQueen, board::WRook, board::WBishop, board::WKnight,
                                    board::WPawn};
    endgame::Position p;
    int colour = -1;
    for (const char* c = name; *c; c++) {
        colour += *c == 'k';
        p.type[p.count] = endgame::PieceType(std::strchr(Letters, *c) - Letters);
        p.colour[p.count++] = endgame::Colour(colour);
    }
    endgame::InitBoard();
    std::vector<BenchBoard> out;
    while (int(out.size()) < count) {
        for (int i = 0; i < p.count; i++) p.square[i] = uint8_t(random() % 64);
        p.stm = endgame::Colour(random() % 2);
        if (!endgame::IsLegal(p)) continue;
        BenchBoard b = {};
        for (int i = 0; i < p.count; i++)
            b.board[p.square[i] + 1] = uint8_t(Codes[p.type[i]] + (p.colour[i] ? board::BlackBit : 0));
        b.side = p.stm;
        out.push_back(b);
    }
    return out;
}

int Bench(const char* dir, int positions, int cacheMb) {
    std::mt19937 random(2024);
    std::vector<BenchBoard> boards;
    int tables = 0;
    for (int i = 1; i <= tablebases::TableCount; i++) {
        if (int(std::strlen(tablebases::TbDescriptors[i].name)) > tablebases::CTbMaxMen()) break;
        const std::vector<BenchBoard> some = RandomBoards(tablebases::TbDescriptors[i].name, positions, random);
        boards.insert(boards.end(), some.begin(), some.end());
        tables++;
    }
    // Cold: a fresh registration, so every block is read and decoded once.
    Register(dir, cacheMb);
    long answered = 0;
    auto start = std::chrono::steady_clock::now();
    for (const BenchBoard& b : boards) answered += tablebases::TbProbeScore(b.board, b.side, 0) != tablebases::TbNoAnswer;
    const double cold = Seconds(start);
    const tablebases::TbCacheStats afterCold = tablebases::TbCacheFigures();
    // Warm: the same positions again, their blocks now cached (as far as the
    // cache holds them).
    start = std::chrono::steady_clock::now();
    for (const BenchBoard& b : boards) tablebases::TbProbeScore(b.board, b.side, 0);
    const double warm = Seconds(start);
    const tablebases::TbCacheStats afterWarm = tablebases::TbCacheFigures();
    const double n = double(boards.size());
    std::printf("tables %d, positions %zu, answered %ld, cache %d MB (%u blocks)\n", tables, boards.size(), answered,
                cacheMb, afterWarm.blocks);
    std::printf("cold: %.3f us per probe, %llu blocks read\n", 1e6 * cold / n, (unsigned long long)afterCold.reads);
    std::printf("warm: %.3f us per probe, %llu blocks read\n", 1e6 * warm / n,
                (unsigned long long)(afterWarm.reads - afterCold.reads));
    std::printf("us per warm probe %.3f\n", 1e6 * warm / n);
    return 0;
}

int Tablebases(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "build") return Build(argc, argv);
    if (command != "probe" && command != "bench") {
        std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
        return 2;
    }
    int cacheMb = command == "bench" ? 256 : 1, positions = 20000;
    for (int i = 3; i < argc; i++) {
        if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc) {
            cacheMb = std::atoi(argv[++i]);
            if (cacheMb < 1 || cacheMb > 256) {
                std::fprintf(stderr, "tablebases: --cache takes 1 to 256\n");
                return 2;
            }
        } else if (command == "bench" && std::atoi(argv[i]) > 0) {
            positions = std::atoi(argv[i]);
        } else {
            std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
            return 2;
        }
    }
    board::InitBoardTables();
    if (Register(argv[2], cacheMb) == 0) {
        std::fprintf(stderr, "tablebases: no tables registered from %s\n", argv[2]);
        return 1;
    }
    if (command == "probe") return Probe();
    return Bench(argv[2], positions, cacheMb);
}

}  // namespace

KESTRION_TOOL(TablebasesTool, "tablebases", Usage, Tablebases);
