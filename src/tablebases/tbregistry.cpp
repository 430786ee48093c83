// Tablebase registry: the directory search, the file names, the registry
// index over the men counts, and the life cycle of files and cache.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/platform.h"
#include "tablebases/tbprobe.h"
#include "tablebases/tbstate.h"

namespace tablebases {

TbSide TbSides[TableCount + 1][2];

namespace {

constexpr int PathChars = 511;          // kept of the path text
constexpr size_t NameBytes = 1024;      // directory plus file name
constexpr uint64_t PartBytes = uint64_t(1) << 31;
constexpr int CacheMbDefault = 1, CacheMbMax = 256;

// Registry index: one level per men count (white p n b r q, black p n b r
// q), each indexed 0..MaxCount; the last level holds table numbers.
constexpr int CountLevels = 10;
constexpr int MaxCount = 3;
struct RegistryNode {
    RegistryNode* child[MaxCount + 1] = {};
    int leaf[MaxCount + 1] = {};
};

std::mutex initLock;
RegistryNode* registryRoot = nullptr;
int maxMen = 0;
int cacheMb = CacheMbDefault;
bool descriptorsReady = false;

void VFreeNode(RegistryNode* node, int level) {
    if (!node) return;
    if (level < CountLevels - 1)
        for (RegistryNode* c : node->child) VFreeNode(c, level + 1);
    delete node;
}

// Stores `value` at the leaf of `counts`; false when a count is beyond
// the index.
bool FStoreLeaf(const int* counts, int value) {
    if (!registryRoot) registryRoot = new RegistryNode();
    RegistryNode* node = registryRoot;
    for (int level = 0; level < CountLevels; level++) {
        const int c = counts[level];
        if (c < 0 || c > MaxCount) return false;
        if (level == CountLevels - 1) {
            node->leaf[c] = value;
            return true;
        }
        if (!node->child[c]) node->child[c] = new RegistryNode();
        node = node->child[c];
    }
    return false;
}

// Counts one side's men of a table name into counters[0..4] (p n b r q)
// up to the next "k" or the end.
const char* PchSetHalfCounters(int* counters, const char* pch) {
    for (; *pch && *pch != 'k'; pch++) {
        switch (*pch) {
        case 'p': counters[0]++; break;
        case 'n': counters[1]++; break;
        case 'b': counters[2]++; break;
        case 'r': counters[3]++; break;
        case 'q': counters[4]++; break;
        default: TB_ASSERT(0 && "unknown man in a table name");
        }
    }
    return pch;
}

void VSetCounters(int* counters, const char* pch) {
    for (int i = 0; i < CountLevels; i++) counters[i] = 0;
    TB_ASSERT('k' == *pch);
    pch = PchSetHalfCounters(counters, pch + 1);
    TB_ASSERT('k' == *pch);
    pch = PchSetHalfCounters(counters + 5, pch + 1);
    TB_ASSERT('\0' == *pch);
}

bool FRegisterTb(int iTb) {
    int counts[CountLevels];
    VSetCounters(counts, TbDescriptors[iTb].name);
    if (!FStoreLeaf(counts, iTb)) return false;
    if (!(TbDescriptors[iTb].flags & TbSymmetric)) {
        int reversed[CountLevels];
        for (int i = 0; i < 5; i++) reversed[i] = counts[i + 5], reversed[i + 5] = counts[i];
        // Equal men with pawns (kpkp) are their own reversal: the leaf keeps
        // the table as named, so each side to move reads its own file.
        if (std::equal(counts, counts + CountLevels, reversed)) return true;
        const bool fInserted = FStoreLeaf(reversed, -iTb);
        TB_ASSERT(fInserted);
    }
    return true;
}

uint64_t SideBytes(int iTb, int side) {
    const TbDescriptor& d = TbDescriptors[iTb];
    const uint64_t entries = side == 0 ? d.entriesW : d.entriesB;
    return entries * ((d.flags & TbWideEntries) ? 2 : 1);
}

// Opens one part as a regular file whose contents hold exactly `bytes`
// decoded bytes; anything else is not ours to read.
bool FOpenPart(TbPart& part, const char* name, bool compressed, uint64_t bytes) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return false;
    struct stat st;
    bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    decode_info* info = nullptr;
    if (ok && compressed) {
        ok = comp_open_file(&info, f, 1) == CompOk;
        if (ok) {
            const uint32_t n = comp_block_count(info);
            const uint64_t decoded = uint64_t(n - 1) * BlockSize + comp_block_size(info, n - 1);
            ok = decoded == bytes;
        }
    } else if (ok) {
        ok = static_cast<uint64_t>(st.st_size) == bytes;
    }
    if (!ok) {
        comp_close_file(info);
        std::fclose(f);
        return false;
    }
    part.path = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    if (!part.path) {
        comp_close_file(info);
        std::fclose(f);
        return false;
    }
    std::strcpy(part.path, name);
    part.file = f;
    part.info = info;
    part.bytes = bytes;
    return true;
}

// Looks for every part of one table side in `dir`; the first part must be
// there, a missing later part ends the list.
bool FFindSide(const char* dir, int iTb, int side) {
    TbSide& s = TbSides[iTb][side];
    const int parts = CTbParts(iTb, side);
    const uint64_t total = SideBytes(iTb, side);
    char name[NameBytes];
    int found = 0;
    for (int p = 0; p < parts && p < MaxParts; p++) {
        const uint64_t bytes = total - p * PartBytes < PartBytes ? total - p * PartBytes : PartBytes;
        bool ok = false;
        for (int compressed = 0; compressed < 2 && !ok; compressed++)
            ok = FTbFileName(name, sizeof name, dir, iTb, side, p, compressed != 0) &&
                 FOpenPart(s.part[p], name, compressed != 0, bytes);
        if (!ok) break;
        found++;
    }
    s.parts = found;
    return found > 0;
}

void VReleaseLocked() {
    maxMen = 0;
    VTbFreeCache();
    for (int i = 1; i <= TableCount; i++)
        for (int side = 0; side < 2; side++) {
            TbSide& s = TbSides[i][side];
            for (int p = 0; p < MaxParts; p++) {
                TbPart& part = s.part[p];
                if (part.file) std::fclose(part.file);
                comp_close_file(part.info);
                std::free(part.path);
                part = TbPart();
            }
            s.parts = 0;
            for (auto& b : s.bucket) b = nullptr;
        }
    VFreeNode(registryRoot, 0);
    registryRoot = nullptr;
}

}  // namespace

bool FTbFileName(char* out, size_t size, const char* dir, int iTb, int side, int part, bool compressed) {
    const TbDescriptor& d = TbDescriptors[iTb];
    const size_t dirLength = std::strlen(dir);
    const char* slash = dirLength == 0 || dir[dirLength - 1] == '/' ? "" : "/";
    char partText[3] = "";
    if (d.flags & TbSplit) {
        partText[0] = '.';
        partText[1] = static_cast<char>(part < 10 ? '0' + part : 'a' + part - 10);
    }
    const int n = std::snprintf(out, size, "%s%s%s%s%s%s", dir, slash, d.name, partText,
                                side == 0 ? ".nbw" : ".nbb", compressed ? ".emd" : "");
    return n > 0 && static_cast<size_t>(n) < size;
}

int ITbLookup(const int* counts) {
    const RegistryNode* node = registryRoot;
    for (int level = 0; node && level < CountLevels; level++) {
        const int c = counts[level];
        if (c < 0 || c > MaxCount) return 0;
        if (level == CountLevels - 1) return node->leaf[c];
        node = node->child[c];
    }
    return 0;
}

int IInitializeTb(const char* path, int requestedMb) {
    std::lock_guard<std::mutex> lock(initLock);
    if (requestedMb >= 1 && requestedMb <= CacheMbMax) cacheMb = requestedMb;
    if (!descriptorsReady) {
        VInitTbDescriptors();
        descriptorsReady = true;
    }
    // 1. Whatever an earlier call registered goes.
    VReleaseLocked();

    // 2. Each directory in turn; a table found earlier is not looked for again.
    char dirs[PathChars + 1];
    std::snprintf(dirs, sizeof dirs, "%s", path ? path : "");
    int largest = 0;
    for (char* dir = dirs;;) {
        char* end = dir + std::strcspn(dir, ",;:");
        const bool last = *end == '\0';
        *end = '\0';
        if (*dir) {
            for (int i = 1; i <= TableCount; i++) {
                const int sides = (TbDescriptors[i].flags & TbSymmetric) ? 1 : 2;
                for (int side = 0; side < sides; side++) {
                    if (TbSides[i][side].parts || !FFindSide(dir, i, side)) continue;
                    if (!FRegisterTb(i)) continue;
                    if (i > largest) largest = i;
                }
            }
        }
        if (last) break;
        dir = end + 1;
    }
    if (largest == 0) return 0;

    // 3. The cache; without one megabyte of it the tables stay unused.
    if (!FTbAllocateCache(uint64_t(cacheMb) << 20)) {
        core::SendInfoString("Not enough memory for the tablebase cache");
        return 0;
    }
    maxMen = largest > 145 ? 6 : largest > 35 ? 5 : largest > 5 ? 4 : 3;
    return maxMen;
}

void VTbCloseAll() {
    std::lock_guard<std::mutex> lock(initLock);
    VReleaseLocked();
}

int CTbMaxMen() { return maxMen; }

void VTbCloseFiles() {
    for (int i = 1; i <= TableCount; i++)
        for (auto& s : TbSides[i])
            for (auto& part : s.part)
                if (part.file) {
                    std::fclose(part.file);
                    part.file = nullptr;
                }
}

void VTbDropPart(int iTb, int side, int p) {
    TbPart& part = TbSides[iTb][side].part[p];
    if (part.path) {
        char text[NameBytes + 48];
        std::snprintf(text, sizeof text, "tablebase file %s unreadable, no longer used", part.path);
        core::SendInfoString(text);
    }
    if (part.file) std::fclose(part.file);
    comp_close_file(part.info);
    std::free(part.path);
    part = TbPart();
}

}  // namespace tablebases
