// The bitbase file format, shared by the engine's reader and the builder in
// tools/. A ".tbe" file is a 12-byte header (magic, version, checksum) and
// entries up to its end, all numbers little-endian:
//   name length (1 byte), name XOR NameMask, 4 spare bytes, 32-byte bit map,
//   1 spare byte, level count N, N levels of (width, entry count, packed
//   words), N two-way node counts.
// Entry names read "kqkr.wtm.2w": material, side to move, sub-table number
// and the king that folds the board ('w' white, 'b' black).
#pragma once
#include <cstdint>

namespace bitbases {

constexpr uint32_t FileMagic = 0xB17BA5E5;
constexpr uint32_t FileVersion = 1;
constexpr int HeaderBytes = 12;  // magic, version, checksum
constexpr int BitMapBytes = 32;  // diagram bit of each key bit
constexpr int EntrySpareBytes = 4;
constexpr int DiagramSpareBytes = 1;
constexpr int MaxLevels = 32;       // one level per bit of a 32-bit key
constexpr int MaxWidth = 32;        // bits per level entry
// Every name byte is stored XOR this byte, so names do not read as text in
// a dump; writer and reader must agree on it.
constexpr uint8_t NameMask = 0x5A;
// Four characters ("wtm." or "btm.") stand between the material's "." and
// the sub-table number.
constexpr int SubTableNumberOffset = 5;

constexpr int MinMen = 3, MaxMen = 5;  // kings included
constexpr int MaxTables = 512;         // materials one set can hold
// Sub-tables per side: 3-men tables are not split; larger ones are split by
// the fold king's triangle index (pawnless) or its rank (with pawns).
inline int SubTableCount(int men, bool hasPawns) {
    return men == 3 ? 1 : hasPawns ? 8 : 3;
}

// Bitbase piece codes: white king, queen, rook, bishop, knight, pawn, then
// the same for black.
enum Code : int {
    NoCode = 0,
    WK = 1, WQ = 2, WR = 3, WB = 4, WN = 5, WP = 6,
    BK = 7, BQ = 8, BR = 9, BB = 10, BN = 11, BP = 12
};
constexpr int CodeCount = 13;

// Verdicts for the side to move; a diagram's level 0 yields only the first
// three.
enum Verdict : int { Win = 0, Draw = 1, Loss = 2, NoVerdict = -1 };

// Fold of the running checksum: byte number i after the header goes to bit
// 8 * (i mod 4) of the exclusive-or of all words.
inline uint32_t ChecksumStep(uint32_t sum, uint64_t offsetAfterHeader, uint8_t byte) {
    return sum ^ (uint32_t(byte) << (8 * (offsetAfterHeader & 3)));
}

// A look-ahead from a side without data may look ahead once more in a child
// whose own side has none, but never deeper; the builder may leave out a side
// only where this answers it.
constexpr int MaxLookAheadPlies = 2;

}  // namespace bitbases
