// Compressor and reader together: what goes in comes out, block by block,
// and no corruption of a written file gets past the reader.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec_support.h"
#include "tablebases/format.h"
#include "tablebases/tbdecode.h"
#include "tbgen/tbencode.h"

using namespace tablebases;

namespace {

std::vector<uint8_t> Sample(const std::string& kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; i++) {
        if (kind == "zeros") v[i] = 0;
        else if (kind == "random") v[i] = static_cast<uint8_t>(rng());
        else if (kind == "periodic") v[i] = static_cast<uint8_t>((i % 48) * 3 + (i / 3072));
        else if (kind == "sparse") v[i] = rng() % 16 == 0 ? static_cast<uint8_t>(rng() % 5) : 0;
        // Distance-to-mate-like: long runs of a few values with noise.
        else v[i] = static_cast<uint8_t>(((i / 64) % 7 == 0 ? 0 : 100 + (i / 512) % 30) + (rng() % 50 == 0 ? 1 : 0));
    }
    return v;
}

}  // namespace

TEST(CompRoundTrip, VariedDataAndSizes) {
    const std::string kinds[] = {"zeros", "random", "periodic", "sparse", "mate"};
    const size_t sizes[] = {1, 2, 100, BlockSize - 1, BlockSize, BlockSize + 1, 5 * BlockSize + 77, 40 * BlockSize};
    uint32_t seed = 1;
    for (const auto& kind : kinds)
        for (size_t size : sizes) {
            const auto data = Sample(kind, size, seed++);
            std::vector<uint8_t> image, out;
            ASSERT_TRUE(comp_encode_buffer(data.data(), data.size(), image));
            // CRC checking on: the writer's per-block CRCs must be right too.
            ASSERT_EQ(tbtest::DecodeAll(image, out, 1), 0) << kind << " " << size;
            EXPECT_TRUE(out == data) << kind << " " << size;
            if (kind == "zeros" && size >= BlockSize) {
                EXPECT_LT(image.size(), size / 50) << size;
            }
            if (kind == "mate" && size >= 5 * BlockSize) {
                EXPECT_LT(image.size(), size / 3) << size;
            }
        }
    std::vector<uint8_t> image;
    EXPECT_FALSE(comp_encode_buffer(nullptr, 0, image));
}

TEST(CompRoundTrip, EveryCorruptionIsCaughtByTheCrcsAndNoneCrashes) {
    const auto data = Sample("mate", 3 * BlockSize + 500, 99);
    std::vector<uint8_t> image, out;
    ASSERT_TRUE(comp_encode_buffer(data.data(), data.size(), image));
    ASSERT_EQ(tbtest::DecodeAll(image, out, 1), 0);
    std::mt19937 rng(5);
    for (size_t at = 0; at < image.size(); at += 1 + at / 64) {
        auto bad = image;
        bad[at] ^= static_cast<uint8_t>(1 + rng() % 255);
        EXPECT_NE(tbtest::DecodeAll(bad, out, 1), 0) << "byte " << at;
        tbtest::DecodeAll(bad, out, 0);   // without CRCs: anything but a crash
        EXPECT_LE(out.size(), data.size());
    }
    for (size_t cut = 0; cut < image.size(); cut += 1 + cut / 16) {
        std::vector<uint8_t> part(image.begin(), image.begin() + static_cast<long>(cut));
        EXPECT_NE(tbtest::DecodeAll(part, out, 0), 0) << "cut at " << cut;
    }
}

TEST(CompRoundTrip, GarbageBlocksBehindAValidHeader) {
    const auto data = Sample("sparse", 6 * BlockSize, 3);
    std::vector<uint8_t> image, out;
    ASSERT_TRUE(comp_encode_buffer(data.data(), data.size(), image));
    const uint32_t h = (uint32_t(image[64]) << 24) | (uint32_t(image[65]) << 16) | (uint32_t(image[66]) << 8) | image[67];
    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        auto bad = image;
        for (size_t i = h; i < bad.size(); i++) bad[i] = static_cast<uint8_t>(rng() >> (round % 24));
        tbtest::DecodeAll(bad, out, 0);
        EXPECT_LE(out.size(), data.size());
    }
}

TEST(HuffmanEncodeLengths, LimitedLengthsStayComplete) {
    // Fibonacci weights would need codes as long as the alphabet.
    uint64_t freq[40];
    freq[0] = freq[1] = 1;
    for (int i = 2; i < 40; i++) freq[i] = freq[i - 1] + freq[i - 2];
    uint8_t len[40];
    huffman_encode_lengths(freq, 40, 12, len);
    double kraft = 0;
    for (int i = 0; i < 40; i++) {
        EXPECT_GE(len[i], 1);
        EXPECT_LE(len[i], 12);
        kraft += std::ldexp(1.0, -len[i]);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    huffman_decode* code = new huffman_decode;
    EXPECT_EQ(huffman_decode_create(code, len, 40, 8), 0);
    delete code;
}
