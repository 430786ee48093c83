// King and pawn against king: the table against a solver of its own that
// knows nothing of mirroring (white pawn on every file).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "eval/eval.h"
#include "eval/internal.h"

namespace {

int F(int sq) { return (sq - 1) % 8; }
int R(int sq) { return (sq - 1) / 8; }
int Dist(int a, int b) { return std::max(std::abs(F(a) - F(b)), std::abs(R(a) - R(b))); }
bool PawnHits(int p, int s) { return R(s) == R(p) + 1 && std::abs(F(s) - F(p)) == 1; }

struct Solver {
    // won[stm][wk][bk][p]: white wins; stm 0 white
    std::vector<signed char> won;
    int Idx(int stm, int wk, int bk, int p) { return ((stm * 64 + wk - 1) * 64 + bk - 1) * 64 + p - 1; }
    std::vector<int> Steps(int k) {
        std::vector<int> out;
        for (int df = -1; df <= 1; df++)
            for (int dr = -1; dr <= 1; dr++) {
                if (!df && !dr) continue;
                int f = F(k) + df, r = R(k) + dr;
                if (f >= 0 && f < 8 && r >= 0 && r < 8) out.push_back(r * 8 + f + 1);
            }
        return out;
    }
    bool QueenSafe(int wk, int bk, int q) {
        if (Dist(bk, q) == 1 && Dist(wk, q) > 1) return false;
        // black must have a move or be in check: queen's lines with the white king blocking
        auto hits = [&](int from, int to, bool diag) {
            int df = F(to) - F(from), dr = R(to) - R(from);
            if (from == to) return false;
            if (!(df == 0 || dr == 0 || (diag && std::abs(df) == std::abs(dr)))) return false;
            int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
            for (int f = F(from) + sf, r = R(from) + sr; r * 8 + f + 1 != to; f += sf, r += sr)
                if (r * 8 + f + 1 == wk) return false;
            return true;
        };
        for (int diag = 1; diag >= 0; diag--) {
            if (hits(q, bk, diag)) return true;
            for (int s : Steps(bk))
                if (Dist(s, wk) > 1 && (s == q || !hits(q, s, diag))) return true;
        }
        return false;
    }
    void Solve() {
        won.assign(2 * 64 * 64 * 64, -1);
        for (bool changed = true; changed;) {
            changed = false;
            for (int wk = 1; wk <= 64; wk++)
                for (int bk = 1; bk <= 64; bk++)
                    for (int p = 9; p <= 56; p++) {
                        if (wk == bk || wk == p || bk == p || Dist(wk, bk) < 2) continue;
                        int i = Idx(0, wk, bk, p);
                        if (won[i] < 0 && !PawnHits(p, bk)) {
                            bool w = false;
                            for (int s : Steps(wk))
                                if (s != p && Dist(s, bk) > 1 && won[Idx(1, s, bk, p)] == 1) w = true;
                            if (p + 8 != wk && p + 8 != bk) {
                                if (p + 8 > 56) w = w || QueenSafe(wk, bk, p + 8);
                                else if (won[Idx(1, wk, bk, p + 8)] == 1) w = true;
                                if (p <= 16 && p + 16 != wk && p + 16 != bk && won[Idx(1, wk, bk, p + 16)] == 1)
                                    w = true;
                            }
                            if (w) { won[i] = 1; changed = true; }
                        }
                        int j = Idx(1, wk, bk, p);
                        if (won[j] < 0) {
                            bool all = true, any = false;
                            for (int s : Steps(bk)) {
                                if (Dist(s, wk) < 2 || PawnHits(p, s)) continue;
                                any = true;
                                if (s == p || won[Idx(0, wk, s, p)] != 1) all = false;
                            }
                            if (!any) all = PawnHits(p, bk);
                            if (all) { won[j] = 1; changed = true; }
                        }
                    }
        }
    }
};

TEST(Kpk, AgreesWithAnIndependentSolver) {
    eval::InitEvalTables();
    Solver s;
    s.Solve();
    std::mt19937 rng(2024);
    int checked = 0, wins = 0;
    for (int n = 0; n < 400000 && checked < 150000; n++) {
        int wk = int(rng() % 64) + 1, bk = int(rng() % 64) + 1, p = int(rng() % 48) + 9;
        int stm = int(rng() % 2);
        if (wk == bk || wk == p || bk == p || Dist(wk, bk) < 2) continue;
        if (stm == 0 && PawnHits(p, bk)) continue;  // black in check with white to move
        bool blackMoves = false;
        for (int sq : s.Steps(bk))
            if (Dist(sq, wk) > 1 && !PawnHits(p, sq)) blackMoves = true;
        if (stm == 1 && !blackMoves) continue;  // mate or stalemate: no king step to test
        const bool expected = s.won[s.Idx(stm, wk, bk, p)] == 1;
        // white's pawn as given
        ASSERT_EQ(eval::KpkResult(stm, 0, wk, bk, p), expected ? 500 : 0)
            << "stm " << stm << " wk " << wk << " bk " << bk << " p " << p;
        // the same position with colours exchanged and ranks flipped
        auto m = [](int sq) { return (7 - R(sq)) * 8 + F(sq) + 1; };
        ASSERT_EQ(eval::KpkResult(stm ^ 1, 1, m(wk), m(bk), m(p)), expected ? 500 : 0);
        checked++;
        wins += expected;
    }
    EXPECT_GT(checked, 100000);
    EXPECT_GT(wins, checked / 3);
    EXPECT_LT(wins, checked);
}

}  // namespace
