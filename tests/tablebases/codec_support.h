// Hand-built compressed images for the block reader's tests, written
// without the compressor so that reader and writer are checked separately.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tablebases/tbdecode.h"

namespace tbtest {

class Bits {
public:
    void Put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; i--) {
            if (fill_ % 8 == 0) bytes.push_back(0);
            if ((v >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (fill_ % 8));
            fill_++;
        }
    }
    std::vector<uint8_t> bytes;

private:
    int fill_ = 0;
};

// Canonical code values for a set of lengths (by length, then symbol).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

struct ImageSpec {
    std::vector<uint8_t> lengths = std::vector<uint8_t>(1024, 0);   // main code
    uint32_t distances[24] = {};
    std::vector<std::vector<uint8_t>> blocks;   // compressed bytes per block
    uint32_t lastSize = 8192;                   // decoded size of the last block
    int sizeBits = 14;
};

// Header (with the code lengths packed as 32 five-bit literal codes) and blocks.
std::vector<uint8_t> BuildImage(const ImageSpec& image);

// A temporary file holding the bytes, removed when the object goes.
struct TempFile {
    explicit TempFile(const std::vector<uint8_t>& bytes);
    ~TempFile();
    FILE* file = nullptr;
};

// Opens the image and decodes every block; returns the first error (or 0)
// and the decoded bytes.
int DecodeAll(const std::vector<uint8_t>& image, std::vector<uint8_t>& out, int checkCrc = 0);

}  // namespace tbtest
