#include "tbgen/writer.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tablebases/tbprobe.h"
#include "tablebases/tbtables.h"
#include "tbgen/tbencode.h"

namespace tbgen {

using namespace tablebases;
using endgame::Colour;
using endgame::PieceType;

namespace {

constexpr uint64_t PartBytes = uint64_t(1) << 31;

void EnsureDescriptors() {
    static bool ready = false;
    if (!ready) {
        VInitTbDescriptors();
        ready = true;
    }
}

// Letters of table names to the solver's piece types, and to the index
// functions' man types (pawn 1 .. queen 5).
int SolverType(char c) {
    switch (c) {
    case 'q': return endgame::Queen;
    case 'r': return endgame::Rook;
    case 'b': return endgame::Bishop;
    case 'n': return endgame::Knight;
    case 'p': return endgame::Pawn;
    default: return -1;
    }
}
int IndexType(PieceType t) { return t == endgame::Pawn ? 1 : 6 - int(t); }

endgame::Material MaterialOf(const char* name) {
    endgame::Material m;
    int colour = -1;
    for (const char* p = name; *p; p++) {
        if (*p == 'k') {
            m.count[++colour][endgame::King] = 1;
            continue;
        }
        m.count[colour][SolverType(*p)]++;
    }
    return m;
}

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Entries and their values for one table side, with a mark per entry set
// so that two positions landing on one entry must agree.
class Image {
public:
    Image(int iTb, int side, std::vector<uint8_t>& bytes)
        : d(TbDescriptors[iTb]), side(side), wide((d.flags & TbWideEntries) != 0), bytes(bytes) {
        entries = side == 0 ? d.entriesW : d.entriesB;
        bytes.assign(entries * (wide ? 2 : 1), 0);
        for (uint64_t e = 0; e < entries; e++) Store(e, BrokenRaw);
        marks.assign(entries / 8 + 1, 0);
    }

    uint64_t Entries() const { return entries; }

    // Sets the entry of `p` and of each of its mirror images.
    bool Set(const endgame::Position& p, int raw, uint64_t& positions, std::string& error) {
        bool pawns = false;
        for (int i = 0; i < p.count; i++) pawns |= p.type[i] == endgame::Pawn;
        for (int g = 0; g < (pawns ? 2 : 8); g++) {
            const uint8_t* map = endgame::Transform[g];
            int sq[2][24] = {};
            int next[2][6] = {};
            for (int i = 0; i < p.count; i++) {
                const int c = p.colour[i];
                if (p.type[i] == endgame::King) {
                    sq[c][0] = map[p.square[i]];
                } else {
                    const int t = IndexType(p.type[i]);
                    sq[c][4 * t + next[c][t]++] = map[p.square[i]];
                }
            }
            const int ep = p.ep >= 0 ? map[p.ep] : NoEnPassant;
            const uint64_t entry = (side == 0 ? d.calcW : d.calcB)(sq[0], sq[1], ep, 0);
            if (entry >= entries) {
                error = std::string(d.name) + ": entry " + std::to_string(entry) + " beyond the table's " +
                        std::to_string(entries) + " for " + endgame::WriteFen(p);
                return false;
            }
            uint8_t& mark = marks[entry / 8];
            const uint8_t bit = uint8_t(1u << (entry % 8));
            if (mark & bit) {
                if (Load(entry) != raw) {
                    error = std::string(d.name) + ": two positions with different values share entry " +
                            std::to_string(entry) + ", one of them " + endgame::WriteFen(p);
                    return false;
                }
                continue;
            }
            if (!wide) {
                int8_t byte;
                if (!ByteFromRaw(raw, byte)) {
                    error = std::string(d.name) + ": distance too long for 8-bit entries at " + endgame::WriteFen(p);
                    return false;
                }
            }
            mark |= bit;
            Store(entry, raw);
            positions++;
        }
        return true;
    }

private:
    void Store(uint64_t e, int raw) {
        if (wide) {
            bytes[2 * e] = uint8_t(raw & 255);
            bytes[2 * e + 1] = uint8_t((raw >> 8) & 255);
        } else {
            int8_t byte = 0;
            ByteFromRaw(raw, byte);
            bytes[e] = uint8_t(byte);
        }
    }
    int Load(uint64_t e) const {
        if (wide) return int(int16_t(uint16_t(bytes[2 * e] | (bytes[2 * e + 1] << 8))));
        return TbMapByte(int8_t(bytes[e]));
    }

    const TbDescriptor& d;
    int side;
    bool wide;
    std::vector<uint8_t>& bytes;
    uint64_t entries = 0;
    std::vector<uint8_t> marks;
};

// The squares from which a pawn of the side to move could take `p`'s
// opponent pawn that has just made a double step: the en-passant targets.
int EnPassantTargets(const endgame::Position& p, int* out) {
    int n = 0;
    const Colour us = p.stm, them = Colour(p.stm ^ 1);
    const int up = us == endgame::White ? 8 : -8;
    const int rank = us == endgame::White ? 4 : 3;
    const endgame::Bitboard occ = p.Occupied();
    for (int i = 0; i < p.count; i++) {
        if (p.colour[i] != them || p.type[i] != endgame::Pawn || endgame::RankOf(p.square[i]) != rank) continue;
        const int target = p.square[i] + up, from = p.square[i] + 2 * up;
        if ((occ >> target) & 1 || (occ >> from) & 1) continue;
        bool capturer = false;
        for (int j = 0; j < p.count; j++) {
            const int s = p.square[j];
            const int files = endgame::FileOf(s) - endgame::FileOf(p.square[i]);
            capturer |= p.colour[j] == us && p.type[j] == endgame::Pawn && endgame::RankOf(s) == rank &&
                        (files == 1 || files == -1);
        }
        if (capturer) out[n++] = target;
    }
    return n;
}

bool WriteFile(const std::string& path, const uint8_t* data, uint64_t size, bool compress, uint64_t& written,
               std::string& error) {
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "cannot write " + temp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = compress ? comp_encode_file(data, size, f) : std::fwrite(data, 1, size, f) == size;
    const long long end = ok ? static_cast<long long>(ftello(f)) : -1;
    ok = std::fclose(f) == 0 && ok && end >= 0;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    written = static_cast<uint64_t>(end);
    return true;
}

}  // namespace

int RawFromScore(int score) {
    if (score == 0) return 0;
    const int plies = endgame::Plies(score);
    if (score > 0) return 32767 - (plies + 1) / 2;
    return plies / 2 - 32766;
}

bool ByteFromRaw(int raw, int8_t& byte) {
    int v;
    if (raw == 0) v = 0;
    else if (raw == 32767) v = 127;
    else if (raw == -32640) v = -127;
    else if (raw == 32640) v = -128;
    else if (raw > 32640 && raw < 32767) v = raw - 32640;
    else if (raw < -32640 && raw > -32767) v = raw + 32640;
    else return false;
    byte = int8_t(v);
    return true;
}

int TableNumber(const std::string& material) {
    EnsureDescriptors();
    const std::string name = Lower(material);
    const size_t second = name.find('k', 1);
    if (name.empty() || name[0] != 'k' || second == std::string::npos) return 0;
    const std::string reversed = name.substr(second) + name.substr(0, second);
    for (int i = 1; i <= TableCount; i++)
        if (name == TbDescriptors[i].name || reversed == TbDescriptors[i].name) return i;
    return 0;
}

std::vector<int> TablesWithMen(int men) {
    EnsureDescriptors();
    std::vector<int> out;
    for (int i = 1; i <= TableCount; i++)
        if (int(std::strlen(TbDescriptors[i].name)) == men) out.push_back(i);
    return out;
}

bool BuildImage(endgame::Solver& solver, int iTb, int side, std::vector<uint8_t>& bytes, uint64_t& positions,
                std::string& error, const WriteOptions& options) {
    EnsureDescriptors();
    const TbDescriptor& d = TbDescriptors[iTb];
    if (int(std::strlen(d.name)) > endgame::MaxMen) {
        error = std::string(d.name) + ": the solver builds tables of at most " + std::to_string(endgame::MaxMen) +
                " men";
        return false;
    }
    const endgame::Material material = MaterialOf(d.name);
    const endgame::Table* t = solver.Get(material, error);
    if (!t) return false;
    // The solver keeps the stronger side as white: read its other side to
    // move then, with colours and ranks turned back.
    const bool swapped = t->GetMaterial().Key() != material.Key();
    const Colour solverSide = Colour(side ^ (swapped ? 1 : 0));
    const bool enPassant = material.BothHavePawns();

    Image image(iTb, side, bytes);
    positions = 0;
    uint8_t sq[endgame::MaxMen];
    for (uint32_t i = 0; i < t->Size(); i++) {
        if (options.progress && (i & 0xfffff) == 0) options.progress(d.name, side ? "black" : "white", double(i) / t->Size());
        const uint8_t v = t->Value(solverSide, i);
        if (v == endgame::Broken || !t->Decode(i, sq)) continue;
        endgame::Position p = t->ToPosition(sq, solverSide);
        if (swapped) {
            for (int k = 0; k < p.count; k++) {
                p.colour[k] = Colour(p.colour[k] ^ 1);
                p.square[k] ^= 56;
            }
            p.stm = Colour(p.stm ^ 1);
        }
        if (!image.Set(p, RawFromScore(endgame::ScoreOf(v)), positions, error)) return false;
        if (!enPassant) continue;
        int targets[4];
        const int n = EnPassantTargets(p, targets);
        for (int k = 0; k < n; k++) {
            endgame::Position q = p;
            q.ep = targets[k];
            int score;
            if (!endgame::IsLegal(q)) continue;
            if (!solver.Probe(q, score)) {
                error = std::string(d.name) + ": the solver has no value for " + endgame::WriteFen(q);
                return false;
            }
            if (!image.Set(q, RawFromScore(score), positions, error)) return false;
        }
    }
    return true;
}

bool WriteTable(endgame::Solver& solver, int iTb, const WriteOptions& options, WriteStats& stats, std::string& error) {
    EnsureDescriptors();
    const TbDescriptor& d = TbDescriptors[iTb];
    const int sides = (d.flags & TbSymmetric) ? 1 : 2;
    std::vector<uint8_t> image;
    for (int side = 0; side < sides; side++) {
        uint64_t positions = 0;
        if (!BuildImage(solver, iTb, side, image, positions, error, options)) return false;
        stats.entries += side == 0 ? d.entriesW : d.entriesB;
        stats.positions += positions;
        const int parts = CTbParts(iTb, side);
        for (int part = 0; part < parts; part++) {
            char name[1024];
            if (!FTbFileName(name, sizeof name, options.dir.c_str(), iTb, side, part, options.compress)) {
                error = "directory name too long: " + options.dir;
                return false;
            }
            const uint64_t start = uint64_t(part) * PartBytes;
            const uint64_t size = image.size() - start < PartBytes ? image.size() - start : PartBytes;
            if (options.progress) options.progress(d.name, options.compress ? "compress" : "write", 0);
            uint64_t written = 0;
            if (!WriteFile(name, image.data() + start, size, options.compress, written, error)) return false;
            stats.files++;
            stats.bytes += written;
        }
    }
    return true;
}

}  // namespace tbgen
