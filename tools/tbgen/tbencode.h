// Compressor for tablebase files: writes the block format that the engine's
// reader (src/tablebases/tbdecode.h) decodes. Offline use only.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tablebases {

// Compresses `size` bytes (at least 1) into a whole ".emd" image: header,
// then the blocks. Returns false when the input is empty.
bool comp_encode_buffer(const uint8_t* data, uint64_t size, std::vector<uint8_t>& out);

// The same, written to an open file; false on an empty input or a write error.
bool comp_encode_file(const uint8_t* data, uint64_t size, FILE* out);

// Length-limited prefix code for the given symbol frequencies: lengths of
// the unused symbols are 0; a lone used symbol gets length 1.
void huffman_encode_lengths(const uint64_t* freq, int count, int maxLength, uint8_t* lengths);

}  // namespace tablebases
