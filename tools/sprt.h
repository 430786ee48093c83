// Match statistics on game pairs (one opening, both colours): pentanomial
// counts, the Elo estimate with its error bar and the sequential probability
// ratio test that decides between two Elo hypotheses.
#pragma once
#include <cstdint>

namespace tools {

// Counts of game pairs by the first engine's points in the pair: 0, 1/2, 1,
// 3/2 and 2.
struct Pentanomial {
    int64_t counts[5] = {0, 0, 0, 0, 0};
    void Add(double firstGame, double secondGame);  // each 0, 0.5 or 1
    int64_t Pairs() const;
    double Mean() const;      // average score per game, 0..1
    double Variance() const;  // of the pair score (points / 2) per pair
};

struct EloEstimate {
    double elo;
    double margin;  // half the width of the 95 % interval
};
// Logistic Elo difference of a score fraction.
double EloOf(double score);
EloEstimate Estimate(const Pentanomial& p);

struct Sprt {
    double elo0, elo1;
    double alpha = 0.05, beta = 0.05;
    double LowerBound() const;  // accept H0 at or below
    double UpperBound() const;  // accept H1 at or above
    // Log-likelihood ratio of H1 (elo1) against H0 (elo0), by the normal
    // approximation of the pair scores; 0 while the sample has no spread.
    double Llr(const Pentanomial& p) const;
    // -1 H0 accepted, 1 H1 accepted, 0 go on.
    int Decide(const Pentanomial& p) const;
};

}  // namespace tools
