// State shared by the registry, the cache and the probe: per table side the
// file parts and the cache buckets. Internal to the tablebase code.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "tablebases/tbdecode.h"
#include "tablebases/tbtables.h"

namespace tablebases {

constexpr int MaxParts = 18;
constexpr int CacheBuckets = 32;
constexpr uint32_t CacheBlockBytes = 8260;     // what one cached block costs
constexpr uint32_t BlocksPerPart = 262144;     // 2^31 bytes of 8192-byte blocks

struct TbCacheBlock {
    int iTb;
    int side;
    uint64_t block;
    uint32_t length;                    // valid bytes of data
    TbCacheBlock* prevMru;
    TbCacheBlock* nextMru;              // also the free-list link
    TbCacheBlock* prevBucket;
    TbCacheBlock* nextBucket;
    uint8_t* data;                      // DecodeBufferBytes bytes
};

struct TbPart {
    char* path = nullptr;               // null: missing or dropped
    FILE* file = nullptr;
    decode_info* info = nullptr;        // null for a plain file
    uint64_t bytes = 0;                 // decoded bytes this part must hold
};

struct TbSide {
    int parts = 0;                      // parts registered
    TbPart part[MaxParts];
    TbCacheBlock* bucket[CacheBuckets] = {};
    std::mutex fileLock;
};

extern TbSide TbSides[TableCount + 1][2];

// Side whose file answers a probe: white for a symmetric table.
inline int FileSide(int iTb, int side) { return (TbDescriptors[iTb].flags & TbSymmetric) ? 0 : side; }

// Cache life cycle, run by the registry.
bool FTbAllocateCache(uint64_t bytes);
void VTbFreeCache();
// Closes every open file; they reopen on demand.
void VTbCloseFiles();
// Forgets a part that failed to read: it is missing from now on.
void VTbDropPart(int iTb, int side, int part);

}  // namespace tablebases
