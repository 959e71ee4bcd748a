#pragma once
// Block-at-a-time helpers for the conversion routes' ASCII fast paths: 16 bytes at a time with
// SSE2 where the compiler targets it, a machine word at a time elsewhere on little-endian GCC
// and Clang targets, and a plain byte loop otherwise. Every helper has the same result on every
// path; only the speed differs.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QX_ASCII_SSE2 1
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && defined(__GNUC__)
#define QX_ASCII_WORDS 1
#endif

class AsciiScan {
public:
    // Number of leading bytes below 0x80.
    static unsigned asciiPrefix(const unsigned char* p, unsigned n) {
        unsigned i = 0;
#if defined(QX_ASCII_SSE2)
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const int mask = _mm_movemask_epi8(v);
            if (mask) return i + static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
#elif defined(QX_ASCII_WORDS)
        const std::size_t highs = (~static_cast<std::size_t>(0) / 0xFF) * 0x80;
        for (; i + sizeof(std::size_t) <= n; i += sizeof(std::size_t)) {
            std::size_t w;
            std::memcpy(&w, p + i, sizeof w);
            if (w & highs) break;
        }
#endif
        while (i < n && p[i] < 0x80)
            ++i;
        return i;
    }

    // Number of leading bytes from 0x01 to 0x7F (neither NUL nor a byte with the top bit).
    static unsigned asciiNonZeroPrefix(const unsigned char* p, unsigned n) {
        unsigned i = 0;
#if defined(QX_ASCII_SSE2)
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const int mask = _mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, zero)));
            if (mask) return i + static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
#elif defined(QX_ASCII_WORDS)
        const std::size_t ones = ~static_cast<std::size_t>(0) / 0xFF;
        const std::size_t highs = ones * 0x80;
        for (; i + sizeof(std::size_t) <= n; i += sizeof(std::size_t)) {
            std::size_t w;
            std::memcpy(&w, p + i, sizeof w);
            if ((w & highs) || ((w - ones) & ~w & highs)) break;
        }
#endif
        while (i < n && p[i] != 0 && p[i] < 0x80)
            ++i;
        return i;
    }

    // Widens n ASCII bytes to UTF-16LE units at out (2n bytes).
    static void widen(const unsigned char* p, unsigned n, unsigned char* out) {
        unsigned i = 0;
#if defined(QX_ASCII_SSE2)
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16),
                             _mm_unpackhi_epi8(v, zero));
        }
#endif
        for (; i < n; ++i) {
            out[2 * i] = p[i];
            out[2 * i + 1] = 0;
        }
    }

    // Number of leading UTF-16LE units (2 bytes each, at most `units`) from U+0001 to U+007F.
    static unsigned asciiUnitPrefix(const unsigned char* p, unsigned units) {
        unsigned i = 0;
#if defined(QX_ASCII_SSE2)
        const __m128i zero = _mm_setzero_si128();
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        for (; i + 8 <= units; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
            const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, high), zero);
            const __m128i isZero = _mm_cmpeq_epi16(v, zero);
            const __m128i good = _mm_andnot_si128(isZero, ascii);
            const int mask = _mm_movemask_epi8(good);
            if (mask != 0xFFFF) {
                const unsigned firstBad =
                    static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(~mask & 0xFFFF)));
                return i + firstBad / 2;
            }
        }
#endif
        for (; i < units; ++i) {
            const unsigned u = p[2 * i] | (p[2 * i + 1] << 8);
            if (u == 0 || u >= 0x80) break;
        }
        return i;
    }

    // Narrows n UTF-16LE units known to be ASCII to n bytes at out.
    static void narrow(const unsigned char* p, unsigned n, unsigned char* out) {
        unsigned i = 0;
#if defined(QX_ASCII_SSE2)
        for (; i + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i + 16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
        }
#endif
        for (; i < n; ++i)
            out[i] = p[2 * i];
    }

    // ---- one block of 16 input bytes (8 UTF-16 units) ----
    // These store a whole block whatever it holds and return how many of its leading bytes (or
    // units) were plain ASCII; the caller advances by that much, so it must have room for the
    // whole block behind its output position.

    // Copies 16 bytes to out; returns the number of leading bytes below 0x80 (and not NUL when
    // nonZero is set).
    static unsigned copyBlock(const unsigned char* p, unsigned char* out, bool nonZero) {
#if defined(QX_ASCII_SSE2)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (nonZero)
            mask |=
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
        return mask ? static_cast<unsigned>(__builtin_ctz(mask)) : 16;
#else
        std::memcpy(out, p, 16);
        unsigned n = 0;
        while (n < 16 && p[n] < 0x80 && (!nonZero || p[n] != 0))
            ++n;
        return n;
#endif
    }

    // Widens 16 bytes to 16 UTF-16LE units at out (32 bytes); returns the number of leading
    // bytes below 0x80.
    static unsigned widenBlock(const unsigned char* p, unsigned char* out) {
#if defined(QX_ASCII_SSE2)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(v, zero));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
        return mask ? static_cast<unsigned>(__builtin_ctz(mask)) : 16;
#else
        unsigned n = 0;
        while (n < 16 && p[n] < 0x80)
            ++n;
        widen(p, 16, out);
        return n;
#endif
    }

    // Narrows 8 UTF-16LE units (16 bytes) to 8 bytes at out; returns the number of leading
    // units from U+0001 to U+007F.
    static unsigned narrowBlock(const unsigned char* p, unsigned char* out) {
#if defined(QX_ASCII_SSE2)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i zero = _mm_setzero_si128();
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
        const __m128i ascii =
            _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
        const __m128i good = _mm_andnot_si128(_mm_cmpeq_epi16(v, zero), ascii);
        const unsigned bad = ~static_cast<unsigned>(_mm_movemask_epi8(good)) & 0xFFFF;
        return bad ? static_cast<unsigned>(__builtin_ctz(bad)) / 2 : 8;
#else
        const unsigned n = asciiUnitPrefix(p, 8);
        for (unsigned i = 0; i < 8; ++i)
            out[i] = p[2 * i];
        return n;
#endif
    }
};
