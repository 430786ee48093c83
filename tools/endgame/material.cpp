#include "material.h"

namespace endgame {

namespace {

const char Letters[] = "KQRBNP";
const int Weights[6] = {0, 9, 5, 3, 3, 1};

std::string SideName(const Material& m, int c) {
    std::string s = "K";
    for (int t = Queen; t <= Pawn; t++) s.append(m.count[c][t], Letters[t]);
    return s;
}

// Orders sides: more weight, then more men, then the letters.
int CompareSides(const Material& m) {
    int w[2] = {0, 0}, n[2] = {0, 0};
    for (int c = 0; c < 2; c++)
        for (int t = Queen; t <= Pawn; t++) {
            w[c] += Weights[t] * m.count[c][t];
            n[c] += m.count[c][t];
        }
    if (w[0] != w[1]) return w[0] > w[1] ? 1 : -1;
    if (n[0] != n[1]) return n[0] > n[1] ? 1 : -1;
    std::string a = SideName(m, 0), b = SideName(m, 1);
    return a == b ? 0 : (a < b ? 1 : -1);
}

}  // namespace

int Material::Men() const {
    int n = 0;
    for (int c = 0; c < 2; c++)
        for (int t = King; t <= Pawn; t++) n += count[c][t];
    return n;
}

bool Material::HasPawns() const { return count[White][Pawn] + count[Black][Pawn] > 0; }

bool Material::BothHavePawns() const { return count[White][Pawn] > 0 && count[Black][Pawn] > 0; }

std::string Material::Name() const { return SideName(*this, White) + SideName(*this, Black); }

uint64_t Material::Key() const {
    uint64_t key = 0;
    for (int c = 0; c < 2; c++)
        for (int t = Queen; t <= Pawn; t++) key = key * 16 + count[c][t];
    return key;
}

Material Material::Swapped() const {
    Material m;
    for (int t = King; t <= Pawn; t++) {
        m.count[White][t] = count[Black][t];
        m.count[Black][t] = count[White][t];
    }
    return m;
}

Material Material::Canonical(bool& swapped) const {
    swapped = CompareSides(*this) < 0;
    return swapped ? Swapped() : *this;
}

bool ParseMaterial(const std::string& text, Material& m, std::string& error) {
    m = Material();
    if (text.empty() || text[0] != 'K') {
        error = "a material starts with the white king, as in KQK";
        return false;
    }
    int side = -1;
    for (char c : text) {
        int t = 0;
        while (Letters[t] && Letters[t] != c) t++;
        if (!Letters[t]) {
            error = std::string("unknown man '") + c + "' (use K, Q, R, B, N, P)";
            return false;
        }
        if (t == King) {
            if (++side > 1) {
                error = "more than two kings";
                return false;
            }
        }
        m.count[side][t]++;
    }
    if (side != 1) {
        error = "each side needs its king, as in KQK";
        return false;
    }
    for (int c = 0; c < 2; c++)
        if (m.count[c][Pawn] > 8) {
            error = "a side cannot have more than 8 pawns";
            return false;
        }
    int men = m.Men();
    if (men < 3 || men > 5) {
        error = "the solver handles 3 to 5 men, this material has " + std::to_string(men);
        return false;
    }
    return true;
}

}  // namespace endgame
