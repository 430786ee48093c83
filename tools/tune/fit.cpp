// tune fit: logistic fit of the free evaluation weights to game results.
// The evaluation is linearised around the current weights (each weight's
// effect on each position measured by a finite step), the sigmoid scale K is
// fitted first, then the weights by Adam on the mean squared error; the
// rounded weights are checked with the real evaluation at the end.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/position.h"
#include "command.h"
#include "eval/eval.h"
#include "eval/internal.h"
#include "tune/data.h"
#include "tune/params.h"
#include "tune/tune.h"

namespace tune {
namespace {

constexpr int Step = 8;  // finite step of a weight, large enough to rise above rounding

struct FitOptions {
    std::string data, out;
    long long limit = 0;  // 0: every position
    int iterations = 300;
    long long minPositions = -1;  // weights seen in fewer positions stay; -1: a 500th of the data
    double rate = 0.5;
    double blend = 1;     // share of the game result in a labelled position's target
    double penalty = 0;   // on each weight's squared change, against fitting noise
    std::string only;  // comma-separated name prefixes; empty: every free weight
};

// The free weights whose names start with one of the prefixes.
std::vector<Param> Selected(const std::string& only) {
    std::vector<Param> all = FreeParams(), chosen;
    if (only.empty()) return all;
    for (const Param& p : all) {
        size_t from = 0;
        while (from <= only.size()) {
            size_t comma = only.find(',', from);
            if (comma == std::string::npos) comma = only.size();
            const std::string prefix = only.substr(from, comma - from);
            if (!prefix.empty() && p.name.compare(0, prefix.size(), prefix) == 0) {
                chosen.push_back(p);
                break;
            }
            from = comma + 1;
        }
    }
    return chosen;
}

// The linearised data set: per position the evaluation (White's view), the
// result, and the sparse list of weight slopes.
struct Linear {
    std::vector<float> base, result;
    std::vector<uint32_t> start;  // into index/slope, one more than positions
    std::vector<uint16_t> index;
    std::vector<float> slope;
    size_t Size() const { return base.size(); }
};

// Evaluation of the set-up root from White's view, with no cache.
int WhiteEval(board::Tree& tree, board::NodeRecord* root) {
    const int v = eval::Evaluate(tree, root, -board::MateValue, board::MateValue, 0);
    return root->side ? -v : v;
}

board::NodeRecord* SetUp(board::Tree& tree, const std::string& fen) {
    if (!board::ReadFen(fen.c_str(), board::Game)) return nullptr;
    board::StartGame(board::Game);
    board::CopyGameBoard(board::Game, tree);
    board::SetUpTree(tree);
    return eval::SetUpRoot(tree, board::Game);
}

double Sigmoid(double k, double e) { return 1.0 / (1.0 + std::exp(-k * e)); }

double Error(const std::vector<float>& evals, const std::vector<float>& results, double k) {
    double sum = 0;
    for (size_t i = 0; i < evals.size(); i++) {
        const double d = results[i] - Sigmoid(k, evals[i]);
        sum += d * d;
    }
    return evals.empty() ? 0 : sum / double(evals.size());
}

// K by golden-section search on the error (it is unimodal in K).
double FitK(const std::vector<float>& evals, const std::vector<float>& results) {
    double a = 0.0001, b = 0.05;
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = Error(evals, results, c), fd = Error(evals, results, d);
    for (int i = 0; i < 60; i++) {
        if (fc < fd) { b = d; d = c; fd = fc; c = b - g * (b - a); fc = Error(evals, results, c); }
        else { a = c; c = d; fc = fd; d = a + g * (b - a); fd = Error(evals, results, d); }
    }
    return (a + b) / 2;
}

bool Load(const FitOptions& o, std::vector<Sample>& samples) {
    std::FILE* f = std::fopen(o.data.c_str(), "r");
    if (!f) return false;
    char line[512];
    Sample s;
    while (std::fgets(line, sizeof line, f) && (o.limit == 0 || (long long)samples.size() < o.limit)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (!ParseLine(line, s)) continue;
        if (s.expected >= 0) s.result = float(o.blend * s.result + (1 - o.blend) * s.expected);
        samples.push_back(s);
    }
    std::fclose(f);
    return true;
}

// Measures every weight's slope on every position.
void Linearise(const std::vector<Sample>& samples, const std::vector<Param>& params, Linear& lin) {
    board::Tree& tree = *board::MainTree;
    const bool tty = isatty(2);
    lin.start.push_back(0);
    for (size_t n = 0; n < samples.size(); n++) {
        board::NodeRecord* root = SetUp(tree, samples[n].fen);
        if (!root) continue;
        const int e0 = WhiteEval(tree, root);
        auto measure = [&](size_t i, int e1) {
            if (e1 == e0) return;
            lin.index.push_back(uint16_t(i));
            lin.slope.push_back(float(e1 - e0) / Step);
        };
        for (size_t i = 0; i < params.size(); i++) {
            if (params[i].kind) continue;
            *params[i].value += Step;
            measure(i, WhiteEval(tree, root));
            *params[i].value -= Step;
        }
        // Piece-square entries after the others: each needs the root's tables
        // rebuilt, so only those of squares a man of their kind stands on.
        const board::GameRecord& game = board::Game;
        for (size_t i = 0; i < params.size(); i++) {
            const Param& q = params[i];
            if (!q.kind) continue;
            auto on = [&](int sq) {
                return sq && (game.board[sq] == q.kind || game.board[board::Mirror(sq)] == (q.kind | board::BlackBit));
            };
            if (!on(q.square) && !on(q.twinSquare)) continue;
            *q.value += Step;
            if (q.twin) *q.twin += Step;
            root = SetUp(tree, samples[n].fen);
            measure(i, WhiteEval(tree, root));
            *q.value -= Step;
            if (q.twin) *q.twin -= Step;
        }
        lin.base.push_back(float(e0));
        lin.result.push_back(samples[n].result);
        lin.start.push_back(uint32_t(lin.index.size()));
        if (tty && n % 10000 == 0) std::fprintf(stderr, "\rlinearising %zu / %zu", n, samples.size());
    }
    if (tty) std::fprintf(stderr, "\n");
}

// Adam on the linearised error; returns the weight changes. Weights that too
// few positions depend on would only fit their noise: they keep their values.
std::vector<double> Adam(const Linear& lin, size_t count, double k, const FitOptions& o,
                         const std::vector<bool>& frozen) {
    std::vector<double> delta(count, 0), m(count, 0), v(count, 0), grad(count);
    const double b1 = 0.9, b2 = 0.999, eps = 1e-8;
    const bool tty = isatty(2);
    for (int it = 1; it <= o.iterations; it++) {
        std::fill(grad.begin(), grad.end(), 0.0);
        double err = 0;
        for (size_t n = 0; n < lin.Size(); n++) {
            double e = lin.base[n];
            for (uint32_t j = lin.start[n]; j < lin.start[n + 1]; j++) e += lin.slope[j] * delta[lin.index[j]];
            const double s = Sigmoid(k, e), d = s - lin.result[n];
            err += d * d;
            const double g = 2 * d * s * (1 - s) * k;
            for (uint32_t j = lin.start[n]; j < lin.start[n + 1]; j++) grad[lin.index[j]] += g * lin.slope[j];
        }
        for (size_t i = 0; i < count; i++) {
            if (frozen[i]) continue;
            const double gi = grad[i] / double(lin.Size()) + 2 * o.penalty * delta[i];
            m[i] = b1 * m[i] + (1 - b1) * gi;
            v[i] = b2 * v[i] + (1 - b2) * gi * gi;
            const double mh = m[i] / (1 - std::pow(b1, it)), vh = v[i] / (1 - std::pow(b2, it));
            delta[i] -= o.rate * mh / (std::sqrt(vh) + eps);
        }
        if (tty && it % 10 == 0)
            std::fprintf(stderr, "\riteration %d, linear error %.6f", it, err / double(lin.Size()));
    }
    if (tty) std::fprintf(stderr, "\n");
    return delta;
}

double ExactError(const std::vector<Sample>& samples, double k, std::vector<float>* evals = nullptr) {
    board::Tree& tree = *board::MainTree;
    std::vector<float> e, r;
    for (const Sample& s : samples) {
        board::NodeRecord* root = SetUp(tree, s.fen);
        if (!root) continue;
        e.push_back(float(WhiteEval(tree, root)));
        r.push_back(s.result);
    }
    if (evals) *evals = e;
    return Error(e, r, k);
}

int Usage() {
    std::fprintf(stderr, "usage: tune fit --data FILE --out FILE [--limit N] [--iterations N] [--rate R] [--min-positions N] [--only PREFIX,...] [--blend B] [--penalty P]\n");
    return 2;
}

}  // namespace

int Fit(int argc, char** argv) {
    FitOptions o;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--data") o.data = v;
        else if (a == "--out") o.out = v;
        else if (a == "--limit") o.limit = std::atoll(v);
        else if (a == "--iterations") o.iterations = std::atoi(v);
        else if (a == "--rate") o.rate = std::atof(v);
        else if (a == "--min-positions") o.minPositions = std::atoll(v);
        else if (a == "--only") o.only = v;
        else if (a == "--blend") o.blend = std::atof(v);
        else if (a == "--penalty") o.penalty = std::atof(v);
        else return Usage();
    }
    if (o.data.empty() || o.out.empty() || o.iterations < 0 || o.rate <= 0 || !(o.blend >= 0 && o.blend <= 1) ||
        !(o.penalty >= 0))
        return Usage();
    if (tools::InitEngineTables() != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

    // 1. Data, evaluated without caches so that every weight change shows.
    std::vector<Sample> samples;
    if (!Load(o, samples) || samples.empty()) {
        std::fprintf(stderr, "tune fit: no positions in %s\n", o.data.c_str());
        return 1;
    }
    board::Tree& tree = *board::MainTree;
    uint8_t* const pawnCache = tree.pawnCache;
    uint64_t* const materialTable = tree.materialTable;
    tree.pawnCache = nullptr;
    tree.materialTable = nullptr;
    eval::UseEvalCache = 0;
    std::printf("positions %zu\n", samples.size());

    // 2. K, then the error of today's weights.
    const std::vector<Param> params = Selected(o.only);
    if (params.empty()) {
        std::fprintf(stderr, "tune fit: no weight matches %s\n", o.only.c_str());
        return 1;
    }
    Linear lin;
    Linearise(samples, params, lin);
    const double k = FitK(lin.base, lin.result);
    const double before = Error(lin.base, lin.result, k);
    std::printf("K %.6f per centipawn\nweights %zu, slopes %zu, linearised in %.0f s\n", k, params.size(),
                lin.slope.size(), seconds());
    std::printf("error before %.6f\n", before);

    // 3. Adam on the linear model, then the rounded weights measured for real.
    std::vector<long long> seen(params.size(), 0);
    for (uint16_t i : lin.index) seen[i]++;
    const long long least = o.minPositions >= 0 ? o.minPositions : (long long)lin.Size() / 500;
    std::vector<bool> frozen(params.size());
    size_t frozenCount = 0;
    for (size_t i = 0; i < params.size(); i++) frozenCount += (frozen[i] = seen[i] < least);
    std::printf("weights kept for want of data (under %lld positions) %zu\n", least, frozenCount);
    // Named, because a kept weight beside fitted neighbours can leave a step in a table.
    for (size_t i = 0; i < params.size(); i++)
        if (frozen[i]) std::printf("  kept %s (%lld positions)\n", params[i].name.c_str(), seen[i]);
    const std::vector<double> delta = Adam(lin, params.size(), k, o, frozen);
    std::vector<int> old(params.size());
    for (size_t i = 0; i < params.size(); i++) {
        old[i] = *params[i].value;
        *params[i].value = int(std::lround(old[i] + delta[i]));
        if (params[i].twin) *params[i].twin += *params[i].value - old[i];
    }
    const double after = ExactError(samples, k);
    tree.pawnCache = pawnCache;
    tree.materialTable = materialTable;
    eval::UseEvalCache = 1;

    std::FILE* out = std::fopen(o.out.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "tune fit: cannot write %s\n", o.out.c_str());
        return 1;
    }
    std::fprintf(out, "// Weights fitted by kestrion-tool tune fit on %zu positions (K %.6f", samples.size(), k);
    if (o.blend != 1) std::fprintf(out, ", blend %g", o.blend);
    if (o.penalty != 0) std::fprintf(out, ", penalty %g", o.penalty);
    std::fprintf(out, "): error %.6f -> %.6f.\n", before, after);
    for (size_t i = 0; i < params.size(); i++)
        if (*params[i].value != old[i]) {
            std::fprintf(out, "W.%s = %d;  // was %d\n", params[i].name.c_str(), *params[i].value, old[i]);
            if (params[i].twin)
                std::fprintf(out, "W.%s = %d;  // was %d\n", params[i].twinName.c_str(), *params[i].twin,
                             *params[i].twin - (*params[i].value - old[i]));
        }
    if (std::fclose(out) != 0) return 1;
    std::printf("fit in %.0f s\n", seconds());
    std::printf("error %.6f\n", after);
    return 0;
}

}  // namespace tune
