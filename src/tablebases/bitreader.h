// Most-significant-bit-first reader over a bounded byte range. It holds a
// 32-bit window and refills 16 bits (two bytes, the first one high) whenever
// fewer than 17 unread bits remain in it. Bytes past the end read as 0; the
// caller asks overrun() once it is done, so a stream that is cut short is an
// error and never a read outside the buffer.
#pragma once
#include <cstdint>

namespace tablebases {

class BitReader {
public:
    BitReader(const uint8_t* data, uint32_t size) : data_(data), size_(size) {
        for (int i = 0; i < 4; i++) window_ = (window_ << 8) | Fetch();
    }

    // Next n bits without consuming them, 1 <= n <= 16.
    uint32_t Peek(int n) const { return window_ >> (32 - n); }

    // Consumes n bits, 0 <= n <= 16.
    void Skip(int n) {
        if (n == 0) return;
        window_ <<= n;
        reserve_ -= n;
        consumed_ += static_cast<uint32_t>(n);
        if (reserve_ < 1) {
            uint32_t hi = Fetch();
            uint32_t next = (hi << 8) | Fetch();
            window_ |= next << -reserve_;
            reserve_ += 16;
        }
    }

    // Reads n bits, 0 <= n <= 32.
    uint32_t Read(int n) {
        uint32_t value = 0;
        while (n > 0) {
            int step = n > 16 ? 16 : n;
            value = (value << step) | Peek(step);
            Skip(step);
            n -= step;
        }
        return value;
    }

    uint64_t Consumed() const { return consumed_; }
    bool overrun() const { return consumed_ > static_cast<uint64_t>(size_) * 8; }

private:
    uint32_t Fetch() {
        uint32_t b = pos_ < size_ ? data_[pos_] : 0;
        if (pos_ < size_) pos_++;
        return b;
    }

    const uint8_t* data_;
    uint32_t size_;
    uint32_t pos_ = 0;
    uint32_t window_ = 0;
    int reserve_ = 16;   // valid bits in the window beyond the first 16
    uint64_t consumed_ = 0;
};

}  // namespace tablebases
