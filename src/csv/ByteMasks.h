#pragma once
// Bit masks of chosen bytes in 64-byte stretches of a text, for the block scanners of the row
// memo and the loader (SSE2 builds only). Bit i of a mask stands for byte base + i.
#include "csv/FieldScanner.h"

#if defined(QX_FIELD_SCAN_BLOCKS)
#include <cstdint>
#include <cstring>

class ByteMasks {
public:
    // One bit per byte of a block.
    using Word = uint64_t;
    static const int kBits = 64;

    // Masks of the bytes equal to a, b and c, and of the NUL bytes, in text[base, base + kBits).
    // Bytes at or past length count as NUL; nothing outside text[0, length) is read.
    ByteMasks(const char* text, int base, int length, char a, char b, char c) {
        char copy[kBits];
        int shift;
        const char* from = window(text, base, length, copy, &shift);
        __m128i v[4];
        for (int i = 0; i < 4; ++i)
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * i));
        this->a = equal(v, a) >> shift;
        this->b = equal(v, b) >> shift;
        this->c = equal(v, c) >> shift;
        nul = equal(v, 0) >> shift;
        if (length - base < kBits) nul |= ~Word(0) << (length - base);
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
    static int lowest(Word m) { return FieldScanner::lowestBit(m); }
    // Whether the highest bit is set.
    static bool top(Word m) { return (m >> (kBits - 1)) != 0; }

    // The kind of a field (as RowFields keeps it: bit 0, the field holds quotes; bit 1 as well,
    // it is one quoted stretch) from its quotes in this block, fieldQuotes. The field starts at
    // `first` (negative: in an earlier block) and ends before `last`, both relative to the block.
    // It is one quoted stretch when its only quotes are its first and its last byte;
    // openOnly tells that a field begun in an earlier block had only its opening quote there.
    // (Without branches: whether a field holds quotes varies from field to field.)
    static int fieldKind(Word fieldQuotes, int first, int last, bool openOnly) {
        const bool startedHere = first >= 0;
        const Word ends = (startedHere ? bit(first) : 0) | bit(last - 1);
        const bool quotedOnly = (startedHere ? last - first >= 2 : openOnly) && fieldQuotes == ends;
        return static_cast<int>(fieldQuotes != 0) | static_cast<int>(quotedOnly) << 1;
    }
    // For a field that goes on past this block, with `quotes` its quotes here: whether its only
    // quote so far is its opening one (see fieldKind).
    static bool onlyOpeningQuote(Word quotes, int first, bool openOnly) {
        return first >= 0 ? first < kBits && quotes == bit(first) : openOnly && quotes == 0;
    }

    Word a, b, c, nul;

private:
    // Where the kBits bytes to compare start, and by how much the masks move down afterwards.
    // Near the end of a text at least kBits long the block that ends with the text is read;
    // a shorter text is copied into copy, padded with NULs.
    static const char* window(const char* text, int base, int length, char* copy, int* shift) {
        *shift = 0;
        const int valid = length - base;
        if (valid >= kBits) return text + base;
        if (length >= kBits) {
            *shift = kBits - valid;
            return text + length - kBits;
        }
        std::memset(copy, 0, kBits);
        std::memcpy(copy, text + base, static_cast<size_t>(valid));
        return copy;
    }
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
