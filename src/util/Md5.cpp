#include "util/Md5.h"

#include "text/StringBuffer.h"

#include <cstring>

namespace {

inline uint32_t rotl(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t load32le(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void store32le(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Per-step shift amounts and sine-derived constants of the four rounds.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

} // namespace

Md5::Md5() {
    reset();
}

void Md5::reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xEFCDAB89;
    state_[2] = 0x98BADCFE;
    state_[3] = 0x10325476;
    bitCount_[0] = bitCount_[1] = 0;
    std::memset(block_, 0, sizeof block_);
}

void Md5::transform(const unsigned char block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = load32le(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        uint32_t next = b + rotl(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::update(const unsigned char* p, std::size_t n) {
    std::size_t used = (bitCount_[0] >> 3) & 63;
    uint64_t bits = (static_cast<uint64_t>(bitCount_[1]) << 32 | bitCount_[0]) +
                    (static_cast<uint64_t>(n) << 3);
    bitCount_[0] = static_cast<uint32_t>(bits);
    bitCount_[1] = static_cast<uint32_t>(bits >> 32);
    if (used) {
        std::size_t take = 64 - used;
        if (take > n) take = n;
        std::memcpy(block_ + used, p, take);
        used += take;
        p += take;
        n -= take;
        if (used < 64) return;
        transform(block_);
    }
    for (; n >= 64; p += 64, n -= 64)
        transform(p);
    if (n) std::memcpy(block_, p, n);
}

void Md5::finish(unsigned char out[16]) {
    unsigned char length[8];
    store32le(length, bitCount_[0]);
    store32le(length + 4, bitCount_[1]);
    // Pad with 0x80 and zeros up to 56 bytes modulo 64, then the bit length.
    std::size_t used = (bitCount_[0] >> 3) & 63;
    std::size_t pad = used < 56 ? 56 - used : 120 - used;
    unsigned char padding[64] = {0x80};
    update(padding, pad);
    update(length, 8);
    for (int i = 0; i < 4; ++i)
        store32le(out + 4 * i, state_[i]);
}

void Md5::digestBytes(const void* data, std::size_t n, unsigned char out[16]) {
    reset();
    if (data && n) update(static_cast<const unsigned char*>(data), n);
    finish(out);
}

void Md5::digestString(const StringBuffer& data, unsigned char out[16]) {
    digestBytes(data.getString(), static_cast<std::size_t>(data.getSize()), out);
}
