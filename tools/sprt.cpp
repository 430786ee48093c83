#include "sprt.h"

#include <cmath>

namespace tools {

namespace {

double ScoreOf(double elo) { return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0)); }

}  // namespace

void Pentanomial::Add(double firstGame, double secondGame) {
    int points = int(std::lround((firstGame + secondGame) * 2));
    if (points < 0) points = 0;
    if (points > 4) points = 4;
    counts[points]++;
}

int64_t Pentanomial::Pairs() const {
    int64_t n = 0;
    for (int64_t c : counts) n += c;
    return n;
}

double Pentanomial::Mean() const {
    int64_t n = Pairs();
    if (n == 0) return 0.5;
    double sum = 0;
    for (int i = 0; i < 5; i++) sum += double(counts[i]) * i / 4.0;
    return sum / double(n);
}

double Pentanomial::Variance() const {
    int64_t n = Pairs();
    if (n == 0) return 0;
    double mean = Mean(), sum = 0;
    for (int i = 0; i < 5; i++) {
        double d = i / 4.0 - mean;
        sum += double(counts[i]) * d * d;
    }
    return sum / double(n);
}

double EloOf(double score) {
    // A perfect score has no finite Elo: report the edge of what a match can show.
    const double edge = 1e-6;
    if (score < edge) score = edge;
    if (score > 1 - edge) score = 1 - edge;
    return -400.0 * std::log10(1.0 / score - 1.0);
}

EloEstimate Estimate(const Pentanomial& p) {
    int64_t n = p.Pairs();
    double mean = p.Mean();
    if (n == 0) return {0, 0};
    double spread = 1.959964 * std::sqrt(p.Variance() / double(n));
    double low = EloOf(mean - spread), high = EloOf(mean + spread);
    return {EloOf(mean), (high - low) / 2};
}

double Sprt::LowerBound() const { return std::log(beta / (1 - alpha)); }
double Sprt::UpperBound() const { return std::log((1 - beta) / alpha); }

double Sprt::Llr(const Pentanomial& p) const {
    double variance = p.Variance();
    int64_t n = p.Pairs();
    if (n == 0 || variance <= 0) return 0;
    double s0 = ScoreOf(elo0), s1 = ScoreOf(elo1);
    return double(n) * (s1 - s0) * (2 * p.Mean() - s0 - s1) / (2 * variance);
}

int Sprt::Decide(const Pentanomial& p) const {
    double llr = Llr(p);
    if (llr >= UpperBound()) return 1;
    if (llr <= LowerBound()) return -1;
    return 0;
}

}  // namespace tools
