// Decoder throughput: compresses a distance-to-mate-like sample, then reads
// and decodes every block of it repeatedly. Prints MB/s of decoded output.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tablebases/tbdecode.h"
#include "tbgen/tbencode.h"

using namespace tablebases;

int main(int argc, char** argv) {
    const size_t size = (argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 16) << 20;
    std::mt19937 rng(1);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; i++)
        data[i] = static_cast<uint8_t>(((i / 64) % 7 == 0 ? 0 : 100 + (i / 512) % 30) + (rng() % 50 == 0 ? rng() % 9 : 0));
    FILE* file = tmpfile();
    if (!file || !comp_encode_file(data.data(), data.size(), file)) return 1;
    decode_info* info = nullptr;
    if (comp_open_file(&info, file, 0)) return 1;
    std::vector<uint8_t> comp(CompBufferBytes), orig(DecodeBufferBytes);
    decode_block block;
    comp_init_block(&block, comp.data(), orig.data());
    const uint32_t blocks = comp_block_count(info);
    const auto start = std::chrono::steady_clock::now();
    uint64_t decoded = 0;
    for (int round = 0; round < 3; round++)
        for (uint32_t b = 0; b < blocks; b++) {
            if (comp_read_block(&block, info, file, b)) return 1;
            decoded += comp_block_size(info, b);
        }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%u blocks, compressed to %.1f%%\n", blocks,
                 100.0 * static_cast<double>(comp_block_offset(info, blocks)) / static_cast<double>(size));
    std::printf("%.0f MB/s\n", static_cast<double>(decoded) / seconds / 1e6);
    comp_close_file(info);
    fclose(file);
    return 0;
}
