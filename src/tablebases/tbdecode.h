// Reader of compressed (".emd") tablebase files: the header is checked once
// when a file is opened, then single blocks are read and decoded on demand.
// Every function returns 0 on success and a nonzero code on failure.
#pragma once
#include <cstdint>
#include <cstdio>

#include "tablebases/format.h"

namespace tablebases {

enum CompError : int {
    CompOk = 0,
    CompErrRead,          // short read, failed seek, truncated file
    CompErrHeader,        // banner, tag, slot count, size width, CRC
    CompErrSizes,         // block or header sizes out of range
    CompErrCode,          // malformed code lengths
    CompErrMemory,
    CompErrBlockNumber,
    CompErrData,          // block decodes short or long, bad back-reference
    CompErrNoCode,        // a block needs decoding but the file has no code
};

// Decoding table of a canonical prefix code: 2^k lookup entries indexed by
// the next k bits (symbol * 32 + length, or -m for a code longer than k whose
// tail walks the binary tree at entries m, m + 1), then the tree itself.
struct huffman_decode {
    int bits = 0;
    bool empty = true;     // every code length was 0: nothing can be decoded
    int16_t table[(1 << MainLookupBits) + 2 * SymbolCount];
};

int huffman_decode_create(huffman_decode* table, const uint8_t* lengths, int count, int bits);

struct decode_info;   // per file part, built by comp_open_file

struct decode_block {
    int32_t magic;            // DecodeBlockMagic while the block is in use
    const uint8_t* comp;      // compressed bytes; comp_read_block fills compBuffer
    uint8_t* compBuffer;      // CompBufferBytes bytes
    uint8_t* orig;            // decoded bytes; DecodeBufferBytes bytes
    uint32_t compSize;
    uint32_t origSize;
    uint32_t number;
};

constexpr int32_t DecodeBlockMagic = 0x79A3F29D;
constexpr int32_t DecodeInfoMagic = 0x5ABC947F;

// Reads and checks the header at the file's current start; on success
// *info owns the decode information and must be freed with comp_close_file.
int comp_open_file(decode_info** info, FILE* file, int checkCrc);
void comp_close_file(decode_info* info);

uint32_t comp_block_count(const decode_info* info);
uint32_t comp_block_size(const decode_info* info, uint32_t block);   // decoded size
uint64_t comp_block_offset(const decode_info* info, uint32_t block);

// Prepares a decode block over caller-owned buffers.
void comp_init_block(decode_block* block, uint8_t* compBuffer, uint8_t* orig);

// Reads block `number` and leaves its decoded bytes in block->orig.
int comp_read_block(decode_block* block, decode_info* info, FILE* file, uint32_t number);

// Decodes block->comp into block->orig; `size` is the expected decoded size.
int comp_decode_and_check_crc(decode_block* block, decode_info* info, uint32_t size, int checkCrc);

}  // namespace tablebases
