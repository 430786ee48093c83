#include "codec_support.h"

#include <cstring>

#include "tablebases/format.h"

namespace tbtest {

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t next = 0;
    for (int len = 1; len <= 31; len++) {
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s] == len) codes[s] = next++;
        next <<= 1;
    }
    return codes;
}

namespace {
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; i++) v[at + i] = static_cast<uint8_t>(x >> (24 - 8 * i));
}
}  // namespace

std::vector<uint8_t> BuildImage(const ImageSpec& image) {
    std::vector<uint8_t> h(80, 0);
    std::memcpy(h.data(), tablebases::Banner, 64);
    h[70] = static_cast<uint8_t>(image.sizeBits);
    h[71] = 24;
    Put32(h, 72, static_cast<uint32_t>(image.blocks.size()));
    Put32(h, 76, 0x004001F5);
    h.resize(80 + 8 * image.blocks.size(), 0);   // CRC pairs, left 0: not checked
    Bits fields;
    for (const auto& b : image.blocks) fields.Put(static_cast<uint32_t>(b.size()) & ((1u << image.sizeBits) - 1), image.sizeBits);
    fields.Put(image.lastSize & ((1u << image.sizeBits) - 1), image.sizeBits);
    for (uint32_t d : image.distances) fields.Put(d, image.sizeBits);
    h.insert(h.end(), fields.bytes.begin(), fields.bytes.end());

    Bits code;
    bool allZero = true;
    for (uint8_t l : image.lengths) allZero &= l == 0;
    if (allZero) {
        code.Put(1, 1);
    } else {
        code.Put(0, 1);
        // The 128 lengths of codes A and B: A gives symbols 0..31 five bits
        // each (so a length is written as itself), B is empty.
        code.Put(0, 1);
        code.Put(3, 5);
        for (int i = 0; i < 32; i++) code.Put(5, 3);
        for (int i = 0; i < 6; i++) code.Put(0, 3), code.Put(15, 4);
        for (uint8_t l : image.lengths) code.Put(l, 5);
    }
    h.insert(h.end(), code.bytes.begin(), code.bytes.end());
    h.resize(h.size() + 4);
    Put32(h, 64, static_cast<uint32_t>(h.size()));
    Put32(h, h.size() - 4, tablebases::comp_crc(h.data(), static_cast<uint32_t>(h.size() - 4)));
    for (const auto& b : image.blocks) h.insert(h.end(), b.begin(), b.end());
    return h;
}

TempFile::TempFile(const std::vector<uint8_t>& bytes) {
    file = tmpfile();
    if (file && !bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    if (file) fflush(file);
}

TempFile::~TempFile() {
    if (file) fclose(file);
}

int DecodeAll(const std::vector<uint8_t>& image, std::vector<uint8_t>& out, int checkCrc) {
    using namespace tablebases;
    out.clear();
    TempFile tmp(image);
    if (!tmp.file) return -1;
    decode_info* info = nullptr;
    int err = comp_open_file(&info, tmp.file, checkCrc);
    if (err) return err;
    std::vector<uint8_t> comp(CompBufferBytes), orig(DecodeBufferBytes);
    decode_block block;
    comp_init_block(&block, comp.data(), orig.data());
    for (uint32_t b = 0; b < comp_block_count(info) && !err; b++) {
        err = comp_read_block(&block, info, tmp.file, b);
        if (!err) out.insert(out.end(), orig.begin(), orig.begin() + comp_block_size(info, b));
    }
    comp_close_file(info);
    return err;
}

}  // namespace tbtest
