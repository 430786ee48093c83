// bitbases probe|info|bench: the loaded bitbases as the engine sees them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "bbgen/builder.h"
#include "bitbases/hooks.h"
#include "bitbases/probe.h"
#include "bitbases/set.h"
#include "board/movegen.h"
#include "board/position.h"
#include "command.h"
#include "core/settings.h"

namespace {

constexpr const char* Usage =
    "bitbases probe INI|TBE (FENs on standard input) | info INI|TBE | bench INI|TBE [POSITIONS]\n"
    "           | build MATERIAL...|--men N [--out DIR] [--threads N] [--solver-dir DIR] [--relative] [--keep-sides]";

// Loads the set named by an index or bitbase file path; the count of tables.
int Load(const char* path, int report) {
    if (std::strlen(path) >= sizeof core::settings.bitbasePath) {
        std::fprintf(stderr, "bitbases: path too long\n");
        return -1;
    }
    std::snprintf(core::settings.bitbasePath, sizeof core::settings.bitbasePath, "%s", path);
    bitbases::LoadBitbases(report);
    return bitbases::Set().count;
}

int Probe() {
    char line[1024];
    long answered = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (!line[0]) continue;
        board::GameRecord game;
        const char* verdict = "none";
        if (board::ReadFen(line, game)) {
            int answer = bitbases::ProbeScore(game.board, int(game.startSide), int(game.startFlags & board::EpMask));
            if (answer != board::NoAnswer) {
                verdict = answer > 0 ? "win" : answer < 0 ? "loss" : "draw";
                answered++;
            }
        }
        std::printf("%s\n", verdict);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "answered %ld\n", answered);
    return 0;
}

// The material of a table as its letters, "kqkr" and the like.
std::string MaterialName(const bitbases::BitbaseTable& t) {
    static const char Letters[] = " kqrbnpkqrbnp";
    std::string white = "k", black = "k";
    for (int code = bitbases::WQ; code <= bitbases::WP; code++) white.append(size_t(t.pieceCounts[code]), Letters[code]);
    for (int code = bitbases::BQ; code <= bitbases::BP; code++) black.append(size_t(t.pieceCounts[code]), Letters[code]);
    return white + black;
}

int Info() {
    const bitbases::BitbaseSet& set = bitbases::Set();
    uint64_t total = 0;
    for (int i = 0; i < set.count; i++) {
        const bitbases::BitbaseTable& t = *set.tables[i];
        for (int side = 0; side < 2; side++) {
            bitbases::DecisionDiagram** d = t.Diagrams(side == 0);
            int present = 0, levels = 0;
            uint64_t bytes = 0;
            for (int s = 0; s < t.subCount; s++)
                if (d && d[s]) {
                    present++;
                    levels += d[s]->levelCount;
                    bytes += d[s]->Size();
                }
            std::printf("%-6s %s to move: %d of %d sub-tables, %d levels, %llu bytes\n", MaterialName(t).c_str(),
                        side == 0 ? "white" : "black", present, int(t.subCount), levels, (unsigned long long)bytes);
        }
        total += t.Memory();
    }
    std::printf("tables %d, largest %d men\n", set.count, set.maxPieces);
    std::printf("bytes %llu\n", (unsigned long long)total);
    return 0;
}

// Attack test on a bare board for the random legal positions of the bench.
bool Attacked(const uint8_t* b, int target, int byBlack) {
    const int tf = (target - 1) % 8, tr = (target - 1) / 8;
    for (int sq = 1; sq <= 64; sq++) {
        int code = b[sq];
        if (!code || ((code & 8) != 0) != (byBlack != 0)) continue;
        int kind = code & 7, f = (sq - 1) % 8, r = (sq - 1) / 8, df = tf - f, dr = tr - r;
        int adf = df < 0 ? -df : df, adr = dr < 0 ? -dr : dr;
        if (kind == 1 && adf <= 1 && adr <= 1 && (adf || adr)) return true;
        if (kind == 2 && adf == 1 && dr == (byBlack ? -1 : 1)) return true;
        if (kind == 3 && ((adf == 1 && adr == 2) || (adf == 2 && adr == 1))) return true;
        bool diagonal = adf == adr && adf, straight = (adf == 0) != (adr == 0);
        if (((kind == 5 || kind == 7) && diagonal) || ((kind == 6 || kind == 7) && straight)) {
            int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0), s = sq + sf + 8 * sr;
            while (s != target && !b[s]) s += sf + 8 * sr;
            if (s == target) return true;
        }
    }
    return false;
}

int Bench(int positions) {
    static const int EngineCode[bitbases::CodeCount] = {0, 1, 7, 6, 5, 3, 2, 9, 15, 14, 13, 11, 10};
    const bitbases::BitbaseSet& set = bitbases::Set();
    std::mt19937 random(12345);
    double totalNs = 0;
    long totalProbes = 0;
    for (int i = 0; i < set.count; i++) {
        const bitbases::BitbaseTable& t = *set.tables[i];
        std::vector<int> men;
        for (int code = 2; code < bitbases::CodeCount; code++)
            if (code != bitbases::BK)
                for (int n = 0; n < t.pieceCounts[code]; n++) men.push_back(EngineCode[code]);
        // Random legal positions first, so that only the probes are timed.
        std::vector<std::vector<uint8_t>> boards;
        std::vector<int> sides;
        while (int(boards.size()) < positions) {
            std::vector<uint8_t> b(65, 0);
            int wk = int(random() % 64) + 1, bk = int(random() % 64) + 1;
            int df = (wk - 1) % 8 - (bk - 1) % 8, dr = (wk - 1) / 8 - (bk - 1) / 8;
            if (wk == bk || (df * df <= 1 && dr * dr <= 1)) continue;
            b[size_t(wk)] = 1;
            b[size_t(bk)] = 9;
            bool ok = true;
            for (int code : men) {
                int sq = int(random() % 64) + 1;
                if (b[size_t(sq)] || ((code & 7) == 2 && (sq <= 8 || sq > 56))) {
                    ok = false;
                    break;
                }
                b[size_t(sq)] = uint8_t(code);
            }
            int side = int(random() % 2);
            if (!ok || Attacked(b.data(), side ? wk : bk, side)) continue;
            boards.push_back(b);
            sides.push_back(side);
        }
        long answered = 0;
        auto start = std::chrono::steady_clock::now();
        for (size_t k = 0; k < boards.size(); k++)
            answered += bitbases::ProbeScore(boards[k].data(), sides[k], 0) != board::NoAnswer;
        double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-6s %d positions, %ld answered, %.3f us per probe\n", MaterialName(t).c_str(), positions,
                    answered, ns / positions / 1000.0);
        totalNs += ns;
        totalProbes += positions;
    }
    std::printf("us per probe %.3f\n", totalProbes ? totalNs / double(totalProbes) / 1000.0 : 0.0);
    return 0;
}

// build: solves what it needs and writes one ".tbe" per material and the
// "bases.ini" naming them; the last line is the bytes of all files.
int Build(int argc, char** argv) {
    std::vector<bbgen::BitbaseMaterial> materials;
    bbgen::BuildOptions options;
    bool relative = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--men" && more) {
            int men = std::atoi(argv[++i]);
            if (men < bitbases::MinMen || men > bitbases::MaxMen) {
                std::fprintf(stderr, "bitbases build: --men takes 3, 4 or 5\n");
                return 2;
            }
            for (const bbgen::BitbaseMaterial& m : bbgen::AllMaterials(men)) materials.push_back(m);
        } else if (a == "--out" && more) {
            options.out = argv[++i];
        } else if (a == "--threads" && more) {
            options.threads = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--solver-dir" && more) {
            options.solverDir = argv[++i];
        } else if (a == "--relative") {
            relative = true;
        } else if (a == "--keep-sides") {
            options.omitSideBytes = 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
            return 2;
        } else {
            bbgen::BitbaseMaterial m;
            std::string error;
            if (!bbgen::ParseBitbaseMaterial(a, m, error)) {
                std::fprintf(stderr, "bitbases build: %s\n", error.c_str());
                return 2;
            }
            materials.push_back(m);
        }
    }
    if (materials.empty()) {
        std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
        return 2;
    }
    if (!relative) {
        char* full = realpath(options.out.c_str(), nullptr);
        if (!full) {
            std::fprintf(stderr, "bitbases build: no directory %s\n", options.out.c_str());
            return 1;
        }
        options.indexPrefix = std::string(full) + "/";
        std::free(full);
    }
    const bool terminal = isatty(2);
    if (terminal)
        options.progress = [](const std::string& step) {
            std::fprintf(stderr, "\r%-50s", step.c_str());
            std::fflush(stderr);
        };
    auto start = std::chrono::steady_clock::now();
    std::vector<bbgen::MaterialResult> results;
    std::string error;
    bool ok = bbgen::BuildSet(materials, options, results, error);
    if (terminal) std::fprintf(stderr, "\r%-50s\r", "");
    if (!ok) {
        std::fprintf(stderr, "bitbases build: %s\n", error.c_str());
        return 1;
    }
    uint64_t bytes = 0, memory = 0;
    for (const bbgen::MaterialResult& r : results) {
        std::printf("%-6s %10llu bytes, memory %llu\n", r.name.c_str(), (unsigned long long)r.fileBytes,
                    (unsigned long long)r.memoryBytes);
        bytes += r.fileBytes;
        memory += r.memoryBytes;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("materials %zu, memory %llu, %.1f s\n", results.size(), (unsigned long long)memory, seconds);
    std::printf("bytes %llu\n", (unsigned long long)bytes);
    return 0;
}

int Bitbases(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "build") return Build(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
        return 2;
    }
    std::string command = argv[1];
    board::InitBoardTables();
    if (command != "probe" && command != "info" && command != "bench") {
        std::fprintf(stderr, "usage: kestrion-tool %s\n", Usage);
        return 2;
    }
    if (Load(argv[2], command == "info" ? 1 : 0) <= 0) {
        std::fprintf(stderr, "bitbases: nothing loaded from %s\n", argv[2]);
        return 1;
    }
    if (command == "probe") return Probe();
    if (command == "info") return Info();
    int positions = argc > 3 ? std::atoi(argv[3]) : 1000000;
    return Bench(positions > 0 ? positions : 1000000);
}

}  // namespace

KESTRION_TOOL(BitbasesTool, "bitbases", Usage, Bitbases);
