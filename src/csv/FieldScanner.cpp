// Building blocks of the field scanners (fast forms) and the plain byte loops that define the
// dialect (reference forms). See FieldScanner.h and the design note in StringBufferFields.cpp.
#include "csv/FieldScanner.h"

#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QX_FIELD_SCAN_SSE2 1
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && defined(__GNUC__)
#define QX_FIELD_SCAN_WORDS 1
#endif

namespace {

const unsigned char kQuote = '"';
const unsigned char kBackslash = '\\';

inline unsigned char byteAt(const char* text, int i) {
    return static_cast<unsigned char>(text[i]);
}

#if defined(QX_FIELD_SCAN_WORDS)
// Word-at-a-time search: a byte of (w ^ broadcast(t)) is zero where w holds t. The classic test
// below marks such bytes with their top bit; it may also mark bytes above a true zero byte
// (through the borrow), never below one, so the lowest mark is always exact.
typedef std::size_t Word;
const Word kOnes = ~static_cast<Word>(0) / 0xFF;
const Word kHighs = kOnes * 0x80;

inline Word zeroBytes(Word x) {
    return (x - kOnes) & ~x & kHighs;
}

inline int lowestMarkedByte(Word marks) {
    if (sizeof(Word) == 8) return __builtin_ctzll(static_cast<unsigned long long>(marks)) / 8;
    return __builtin_ctz(static_cast<unsigned>(marks)) / 8;
}
#endif

} // namespace

// ---- searching -------------------------------------------------------------------------------

int FieldScanner::referenceFindAny(const char* text, int from, int length, unsigned char a,
                                   unsigned char b, unsigned char c, unsigned char d) {
    for (int p = from; p < length; ++p) {
        const unsigned char x = byteAt(text, p);
        if (x == 0 || x == a || x == b || x == c || x == d) return p;
    }
    return length;
}

int FieldScanner::findAny(const char* text, int from, int length, unsigned char a, unsigned char b,
                          unsigned char c, unsigned char d) {
    if (from >= length) return length;
    int p = from;
#if defined(QX_FIELD_SCAN_SSE2)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    const __m128i vd = _mm_set1_epi8(static_cast<char>(d));
    const __m128i zero = _mm_setzero_si128();
    for (; p + 16 <= length; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                         _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, vc), _mm_cmpeq_epi8(v, vd)),
                                      _mm_cmpeq_epi8(v, zero)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#elif defined(QX_FIELD_SCAN_WORDS)
    const Word wa = kOnes * a, wb = kOnes * b, wc = kOnes * c, wd = kOnes * d;
    for (; p + static_cast<int>(sizeof(Word)) <= length; p += static_cast<int>(sizeof(Word))) {
        Word w;
        std::memcpy(&w, text + p, sizeof w);
        const Word marks = zeroBytes(w) | zeroBytes(w ^ wa) | zeroBytes(w ^ wb) |
                           zeroBytes(w ^ wc) | zeroBytes(w ^ wd);
        if (marks) return p + lowestMarkedByte(marks);
    }
#endif
    return referenceFindAny(text, p, length, a, b, c, d);
}

int FieldScanner::textEnd(const char* text, int length) {
    if (length <= 0) return 0;
    const void* nul = std::memchr(text, 0, static_cast<std::size_t>(length));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - text) : length;
}

// ---- fields ----------------------------------------------------------------------------------

int FieldScanner::nextDelimiter(const char* text, int from, int length, char delimiter, bool quotes,
                                bool backslash) {
    const unsigned char d = static_cast<unsigned char>(delimiter);
    // Bytes that do not take part stand in as copies of one that does.
    const unsigned char q = quotes ? kQuote : d;
    const unsigned char bs = backslash ? kBackslash : d;
    const unsigned char qIn = quotes ? kQuote : 0;
    const unsigned char bsIn = backslash ? kBackslash : qIn;
    int p = from;
    for (;;) {
        p = findAny(text, p, length, d, q, bs, d);
        if (p >= length) return length;
        unsigned char c = byteAt(text, p);
        if (c == 0) return p;
        if (backslash && c == kBackslash) {
            // The next byte is ordinary, whatever it is; the text may end right here.
            if (p + 1 >= length || byteAt(text, p + 1) == 0) return p + 1;
            p += 2;
            continue;
        }
        if (quotes && c == kQuote) {
            // Inside quotes only a backslash, the closing quote and the end of the text count.
            ++p;
            for (;;) {
                p = findAny(text, p, length, qIn, bsIn, qIn, qIn);
                if (p >= length) return length;
                c = byteAt(text, p);
                if (c == 0) return p;
                if (backslash && c == kBackslash) {
                    if (p + 1 >= length || byteAt(text, p + 1) == 0) return p + 1;
                    p += 2;
                    continue;
                }
                ++p; // the closing quote (a doubled quote closes and reopens)
                break;
            }
            continue;
        }
        return p; // the delimiter
    }
}

int FieldScanner::referenceNextDelimiter(const char* text, int from, int length, char delimiter,
                                         bool quotes, bool backslash) {
    const unsigned char d = static_cast<unsigned char>(delimiter);
    bool inQuotes = false;
    bool escaped = false;
    for (int p = from; p < length; ++p) {
        const unsigned char c = byteAt(text, p);
        if (c == 0) return p;
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == d)
            return p;
    }
    return length;
}

void FieldScanner::appendNthField(const char* text, int length, int index, char delimiter,
                                  bool quotes, bool backslash, StringBuffer& out) {
    if (index < 0 || length <= 0) return;
    int seen = 0;
    int start = index == 0 ? 0 : -1;
    const int end = scanSeparators(text, 0, length, delimiter, quotes, backslash, [&](int p) {
        if (start >= 0) return false; // field ends
        if (++seen == index) start = p + 1;
        return true;
    });
    if (start >= 0) appendUnquoted(text + start, end - start, quotes, backslash, out);
}

void FieldScanner::appendUnquoted(const char* text, int length, bool quotes, bool backslash,
                                  StringBuffer& out) {
    if (length <= 0) return;
    if (!quotes && !backslash) {
        out.appendN(text, length);
        return;
    }
    const unsigned char q = quotes ? kQuote : kBackslash;
    const unsigned char bs = backslash ? kBackslash : kQuote;
    if (length <= 64 && out.expectNumBytes(length)) {
        // Short fields in one pass, written straight behind the text (the cell is never longer
        // than the field). The same reading as the segment loop below.
        const int from = out.getSize();
        char* w = out.getWritableData() + from;
        bool inQuotes = false;
        for (int p = 0; p < length; ++p) {
            const unsigned char c = byteAt(text, p);
            if (c == 0) break;
            if (backslash && c == kBackslash) {
                // The next byte is kept whatever it is; a backslash before the end or a NUL
                // ends the text and is dropped.
                if (p + 1 >= length || text[p + 1] == 0) break;
                *w++ = text[++p];
                continue;
            }
            if (quotes && c == kQuote) {
                if (!inQuotes)
                    inQuotes = true;
                else if (p + 1 < length && byteAt(text, p + 1) == kQuote)
                    *w++ = text[++p]; // a doubled quote gives one
                else
                    inQuotes = false;
                continue;
            }
            *w++ = static_cast<char>(c);
        }
        out.setLength(from + static_cast<int>(w - (out.getWritableData() + from)));
        return;
    }
    // The field is copied in segments; quotes and escaping backslashes end a segment and are
    // left out.
    int start = 0;
    bool inQuotes = false;
    int p = 0;
    for (;;) {
        p = findAny(text, p, length, q, bs, q, q);
        if (p >= length) break;
        const unsigned char c = byteAt(text, p);
        if (c == 0) {
            // Not part of a field the scanners produce; ends the text like everywhere else.
            length = p;
            break;
        }
        if (backslash && c == kBackslash) {
            out.appendN(text + start, p - start);
            start = p + 1;
            if (p + 1 < length && byteAt(text, p + 1) == 0) {
                length = p + 1;
                break;
            }
            p += 2; // the escaped byte stays in the next segment
            continue;
        }
        if (!inQuotes)
            inQuotes = true;
        else if (p + 1 < length && byteAt(text, p + 1) == kQuote)
            ++p; // a doubled quote: the segment keeps the first, the second is skipped
        else
            inQuotes = false;
        out.appendN(text + start, p - start);
        start = p + 1;
        ++p;
    }
    if (start < length) out.appendN(text + start, length - start);
}

// ---- the plain scanners ----------------------------------------------------------------------
// These are the byte loops that define the dialect; the StringBuffer operations must give the
// same results. Each byte is tested in a fixed order: escape pending, backslash, double quote,
// inside quotes, delimiter.

void FieldScanner::referenceSplit(const StringBuffer& text, ExtPtrArray& out, char separator,
                                  bool quotes, bool backslash) {
    if (text.getSize() == 0) return;
    const char* data = text.getString();
    const unsigned char sep = static_cast<unsigned char>(separator);
    char chunk[255];
    int used = 0;
    StringBuffer* piece = qxNew<StringBuffer>();
    if (!piece) return;
    bool inQuotes = false;
    bool escaped = false;
    for (int p = 0;; ++p) {
        const unsigned char c = byteAt(data, p);
        if (c == 0) break;
        bool ends = false;
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == sep)
            ends = true;
        if (!ends) {
            if (used == static_cast<int>(sizeof chunk)) {
                piece->appendN(chunk, used);
                used = 0;
            }
            chunk[used++] = static_cast<char>(c);
            continue;
        }
        piece->appendN(chunk, used);
        used = 0;
        piece->minimizeMemory();
        if (!out.appendPtr(piece)) {
            qxDelete(piece);
            return;
        }
        piece = qxNew<StringBuffer>();
        if (!piece) return;
    }
    piece->appendN(chunk, used);
    piece->minimizeMemory();
    if (!out.appendPtr(piece)) qxDelete(piece);
}

int FieldScanner::referenceCountFields(const StringBuffer& text, char delimiter, bool quotes,
                                       bool backslash) {
    if (text.getSize() == 0) return 0;
    const unsigned char d = static_cast<unsigned char>(delimiter);
    int count = 0;
    bool inQuotes = false;
    bool escaped = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text.getString()); *p;
         ++p) {
        const unsigned char c = *p;
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == d)
            ++count;
    }
    return count + 1;
}

void FieldScanner::referenceGetNthField(const StringBuffer& text, int index, char delimiter,
                                        bool quotes, bool backslash, StringBuffer& out) {
    if (&out == &text) {
        StringBuffer copy(text);
        referenceGetNthField(copy, index, delimiter, quotes, backslash, out);
        return;
    }
    out.clear();
    if (index < 0 || text.getSize() == 0) return;
    const char* data = text.getString();
    const unsigned char d = static_cast<unsigned char>(delimiter);
    int field = 0;
    int start = 0;
    bool inQuotes = false;
    bool escaped = false;
    int p = 0;
    for (;; ++p) {
        const unsigned char c = byteAt(data, p);
        if (c == 0) break;
        if (escaped) {
            escaped = false;
        } else if (backslash && c == kBackslash) {
            escaped = true;
            if (field == index) {
                out.appendN(data + start, p - start);
                start = p + 1;
            }
        } else if (quotes && c == kQuote) {
            if (!inQuotes)
                inQuotes = true;
            else if (byteAt(data, p + 1) == kQuote)
                ++p;
            else
                inQuotes = false;
            if (field == index) {
                out.appendN(data + start, p - start);
                start = p + 1;
            }
        } else if (!inQuotes && c == d) {
            if (field == index) {
                out.appendN(data + start, p - start);
                return;
            }
            if (++field == index) start = p + 1;
        }
    }
    if (field == index) out.appendN(data + start, p - start);
}

void FieldScanner::referenceSetNthField(StringBuffer& text, int index, char delimiter, bool quotes,
                                        bool backslash, const StringBuffer& value) {
    if (index < 0) return;
    if (&value == &text) {
        StringBuffer copy(value);
        if (copy.getSize() == text.getSize())
            referenceSetNthField(text, index, delimiter, quotes, backslash, copy);
        return;
    }
    const char* data = text.getString();
    const int length = text.getSize();
    const unsigned char d = static_cast<unsigned char>(delimiter);
    const int end0 = textEnd(data, length);
    int delimiters = 0;
    int start = index == 0 ? 0 : -1;
    int end = -1;
    bool inQuotes = false;
    bool escaped = false;
    for (int p = 0; p < end0; ++p) {
        const unsigned char c = byteAt(data, p);
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == d) {
            if (start >= 0) {
                end = p;
                break;
            }
            if (++delimiters == index) start = p + 1;
        }
    }
    if (start < 0) {
        const int pad = index - delimiters;
        const long long grow = static_cast<long long>(end0) + pad + value.getSize() - length;
        if (static_cast<long long>(length) + grow > 0x7FFFFFF0LL) return;
        if (grow > 0 && !text.expectNumBytes(static_cast<int>(grow))) return;
        text.shorten(length - end0);
        text.appendCharN(delimiter, pad);
        text.appendN(value.getString(), value.getSize());
        return;
    }
    if (end < 0) end = end0;
    const int tailLength = end0 - end;
    const long long newLength = static_cast<long long>(start) + value.getSize() + tailLength;
    if (newLength > 0x7FFFFFF0LL) return;
    StringBuffer tail;
    tail.appendN(data + end, tailLength);
    if (tail.getSize() != tailLength) return;
    if (newLength > length && !text.expectNumBytes(static_cast<int>(newLength - length))) return;
    text.shorten(length - start);
    text.appendN(value.getString(), value.getSize());
    text.appendN(tail.getString(), tail.getSize());
}
