// Finding, checking and loading bitbase files. A file is read whole, checked,
// and parsed into staged entries; only a file whose every entry is sound
// reaches the set, so a damaged file never leaves a half-filled table.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bitbases/hooks.h"
#include "bitbases/set.h"
#include "core/platform.h"
#include "core/settings.h"

namespace bitbases {

namespace {

constexpr size_t ReadChunk = 32000;
constexpr uint64_t MaxFileBytes = uint64_t(1) << 30;  // refuse anything larger
constexpr size_t MaxIndexLine = 255;
constexpr const char* StartPath = "/kestrionbases/bases.ini";  // the option's start value

struct EntryName {
    int32_t counts[CodeCount] = {};
    int men = 0;
    bool whiteToMove = false;
    int subTable = 0;
    bool foldWhiteKing = false;
    uint32_t signature = 0;
};

struct StagedEntry {
    EntryName name;
    uint8_t bitMap[BitMapBytes];
    DecisionDiagram* diagram;
};

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (!path[0]) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[ReadChunk];
    bool ok = true;
    for (;;) {
        size_t n = std::fread(chunk, 1, sizeof chunk, f);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > MaxFileBytes) ok = false;
        if (n < sizeof chunk || !ok) break;
    }
    // A directory opens but does not read.
    if (std::ferror(f)) ok = false;
    std::fclose(f);
    return ok;
}

int CheckBytes(const std::vector<uint8_t>& bytes) {
    ByteReader in{bytes.data(), bytes.size(), 0};
    uint32_t magic, version, stored;
    if (!in.Read32(magic) || magic != FileMagic) return 2;
    if (!in.Read32(version) || version != FileVersion) return 1;
    if (!in.Read32(stored)) return 3;
    uint32_t sum = 0;
    for (size_t i = HeaderBytes; i < bytes.size(); i++) sum = ChecksumStep(sum, i - HeaderBytes, bytes[i]);
    return sum == stored ? 0 : 3;
}

// "kqkr.wtm.2w": the material up to the first ".", "wtm" anywhere for white
// to move, the sub-table number from the fifth character after the "."
// ended by the fold king's letter. Only names of 3 to 5 men whose every
// material character is a man pass, so the name's length and its material
// agree on the number of men.
bool ParseName(const std::string& name, EntryName& out) {
    size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || name[0] != 'k') return false;
    int kings = 0;
    for (size_t i = 0; i < dot; i++) {
        int side = kings - 1;  // 0 white, 1 black
        switch (name[i]) {
            case 'k': kings++; out.counts[kings == 1 ? WK : BK]++; break;
            case 'q': out.counts[WQ + 6 * side]++; break;
            case 'r': out.counts[WR + 6 * side]++; break;
            case 'b': out.counts[WB + 6 * side]++; break;
            case 'n': out.counts[WN + 6 * side]++; break;
            case 'p': out.counts[WP + 6 * side]++; break;
            default: return false;
        }
        if (kings > 2) return false;
    }
    out.men = int(dot);
    if (kings != 2 || out.men < MinMen || out.men > MaxMen) return false;
    out.whiteToMove = name.find("wtm") != std::string::npos;

    size_t i = dot + SubTableNumberOffset;
    int number = 0;
    for (; i < name.size() && name[i] != 'w' && name[i] != 'b'; i++) {
        if (name[i] < '0' || name[i] > '9' || number > 100) return false;
        number = number * 10 + (name[i] - '0');
    }
    if (i >= name.size()) return false;  // no fold king letter
    out.foldWhiteKing = name[i] == 'w';
    out.subTable = number;
    if (number >= SubTableCount(out.men, out.counts[WP] + out.counts[BP] > 0)) return false;
    out.signature = MaterialSignature(out.counts);
    return true;
}

void FreeStaged(std::vector<StagedEntry>& staged) {
    for (StagedEntry& e : staged) delete e.diagram;
    staged.clear();
}

// Parses every entry of a checked file; false (and nothing staged) when one
// is broken or the file ends inside an entry.
bool ParseEntries(const std::vector<uint8_t>& bytes, std::vector<StagedEntry>& staged) {
    ByteReader in{bytes.data(), bytes.size(), HeaderBytes};
    bool ok = true;
    while (ok && in.Left() > 0) {
        uint8_t length;
        in.Read8(length);
        if (in.Left() < length) {
            ok = false;
            break;
        }
        std::string name(reinterpret_cast<const char*>(bytes.data() + in.pos), length);
        in.Skip(length);
        for (char& c : name) c = char(uint8_t(c) ^ NameMask);
        StagedEntry e;
        e.diagram = nullptr;
        ok = ParseName(name, e.name) && in.Skip(EntrySpareBytes) && in.Left() >= BitMapBytes;
        if (!ok) break;
        std::memcpy(e.bitMap, bytes.data() + in.pos, BitMapBytes);
        in.Skip(BitMapBytes);
        // A diagram bit beyond 31 would shift out of the key.
        for (uint8_t b : e.bitMap) ok = ok && b < 32;
        if (!ok) break;
        e.diagram = new DecisionDiagram;
        staged.push_back(e);
        ok = e.diagram->Read(in);
    }
    if (!ok) FreeStaged(staged);
    return ok;
}

// Moves staged entries into the set in file order, so a later entry for the
// same sub-table replaces an earlier one. False if the set has no room.
bool Commit(std::vector<StagedEntry>& staged) {
    BitbaseSet& set = Set();
    std::vector<uint32_t> added;
    for (const StagedEntry& e : staged) {
        bool known = set.FindSlot(e.name.signature) >= 0;
        for (uint32_t s : added) known = known || s == e.name.signature;
        if (!known) added.push_back(e.name.signature);
    }
    if (set.count + int(added.size()) > MaxTables) {
        FreeStaged(staged);
        return false;
    }
    for (StagedEntry& e : staged) {
        BitbaseTable* table = set.Find(e.name.signature);
        if (!table) {
            table = new BitbaseTable(e.name.counts, &set);
            set.tables[set.count] = table;
            set.signatures[set.count] = e.name.signature;
            set.count++;
        }
        bool w = e.name.whiteToMove;
        DecisionDiagram*& slot = (w ? table->diagramsWtm : table->diagramsBtm)[e.name.subTable];
        delete slot;
        slot = e.diagram;
        e.diagram = nullptr;
        std::memcpy((w ? table->bitMapsWtm : table->bitMapsBtm)[e.name.subTable], e.bitMap, BitMapBytes);
        (w ? table->foldWhiteKingWtm : table->foldWhiteKingBtm) = e.name.foldWhiteKing;
        if (e.name.men > set.maxPieces) set.maxPieces = e.name.men;
    }
    staged.clear();
    return true;
}

void Message(const char* format, const std::string& text) {
    std::string line = format;
    line.replace(line.find("%s"), 2, text);
    core::SendInfoString(line.c_str());
}

void LoadOne(const std::string& path, bool quiet) {
    bool ok = LoadFile(path.c_str()) == 0;
    if (!quiet) Message(ok ? "loading kestrionbase %s" : "error in kestrionbase %s", path);
}

// Reads one line of any length; false at end of file with nothing read.
bool ReadLine(FILE* f, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() <= MaxIndexLine) line.push_back(char(c));
    }
    return any;
}

// separator: the character that ends the index file's directory; the
// host's path takes only a backslash, the engine's own set a slash.
void ReadIndex(const char* indexPath, bool quiet, char separator = '\\') {
    FILE* f = std::fopen(indexPath, "r");
    if (!f) return;
    // Names without a backslash are relative to the index file's directory.
    std::string dir = indexPath;
    size_t slash = dir.rfind(separator);
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    std::string line;
    while (ReadLine(f, line)) {
        if (!line.empty() && line[0] == '#') continue;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.empty()) continue;
        // An overlong line or one with a NUL byte names no file we could
        // open as written: report it rather than guess.
        if (line.size() > MaxIndexLine || line.find('\0') != std::string::npos) {
            if (!quiet) Message("error in kestrionbase %s", line.substr(0, MaxIndexLine));
            continue;
        }
        LoadOne(line.find('\\') == std::string::npos ? dir + line : line, quiet);
    }
    std::fclose(f);
}

bool EndsWith(const char* path, const char* ext) {
    size_t n = std::strlen(path);
    if (n <= 4) return false;
    for (int i = 0; i < 4; i++) {
        char c = path[n - 4 + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != ext[i]) return false;
    }
    return true;
}

}  // namespace

int CheckFile(const char* path) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return 1;
    return CheckBytes(bytes);
}

int LoadFile(const char* path) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) return 1;
    int check = CheckBytes(bytes);
    if (check) return check;
    std::vector<StagedEntry> staged;
    if (!ParseEntries(bytes, staged) || !Commit(staged)) return 4;
    return 0;
}

void UnloadBitbases() { Set().UnloadAll(); }

int LargestPieceCount() { return Set().maxPieces; }

uint64_t MemoryBytes() { return Set().Memory(); }

static std::vector<std::string> EngineSets() {
    std::vector<std::string> paths;
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, size_t(n));
        size_t slash = dir.rfind('/');
        if (slash != std::string::npos) paths.push_back(dir.substr(0, slash + 1) + "kestrionbases/bases.ini");
    }
#ifdef KESTRION_BITBASE_DIR
    paths.push_back(std::string(KESTRION_BITBASE_DIR) + "/bases.ini");
#endif
    return paths;
}

void LoadBitbases(int reportMode) {
    bool quiet = reportMode != 1;
    UnloadBitbases();
    const char* path = core::settings.bitbasePath;
    if (EndsWith(path, ".tbe"))
        LoadOne(path, quiet);
    else if (EndsWith(path, ".ini"))
        ReadIndex(path, quiet);
    // Nothing at the start value of the path: the engine's own 3- and 4-men
    // set, so that a new installation probes without any setoption.
    if (Set().count == 0 && std::strcmp(path, StartPath) == 0)
        for (const std::string& own : EngineSets()) {
            ReadIndex(own.c_str(), quiet, '/');
            if (Set().count > 0) break;
        }
    if (!quiet) {
        char text[96];
        std::snprintf(text, sizeof text, "kestrionbases with %d pieces found (%d MB)", Set().maxPieces,
                      int(MemoryBytes() / 1048576));
        core::SendInfoString(text);
    }
}

}  // namespace bitbases
