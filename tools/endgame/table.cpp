#include "table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace endgame {

namespace {

const int PawnlessPairs = 462;
int16_t KKIndex[64][64];        // folded king pair -> 0..461, -1 none
uint8_t KKSquares[PawnlessPairs][2];
uint8_t KKSymmetry[64][64];     // transform that folds a king pair

bool InTriangle(int sq) { return FileOf(sq) <= 3 && RankOf(sq) <= FileOf(sq); }
bool OnDiagonal(int sq) { return FileOf(sq) == RankOf(sq); }
bool Touching(int a, int b) { return a == b || ((KingAttacks[a] >> b) & 1); }

void BuildKingPairs() {
    InitBoard();
    int n = 0;
    for (int w = 0; w < 64; w++)
        for (int b = 0; b < 64; b++) {
            KKIndex[w][b] = -1;
            if (!InTriangle(w) || Touching(w, b)) continue;
            if (OnDiagonal(w) && RankOf(b) > FileOf(b)) continue;
            KKIndex[w][b] = int16_t(n);
            KKSquares[n][0] = uint8_t(w);
            KKSquares[n][1] = uint8_t(b);
            n++;
        }
    for (int w = 0; w < 64; w++)
        for (int b = 0; b < 64; b++) {
            KKSymmetry[w][b] = 0;
            for (int t = 0; t < 8; t++) {
                int w2 = Transform[t][w], b2 = Transform[t][b];
                if (InTriangle(w2) && !(OnDiagonal(w2) && RankOf(b2) > FileOf(b2))) {
                    KKSymmetry[w][b] = uint8_t(t);
                    break;
                }
            }
        }
}

// Saved table: 48-byte header, then the white-to-move values and the
// black-to-move values (Size() bytes each). Header, little-endian: magic
// (8 bytes), material name (16, NUL-padded), entries per side (4), zero (4),
// material key (8), checksum of key and values (8).
const char Magic[8] = {'K', 'E', 'S', 'T', 'E', 'G', 'T', '1'};
const uint32_t HeaderSize = 48;

uint64_t Checksum(const std::vector<uint8_t>* arrays, uint64_t key) {
    uint64_t h = 0xcbf29ce484222325ull ^ key;
    for (int s = 0; s < 2; s++) {
        const std::vector<uint8_t>& v = arrays[s];
        size_t i = 0, n = v.size();
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, &v[i], 8);
            h = (h ^ w) * 0x100000001b3ull;
            h ^= h >> 29;
        }
        for (; i < n; i++) h = (h ^ v[i]) * 0x100000001b3ull;
    }
    return h;
}

void Put(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; i++) p[i] = uint8_t(v >> (8 * i));
}

uint64_t Get(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++) v |= uint64_t(p[i]) << (8 * i);
    return v;
}

}  // namespace

Table::Table(const Material& m) : material(m), men(m.Men()), pawns(m.HasPawns()) {
    static std::once_flag once;
    std::call_once(once, BuildKingPairs);
    int n = 0;
    for (int c = 0; c < 2; c++) {
        type[n] = King;
        colour[n++] = Colour(c);
    }
    for (int c = 0; c < 2; c++)
        for (int t = Queen; t <= Pawn; t++)
            for (int k = 0; k < m.count[c][t]; k++) {
                type[n] = PieceType(t);
                colour[n++] = Colour(c);
            }
    uint32_t s = 1;
    for (int i = men - 1; i >= 2; i--) {
        stride[i] = s;
        s *= type[i] == Pawn ? 48 : 64;
    }
    stride[1] = stride[0] = s;
    size = s * (pawns ? 2048 : PawnlessPairs);
}

uint32_t Table::Fold(const uint8_t* sq, int transform) const {
    const uint8_t* t = Transform[transform];
    uint32_t index;
    if (pawns) {
        int w = t[sq[0]];
        index = ((RankOf(w) * 4 + FileOf(w)) * 64 + t[sq[1]]) * stride[0];
        for (int i = 2; i < men; i++) index += (type[i] == Pawn ? t[sq[i]] - 8 : t[sq[i]]) * stride[i];
    } else {
        index = KKIndex[t[sq[0]]][t[sq[1]]] * stride[0];
        for (int i = 2; i < men; i++) index += t[sq[i]] * stride[i];
    }
    return index;
}

uint32_t Table::Index(const uint8_t* sq) const {
    return Fold(sq, pawns ? (FileOf(sq[0]) > 3 ? 1 : 0) : KKSymmetry[sq[0]][sq[1]]);
}

bool Table::MirrorIndex(const uint8_t* sq, uint32_t& index) const {
    if (pawns) return false;
    int t = KKSymmetry[sq[0]][sq[1]];
    if (!OnDiagonal(Transform[t][sq[0]]) || !OnDiagonal(Transform[t][sq[1]])) return false;
    index = Fold(sq, t ^ 4);
    return index != Fold(sq, t);
}

bool Table::Decode(uint32_t index, uint8_t* sq) const {
    uint32_t kk = index / stride[0], rest = index % stride[0];
    if (pawns) {
        int w = kk >> 6;
        sq[0] = uint8_t((w >> 2) * 8 + (w & 3));
        sq[1] = uint8_t(kk & 63);
        if (Touching(sq[0], sq[1])) return false;
    } else {
        sq[0] = KKSquares[kk][0];
        sq[1] = KKSquares[kk][1];
    }
    Bitboard occ = Bit(sq[0]) | Bit(sq[1]);
    for (int i = 2; i < men; i++) {
        uint32_t digit = rest / stride[i];
        rest %= stride[i];
        sq[i] = uint8_t(type[i] == Pawn ? digit + 8 : digit);
        if (occ & Bit(sq[i])) return false;
        occ |= Bit(sq[i]);
    }
    return true;
}

bool Table::Place(const Position& p, uint8_t* sq, bool& flip) const {
    if (p.count != men) return false;
    Material m;
    for (int i = 0; i < p.count; i++) m.count[p.colour[i]][p.type[i]]++;
    if (m.Key() == material.Key()) flip = false;
    else if (m.Swapped().Key() == material.Key()) flip = true;
    else return false;
    bool used[MaxMen] = {};
    for (int s = 0; s < men; s++) {
        int found = -1;
        for (int i = 0; i < p.count && found < 0; i++)
            if (!used[i] && p.type[i] == type[s] && (p.colour[i] ^ flip) == colour[s]) found = i;
        if (found < 0) return false;
        used[found] = true;
        sq[s] = uint8_t(flip ? p.square[found] ^ 56 : p.square[found]);
    }
    return true;
}

Position Table::ToPosition(const uint8_t* sq, Colour stm) const {
    Position p;
    p.count = men;
    for (int i = 0; i < men; i++) {
        p.type[i] = type[i];
        p.colour[i] = colour[i];
        p.square[i] = sq[i];
    }
    p.stm = stm;
    return p;
}

const Link& Table::LinkFor(int victim, int promoter, PieceType promo) const {
    return links[victim + 1][promoter + 1][promo == NoPiece ? 0 : promo - Queen];
}

void Table::SetLink(int victim, int promoter, PieceType promo, const Link& link) {
    links[victim + 1][promoter + 1][promo == NoPiece ? 0 : promo - Queen] = link;
}

std::vector<Table::Conversion> Table::Conversions() const {
    std::vector<Conversion> out;
    for (int promoter = -1; promoter < men; promoter++) {
        if (promoter >= 0 && type[promoter] != Pawn) continue;
        for (int p = Queen; p <= Knight; p++) {
            PieceType promo = promoter < 0 ? NoPiece : PieceType(p);
            for (int victim = -1; victim < men; victim++) {
                if (victim == promoter || (victim >= 0 && type[victim] == King)) continue;
                if (victim < 0 && promoter < 0) continue;
                if (victim >= 0 && promoter >= 0 && colour[victim] == colour[promoter]) continue;
                Material m = material;
                if (victim >= 0) m.count[colour[victim]][type[victim]]--;
                if (promoter >= 0) {
                    m.count[colour[promoter]][Pawn]--;
                    m.count[colour[promoter]][promo]++;
                }
                out.push_back({victim, promoter, promo, m});
            }
            if (promoter < 0) break;
        }
    }
    return out;
}

bool Table::Save(const std::string& path, std::string& error) const {
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "cannot write " + temp + ": " + std::strerror(errno);
        return false;
    }
    uint8_t header[HeaderSize] = {};
    std::memcpy(header, Magic, 8);
    std::string name = material.Name();
    std::memcpy(header + 8, name.c_str(), name.size());
    Put(header + 24, size, 4);
    Put(header + 32, material.Key(), 8);
    Put(header + 40, Checksum(values, material.Key()), 8);
    bool ok = std::fwrite(header, 1, HeaderSize, f) == HeaderSize;
    for (int s = 0; s < 2 && ok; s++) ok = std::fwrite(values[s].data(), 1, size, f) == size;
    ok = (std::fclose(f) == 0) && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
    }
    return ok;
}

bool Table::Load(const std::string& path, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t header[HeaderSize];
    const char* problem = nullptr;
    if (std::fread(header, 1, HeaderSize, f) != HeaderSize || std::memcmp(header, Magic, 8) != 0)
        problem = "not a table file";
    else if (std::string(reinterpret_cast<char*>(header + 8), strnlen(reinterpret_cast<char*>(header + 8), 16)) !=
                 material.Name() ||
             Get(header + 32, 8) != material.Key())
        problem = "holds another material";
    else if (Get(header + 24, 4) != size)
        problem = "wrong size";
    for (int s = 0; s < 2 && !problem; s++) {
        values[s].resize(size);
        if (std::fread(values[s].data(), 1, size, f) != size) problem = "truncated";
    }
    if (!problem && std::fgetc(f) != EOF) problem = "trailing bytes";
    if (!problem && Checksum(values, material.Key()) != Get(header + 40, 8)) problem = "checksum mismatch";
    std::fclose(f);
    if (problem) {
        values[0].clear();
        values[1].clear();
        error = "corrupt table file " + path + ": " + problem;
        return false;
    }
    return true;
}

}  // namespace endgame
