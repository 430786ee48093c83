#include "tb_writer.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tablebases/tbtables.h"
#include "tbgen/tbencode.h"

namespace tbtest {

using namespace tablebases;

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/kestrion-tb-XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made ? made : "";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
}

std::string ScratchDir::Sub(const std::string& name) const {
    const std::string p = path + "/" + name;
    mkdir(p.c_str(), 0755);
    return p;
}

int TableNumber(const std::string& name) {
    for (int i = 1; i <= TableCount; i++)
        if (name == TbDescriptors[i].name) return i;
    return 0;
}

TableImage BlankTable(int iTb, int side, int raw) {
    TableImage t;
    t.iTb = iTb;
    t.side = side;
    const TbDescriptor& d = TbDescriptors[iTb];
    t.wide = (d.flags & TbWideEntries) != 0;
    const uint64_t entries = side == 0 ? d.entriesW : d.entriesB;
    t.bytes.resize(entries * (t.wide ? 2 : 1));
    for (uint64_t e = 0; e < entries; e++) SetRaw(t, e, raw);
    return t;
}

void SetRaw(TableImage& t, uint64_t entry, int raw) {
    if (t.wide) {
        t.bytes[2 * entry] = static_cast<uint8_t>(raw & 255);
        t.bytes[2 * entry + 1] = static_cast<uint8_t>((raw >> 8) & 255);
        return;
    }
    int v;
    if (raw == 0) v = 0;
    else if (raw == 32767) v = 127;
    else if (raw == -32640) v = -127;
    else if (raw == 32640) v = -128;
    else if (raw > 32640 && raw < 32767) v = raw - 32640;
    else if (raw < -32640 && raw > -32767) v = raw + 32640;
    else std::abort();   // no 8-bit form
    t.bytes[entry] = static_cast<uint8_t>(static_cast<int8_t>(v));
}

uint64_t EntryOf(const TableImage& t, const Material& m, const Pos& p) {
    int w[24], b[24];
    ToArrays(m, p, w, b);
    const TbDescriptor& d = TbDescriptors[t.iTb];
    return (t.side == 0 ? d.calcW : d.calcB)(w, b, p.ep, 0);
}

int RawForMoves(int moves) { return moves > 0 ? 32767 - moves : moves < 0 ? -32767 - moves : 0; }

int ScoreForMoves(int moves) { return moves > 0 ? 30000 - 2 * moves : moves < 0 ? -30002 - 2 * moves : 0; }

std::string TablePath(const std::string& dir, const TableImage& t, bool compressed) {
    return dir + "/" + TbDescriptors[t.iTb].name + (t.side == 0 ? ".nbw" : ".nbb") + (compressed ? ".emd" : "");
}

bool WriteTable(const std::string& dir, const TableImage& t, bool compressed, size_t cut) {
    std::vector<uint8_t> out;
    if (compressed) {
        if (!comp_encode_buffer(t.bytes.data(), t.bytes.size(), out)) return false;
    } else {
        out = t.bytes;
    }
    out.resize(out.size() - std::min(cut, out.size()));
    FILE* f = std::fopen(TablePath(dir, t, compressed).c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

void EngineBoard(const Material& m, const Pos& p, bool reversed, uint8_t* board) {
    static const int Code[6] = {1, 2, 3, 5, 6, 7};   // king, then man types 1..5
    std::memset(board, 0, 65);
    for (int c = 0; c < 2; c++) {
        const int colour = reversed ? 1 - c : c;
        auto square = [&](int s) { return (reversed ? s ^ 56 : s) + 1; };
        board[square(p.king[c])] = static_cast<uint8_t>(Code[0] + 8 * colour);
        for (int i = 0; i < m.count[c]; i++)
            board[square(p.man[c][i])] = static_cast<uint8_t>(Code[m.type[c][i]] + 8 * colour);
    }
}

}  // namespace tbtest
