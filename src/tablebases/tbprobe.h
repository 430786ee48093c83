// Tablebase registry, block cache and probe: what the engine calls.
// Directories are searched at registration; blocks of 8192 entries are read
// on demand through an LRU cache. A probe answers a score for the side to
// move, or 30001 when the tables cannot answer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tablebases {

constexpr int TbNoAnswer = 30001;
// Raw value of a read that failed: outside every value a file can hold.
constexpr int TbtUnknown = 0x10000;

// Registers the tables found on `path` (directories separated by ",", ";"
// or ":") with a cache of `cacheMb` megabytes; a size outside 1..256 is
// ignored and the previous one kept. Releases whatever an earlier call
// registered. Returns the largest number of men registered (0, 3, 4, 5, 6).
int IInitializeTb(const char* path, int cacheMb);
// Releases every file, the cache and the registry (also the exit routine).
void VTbCloseAll();
int CTbMaxMen();

// Score of the position for the side to move: win in d moves 30000 - 2d,
// loss in d moves -2d - 30002, draw 0, or TbNoAnswer. `board` is the
// engine's board (squares 1..64, engine piece codes), `side` 0 white or 1
// black, `epSquare` in engine numbering or 0.
int TbProbeScore(const uint8_t* board, int side, int epSquare);

// Raw stored value of one entry (-32768..32767), or TbtUnknown.
int L_TbtProbeTable(int iTb, int side, uint64_t entry);
// One byte of a block through the cache (0..255), or TbtUnknown.
int TbtProbeTable(int iTb, int side, uint64_t block, uint32_t offset);

// Conversions: raw value to distance in moves (> 0 win, < 0 loss, 0 draw),
// distance to score, and the 8-bit entry mapping.
int TbDistance(int raw);
int TbScore(int distance);
int TbMapByte(int8_t v);

// The file name of a table side (part 0 for an unsplit table) in `out` of
// `size` bytes; false when it does not fit.
bool FTbFileName(char* out, size_t size, const char* dir, int iTb, int side, int part, bool compressed);
// Table number stored for the ten men counts (white p n b r q, black p n b
// r q): positive, negative for reversed colours, 0 for none.
int ITbLookup(const int* counts);

// Cache figures for tests and reports.
struct TbCacheStats {
    uint32_t blocks;      // blocks in the cache
    uint32_t freeBlocks;
    uint64_t reads;       // blocks read from files
    uint64_t hits;        // block look-ups served from the cache
};
TbCacheStats TbCacheFigures();
// The block numbers of the most recently used blocks, newest first.
int CTbMruBlocks(uint32_t* blocks, int max);

}  // namespace tablebases
