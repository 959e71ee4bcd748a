#pragma once
// Bit masks of chosen bytes in 64-byte stretches of a text, for the block scanners of the row
// memo and the loader (SSE2 builds only). Bit i of a mask stands for byte base + i.
#include "csv/FieldScanner.h"

#if defined(QX_FIELD_SCAN_BLOCKS)
#include <cstdint>

class ByteMasks {
public:
    // One bit per byte of a block.
    using Word = uint64_t;
    static const int kBits = 64;

    // Masks of the bytes equal to a, b and c, and of the NUL bytes, in text[base, base + kBits).
    // Bytes at or past length count as NUL; nothing outside text[0, length) is read.
    ByteMasks(const char* text, int base, int length, char a, char b, char c) {
        const int valid = length - base < kBits ? length - base : kBits;
        const char* from = text + base;
        int shift = 0;
        char copy[kBits];
        if (valid < kBits) {
            if (length >= kBits) {
                // The block that ends with the text, moved down to bit 0 afterwards.
                from = text + length - kBits;
                shift = kBits - valid;
            } else {
                std::memset(copy, 0, sizeof copy);
                std::memcpy(copy, text + base, static_cast<size_t>(valid));
                from = copy;
            }
        }
        __m128i v[4];
        for (int i = 0; i < 4; ++i)
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * i));
        this->a = equal(v, a) >> shift;
        this->b = equal(v, b) >> shift;
        this->c = equal(v, c) >> shift;
        nul = equal(v, 0) >> shift;
        if (valid < kBits) nul |= ~Word(0) << valid;
    }

    // Bit i set when an odd number of the bits 0..i of m are set.
    static Word prefixParity(Word m) {
        m ^= m << 1;
        m ^= m << 2;
        m ^= m << 4;
        m ^= m << 8;
        m ^= m << 16;
        m ^= m << 32;
        return m;
    }
    // The bits below bit n (n from 0 to kBits).
    static Word below(int n) { return n >= kBits ? ~Word(0) : (Word(1) << n) - 1; }
    // Bit n alone (n taken modulo kBits).
    static Word bit(int n) { return Word(1) << (n & (kBits - 1)); }
    // The index of the lowest set bit of m (m not 0).
    static int lowest(Word m) { return __builtin_ctzll(m); }
    // Whether the highest bit is set.
    static bool top(Word m) { return (m >> (kBits - 1)) != 0; }

    Word a, b, c, nul;

private:
    static Word equal(const __m128i* v, char byte) {
        const __m128i x = _mm_set1_epi8(byte);
        Word m = 0;
        for (int i = 0; i < 4; ++i)
            m |=
                static_cast<Word>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v[i], x))))
                << (16 * i);
        return m;
    }
};
#endif
