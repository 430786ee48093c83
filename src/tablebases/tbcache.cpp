// Block cache: blocks of 8192 decoded bytes, found through 32 buckets per
// table side and replaced least recently used first. A block that cannot be
// read gives no value and its file part is dropped, so a damaged file costs
// one failed read and never a wrong answer.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "tablebases/tbprobe.h"
#include "tablebases/tbstate.h"

namespace tablebases {

namespace {

constexpr uint64_t MinCacheBytes = 1048576;

std::mutex listLock;       // the global list, the free list and the buckets
std::mutex decodeLock;     // the decompression buffer
TbCacheBlock* headers = nullptr;
uint8_t* dataArea = nullptr;
uint8_t* compBuffer = nullptr;
uint32_t blockCount = 0;
TbCacheBlock* mruHead = nullptr;
TbCacheBlock* mruTail = nullptr;
TbCacheBlock* freeList = nullptr;
uint64_t readCount = 0, hitCount = 0;

void VUnlinkMru(TbCacheBlock* b) {
    (b->prevMru ? b->prevMru->nextMru : mruHead) = b->nextMru;
    (b->nextMru ? b->nextMru->prevMru : mruTail) = b->prevMru;
    b->prevMru = b->nextMru = nullptr;
}

void VPushMru(TbCacheBlock* b) {
    b->prevMru = nullptr;
    b->nextMru = mruHead;
    (mruHead ? mruHead->prevMru : mruTail) = b;
    mruHead = b;
}

void VUnlinkBucket(TbCacheBlock* b) {
    TbCacheBlock*& head = TbSides[b->iTb][b->side].bucket[b->block % CacheBuckets];
    (b->prevBucket ? b->prevBucket->nextBucket : head) = b->nextBucket;
    if (b->nextBucket) b->nextBucket->prevBucket = b->prevBucket;
    b->prevBucket = b->nextBucket = nullptr;
}

void VPushBucket(TbCacheBlock* b) {
    TbCacheBlock*& head = TbSides[b->iTb][b->side].bucket[b->block % CacheBuckets];
    b->prevBucket = nullptr;
    b->nextBucket = head;
    if (head) head->prevBucket = b;
    head = b;
}

void VPushFree(TbCacheBlock* b) {
    b->iTb = 0;
    b->nextMru = freeList;
    b->prevMru = nullptr;
    freeList = b;
}

// Reads block `block` of a table side into `b`; false on any failure.
bool FReadBlock(int iTb, int side, uint64_t block, TbCacheBlock* b) {
    TbSide& s = TbSides[iTb][side];
    std::lock_guard<std::mutex> lock(s.fileLock);
    const int p = static_cast<int>(block / BlocksPerPart);
    const uint32_t within = static_cast<uint32_t>(block % BlocksPerPart);
    if (p >= s.parts) return false;
    TbPart& part = s.part[p];
    if (!part.path) return false;
    if (!part.file) {
        // Out of handles, perhaps: close them all and try once more.
        part.file = std::fopen(part.path, "rb");
        if (!part.file) {
            VTbCloseFiles();
            part.file = std::fopen(part.path, "rb");
        }
        if (!part.file) return false;
    }
    const uint64_t start = uint64_t(within) * BlockSize;
    if (start >= part.bytes) return false;
    const uint32_t expected = static_cast<uint32_t>(part.bytes - start < BlockSize ? part.bytes - start : BlockSize);
    if (part.info) {
        std::lock_guard<std::mutex> buffers(decodeLock);
        decode_block db;
        comp_init_block(&db, compBuffer, b->data);
        if (comp_read_block(&db, part.info, part.file, within) != CompOk) return false;
        if (db.origSize != expected) return false;
    } else {
        if (fseeko(part.file, static_cast<off_t>(start), SEEK_SET) != 0) return false;
        if (std::fread(b->data, 1, expected, part.file) != expected) return false;
    }
    b->length = expected;
    readCount++;
    return true;
}

}  // namespace

bool FTbAllocateCache(uint64_t bytes) {
    VTbFreeCache();
    if (bytes < MinCacheBytes) bytes = MinCacheBytes;
    compBuffer = static_cast<uint8_t*>(std::malloc(CompBufferBytes));
    if (!compBuffer) return false;
    // Halve the size until the memory is there, down to one megabyte.
    for (; bytes >= MinCacheBytes; bytes /= 2) {
        const uint64_t n = bytes / CacheBlockBytes;
        headers = new (std::nothrow) TbCacheBlock[n];
        dataArea = headers ? static_cast<uint8_t*>(std::malloc(n * DecodeBufferBytes)) : nullptr;
        if (dataArea) {
            blockCount = static_cast<uint32_t>(n);
            break;
        }
        delete[] headers;
        headers = nullptr;
    }
    if (!dataArea) {
        VTbFreeCache();
        return false;
    }
    for (uint32_t i = blockCount; i-- > 0;) {
        headers[i].data = dataArea + uint64_t(i) * DecodeBufferBytes;
        VPushFree(&headers[i]);
    }
    return true;
}

void VTbFreeCache() {
    std::lock_guard<std::mutex> lock(listLock);
    delete[] headers;
    std::free(dataArea);
    std::free(compBuffer);
    headers = nullptr;
    dataArea = compBuffer = nullptr;
    blockCount = 0;
    mruHead = mruTail = freeList = nullptr;
    readCount = hitCount = 0;
    for (int i = 1; i <= TableCount; i++)
        for (auto& s : TbSides[i])
            for (auto& b : s.bucket) b = nullptr;
}

int TbtProbeTable(int iTb, int side, uint64_t block, uint32_t offset) {
    std::lock_guard<std::mutex> lock(listLock);
    if (!headers) return TbtUnknown;
    TbSide& s = TbSides[iTb][side];

    // 1. A cached block moves to the front of both lists.
    for (TbCacheBlock* b = s.bucket[block % CacheBuckets]; b; b = b->nextBucket) {
        if (b->block != block) continue;
        hitCount++;
        VUnlinkMru(b);
        VPushMru(b);
        VUnlinkBucket(b);
        VPushBucket(b);
        return offset < b->length ? b->data[offset] : TbtUnknown;
    }

    // 2. A free block, else the least recently used one.
    TbCacheBlock* b = freeList;
    if (b) {
        freeList = b->nextMru;
        b->nextMru = nullptr;
    } else {
        b = mruTail;
        TB_ASSERT(nullptr != b);
        VUnlinkMru(b);
        VUnlinkBucket(b);
    }

    // 3. Read it; a failure drops the part for good.
    if (!FReadBlock(iTb, side, block, b)) {
        const int p = static_cast<int>(block / BlocksPerPart);
        if (p < s.parts) VTbDropPart(iTb, side, p);
        VPushFree(b);
        return TbtUnknown;
    }
    b->iTb = iTb;
    b->side = side;
    b->block = block;
    VPushMru(b);
    VPushBucket(b);
    return offset < b->length ? b->data[offset] : TbtUnknown;
}

int L_TbtProbeTable(int iTb, int side, uint64_t entry) {
    TB_ASSERT(iTb > 0 && iTb <= TableCount);
    const TbDescriptor& d = TbDescriptors[iTb];
    const int fileSide = FileSide(iTb, side);
    if (TbSides[iTb][fileSide].parts == 0) return TbtUnknown;
    if (entry >= (fileSide == 0 ? d.entriesW : d.entriesB)) return TbtUnknown;

    if (d.flags & TbWideEntries) {
        const uint64_t block = entry / (BlockSize / 2);
        const uint32_t at = static_cast<uint32_t>(entry % (BlockSize / 2)) * 2;
        const int low = TbtProbeTable(iTb, fileSide, block, at);
        if (low == TbtUnknown) return TbtUnknown;
        const int high = TbtProbeTable(iTb, fileSide, block, at + 1);
        if (high == TbtUnknown) return TbtUnknown;
        return static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low));
    }

    // Seven kppkp positions, black to move, are lost in more moves than a
    // byte can say.
    static const uint64_t LongLosses[] = {56802428, 56811076, 56849992, 56858640, 59592489, 67775659, 71071628};
    constexpr int KppkpTable = 36;
    if (iTb == KppkpTable && side == 1)
        for (uint64_t e : LongLosses)
            if (entry == e) return -32639;
    const int v = TbtProbeTable(iTb, fileSide, entry / BlockSize, static_cast<uint32_t>(entry % BlockSize));
    if (v == TbtUnknown) return TbtUnknown;
    return TbMapByte(static_cast<int8_t>(static_cast<uint8_t>(v)));
}

TbCacheStats TbCacheFigures() {
    std::lock_guard<std::mutex> lock(listLock);
    TbCacheStats stats{blockCount, 0, readCount, hitCount};
    for (TbCacheBlock* b = freeList; b; b = b->nextMru) stats.freeBlocks++;
    return stats;
}

int CTbMruBlocks(uint32_t* blocks, int max) {
    std::lock_guard<std::mutex> lock(listLock);
    int n = 0;
    for (TbCacheBlock* b = mruHead; b && n < max; b = b->nextMru) blocks[n++] = static_cast<uint32_t>(b->block);
    return n;
}

}  // namespace tablebases
