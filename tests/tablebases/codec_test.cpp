// Block reader on hand-made images: the format's corner cases one by one.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "codec_support.h"
#include "tablebases/format.h"
#include "tablebases/tbdecode.h"

using namespace tablebases;
using tbtest::Bits;

namespace {

// Sixteen symbols with 4-bit codes: literals, and matches at distances 1, 3, 2.
const int Symbols[16] = {0, 'a', 'b', 'c',
                         256 + 0, 256 + 1, 256 + 2, 256 + 3, 256 + 4, 256 + 15, 256 + 31,
                         288 + 0, 288 + 1, 288 + 2, 288 + 3, 320 + 0};

tbtest::ImageSpec SmallCodeSpec() {
    tbtest::ImageSpec image;
    for (int s : Symbols) image.lengths[s] = 4;
    image.distances[0] = 1;
    image.distances[1] = 3;
    image.distances[2] = 2;
    return image;
}

struct Stream {
    std::vector<uint32_t> codes = tbtest::CanonicalCodes(SmallCodeSpec().lengths);
    Bits bits;
    void Lit(int c) { bits.Put(codes[c], 4); }
    void Match(int slot, int lengthCode) { bits.Put(codes[256 + 32 * slot + lengthCode], 4); }
};

}  // namespace

TEST(CompCrc, MatchesBitwiseDefinition) {
    // Bit by bit: shift right, exclusive-or the polynomial when the low bit was 0.
    auto bitwise = [](const std::string& s) {
        uint32_t crc = 0;
        for (unsigned char c : s) {
            crc ^= c;
            for (int i = 0; i < 8; i++) crc = (crc & 1) ? crc >> 1 : (crc >> 1) ^ 0xEDB88320u;
        }
        return crc;
    };
    for (std::string s : {std::string(""), std::string("a"), std::string("123456789"), std::string(300, '\xff')})
        EXPECT_EQ(comp_crc(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size())), bitwise(s)) << s;
    // Not the common CRC-32 (cbf43926 for "123456789").
    EXPECT_NE(comp_crc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(HuffmanDecodeCreate, RejectsCodesThatAreNotCompletePrefixCodes) {
    huffman_decode* code = new huffman_decode;
    uint8_t len[8] = {1, 2, 3, 3, 0, 0, 0, 0};
    EXPECT_EQ(huffman_decode_create(code, len, 8, 8), 0);
    len[3] = 0;   // incomplete
    EXPECT_NE(huffman_decode_create(code, len, 8, 8), 0);
    len[3] = 3, len[4] = 3;   // oversubscribed
    EXPECT_NE(huffman_decode_create(code, len, 8, 8), 0);
    uint8_t lone[4] = {0, 2, 0, 0};   // a lone code must have length 1
    EXPECT_NE(huffman_decode_create(code, lone, 4, 8), 0);
    lone[1] = 1;
    EXPECT_EQ(huffman_decode_create(code, lone, 4, 8), 0);
    EXPECT_EQ(code->table[0], 1 * 32);   // symbol 1, no bits consumed
    EXPECT_EQ(code->table[255], 1 * 32);
    uint8_t big[2] = {32, 32};
    EXPECT_NE(huffman_decode_create(code, big, 2, 8), 0);
    uint8_t none[3] = {0, 0, 0};
    EXPECT_EQ(huffman_decode_create(code, none, 3, 8), 0);
    EXPECT_TRUE(code->empty);
    delete code;
}

TEST(HuffmanDecodeCreate, CodesLongerThanTheLookupWalkTheTree) {
    // Lengths 1, 2, ..., 19, 19 over 20 symbols: codes up to 19 bits, past 13.
    tbtest::ImageSpec image;
    std::vector<int> syms;
    for (int i = 0; i < 20; i++) syms.push_back(i * 37 % 256);
    for (int i = 0; i < 20; i++) image.lengths[syms[i]] = static_cast<uint8_t>(i < 19 ? i + 1 : 19);
    auto codes = tbtest::CanonicalCodes(image.lengths);
    Bits bits;
    std::vector<uint8_t> expect;
    for (int round = 0; round < 3; round++)
        for (int i = 19; i >= 0; i--) {
            bits.Put(codes[syms[i]], image.lengths[syms[i]]);
            expect.push_back(static_cast<uint8_t>(syms[i]));
        }
    image.blocks.push_back(bits.bytes);
    image.lastSize = static_cast<uint32_t>(expect.size());
    std::vector<uint8_t> out;
    ASSERT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), 0);
    EXPECT_EQ(out, expect);
}

TEST(CompReadBlock, StoredBlockOfExactlyBlockSizeIsCopied) {
    tbtest::ImageSpec image = SmallCodeSpec();
    std::vector<uint8_t> raw(BlockSize);
    for (size_t i = 0; i < raw.size(); i++) raw[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    image.blocks = {raw, raw};
    image.blocks[1][0] ^= 0x55;
    std::vector<uint8_t> out;
    ASSERT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), 0);
    ASSERT_EQ(out.size(), 2 * size_t(BlockSize));
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin()));
    EXPECT_TRUE(std::equal(image.blocks[1].begin(), image.blocks[1].end(), out.begin() + BlockSize));
}

TEST(CompReadBlock, ShortMatchesOverlapsAndLongLengthCodes) {
    Stream s;
    s.Lit('a'), s.Lit('b'), s.Lit('c');
    s.Match(1, 0);                    // distance 3, length 1: a
    s.Match(1, 1);                    // length 2: bc
    s.Match(1, 3);                    // length 4, overlapping its own output: abca
    s.Match(0, 2);                    // distance 1, length 3: aaa
    s.Match(0, 15), s.bits.Put(1, 1); // length code 15, extra bit 1: 17 bytes
    s.Lit('b');
    s.Match(2, 0);                    // distance 2, length 1: a
    s.Match(0, 15), s.bits.Put(0, 1); // extra bit 0: 16 bytes
    const std::string expect = "abc" "a" "bc" "abca" "aaa" + std::string(17, 'a') + "ba" + std::string(16, 'a');

    tbtest::ImageSpec image = SmallCodeSpec();
    image.blocks.push_back(s.bits.bytes);
    image.lastSize = static_cast<uint32_t>(expect.size());
    std::vector<uint8_t> out;
    ASSERT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), expect);
}

TEST(CompReadBlock, DistanceOneFillsAWholeBlock) {
    // 8191 bytes from distance 1 after one literal: length code 26 (n = 12
    // extra bits) covers 2^12 + 14 .. 2^13 + 13.
    tbtest::ImageSpec image = SmallCodeSpec();
    image.lengths[256 + 26] = 4, image.lengths[320] = 0;   // swap one symbol: still complete
    Stream s;
    s.codes = tbtest::CanonicalCodes(image.lengths);
    s.Lit('c');
    s.Match(0, 26), s.bits.Put(8191 - 4096 - 14, 12);
    image.blocks.push_back(s.bits.bytes);
    std::vector<uint8_t> out;
    ASSERT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(BlockSize, 'c'));
}

TEST(CompReadBlock, BlocksThatDecodeShortLongOrOutsideAreErrors) {
    auto decode = [](const Stream& s, uint32_t size) {
        tbtest::ImageSpec image = SmallCodeSpec();
        image.blocks.push_back(s.bits.bytes);
        image.lastSize = size;
        std::vector<uint8_t> out;
        return tbtest::DecodeAll(tbtest::BuildImage(image), out);
    };
    Stream ok;
    ok.Lit('a'), ok.Match(0, 3);
    EXPECT_EQ(decode(ok, 5), 0);
    EXPECT_NE(decode(ok, 4), 0);    // the match runs past the block's end
    EXPECT_NE(decode(ok, 60), 0);   // the bits run out first
    Stream before;
    before.Lit('a'), before.Match(1, 0);   // distance 3 at position 1
    EXPECT_NE(decode(before, 2), 0);
    Stream huge;
    huge.Lit('a'), huge.Match(0, 31), huge.bits.Put(0, 17);   // 2^17 + 14 bytes
    EXPECT_NE(decode(huge, BlockSize), 0);
}

TEST(CompOpenFile, AllZeroCodeLengthsDecodeNothing) {
    tbtest::ImageSpec image;   // every code length 0
    std::vector<uint8_t> raw(100, 'x');
    image.blocks = {std::vector<uint8_t>(BlockSize, 'y'), raw};
    image.lastSize = 100;
    std::vector<uint8_t> out;
    EXPECT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), 0);   // stored blocks only
    image.lastSize = 200;   // the last block now needs decoding
    EXPECT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), CompErrNoCode);
}

TEST(CompOpenFile, HeaderFieldsAreChecked) {
    tbtest::ImageSpec image = SmallCodeSpec();
    image.blocks = {std::vector<uint8_t>(BlockSize, 1)};
    const std::vector<uint8_t> good = tbtest::BuildImage(image);
    std::vector<uint8_t> out;
    ASSERT_EQ(tbtest::DecodeAll(good, out), 0);

    // Re-seal a changed header with a correct CRC, so that only the field fails.
    auto reseal = [](std::vector<uint8_t> img) {
        uint32_t h = (uint32_t(img[64]) << 24) | (uint32_t(img[65]) << 16) | (uint32_t(img[66]) << 8) | img[67];
        uint32_t crc = comp_crc(img.data(), h - 4);
        for (int i = 0; i < 4; i++) img[h - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        return img;
    };
    auto bad = good;
    bad[10] = 'X';   // banner
    EXPECT_EQ(tbtest::DecodeAll(reseal(bad), out), CompErrHeader);
    bad = good, bad[71] = 23;   // distance slots
    EXPECT_EQ(tbtest::DecodeAll(reseal(bad), out), CompErrHeader);
    bad = good, bad[79] ^= 1;   // format tag
    EXPECT_EQ(tbtest::DecodeAll(reseal(bad), out), CompErrHeader);
    bad = good, bad[70] = 17;   // size width
    EXPECT_EQ(tbtest::DecodeAll(reseal(bad), out), CompErrHeader);
    bad = good, bad[75] = 200;  // more blocks than the header holds CRCs for
    EXPECT_EQ(tbtest::DecodeAll(reseal(bad), out), CompErrSizes);
    bad = good, bad[90] ^= 4;   // a CRC pair byte without resealing
    EXPECT_EQ(tbtest::DecodeAll(bad, out), CompErrHeader);
    bad = good, bad[64] = bad[65] = bad[66] = 0, bad[67] = 83;   // header too short
    EXPECT_EQ(tbtest::DecodeAll(bad, out), CompErrSizes);
    bad = good, bad[64] = 0x7F;   // header longer than the file
    EXPECT_EQ(tbtest::DecodeAll(bad, out), CompErrRead);
    bad = good, bad.resize(bad.size() - 1);   // the block is cut short
    EXPECT_EQ(tbtest::DecodeAll(bad, out), CompErrRead);

    // A compressed size beyond 8192 (width 16 allows 65535) is refused.
    tbtest::ImageSpec wide = SmallCodeSpec();
    wide.sizeBits = 16;
    wide.blocks = {std::vector<uint8_t>(BlockSize + 1, 0)};
    EXPECT_EQ(tbtest::DecodeAll(tbtest::BuildImage(wide), out), CompErrSizes);
}

TEST(CompOpenFile, MalformedCodeLengthsAreRefused) {
    tbtest::ImageSpec image = SmallCodeSpec();
    image.blocks = {std::vector<uint8_t>(BlockSize, 1)};
    image.lengths[5] = 4;   // seventeen 4-bit codes: oversubscribed
    std::vector<uint8_t> out;
    EXPECT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), CompErrCode);
    image.lengths[5] = 0;
    image.lengths[0] = 5;   // fifteen 4-bit codes and a 5-bit one: incomplete
    EXPECT_EQ(tbtest::DecodeAll(tbtest::BuildImage(image), out), CompErrCode);
}

TEST(CompOpenFile, RandomHeadersWithValidCrcNeverCrash) {
    std::mt19937 rng(7);
    int opened = 0;
    for (int round = 0; round < 3000; round++) {
        const uint32_t blocks = 1 + rng() % 4;
        const uint32_t h = 84 + 8 * blocks + rng() % 200;
        std::vector<uint8_t> img(h + rng() % 3000);
        for (auto& b : img) b = static_cast<uint8_t>(rng());
        std::memcpy(img.data(), Banner, 64);
        for (int i = 0; i < 4; i++) {
            img[64 + i] = static_cast<uint8_t>(h >> (24 - 8 * i));
            img[72 + i] = static_cast<uint8_t>(blocks >> (24 - 8 * i));
            img[76 + i] = static_cast<uint8_t>(FormatTag >> (24 - 8 * i));
        }
        img[70] = static_cast<uint8_t>(1 + rng() % 16);
        img[71] = 24;
        // Half of the rounds start the code lengths with a plain list.
        if (round & 1) img[80 + 8 * blocks] &= 0x7F;
        uint32_t crc = comp_crc(img.data(), h - 4);
        for (int i = 0; i < 4; i++) img[h - 4 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        std::vector<uint8_t> out;
        int err = tbtest::DecodeAll(img, out);
        if (err == 0) opened++;
        EXPECT_LE(out.size(), blocks * size_t(BlockSize));
    }
    RecordProperty("opened", opened);
}
