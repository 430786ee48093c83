#include "index_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "tablebases/tbtables.h"

namespace tbtest {

namespace {

int F(int s) { return s & 7; }
int R(int s) { return s >> 3; }

int Occupant(const Material& m, const Pos& p, int sq, int& colour) {
    for (int c = 0; c < 2; c++) {
        colour = c;
        if (p.king[c] == sq) return 6;
        for (int i = 0; i < m.count[c]; i++)
            if (p.man[c][i] == sq) return m.type[c][i];
    }
    return 0;
}

bool Attacks(const Material& m, const Pos& p, int type, int colour, int from, int to) {
    const int df = F(to) - F(from), dr = R(to) - R(from);
    const int adf = std::abs(df), adr = std::abs(dr);
    switch (type) {
    case 6: return adf <= 1 && adr <= 1 && adf + adr > 0;
    case 1: return adf == 1 && dr == (colour == 0 ? 1 : -1);
    case 2: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    default: break;
    }
    const bool diagonal = adf == adr && adf > 0, straight = (adf == 0) != (adr == 0);
    if (!((diagonal && (type == 3 || type == 5)) || (straight && (type == 4 || type == 5)))) return false;
    const int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    int c;
    for (int s = from + step; s != to; s += step)
        if (Occupant(m, p, s, c)) return false;
    return true;
}

bool InCheck(const Material& m, const Pos& p, int colour) {
    const int them = 1 - colour;
    if (Attacks(m, p, 6, them, p.king[them], p.king[colour])) return true;
    for (int i = 0; i < m.count[them]; i++)
        if (Attacks(m, p, m.type[them][i], them, p.man[them][i], p.king[colour])) return true;
    return false;
}

bool Placeable(const Material& m, const Pos& p) {
    int sq[16], n = 0;   // room beyond 8 keeps std::sort's small-range path quiet
    for (int c = 0; c < 2; c++) {
        sq[n++] = p.king[c];
        for (int i = 0; i < m.count[c]; i++) {
            if (m.type[c][i] == 1 && (p.man[c][i] < 8 || p.man[c][i] > 55)) return false;
            sq[n++] = p.man[c][i];
        }
    }
    std::sort(sq, sq + n);
    return std::adjacent_find(sq, sq + n) == sq + n;
}

}  // namespace

Material ParseMaterial(const std::string& name) {
    Material m;
    int colour = -1;
    for (char ch : name) {
        if (ch == 'k') { colour++; continue; }
        const int t = static_cast<int>(std::string("pnbrq").find(ch)) + 1;
        m.type[colour][m.count[colour]++] = t;
        m.pawns |= t == 1;
    }
    return m;
}

int EnPassantOptions(const Material& m, const Pos& p, int stm, int* out) {
    int n = 0;
    const int them = 1 - stm, up = stm == 0 ? 8 : -8;
    for (int i = 0; i < m.count[them]; i++) {
        const int d = p.man[them][i];
        if (m.type[them][i] != 1 || R(d) != (stm == 0 ? 4 : 3)) continue;
        const int ep = d + up, from = d + 2 * up;
        int c;
        if (Occupant(m, p, ep, c) || Occupant(m, p, from, c)) continue;
        bool capturer = false;
        for (int j = 0; j < m.count[stm]; j++) {
            const int s = p.man[stm][j];
            if (m.type[stm][j] == 1 && R(s) == R(d) && std::abs(F(s) - F(d)) == 1) capturer = true;
        }
        if (capturer) out[n++] = ep;
    }
    return n;
}

bool Legal(const Material& m, const Pos& p, int stm) {
    if (!Placeable(m, p) || InCheck(m, p, 1 - stm)) return false;
    if (p.ep == 127) return true;
    int eps[8];
    const int n = EnPassantOptions(m, p, stm, eps);
    return std::find(eps, eps + n, p.ep) != eps + n;
}

void ToArrays(const Material& m, const Pos& p, int* psqW, int* psqB) {
    for (int c = 0; c < 2; c++) {
        int* a = c == 0 ? psqW : psqB;
        std::fill(a, a + 24, 0);
        a[0] = p.king[c];
        int next[6] = {};
        for (int i = 0; i < m.count[c]; i++) {
            const int t = m.type[c][i];
            a[4 * t + next[t]++] = p.man[c][i];
        }
    }
}

uint64_t SymmetryClass(const Material& m, const Pos& p) {
    uint64_t best = ~uint64_t(0);
    for (int g = 0; g < (m.pawns ? 2 : 8); g++) {
        auto map = [g](int s) {
            int f = F(s), r = R(s);
            if (g & 1) f = 7 - f;
            if (g & 2) r = 7 - r;
            if (g & 4) std::swap(f, r);
            return r * 8 + f;
        };
        uint64_t code = 0;
        for (int c = 0; c < 2; c++) {
            code = code << 6 | static_cast<uint64_t>(map(p.king[c]));
            // Men of one type are interchangeable: sort each run.
            int sq[3];
            for (int i = 0; i < m.count[c]; i++) sq[i] = map(p.man[c][i]);
            for (int i = 0; i < m.count[c];) {
                int j = i;
                while (j < m.count[c] && m.type[c][j] == m.type[c][i]) j++;
                std::sort(sq + i, sq + j);
                i = j;
            }
            for (int i = 0; i < m.count[c]; i++) code = code << 6 | static_cast<uint64_t>(sq[i]);
        }
        code = code << 7 | static_cast<uint64_t>(p.ep == 127 ? 127 : map(p.ep));
        best = std::min(best, code);
    }
    return best;
}

void ForEachLegal(const Material& m, int stm, const std::function<void(const Pos&)>& visit, bool oneOfMirrors) {
    const int men = m.count[0] + m.count[1];
    Pos p;
    std::function<void(int)> place = [&](int i) {
        if (i == men) {
            p.ep = 127;
            if (!Legal(m, p, stm)) return;
            visit(p);
            int eps[8];
            const int n = EnPassantOptions(m, p, stm, eps);
            for (int e = 0; e < n; e++) {
                p.ep = eps[e];
                visit(p);
            }
            p.ep = 127;
            return;
        }
        const int c = i < m.count[0] ? 0 : 1, j = i < m.count[0] ? i : i - m.count[0];
        for (int s = 0; s < 64; s++) {
            if (m.type[c][j] == 1 && (s < 8 || s > 55)) continue;
            bool taken = s == p.king[0] || s == p.king[1];
            for (int k = 0; k < i && !taken; k++) {
                const int ck = k < m.count[0] ? 0 : 1, jk = k < m.count[0] ? k : k - m.count[0];
                taken = p.man[ck][jk] == s;
            }
            if (taken) continue;
            p.man[c][j] = s;
            place(i + 1);
        }
    };
    for (int wk = 0; wk < 64; wk++) {
        if (oneOfMirrors && (F(wk) > 3 || (!m.pawns && R(wk) > F(wk)))) continue;
        for (int bk = 0; bk < 64; bk++) {
            if (std::abs(F(wk) - F(bk)) <= 1 && std::abs(R(wk) - R(bk)) <= 1) continue;
            p.king[0] = wk, p.king[1] = bk;
            place(0);
        }
    }
}

bool RandomLegal(const Material& m, int stm, std::mt19937_64& rng, bool wantEp, Pos& p) {
    for (int tries = 0; tries < 100000; tries++) {
        p.king[0] = static_cast<int>(rng() % 64), p.king[1] = static_cast<int>(rng() % 64);
        for (int c = 0; c < 2; c++)
            for (int i = 0; i < m.count[c]; i++)
                p.man[c][i] = static_cast<int>(m.type[c][i] == 1 ? 8 + rng() % 48 : rng() % 64);
        if (wantEp) {
            // Put a pawn of each side side by side on the capture rank.
            int mine = -1, theirs = -1;
            for (int i = 0; i < m.count[stm]; i++)
                if (m.type[stm][i] == 1) mine = i;
            for (int i = 0; i < m.count[1 - stm]; i++)
                if (m.type[1 - stm][i] == 1) theirs = i;
            if (mine < 0 || theirs < 0) return false;
            const int rank = stm == 0 ? 4 : 3, file = static_cast<int>(rng() % 8);
            const int side = file == 0 ? 1 : file == 7 ? -1 : (rng() & 1 ? 1 : -1);
            p.man[1 - stm][theirs] = rank * 8 + file;
            p.man[stm][mine] = rank * 8 + file + side;
            p.ep = p.man[1 - stm][theirs] + (stm == 0 ? 8 : -8);
        } else {
            p.ep = 127;
        }
        if (std::abs(F(p.king[0]) - F(p.king[1])) <= 1 && std::abs(R(p.king[0]) - R(p.king[1])) <= 1) continue;
        if (Legal(m, p, stm)) return true;
    }
    return false;
}

namespace {

using namespace tablebases;

TbIndex Index(int tb, int stm, const Material& m, const Pos& p) {
    int w[24], b[24];
    ToArrays(m, p, w, b);
    return (stm == 0 ? TbDescriptors[tb].calcW : TbDescriptors[tb].calcB)(w, b, p.ep, 0);
}

// Collects entry -> position class and reports the first clash.
struct Injectivity {
    TbIndex entries;
    std::unordered_map<TbIndex, uint64_t> seen;
    int failures = 0;
    void Add(TbIndex idx, uint64_t cls, const char* name, int stm) {
        if (idx >= entries) {
            if (failures++ < 3) ADD_FAILURE() << name << " stm " << stm << ": entry " << idx << " beyond " << entries;
            return;
        }
        auto it = seen.emplace(idx, cls);
        if (!it.second && it.first->second != cls && failures++ < 3)
            ADD_FAILURE() << name << " stm " << stm << ": entry " << idx << " for two positions "
                          << std::hex << cls << " " << it.first->second;
    }
};

// A position and the legal ones one man's move away from it.
void Neighbourhood(int tb, int stm, const Material& m, const Pos& base, Injectivity& check) {
    const char* name = TbDescriptors[tb].name;
    check.Add(Index(tb, stm, m, base), SymmetryClass(m, base), name, stm);
    for (int who = 0; who < m.men(); who++)
        for (int s = 0; s < 64; s++) {
            Pos p = base;
            int* slot = who < 2 ? &p.king[who] : who - 2 < m.count[0] ? &p.man[0][who - 2]
                                                                    : &p.man[1][who - 2 - m.count[0]];
            *slot = s;
            if (!Legal(m, p, stm)) continue;
            check.Add(Index(tb, stm, m, p), SymmetryClass(m, p), name, stm);
        }
}

}  // namespace

void SampleTable(int tb, int bases, uint64_t seed) {
    const TbDescriptor& d = TbDescriptors[tb];
    const Material m = ParseMaterial(d.name);
    std::mt19937_64 rng(seed);
    for (int stm = 0; stm < ((d.flags & TbSymmetric) ? 1 : 2); stm++) {
        Injectivity check{stm == 0 ? d.entriesW : d.entriesB, {}, 0};
        for (int i = 0; i < bases; i++) {
            Pos p;
            if (RandomLegal(m, stm, rng, false, p)) Neighbourhood(tb, stm, m, p, check);
            if (RandomLegal(m, stm, rng, true, p)) Neighbourhood(tb, stm, m, p, check);
        }
        EXPECT_GT(check.seen.size(), 0u) << d.name;
        if (check.failures) return;
    }
}


}  // namespace tbtest
