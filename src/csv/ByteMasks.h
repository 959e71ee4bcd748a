#pragma once
// Bit masks of chosen bytes in 32-byte stretches of a text, for the block scanners of the row
// memo and the loader (SSE2 builds only). Bit i of a mask stands for byte base + i.
#include "csv/FieldScanner.h"

#if defined(QX_FIELD_SCAN_BLOCKS)
class ByteMasks {
public:
    // Masks of the bytes equal to a, b and c, and of the NUL bytes, in text[base, base + 32).
    // Bytes at or past length count as NUL; nothing outside text[0, length) is read.
    ByteMasks(const char* text, int base, int length, char a, char b, char c) {
        const int valid = length - base < 32 ? length - base : 32;
        const char* from = text + base;
        int shift = 0;
        char copy[32];
        if (valid < 32) {
            if (length >= 32) {
                // The 32 bytes that end with the text, moved down to bit 0 afterwards.
                from = text + length - 32;
                shift = 32 - valid;
            } else {
                std::memset(copy, 0, sizeof copy);
                std::memcpy(copy, text + base, static_cast<size_t>(valid));
                from = copy;
            }
        }
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
        this->a = equal(lo, hi, a) >> shift;
        this->b = equal(lo, hi, b) >> shift;
        this->c = equal(lo, hi, c) >> shift;
        nul = equal(lo, hi, 0) >> shift;
        if (valid < 32) nul |= ~0u << valid;
    }

    // Bit i set when an odd number of the bits 0..i of m are set.
    static unsigned prefixParity(unsigned m) {
        m ^= m << 1;
        m ^= m << 2;
        m ^= m << 4;
        m ^= m << 8;
        m ^= m << 16;
        return m;
    }
    // The bits below bit n (n from 0 to 32).
    static unsigned below(int n) { return n >= 32 ? ~0u : (1u << n) - 1; }

    unsigned a, b, c, nul;

private:
    static unsigned equal(__m128i lo, __m128i hi, char byte) {
        const __m128i v = _mm_set1_epi8(byte);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(lo, v))) |
               static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(hi, v))) << 16;
    }
};
#endif
