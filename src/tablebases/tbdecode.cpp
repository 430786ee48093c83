// Compressed tablebase files: header check, prefix-code tables and block
// decoding. The file is untrusted: every count, size, length and distance it
// supplies is checked before use.
#include "tablebases/tbdecode.h"

#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "tablebases/bitreader.h"
#include "tablebases/tbassert.h"

namespace tablebases {

namespace {

struct CrcTable {
    uint32_t entry[256];
    constexpr CrcTable() : entry() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t x = i;
            for (int round = 0; round < 8; round++)
                x = (x & 1) ? (x >> 1) : ((x >> 1) ^ 0xEDB88320u);
            entry[i] = x;
        }
    }
};
constexpr CrcTable Crc;

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Reads one symbol; the table is complete and built by us, so the tree walk
// always ends at a leaf within MaxCodeLength steps.
inline int DecodeSymbol(const huffman_decode& code, BitReader& in) {
    int e = code.table[in.Peek(code.bits)];
    if (e >= 0) {
        in.Skip(e & 31);
        return e >> 5;
    }
    in.Skip(code.bits);
    for (;;) {
        e = code.table[-e + static_cast<int>(in.Read(1))];
        if (e >= 0) return e;
    }
}

// Code-length format: a flag for "all zero"; short lists as W-bit lengths
// with 4-bit zero runs; long lists through two small codes (A: lengths and
// run markers, B: run lengths) whose own 128 lengths come first.
int ReadLengths(BitReader& in, uint8_t* out, int count) {
    if (in.Read(1)) {
        std::memset(out, 0, static_cast<size_t>(count));
        return CompOk;
    }
    if (count <= SmallCodeCount) {
        int width = static_cast<int>(in.Read(5));
        int i = 0;
        while (i < count) {
            uint32_t v = in.Read(width);
            if (v > MaxCodeLength) return CompErrCode;
            out[i++] = static_cast<uint8_t>(v);
            if (v == 0) {
                int zeros = static_cast<int>(in.Read(4));
                if (zeros > count - i) return CompErrCode;
                std::memset(out + i, 0, static_cast<size_t>(zeros));
                i += zeros;
            }
            if (in.overrun()) return CompErrCode;
        }
        return CompOk;
    }

    uint8_t small[2 * LengthCodeSymbols];
    int err = ReadLengths(in, small, 2 * LengthCodeSymbols);
    if (err) return err;
    huffman_decode* codes = new (std::nothrow) huffman_decode[2];
    if (!codes) return CompErrMemory;
    huffman_decode& a = codes[0];
    huffman_decode& b = codes[1];
    err = huffman_decode_create(&a, small, LengthCodeSymbols, LengthCodeLookupBits);
    if (!err) err = huffman_decode_create(&b, small + LengthCodeSymbols, LengthCodeSymbols, LengthCodeLookupBits);
    int i = 0;
    while (!err && i < count) {
        if (a.empty) { err = CompErrCode; break; }
        int sa = DecodeSymbol(a, in);
        if (sa < 32) {
            out[i++] = static_cast<uint8_t>(sa);
        } else {
            if (b.empty) { err = CompErrCode; break; }
            int sb = DecodeSymbol(b, in);
            uint32_t run;
            if (sb < 32) {
                run = static_cast<uint32_t>(sb);
            } else {
                int e = sb - 32;
                if (e > 16) { err = CompErrCode; break; }   // far beyond any list
                run = (1u << e) + in.Read(e) + 31;
            }
            if (run + 2 > static_cast<uint32_t>(count - i)) { err = CompErrCode; break; }
            std::memset(out + i, sa & 31, run + 2);
            i += static_cast<int>(run + 2);
        }
        if (in.overrun()) err = CompErrCode;
    }
    delete[] codes;
    return err;
}

}  // namespace

struct decode_info {
    int32_t magic;
    uint32_t blockCount;
    uint32_t lastSize;                 // decoded size of the last block
    uint32_t distances[DistanceSlots];
    // Offsets: one 64-bit base per group of 16 blocks (plus the end of the
    // data), and per block a 16-bit distance: forward from its group's base
    // for the first 8, back from the next base, less one, for the last 8.
    uint64_t* groupBase;
    uint16_t* blockDelta;
    uint32_t* crcs;                    // decoded and compressed CRC per block, or null
    huffman_decode code;
};

uint32_t comp_crc(const uint8_t* data, uint32_t size, uint32_t crc) {
    for (uint32_t i = 0; i < size; i++) crc = (crc >> 8) ^ Crc.entry[(crc ^ data[i]) & 255];
    return crc;
}

int huffman_decode_create(huffman_decode* code, const uint8_t* lengths, int count, int bits) {
    TB_ASSERT(count >= 1 && count <= SymbolCount && bits >= 1 && bits <= MainLookupBits);
    const int lookup = 1 << bits;
    code->bits = bits;
    code->empty = true;
    std::memset(code->table, 0, sizeof code->table);

    int perLength[MaxCodeLength + 1] = {};
    int used = 0, only = 0;
    for (int s = 0; s < count; s++) {
        if (lengths[s] > MaxCodeLength) return CompErrCode;
        if (lengths[s]) used++, only = s;
        perLength[lengths[s]]++;
    }
    if (used == 0) return CompOk;
    if (used == 1) {
        // A lone symbol costs no bits at all.
        if (lengths[only] != 1) return CompErrCode;
        for (int i = 0; i < lookup; i++) code->table[i] = static_cast<int16_t>(only * 32);
        code->empty = false;
        return CompOk;
    }
    // Complete prefix code: the Kraft sum must be exactly 1.
    uint32_t nodes = 0;
    for (int len = MaxCodeLength; len >= 1; len--) {
        nodes += static_cast<uint32_t>(perLength[len]);
        if (nodes & 1) return CompErrCode;
        nodes >>= 1;
    }
    if (nodes != 1) return CompErrCode;

    // Canonical codes: by length, then by symbol number.
    uint32_t next[MaxCodeLength + 2];
    uint32_t c = 0;
    perLength[0] = 0;
    for (int len = 1; len <= MaxCodeLength; len++) {
        c = (c + static_cast<uint32_t>(perLength[len - 1])) << 1;
        next[len] = c;
    }
    constexpr int16_t Unset = 0x7FFF;
    int free = lookup;
    for (int s = 0; s < count; s++) {
        int len = lengths[s];
        if (!len) continue;
        uint32_t v = next[len]++;
        if (len <= bits) {
            uint32_t first = v << (bits - len);
            for (uint32_t i = 0; i < (1u << (bits - len)); i++)
                code->table[first + i] = static_cast<int16_t>(s * 32 + len);
            continue;
        }
        uint32_t prefix = v >> (len - bits);
        int16_t* slot = &code->table[prefix];
        for (int i = len - bits - 1; i >= 0; i--) {
            // Lookup entries start at 0, tree entries at Unset (0 is symbol 0 there).
            const bool inTree = slot >= code->table + lookup;
            if (inTree ? *slot == Unset : *slot == 0) {
                TB_ASSERT(free + 2 <= lookup + 2 * SymbolCount);
                code->table[free] = code->table[free + 1] = Unset;
                *slot = static_cast<int16_t>(-free);
                free += 2;
            }
            if (*slot >= 0) return CompErrCode;   // cannot happen for a complete canonical code
            const int node = -*slot;
            slot = &code->table[node + ((v >> i) & 1)];
        }
        *slot = static_cast<int16_t>(s);
    }
    code->empty = false;
    return CompOk;
}

int comp_open_file(decode_info** out, FILE* file, int checkCrc) {
    *out = nullptr;
    if (fseeko(file, 0, SEEK_END) != 0) return CompErrRead;
    off_t end = ftello(file);
    if (end < 0 || fseeko(file, 0, SEEK_SET) != 0) return CompErrRead;
    const uint64_t fileSize = static_cast<uint64_t>(end);

    // Step 1: fixed part of the header.
    uint8_t fixed[FixedHeaderBytes];
    if (fread(fixed, 1, FixedHeaderBytes, file) != FixedHeaderBytes) return CompErrRead;
    if (std::memcmp(fixed, Banner, BannerBytes) != 0) return CompErrHeader;
    const uint32_t headerBytes = Be32(fixed + HeaderLengthOffset);
    const int sizeBits = fixed[HeaderSizeBitsOffset];
    const uint32_t blocks = Be32(fixed + HeaderBlocksOffset);
    if (fixed[HeaderSlotsOffset] != DistanceSlots || Be32(fixed + HeaderTagOffset) != FormatTag)
        return CompErrHeader;
    if (sizeBits < 1 || sizeBits > MaxSizeBits) return CompErrHeader;
    if (headerBytes < MinHeaderBytes || blocks == 0) return CompErrSizes;
    if (MinHeaderBytes + uint64_t(8) * blocks > headerBytes) return CompErrSizes;
    if (headerBytes > fileSize) return CompErrRead;

    uint8_t* header = static_cast<uint8_t*>(std::malloc(headerBytes));
    if (!header) return CompErrMemory;
    std::memcpy(header, fixed, FixedHeaderBytes);
    int err = CompOk;
    decode_info* info = nullptr;
    if (fread(header + FixedHeaderBytes, 1, headerBytes - FixedHeaderBytes, file) != headerBytes - FixedHeaderBytes)
        err = CompErrRead;
    else if (comp_crc(header, headerBytes - 4) != Be32(header + headerBytes - 4))
        err = CompErrHeader;
    if (!err) {
        info = new (std::nothrow) decode_info();
        if (!info) err = CompErrMemory;
    }
    if (!err) {
        info->magic = DecodeInfoMagic;
        info->blockCount = blocks;
        const uint32_t groups = (blocks + 15) / 16;
        info->groupBase = new (std::nothrow) uint64_t[groups + 1];
        info->blockDelta = new (std::nothrow) uint16_t[blocks];
        info->crcs = checkCrc ? new (std::nothrow) uint32_t[2 * uint64_t(blocks)] : nullptr;
        if (!info->groupBase || !info->blockDelta || (checkCrc && !info->crcs)) err = CompErrMemory;
    }
    uint8_t* lengths = nullptr;
    uint32_t* sizes = nullptr;
    if (!err) {
        lengths = new (std::nothrow) uint8_t[SymbolCount];
        sizes = new (std::nothrow) uint32_t[blocks];
        if (!lengths || !sizes) err = CompErrMemory;
    }
    if (!err) {
        if (info->crcs)
            for (uint64_t i = 0; i < 2 * uint64_t(blocks); i++) info->crcs[i] = Be32(header + FixedHeaderBytes + 4 * i);

        // Step 2: block sizes, the last block's decoded size and the distances.
        const uint32_t fieldsStart = FixedHeaderBytes + 8 * blocks;
        BitReader fields(header + fieldsStart, headerBytes - 4 - fieldsStart);
        const uint32_t full = 1u << sizeBits;
        for (uint32_t b = 0; b <= blocks; b++) {
            uint32_t size = fields.Read(sizeBits);
            if (size == 0) size = full;
            if (size > BlockSize) err = CompErrSizes;
            if (b < blocks) sizes[b] = size;
            else info->lastSize = size;
        }
        for (int s = 0; s < DistanceSlots; s++) info->distances[s] = fields.Read(sizeBits);
        if (!err && fields.overrun()) err = CompErrSizes;

        // Step 3: the code lengths start at the next byte boundary.
        if (!err) {
            const uint32_t codeStart = fieldsStart + static_cast<uint32_t>((fields.Consumed() + 7) / 8);
            BitReader stream(header + codeStart, headerBytes - 4 - codeStart);
            err = ReadLengths(stream, lengths, SymbolCount);
            if (!err && stream.overrun()) err = CompErrCode;
            if (!err) err = huffman_decode_create(&info->code, lengths, SymbolCount, MainLookupBits);
        }

        // Step 4: block offsets, every block inside the file.
        uint64_t offset = headerBytes;
        for (uint32_t b = 0; b < blocks && !err; b++) {
            if (b % 16 == 0) info->groupBase[b / 16] = offset;
            offset += sizes[b];
        }
        if (!err && offset > fileSize) err = CompErrRead;
        if (!err) {
            info->groupBase[(blocks + 15) / 16] = offset;
            uint64_t at = headerBytes;
            for (uint32_t b = 0; b < blocks; b++) {
                const uint64_t delta = b % 16 < 8 ? at - info->groupBase[b / 16]
                                                  : info->groupBase[b / 16 + 1] - at - 1;
                info->blockDelta[b] = static_cast<uint16_t>(delta);
                at += sizes[b];
            }
        }
    }
    delete[] lengths;
    delete[] sizes;
    std::free(header);
    if (err) {
        comp_close_file(info);
        return err;
    }
    *out = info;
    return CompOk;
}

void comp_close_file(decode_info* info) {
    if (!info) return;
    delete[] info->groupBase;
    delete[] info->blockDelta;
    delete[] info->crcs;
    delete info;
}

uint32_t comp_block_count(const decode_info* info) {
    TB_ASSERT(info->magic == ((int) 0x5abc947fL));
    return info->blockCount;
}

uint32_t comp_block_size(const decode_info* info, uint32_t block) {
    TB_ASSERT(info->magic == ((int) 0x5abc947fL));
    return block + 1 == info->blockCount ? info->lastSize : BlockSize;
}

uint64_t comp_block_offset(const decode_info* info, uint32_t block) {
    TB_ASSERT(info->magic == ((int) 0x5abc947fL));
    TB_ASSERT(block <= info->blockCount);
    if (block == info->blockCount) return info->groupBase[(block + 15) / 16];
    const uint32_t g = block / 16;
    return block % 16 < 8 ? info->groupBase[g] + info->blockDelta[block]
                          : info->groupBase[g + 1] - info->blockDelta[block] - 1;
}

void comp_init_block(decode_block* block, uint8_t* compBuffer, uint8_t* orig) {
    block->magic = DecodeBlockMagic;
    block->comp = compBuffer;
    block->compBuffer = compBuffer;
    block->orig = orig;
    block->compSize = block->origSize = block->number = 0;
}

int comp_decode_and_check_crc(decode_block* block, decode_info* info, uint32_t size, int checkCrc) {
    TB_ASSERT(info->magic == ((int) 0x5abc947fL));
    TB_ASSERT(block->magic == ((int) 0x79a3f29dL));
    TB_ASSERT(size <= DecodeBufferBytes);
    uint8_t* out = block->orig;
    if (block->compSize == size) {
        // Stored block: the bytes are the block itself.
        std::memcpy(out, block->comp, size);
    } else {
        if (info->code.empty) return CompErrNoCode;
        BitReader in(block->comp, block->compSize);
        uint32_t at = 0;
        // Step 2: literals and back-references until the block is full.
        while (at < size) {
            const int s = DecodeSymbol(info->code, in);
            if (s < LiteralCount) {
                out[at++] = static_cast<uint8_t>(s);
                continue;
            }
            const int v = s - LiteralCount;
            const int g = v % LengthCodes;
            uint32_t length;
            if (g < ShortLengthCodes) {
                length = static_cast<uint32_t>(g) + 1;
            } else {
                const int n = g - (ShortLengthCodes - 1);
                length = (1u << n) + 14 + in.Read(n);
            }
            const uint32_t distance = info->distances[v / LengthCodes];
            if (distance == 0 || distance > at || length > size - at) return CompErrData;
            // Byte by byte: the source may overlap the bytes being written.
            const uint8_t* from = out + (at - distance);
            for (uint32_t i = 0; i < length; i++) out[at + i] = from[i];
            at += length;
        }
        // Step 3: the block must not have needed bits beyond its own bytes.
        if (in.overrun()) return CompErrData;
    }
    if (checkCrc && info->crcs) {
        const uint64_t n = block->number;
        if (comp_crc(out, size) != info->crcs[2 * n]) return CompErrData;
    }
    return CompOk;
}

int comp_read_block(decode_block* block, decode_info* info, FILE* file, uint32_t number) {
    TB_ASSERT(info->magic == ((int) 0x5abc947fL));
    TB_ASSERT(block->magic == ((int) 0x79a3f29dL));
    if (number >= info->blockCount) return CompErrBlockNumber;
    const uint64_t start = comp_block_offset(info, number);
    const uint64_t length = comp_block_offset(info, number + 1) - start;
    if (length > CompBufferBytes) return CompErrSizes;
    if (fseeko(file, static_cast<off_t>(start), SEEK_SET) != 0) return CompErrRead;
    if (fread(block->compBuffer, 1, length, file) != length) return CompErrRead;
    block->comp = block->compBuffer;
    block->compSize = static_cast<uint32_t>(length);
    block->number = number;
    block->origSize = comp_block_size(info, number);
    if (info->crcs && comp_crc(block->comp, block->compSize) != info->crcs[2 * uint64_t(number) + 1])
        return CompErrData;
    return comp_decode_and_check_crc(block, info, block->origSize, info->crcs != nullptr);
}

}  // namespace tablebases
