// Keys of every sub-table from the solver's values, diagrams from the keys,
// files from the diagrams.
#include "bbgen/builder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "bbgen/diagram.h"
#include "bitbases/hooks.h"
#include "bitbases/probe.h"

namespace bbgen {

using namespace bitbases;

namespace {

const char Letters[CodeCount + 1] = " kqrbnpkqrbnp";
// Weights the reader normalises colours by, per white code.
const int Weight[7] = {0, 0, 10000, 1000, 100, 10, 1};
// Squares of the pawnless fold triangle by index.
const int TriangleSquare[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

inline bool Touch(int a, int b) {
    int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// Men (codes) of both sides in the reader's colours, ascending.
void Normalise(std::vector<int> white, std::vector<int> black, BitbaseMaterial& out) {
    int weight = 0;
    for (int c : white) weight += Weight[c];
    for (int c : black) weight -= Weight[c - 6];
    if (white.size() < black.size() || (white.size() == black.size() && weight < 0)) {
        std::swap(white, black);
        for (int& c : white) c -= 6;
        for (int& c : black) c += 6;
    }
    std::vector<int> all = white;
    all.insert(all.end(), black.begin(), black.end());
    std::sort(all.begin(), all.end());
    out.count = int(all.size());
    out.pawns = false;
    out.name = "k";
    for (int i = 0; i < out.count; i++) {
        out.codes[i] = all[size_t(i)];
        out.pawns = out.pawns || all[size_t(i)] == WP || all[size_t(i)] == BP;
        if (all[size_t(i)] > BK && (i == 0 || all[size_t(i - 1)] < BK)) out.name += 'k';
        out.name += Letters[all[size_t(i)]];
    }
    if (black.empty()) out.name += 'k';
}

}  // namespace

endgame::Material BitbaseMaterial::Solver() const {
    endgame::Material m;
    m.count[endgame::White][endgame::King] = 1;
    m.count[endgame::Black][endgame::King] = 1;
    for (int i = 0; i < count; i++) {
        bool black = codes[i] > BK;
        m.count[black ? endgame::Black : endgame::White][codes[i] - (black ? 7 : 1)]++;
    }
    return m;
}

bool ParseBitbaseMaterial(const std::string& text, BitbaseMaterial& out, std::string& error) {
    std::vector<int> side[2];
    int kings = 0;
    for (char ch : text) {
        char c = char(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        static const char Pieces[] = "kqrbnp";
        const char* at = std::char_traits<char>::find(Pieces, 6, c);
        if (!at) {
            error = "unknown man '" + std::string(1, ch) + "' in " + text;
            return false;
        }
        if (c == 'k') {
            if (++kings > 2) break;
            continue;
        }
        if (kings == 0) break;
        side[kings - 1].push_back(int(at - Pieces) + 1);
    }
    int men = int(side[0].size() + side[1].size()) + 2;
    if (kings != 2 || text.empty() || (text[0] != 'k' && text[0] != 'K')) {
        error = "a material names two kings, each before its side's men: " + text;
        return false;
    }
    if (men < MinMen || men > MaxMen) {
        error = "bitbases hold 3 to 5 men: " + text;
        return false;
    }
    for (int& c : side[1]) c += 6;
    Normalise(side[0], side[1], out);
    return true;
}

std::vector<BitbaseMaterial> AllMaterials(int men) {
    std::vector<BitbaseMaterial> out;
    std::set<std::string> seen;
    const int n = men - 2;
    // Every multiset of n men, split in every way between the sides.
    std::vector<int> pick(size_t(n), WQ);
    for (;;) {
        for (int mask = 0; mask < (1 << n); mask++) {
            std::vector<int> white, black;
            for (int i = 0; i < n; i++) (((mask >> i) & 1) ? black : white).push_back(pick[size_t(i)] + ((mask >> i) & 1) * 6);
            BitbaseMaterial m;
            Normalise(white, black, m);
            if (seen.insert(m.name).second) out.push_back(m);
        }
        int i = n - 1;
        while (i >= 0 && pick[size_t(i)] == WP) i--;
        if (i < 0) break;
        pick[size_t(i)]++;
        for (int j = i + 1; j < n; j++) pick[size_t(j)] = pick[size_t(i)];
    }
    return out;
}

int KeyBits(const BitbaseMaterial& m) {
    if (m.count == 1) return m.pawns ? 17 : 16;
    return 8 + 6 * m.count;
}

namespace {

// Calls visit(key, position) for every key of the sub-table that the reader
// makes of a legal position, with that position.
template <typename Visit>
void ForEachPosition(const BitbaseMaterial& m, bool whiteToMove, bool foldWhiteKing, int sub, Visit visit) {
    const int bits = KeyBits(m);
    const uint32_t size = uint32_t(1) << bits;
    const int manBits = 6 * m.count;
    for (uint32_t key = 0; key < size; key++) {
        // Undo the key: fold index, other king, men in code order.
        int t = m.count == 1 ? int(key >> 12) : sub * 4 + int(key >> (manBits + 6));
        if (t >= (m.pawns ? 32 : 10)) continue;
        int fold = m.pawns ? (t >> 2) * 8 + (t & 3) : TriangleSquare[t];
        int other = int(key >> manBits) & 63;
        if (fold == other || Touch(fold, other)) continue;
        int squares[4], ep = 0;
        bool clash = false;
        uint64_t used = (uint64_t(1) << fold) | (uint64_t(1) << other);
        for (int i = 0; i < m.count && !clash; i++) {
            int s = int(key >> (6 * (m.count - 1 - i))) & 63;
            squares[i] = s;
            // A pawn on its own back rank stands for one that may be taken
            // en passant (4 and 5 men only).
            if (m.count > 1 && m.codes[i] == (whiteToMove ? BP : WP) && (s >> 3) == (whiteToMove ? 7 : 0)) {
                if (ep) clash = true;
                squares[i] = whiteToMove ? s - 24 : s + 24;
                ep = whiteToMove ? s - 16 : s + 16;
            }
            clash = clash || (used >> squares[i] & 1);
            used |= uint64_t(1) << squares[i];
        }
        if (clash) continue;
        int wk = foldWhiteKing ? fold : other, bk = foldWhiteKing ? other : fold;
        int keySub;
        uint32_t again;
        if (!PositionKey(m.pawns, foldWhiteKing, wk, bk, whiteToMove, ep, m.count, m.codes, squares, keySub, again) ||
            keySub != sub || again != key)
            continue;  // not the key the reader makes of this position
        endgame::Position p;
        p.count = 2 + m.count;
        p.type[0] = p.type[1] = endgame::King;
        p.colour[0] = endgame::White;
        p.colour[1] = endgame::Black;
        p.square[0] = uint8_t(wk);
        p.square[1] = uint8_t(bk);
        for (int i = 0; i < m.count; i++) {
            bool black = m.codes[i] > BK;
            p.type[2 + i] = endgame::PieceType(m.codes[i] - (black ? 7 : 1));
            p.colour[2 + i] = black ? endgame::Black : endgame::White;
            p.square[2 + i] = uint8_t(squares[i]);
        }
        p.stm = whiteToMove ? endgame::White : endgame::Black;
        p.ep = ep ? ep : -1;
        if (!endgame::IsLegal(p)) continue;
        if (!visit(key, p)) return;
    }
}

}  // namespace

bool SubTableValues(const BitbaseMaterial& m, const endgame::Solver& solver, bool whiteToMove, bool foldWhiteKing,
                    int sub, std::vector<uint8_t>& values, std::string& error) {
    values.assign(size_t(1) << KeyBits(m), DontCare);
    bool ok = true;
    ForEachPosition(m, whiteToMove, foldWhiteKing, sub, [&](uint32_t key, const endgame::Position& p) {
        int score;
        if (!solver.Probe(p, score)) {
            error = "the solver has no value for " + endgame::WriteFen(p);
            return ok = false;
        }
        values[key] = uint8_t(score > 0 ? Win : score < 0 ? Loss : Draw);
        return true;
    });
    return ok;
}

namespace {

struct Part {
    BuiltDiagram diagram;
    uint8_t map[32] = {};
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}

// One material's file: every sub-table of white to move, then of black;
// `omit` names a side left out (0 white, 1 black, -1 none).
std::vector<uint8_t> MaterialFile(const BitbaseMaterial& m, const std::vector<Part>& parts, const bool foldWhite[2],
                                  int omit) {
    std::vector<uint8_t> out;
    Put32(out, FileMagic);
    Put32(out, FileVersion);
    Put32(out, 0);  // checksum, below
    for (int side = 0; side < 2; side++)
        for (int sub = 0; sub < m.SubTables() && side != omit; sub++) {
            const Part& part = parts[size_t(side * m.SubTables() + sub)];
            std::string name = m.name + (side == 0 ? ".wtm." : ".btm.") + std::to_string(sub) +
                               (foldWhite[side] ? "w" : "b");
            out.push_back(uint8_t(name.size()));
            for (char c : name) out.push_back(uint8_t(c) ^ NameMask);
            out.insert(out.end(), EntrySpareBytes, 0);
            out.insert(out.end(), part.map, part.map + BitMapBytes);
            out.insert(out.end(), DiagramSpareBytes, 0);
            const std::vector<BuiltLevel>& levels = part.diagram.levels;
            Put32(out, uint32_t(levels.size()));
            for (const BuiltLevel& l : levels) {
                Put32(out, l.width);
                Put32(out, l.entryCount);
                for (uint32_t w : l.words) Put32(out, w);
            }
            for (const BuiltLevel& l : levels) Put32(out, l.twoWay);
        }
    uint32_t sum = 0;
    for (size_t i = HeaderBytes; i < out.size(); i++) sum = ChecksumStep(sum, i - HeaderBytes, out[i]);
    for (int i = 0; i < 4; i++) out[8 + size_t(i)] = uint8_t(sum >> (8 * i));
    return out;
}

uint64_t MemoryFigure(const BitbaseMaterial& m, const std::vector<Part>& parts, int omit) {
    uint64_t bytes = 67 + 64 * uint64_t(m.SubTables());
    for (size_t k = 0; k < parts.size(); k++) {
        const Part& p = parts[k];
        if (int(k) / m.SubTables() == omit) continue;
        bytes += 12;
        for (const BuiltLevel& l : p.diagram.levels) bytes += 12 + 4 * uint64_t(l.words.size());
    }
    return bytes;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace

bool BuildSet(const std::vector<BitbaseMaterial>& materials, const BuildOptions& options,
              std::vector<MaterialResult>& results, std::string& error) {
    endgame::InitBoard();
    endgame::SolveOptions solveOptions;
    solveOptions.threads = std::max(1, options.threads);
    solveOptions.dir = options.solverDir;
    endgame::Solver solver(solveOptions);
    for (const BitbaseMaterial& m : materials) {
        if (options.progress) options.progress("solving " + m.name);
        if (!solver.Get(m.Solver(), error)) return false;
    }

    // Runs job(k) for k < count on the threads; every job writes only its
    // own slot, so the result does not depend on which thread ran it.
    std::atomic<bool> failed(false);
    std::mutex lock;
    std::string firstError;
    auto parallel = [&](size_t count, const std::function<bool(size_t, std::vector<uint8_t>&, std::string&)>& job) {
        std::atomic<size_t> next(0);
        auto work = [&]() {
            std::vector<uint8_t> values;
            std::string jobError;
            for (size_t k; !failed && (k = next++) < count;)
                if (!job(k, values, jobError)) {
                    std::lock_guard<std::mutex> guard(lock);
                    if (!failed) firstError = jobError;
                    failed = true;
                }
        };
        std::vector<std::thread> pool;
        for (int i = 1; i < options.threads; i++) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
        return !failed;
    };
    auto fieldsOf = [](const BitbaseMaterial& m) {
        std::vector<int> fields;
        if (m.count == 1) {
            fields = {6, 6, m.pawns ? 5 : 4};
        } else {
            fields.assign(size_t(m.count) + 1, 6);
            fields.push_back(2);
        }
        return fields;
    };
    auto report = [&](const std::string& text) {
        if (!options.progress) return;
        std::lock_guard<std::mutex> guard(lock);
        options.progress(text);
    };

    struct Task {
        size_t material;
        int side, sub;
    };
    std::vector<Task> tasks;
    for (size_t i = 0; i < materials.size(); i++)
        for (int side = 0; side < 2; side++)
            for (int sub = 0; sub < materials[i].SubTables(); sub++) tasks.push_back({i, side, sub});

    // Which king folds the board, per material and side: the one whose
    // diagrams come out smaller in the plain key order.
    std::vector<uint64_t> trial(2 * tasks.size());
    std::atomic<size_t> done(0);
    if (!parallel(trial.size(), [&](size_t k, std::vector<uint8_t>& values, std::string& jobError) {
            const Task& task = tasks[k / 2];
            const BitbaseMaterial& m = materials[task.material];
            if (!SubTableValues(m, solver, task.side == 0, k % 2 == 0, task.sub, values, jobError)) return false;
            uint8_t identity[32];
            for (int j = 0; j < 32; j++) identity[j] = uint8_t(j < KeyBits(m) ? j : 0);
            trial[k] = BuildDiagram(values, KeyBits(m), identity).FileBytes();
            report("choosing the fold king " + std::to_string(++done) + "/" + std::to_string(trial.size()));
            return true;
        })) {
        error = firstError;
        return false;
    }
    std::vector<std::array<uint64_t, 2>> foldBytes(materials.size() * 2, {0, 0});
    for (size_t k = 0; k < trial.size(); k++) {
        const Task& task = tasks[k / 2];
        foldBytes[task.material * 2 + size_t(task.side)][k % 2] += trial[k];
    }
    // [material * 2 + side]: 1 folds by the white king.
    std::vector<uint8_t> foldWhite(foldBytes.size());
    for (size_t i = 0; i < foldBytes.size(); i++) foldWhite[i] = foldBytes[i][0] <= foldBytes[i][1];

    std::vector<std::vector<Part>> parts(materials.size());
    for (size_t i = 0; i < materials.size(); i++) parts[i].resize(size_t(2 * materials[i].SubTables()));
    done = 0;
    if (!parallel(tasks.size(), [&](size_t k, std::vector<uint8_t>& values, std::string& jobError) {
            const Task& task = tasks[k];
            const BitbaseMaterial& m = materials[task.material];
            bool fold = foldWhite[task.material * 2 + size_t(task.side)] != 0;
            if (!SubTableValues(m, solver, task.side == 0, fold, task.sub, values, jobError)) return false;
            Part& part = parts[task.material][size_t(task.side * m.SubTables() + task.sub)];
            part.diagram = SmallestDiagram(values, fieldsOf(m), part.map);
            report(m.name + (task.side == 0 ? " wtm " : " btm ") + std::to_string(task.sub) + " (" +
                   std::to_string(++done) + "/" + std::to_string(tasks.size()) + ")");
            return true;
        })) {
        error = firstError;
        return false;
    }

    // A side whose movers are a king and pawns has few moves, so the
    // reader's one-move look-ahead answers it for a handful of probes: leave
    // such a side out where it is large, unless the look-ahead through this
    // very set answers any of its positions wrongly.
    std::vector<int> omit(materials.size(), -1);
    for (size_t i = 0; i < materials.size() && options.omitSideBytes > 0; i++) {
        const BitbaseMaterial& m = materials[i];
        uint64_t sideBytes[2] = {0, 0};
        for (size_t k = 0; k < parts[i].size(); k++)
            sideBytes[k / size_t(m.SubTables())] += parts[i][k].diagram.FileBytes();
        int side = sideBytes[1] >= sideBytes[0] ? 1 : 0;
        bool kingAndPawns = true;
        for (int j = 0; j < m.count; j++)
            if ((m.codes[j] > BK) == (side == 1) && m.codes[j] != (side ? BP : WP)) kingAndPawns = false;
        if (m.Men() > MinMen && kingAndPawns && sideBytes[side] >= options.omitSideBytes) omit[i] = side;
    }

    std::vector<MaterialResult> written;
    auto writeAll = [&]() {
        written.clear();
        std::string index = "# Kestrion bitbases: one file per material, win/draw/loss for either side to move.\n";
        for (size_t i = 0; i < materials.size(); i++) {
            const BitbaseMaterial& m = materials[i];
            const bool folds[2] = {foldWhite[i * 2] != 0, foldWhite[i * 2 + 1] != 0};
            std::vector<uint8_t> bytes = MaterialFile(m, parts[i], folds, omit[i]);
            if (!WriteBytes(options.out + "/" + m.name + ".tbe", bytes, error)) return false;
            written.push_back({m.name, bytes.size(), MemoryFigure(m, parts[i], omit[i])});
            index += options.indexPrefix + m.name + ".tbe\n";
        }
        return WriteBytes(options.out + "/bases.ini", std::vector<uint8_t>(index.begin(), index.end()), error);
    };

    std::vector<Task> checks;
    for (size_t i = 0; i < materials.size(); i++)
        for (int sub = 0; omit[i] >= 0 && sub < materials[i].SubTables(); sub++) checks.push_back({i, omit[i], sub});
    if (!checks.empty()) {
        if (!writeAll()) return false;
        BitbaseSet& set = Set();
        set.UnloadAll();
        for (const BitbaseMaterial& m : materials) {
            std::string path = options.out + "/" + m.name + ".tbe";
            if (LoadFile(path.c_str()) != 0) {
                error = "cannot load " + path + " back";
                set.UnloadAll();
                return false;
            }
        }
        std::vector<std::atomic<bool>> wrong(materials.size());
        for (std::atomic<bool>& w : wrong) w = false;
        done = 0;
        bool ok = parallel(checks.size(), [&](size_t k, std::vector<uint8_t>&, std::string& jobError) {
            const Task& task = checks[k];
            const BitbaseMaterial& m = materials[task.material];
            bool fold = foldWhite[task.material * 2 + size_t(task.side)] != 0;
            bool solved = true;
            ForEachPosition(m, task.side == 0, fold, task.sub, [&](uint32_t, const endgame::Position& p) {
                int score;
                if (!solver.Probe(p, score)) {
                    jobError = "the solver has no value for " + endgame::WriteFen(p);
                    return solved = false;
                }
                int codes[4] = {}, squares[4] = {};
                for (int j = 0; j < m.count; j++) {
                    codes[j] = int(p.type[2 + j]) + (p.colour[2 + j] == endgame::Black ? BK : WK);
                    squares[j] = p.square[2 + j];
                }
                int got = Probe(set, p.square[0], p.square[1], task.side == 0, p.ep > 0 ? p.ep : 0, codes, squares);
                if (got == (score > 0 ? Win : score < 0 ? Loss : Draw)) return true;
                wrong[task.material] = true;
                return false;
            });
            report("checking " + m.name + " without a side (" + std::to_string(++done) + "/" +
                   std::to_string(checks.size()) + ")");
            return solved;
        });
        set.UnloadAll();
        if (!ok) {
            error = firstError;
            return false;
        }
        for (size_t i = 0; i < materials.size(); i++)
            if (wrong[i]) omit[i] = -1;
    }
    if (!writeAll()) return false;
    results = written;
    return true;
}

}  // namespace bbgen
