#pragma once
// Building blocks of the CSV field scanners, in two forms that must agree byte for byte:
//
//  - the fast forms, used by StringBuffer's split/countFields/getNthField/setNthField and by the
//    grid's row-offset cache: they jump from one byte that matters (delimiter, double quote,
//    backslash, NUL) to the next with a 16-byte (SSE2) or machine-word search;
//  - the reference forms (reference*), the plain byte-by-byte loops that define the dialect.
//    They are kept for the differential tests and fuzz targets that run random lines through
//    both and compare.
//
// Every function reads the text up to `length` bytes or its first NUL byte, whichever comes
// first (a NUL ends a line for every scanner). `quotes` and `backslash` switch quote and escape
// handling, as for the StringBuffer operations.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QX_FIELD_SCAN_BLOCKS 1
#endif

class ExtPtrArray;
class StringBuffer;

class FieldScanner {
public:
    // ---- searching ----
    // Position of the first byte at or after `from` that equals a, b, c or d, or NUL; `length`
    // when there is none. The plain form is referenceFindAny.
    static int findAny(const char* text, int from, int length, unsigned char a, unsigned char b,
                       unsigned char c, unsigned char d);
    static int referenceFindAny(const char* text, int from, int length, unsigned char a,
                                unsigned char b, unsigned char c, unsigned char d);

    // Where the text really ends: the first NUL, or `length`.
    static int textEnd(const char* text, int length);

    // ---- fields ----
    // Starting at `from` outside quotes and with no escape pending (the state at the start of a
    // line and after every field-separating delimiter), the position of the next delimiter that
    // separates fields, or the end of the text (first NUL or `length`) when there is none.
    static int nextDelimiter(const char* text, int from, int length, char delimiter, bool quotes,
                             bool backslash);
    static int referenceNextDelimiter(const char* text, int from, int length, char delimiter,
                                      bool quotes, bool backslash);

    // Walks the text from `from` (outside quotes, no escape pending) and calls onSeparator(p)
    // with the position of every delimiter that separates fields, in order, until it returns
    // false. Returns the position of the delimiter at which it was told to stop, or else where
    // the text ends (first NUL or `length`). The same as calling nextDelimiter in a loop; with
    // SSE2 it classifies 16 bytes at a time and visits only the bytes that matter.
    //
    // onMark(p), when given, is also called for the fields that hold a quote or an escaping
    // backslash (at least once inside each such field, before the separator that ends it), so
    // that a caller can tell plain fields, whose raw text is their cell, from the others.
    template <class F>
    static int scanSeparators(const char* text, int from, int length, char delimiter, bool quotes,
                              bool backslash, F&& onSeparator) {
        return scanSeparators(text, from, length, delimiter, quotes, backslash, onSeparator,
                              [](int) {});
    }
    template <class F, class G>
    static int scanSeparators(const char* text, int from, int length, char delimiter, bool quotes,
                              bool backslash, F&& onSeparator, G&& onMark);

    // Appends to out the cell that the raw field text[0..length) stands for: quotes dropped, a
    // doubled quote inside quotes giving one quote, escaping backslashes dropped. The field is
    // read with fresh state (not in quotes, no escape pending), which is the state at the start
    // of every field.
    // Field index (from 0) of text[0, length) appended to out as its cell: the row is scanned
    // from its start; nothing is appended when it has fewer fields.
    static void appendNthField(const char* text, int length, int index, char delimiter, bool quotes,
                               bool backslash, StringBuffer& out);
    static void appendUnquoted(const char* text, int length, bool quotes, bool backslash,
                               StringBuffer& out);
    // appendUnquoted with quotes and backslashes on, for a short field, without a call: the cell
    // is written to out (which has room for length + 16 bytes) and its length returned; -1, with
    // nothing written, when the field is longer than kShortField bytes, holds a backslash or a
    // NUL, or fewer than kShortReadable bytes from text on may be read.
    static int unquoteShort(const char* text, int length, std::ptrdiff_t readable, char* out);
    static const int kShortField = 64;
    static const int kShortReadable = 80;
    // The index of the lowest set bit of m (m not 0). A 32-bit build has no instruction for a
    // 64-bit word and would call a library routine: there it takes the word's halves in turn.
    static int lowestBit(uint64_t m) {
        if (sizeof(void*) >= 8) return __builtin_ctzll(m);
        const uint32_t low = static_cast<uint32_t>(m);
        return low ? __builtin_ctz(low) : 32 + __builtin_ctz(static_cast<uint32_t>(m >> 32));
    }

    // ---- the four scanners in their plain form ----
    static void referenceSplit(const StringBuffer& text, ExtPtrArray& out, char separator,
                               bool quotes, bool backslash);
    static int referenceCountFields(const StringBuffer& text, char delimiter, bool quotes,
                                    bool backslash);
    static void referenceGetNthField(const StringBuffer& text, int index, char delimiter,
                                     bool quotes, bool backslash, StringBuffer& out);
    static void referenceSetNthField(StringBuffer& text, int index, char delimiter, bool quotes,
                                     bool backslash, const StringBuffer& value);
};

inline int FieldScanner::unquoteShort(const char* text, int length, std::ptrdiff_t readable,
                                      char* out) {
#if defined(QX_FIELD_SCAN_BLOCKS)
    if (length < 0 || length > kShortField || readable < kShortReadable) return -1;
    // The field's quotes, and its backslashes and NULs, as bit masks.
    uint64_t quotes = 0, others = 0;
    const __m128i vq = _mm_set1_epi8('"'), vb = _mm_set1_epi8('\\');
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * i));
        const unsigned q = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vq)));
        const unsigned o = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, vb), _mm_cmpeq_epi8(v, zero))));
        quotes |= static_cast<uint64_t>(q) << (16 * i);
        others |= static_cast<uint64_t>(o) << (16 * i);
    }
    const uint64_t live = length >= 64 ? ~uint64_t(0) : (uint64_t(1) << length) - 1;
    if (others & live) return -1;
    // The quotes that go: each one that opens or closes a quoted stretch, and the second of
    // each doubled quote inside one.
    uint64_t dropped = 0;
    bool inQuotes = false;
    for (uint64_t rest = quotes & live; rest;) {
        const int p = lowestBit(rest);
        rest &= rest - 1;
        const uint64_t next = p < 63 ? uint64_t(1) << (p + 1) : 0;
        if (inQuotes && (rest & next)) {
            rest &= ~next;
            dropped |= next;
        } else {
            dropped |= uint64_t(1) << p;
            inQuotes = !inQuotes;
        }
    }
    // The bytes that stay, a stretch at a time between the dropped ones, 16 bytes a move.
    char* w = out;
    int from = 0;
    for (;;) {
        const int to = dropped ? lowestBit(dropped) : length;
        for (int k = from; k < to; k += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w + (k - from)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k)));
        w += to - from;
        if (!dropped) break;
        dropped &= dropped - 1;
        from = to + 1;
    }
    return static_cast<int>(w - out);
#else
    (void)text;
    (void)length;
    (void)readable;
    (void)out;
    return -1;
#endif
}

template <class F, class G>
int FieldScanner::scanSeparators(const char* text, int from, int length, char delimiter,
                                 bool quotes, bool backslash, F&& onSeparator, G&& onMark) {
#if defined(QX_FIELD_SCAN_BLOCKS)
    const char d = delimiter;
    const __m128i vd = _mm_set1_epi8(d);
    const __m128i vq = _mm_set1_epi8(quotes ? '"' : d);
    const __m128i vb = _mm_set1_epi8(backslash ? '\\' : d);
    const __m128i zero = _mm_setzero_si128();
    bool inQuotes = false;
    int skip = from; // bytes before this position are escaped or already passed
    for (int base = from; base < length; base += 16) {
        __m128i v;
        if (base + 16 <= length) {
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + base));
        } else {
            // The last bytes, padded with zeros: a zero past the end reads as the end.
            char tail[16] = {};
            std::memcpy(tail, text + base, static_cast<size_t>(length - base));
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail));
        }
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, vd), _mm_cmpeq_epi8(v, vq)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, vb), _mm_cmpeq_epi8(v, zero)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (mask) {
            const int p = base + __builtin_ctz(mask);
            mask &= mask - 1;
            if (p < skip) continue;
            if (p >= length) return length;
            const char c = text[p];
            if (c == 0) return p;
            if (backslash && c == '\\') {
                // The field holds an escape even when the text ends right after the backslash
                // (the backslash is then dropped from the cell, escaping nothing).
                onMark(p);
                // The next byte is ordinary, whatever it is; the text may end right here.
                if (p + 1 >= length) return length;
                if (text[p + 1] == 0) return p + 1;
                skip = p + 2;
                continue;
            }
            if (quotes && c == '"') {
                inQuotes = !inQuotes;
                onMark(p);
                continue;
            }
            if (inQuotes) continue;
            if (!onSeparator(p)) return p;
        }
    }
    return length;
#else
    const unsigned char q0 = quotes ? '"' : '\\';
    const unsigned char b0 = backslash ? '\\' : '"';
    int p = from;
    for (;;) {
        const int q = nextDelimiter(text, p, length, delimiter, quotes, backslash);
        if ((quotes || backslash) && findAny(text, p, q, q0, b0, q0, b0) < q) onMark(p);
        if (q >= length || text[q] == 0) return q;
        if (!onSeparator(q)) return q;
        p = q + 1;
    }
#endif
}
