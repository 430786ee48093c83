// Layout of compressed tablebase files, shared by the block reader and the
// compressor in tools/. All multi-byte numbers in a file are big-endian.
#pragma once
#include <cstdint>

namespace tablebases {

constexpr uint32_t BlockSize = 8192;          // decoded bytes of every block but the last
constexpr uint32_t FixedHeaderBytes = 80;     // banner, lengths, counts, tag
constexpr uint32_t MinHeaderBytes = 84;       // fixed part and the trailing CRC
constexpr uint32_t FormatTag = 0x004001F5;
constexpr int DistanceSlots = 24;
constexpr int SymbolCount = 1024;             // 256 literals, then 24 slots x 32 length codes
constexpr int LiteralCount = 256;
constexpr int LengthCodes = 32;
constexpr int ShortLengthCodes = 15;          // codes 0..14 are lengths 1..15 without extra bits
constexpr int MainLookupBits = 13;
constexpr int MaxSizeBits = 16;               // width limit of the size and distance fields
constexpr int MaxCodeLength = 31;
constexpr int SmallCodeCount = 128;           // code-length lists up to this long are stored plainly
constexpr int LengthCodeSymbols = 64;         // alphabet of the two codes that pack long lists
constexpr int LengthCodeLookupBits = 8;

// Header offsets.
constexpr int HeaderLengthOffset = 64;
constexpr int HeaderBlockSizeOffset = 68;     // informative only: 16-bit block size
constexpr int HeaderSizeBitsOffset = 70;
constexpr int HeaderSlotsOffset = 71;
constexpr int HeaderBlocksOffset = 72;
constexpr int HeaderTagOffset = 76;

// Banner: one 60-character line ending in CR LF, padded with 4 zero bytes.
constexpr int BannerBytes = 64;
constexpr char Banner[BannerBytes + 1] =
    "Compressed by DATACOMP v 1.0 (Kestrion tablebase writer)  \r\n\0\0\0";

// Room the decoder needs: compressed input and decoded output buffers.
constexpr uint32_t CompBufferBytes = 8256;
constexpr uint32_t DecodeBufferBytes = 8228;

// Table-driven reflected CRC, polynomial 0xEDB88320, register starting at 0
// and no final inversion; the table folds in the polynomial when the low bit
// is 0, which makes this CRC differ from the common one.
uint32_t comp_crc(const uint8_t* data, uint32_t size, uint32_t crc = 0);

}  // namespace tablebases
