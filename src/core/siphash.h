// SipHash-1-3 with both keys zero: the one hasher of every value that identifies something (gate matrices,
// state vectors, identity circuits). Streaming: the result depends only on the concatenated bytes written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tandrel {

/// Incremental SipHash-1-3 (one compression round, three finalisation rounds), keys k0 = k1 = 0.
class SipHasher13 {
public:
    SipHasher13() = default;

    void write(const void* data, size_t len) {
        auto p = static_cast<const uint8_t*>(data);
        length_ += len;
        if (ntail_) {
            while (len && ntail_ < 8) {
                tail_ |= uint64_t(*p++) << (8 * ntail_++);
                --len;
            }
            if (ntail_ < 8) return;
            compress(tail_);
            tail_ = 0;
            ntail_ = 0;
        }
        while (len >= 8) {
            uint64_t m;
            std::memcpy(&m, p, 8);  // little-endian host
            compress(m);
            p += 8;
            len -= 8;
        }
        while (len) {
            tail_ |= uint64_t(*p++) << (8 * ntail_++);
            --len;
        }
    }
    void write_u8(uint8_t x) { write(&x, 1); }
    void write_u16(uint16_t x) { write(&x, 2); }
    /// The 4 little-endian bytes of x, merged into the pending tail word without a byte loop.
    void write_u32(uint32_t x) {
        length_ += 4;
        if (ntail_ < 4) {
            tail_ |= uint64_t(x) << (8 * ntail_);
            ntail_ += 4;
            if (ntail_ < 8) return;
            compress(tail_);
            tail_ = 0;
            ntail_ = 0;
        } else {
            compress(tail_ | (uint64_t(x) << (8 * ntail_)));
            ntail_ -= 4;
            tail_ = ntail_ ? uint64_t(x) >> (32 - 8 * ntail_) : 0;
        }
    }
    /// The 8 little-endian bytes of x: one compression, the word shifted across the pending tail bytes.
    void write_u64(uint64_t x) {
        length_ += 8;
        if (ntail_ == 0) return compress(x);
        compress(tail_ | (x << (8 * ntail_)));
        tail_ = x >> (64 - 8 * ntail_);
    }
    void write_i64(int64_t x) { write_u64(static_cast<uint64_t>(x)); }

    /// The 64-bit hash of everything written so far (the hasher may be written to further afterwards).
    uint64_t finish() const {
        uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
        uint64_t b = (uint64_t(length_ & 0xff) << 56) | tail_;
        v3 ^= b;
        round(v0, v1, v2, v3);
        v0 ^= b;
        v2 ^= 0xff;
        round(v0, v1, v2, v3);
        round(v0, v1, v2, v3);
        round(v0, v1, v2, v3);
        return v0 ^ v1 ^ v2 ^ v3;
    }

private:
    static uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
    static void round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }
    void compress(uint64_t m) {
        v3_ ^= m;
        round(v0_, v1_, v2_, v3_);
        v0_ ^= m;
    }

    // Initial state for k0 = k1 = 0.
    uint64_t v0_ = 0x736f6d6570736575ULL;
    uint64_t v1_ = 0x646f72616e646f6dULL;
    uint64_t v2_ = 0x6c7967656e657261ULL;
    uint64_t v3_ = 0x7465646279746573ULL;
    uint64_t tail_ = 0;
    size_t ntail_ = 0;
    size_t length_ = 0;
};

/// SipHash-1-3 of one byte string.
inline uint64_t siphash13(const void* data, size_t len) {
    SipHasher13 h;
    h.write(data, len);
    return h.finish();
}

}  // namespace tandrel
