#include "encoding/FastConvert.h"

#include "encoding/AsciiScan.h"
#include "encoding/FlatTables.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Platform.h"

#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define QX_NARROW_VBMI 1
#endif

namespace {

#if defined(QX_NARROW_VBMI)
// Processors with 64-byte byte permutes map 64 bytes through a 256-byte image in a few
// instructions; the build targets plain x86-64, so the routine is chosen when the program runs.
bool haveByteTablePermute() {
    static const bool have =
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return have;
}

// Maps data[0, size) through image (256 bytes: the byte each byte gives, or 0x80 and up for
// one that does not give exactly one ASCII byte) into out, 64 bytes at a time, and stops before
// the first byte that does not give one byte or before the last 63; returns how many were mapped.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) unsigned
mapNarrowBlocks(const unsigned char* image, const unsigned char* data, unsigned size,
                unsigned char* out) {
    const __m512i t0 = _mm512_loadu_si512(image), t1 = _mm512_loadu_si512(image + 64);
    const __m512i t2 = _mm512_loadu_si512(image + 128), t3 = _mm512_loadu_si512(image + 192);
    unsigned i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i v = _mm512_loadu_si512(data + i);
        // Bits 0-6 pick from the low or the high half of the image; bit 7 picks the half.
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        const __m512i r = _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
        const __mmask64 wide = _mm512_movepi8_mask(r);
        if (wide) {
            const unsigned k = static_cast<unsigned>(__builtin_ctzll(wide));
            _mm512_mask_storeu_epi8(out + i, k ? ~0ULL >> (64 - k) : 0, r);
            return i + k;
        }
        _mm512_storeu_si512(out + i, r);
    }
    return i;
}
#endif

// Writes straight into the output buffer's block. Room is reserved ahead of each stretch of
// work; when more is needed the block grows by the stretch plus an estimate for the rest of the
// input (and at least a quarter), so a conversion reallocates a few times at most.
class Sink {
public:
    explicit Sink(DataBuffer& out) : out_(out) {
        base_ = out.getData();
        size_ = base_ ? out.getSize() : 0;
        capacity_ = base_ ? out.getCapacity() : 0;
    }
    ~Sink() { commit(); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // Room for `need` more bytes; `more` estimates what will follow. False without memory (the
    // buffer has then dropped its contents).
    bool reserve(uint64_t need, uint64_t more) {
        if (failed_) return false;
        if (size_ + need <= capacity_) return true;
        commit();
        uint64_t want = static_cast<uint64_t>(size_) + need + more;
        const uint64_t geometric = static_cast<uint64_t>(capacity_) + capacity_ / 4;
        if (want < geometric) want = geometric;
        if (want > 0xFFFFFFF0u) want = static_cast<uint64_t>(size_) + need;
        if (want > 0xFFFFFFF0u || !out_.ensureBuffer(static_cast<unsigned>(want))) {
            failed_ = true;
            base_ = nullptr;
            size_ = capacity_ = 0;
            return false;
        }
        base_ = out_.getData();
        capacity_ = out_.getCapacity();
        // The room is written next, and most of it is fresh memory: its pages are asked for in
        // one call rather than faulted in one at a time.
        const uint64_t room = capacity_ - size_;
        platform::prepareToWrite(base_ + size_, need + more < room ? need + more : room);
        return true;
    }
    unsigned char* cursor() { return base_ + size_; }
    void advanceTo(unsigned char* p) { size_ = static_cast<unsigned>(p - base_); }
    unsigned size() const { return size_; }

private:
    void commit() {
        if (!failed_ && base_) out_.setDataSize(size_);
    }
    DataBuffer& out_;
    unsigned char* base_ = nullptr;
    unsigned size_ = 0;
    unsigned capacity_ = 0;
    bool failed_ = false;
};

// Input is converted in stretches of this many bytes, each with its room reserved first.
const unsigned kStretch = 1u << 16;

inline unsigned char* putUtf8(unsigned char* o, unsigned u) {
    if (u < 0x80) {
        *o++ = static_cast<unsigned char>(u);
    } else if (u < 0x800) {
        *o++ = static_cast<unsigned char>(0xC0 | (u >> 6));
        *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else {
        *o++ = static_cast<unsigned char>(0xE0 | (u >> 12));
        *o++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
        *o++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    }
    return o;
}

#if defined(QX_ASCII_SSE2)
// Eight UTF-16LE units at p as UTF-8 at o (which has room for 8 bytes more than they give).
// Eight ASCII units are narrowed in one store. Otherwise the UTF-8 bytes of all eight units are
// worked out side by side (lead, second and third byte, and the length: 0 for U+0000, 1, 2 or 3)
// and stored one unit after the other, without a branch per unit: text that mixes short ASCII
// runs with other characters changes class too often for branches to be guessed right.
inline unsigned char* putUtf8Block(unsigned char* o, const unsigned char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i zero = _mm_setzero_si128();
    const __m128i isZero = _mm_cmpeq_epi16(v, zero);
    const __m128i below80 =
        _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    if (_mm_movemask_epi8(_mm_andnot_si128(isZero, below80)) == 0xFFFF) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
        return o + 8;
    }
    const __m128i below800 =
        _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))), zero);
    const __m128i two = _mm_andnot_si128(below80, below800);
    const __m128i three = _mm_andnot_si128(below800, _mm_cmpeq_epi16(v, v));
    const __m128i low6 = _mm_set1_epi16(0x3F);
    const __m128i shifted6 = _mm_srli_epi16(v, 6);
    const __m128i tail = _mm_or_si128(_mm_and_si128(v, low6), _mm_set1_epi16(0x80));
    const __m128i middle = _mm_or_si128(_mm_and_si128(shifted6, low6), _mm_set1_epi16(0x80));
    const __m128i lead = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(v, below80),
                     _mm_and_si128(_mm_or_si128(shifted6, _mm_set1_epi16(0xC0)), two)),
        _mm_and_si128(_mm_or_si128(_mm_srli_epi16(v, 12), _mm_set1_epi16(0xE0)), three));
    const __m128i second = _mm_or_si128(_mm_and_si128(tail, two), _mm_and_si128(middle, three));
    const __m128i third = _mm_and_si128(tail, three);
    const __m128i firstTwo = _mm_or_si128(lead, _mm_slli_epi16(second, 8));
    // Length 1, plus 1 for two bytes, plus 2 for three, less 1 for U+0000 (masks are -1).
    const __m128i lengths = _mm_add_epi16(
        _mm_sub_epi16(_mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(1), two), three), three), isZero);
    uint32_t words[8];
    uint16_t count[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(firstTwo, third));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(firstTwo, third));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(count), lengths);
    for (int i = 0; i < 8; ++i) {
        std::memcpy(o, &words[i], 4);
        o += count[i];
    }
    return o;
}
#endif

inline bool isContinuation(unsigned char b) {
    return b >= 0x80 && b <= 0xBF;
}

// Decodes one character at data[i] (i < size) as the UTF-8 coder does; returns the bytes used,
// or 0 when the bytes are invalid or cut off (the caller then drops one byte).
inline unsigned decodeUtf8(const unsigned char* data, unsigned i, unsigned size, unsigned* unit) {
    const unsigned char b0 = data[i];
    if (b0 < 0x80) {
        *unit = b0;
        return 1;
    }
    if (b0 < 0xC2) return 0;
    const unsigned left = size - i;
    if (b0 < 0xE0) {
        if (left < 2 || !isContinuation(data[i + 1])) return 0;
        *unit = ((b0 & 0x1Fu) << 6) | (data[i + 1] & 0x3Fu);
        return 2;
    }
    if (b0 < 0xF0) {
        if (left < 3) return 0;
        const unsigned char b1 = data[i + 1], b2 = data[i + 2];
        if (!isContinuation(b1) || !isContinuation(b2) || (b0 == 0xE0 && b1 < 0xA0)) return 0;
        *unit = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
        return 3;
    }
    return 0;
}

// The estimate of output still to come, from the input left and the ratio seen so far.
inline uint64_t estimateRest(uint64_t written, uint64_t consumed, uint64_t left) {
    if (consumed == 0) return left;
    return left * written / consumed + 16;
}

inline unsigned char* putEntry(unsigned char* o, uint32_t e) {
    const unsigned length = e >> 16;
    o[0] = static_cast<unsigned char>(e & 0xFF);
    o[1] = static_cast<unsigned char>((e >> 8) & 0xFF);
    return o + length;
}

} // namespace

bool FastConvert::utf8ToUtf16(const unsigned char* data, unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    Sink sink(out);
    // Every byte gives at most one unit.
    if (!sink.reserve(static_cast<uint64_t>(size) * 2, 0)) return true;
    unsigned char* o = sink.cursor();
    sink.advanceTo(o + 2 * utf8ToUtf16Units(data, size, o));
    return true;
}

unsigned FastConvert::utf8ToUtf16Units(const unsigned char* data, unsigned size,
                                       unsigned char* units) {
    unsigned char* o = units;
    unsigned i = 0;
    while (i < size) {
        if (data[i] < 0x80) {
            // Room for two bytes per input byte is there, so whole blocks may be stored.
            if (i + 16 <= size) {
                const unsigned run = AsciiScan::widenBlock(data + i, o);
                o += 2 * run;
                i += run;
            } else {
                o[0] = data[i++];
                o[1] = 0;
                o += 2;
            }
            continue;
        }
        unsigned unit = 0;
        const unsigned used = decodeUtf8(data, i, size, &unit);
        if (!used) {
            ++i; // invalid or cut off: one byte dropped
            continue;
        }
        o[0] = static_cast<unsigned char>(unit & 0xFF);
        o[1] = static_cast<unsigned char>(unit >> 8);
        o += 2;
        i += used;
    }
    return static_cast<unsigned>(o - units) / 2;
}

bool FastConvert::utf16ToUtf8(const unsigned char* data, unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    if (size == 1) return false;
    const unsigned units = size / 2;
    Sink sink(out);
    const unsigned start = sink.size();
    unsigned k = 0;
    while (k < units) {
        const unsigned stop = units - k > kStretch ? k + kStretch : units;
        // Each unit gives at most 3 bytes; a block of eight may store a few bytes beyond.
        const uint64_t need = static_cast<uint64_t>(stop - k) * 3 + 8;
        if (!sink.reserve(need, estimateRest(sink.size() - start, 2ull * k, 2ull * (units - stop))))
            return (size & 1) == 0;
        unsigned char* o = sink.cursor();
#if defined(QX_ASCII_SSE2)
        for (; k + 8 <= stop; k += 8)
            o = putUtf8Block(o, data + 2 * k);
#endif
        while (k < stop) {
            const unsigned u = data[2 * k] | (data[2 * k + 1] << 8);
            if (u - 1 < 0x7F) {
                // Three bytes per unit are reserved, so a block of eight may be stored.
                if (k + 8 <= stop) {
                    const unsigned run = AsciiScan::narrowBlock(data + 2 * k, o);
                    o += run;
                    k += run;
                } else {
                    *o++ = static_cast<unsigned char>(u);
                    ++k;
                }
                continue;
            }
            // Two or three bytes, none for U+0000 (which does not go into 8-bit text).
            if (u >= 0x800) {
                o[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
                o[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
                o[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
                o += 3;
            } else if (u) {
                o = putUtf8(o, u);
            }
            ++k;
        }
        sink.advanceTo(o);
    }
    return (size & 1) == 0;
}

bool FastConvert::singleByteToUtf8(const UnicodeLookup& lookup, const unsigned char* data,
                                   unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    // Each byte's UTF-8 form, read from the table once per call (byte 0 and unmappable bytes
    // give nothing).
    unsigned char seq[256][4];
    unsigned char length[256];
    bool asciiIdentity = true;
    unsigned longest = 0;
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned u = b == 0 ? 0 : lookup.table[b];
        unsigned char* end = putUtf8(seq[b], u);
        length[b] = u == 0 ? 0 : static_cast<unsigned char>(end - seq[b]);
        if (b > 0 && b < 0x80 && u != b) asciiIdentity = false;
        if (length[b] > longest) longest = length[b];
    }
    // A byte that gives one ASCII byte: that byte; any other: 0x100, which marks the block.
    uint16_t narrow[256];
    for (unsigned b = 0; b < 256; ++b)
        narrow[b] = length[b] == 1 && seq[b][0] < 0x80 ? seq[b][0] : 0x100;
#if defined(QX_NARROW_VBMI)
    const bool permute = size >= 64 && haveByteTablePermute();
    unsigned char image[256];
    if (permute)
        for (unsigned b = 0; b < 256; ++b)
            image[b] = narrow[b] < 0x100 ? static_cast<unsigned char>(narrow[b]) : 0x80;
#endif
    // Where the buffer already has room for the longest outcome (a file being decoded a piece
    // at a time into a block sized for the whole text), nothing needs counting. Otherwise the
    // exact size comes first (one reservation, no slack): the bytes' lengths summed in eight
    // sums side by side, so that the additions do not wait on each other.
    uint64_t total = static_cast<uint64_t>(size) * longest;
    if (out.getCapacity() - out.getSize() < total + 16) {
        total = 0;
        unsigned sums[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        unsigned c = 0;
        while (c < size) {
            const unsigned chunk = size - c > (1u << 24) ? c + (1u << 24) : size;
            for (; c + 8 <= chunk; c += 8)
                for (unsigned k = 0; k < 8; ++k)
                    sums[k] += length[data[c + k]];
            for (; c < chunk; ++c)
                sums[0] += length[data[c]];
            for (unsigned k = 0; k < 8; ++k) {
                total += sums[k];
                sums[k] = 0;
            }
        }
    }
    Sink sink(out);
    // Four bytes are stored for every byte (also for one that gives nothing) and sixteen for a
    // block of ASCII, so keep sixteen spare bytes behind the text.
    if (!sink.reserve(total + 16, 0)) return true;
    unsigned char* o = sink.cursor();
    unsigned i = 0;
    while (i < size) {
#if defined(QX_NARROW_VBMI)
        if (permute && i + 64 <= size && narrow[data[i]] < 0x100) {
            // The first byte gives one byte, so at least it is mapped.
            const unsigned run = mapNarrowBlocks(image, data + i, size - i, o);
            o += run;
            i += run;
            continue;
        }
#endif
        if (asciiIdentity && data[i] != 0 && data[i] < 0x80 && i + 16 <= size) {
            const unsigned run = AsciiScan::copyBlock(data + i, o, true);
            o += run;
            i += run;
            continue;
        }
        // Eight bytes that each give one byte (most of an EBCDIC text) are mapped side by
        // side, without the chain of lengths.
        if (i + 8 <= size && narrow[data[i]] < 0x100) {
            uint16_t v[8];
            unsigned marks = 0;
            for (unsigned k = 0; k < 8; ++k) {
                v[k] = narrow[data[i + k]];
                marks |= v[k];
            }
            if (marks < 0x100) {
                for (unsigned k = 0; k < 8; ++k)
                    o[k] = static_cast<unsigned char>(v[k]);
                o += 8;
                i += 8;
                continue;
            }
            // The bytes before the first one that does not give one byte are had already;
            // without them the next block would map them again, once for each step.
            unsigned k = 0;
            for (; v[k] < 0x100; ++k)
                o[k] = static_cast<unsigned char>(v[k]);
            o += k;
            i += k;
        }
        const unsigned char b = data[i++];
        std::memcpy(o, seq[b], 4);
        o += length[b];
    }
    sink.advanceTo(o);
    return true;
}

bool FastConvert::multiByteToUtf8(const FlatForward& table, const unsigned char* data,
                                  unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    Sink sink(out);
    const unsigned start = sink.size();
    unsigned i = 0;
    while (i < size) {
        const unsigned stop = size - i > kStretch ? i + kStretch : size;
        // A character may run one byte past the stretch; each byte gives at most 3 bytes.
        const uint64_t need = (static_cast<uint64_t>(stop - i) + 1) * 3;
        if (!sink.reserve(need, estimateRest(sink.size() - start, i, size - stop))) return true;
        unsigned char* o = sink.cursor();
        const bool runs = table.asciiRuns;
        while (i < stop) {
            // ASCII bytes 16 at a time while they last. A run that stops short stops at a byte
            // that is not ASCII (or NUL), so the character loop takes it without asking: text
            // that changes between ASCII and other characters at every field costs one guess
            // less per change.
            if (runs) {
                // The ASCII bytes at i (up to 16, up to a NUL) go out in one store, then the
                // character after them through the pair table, and again: text that changes
                // between ASCII and other characters every few bytes then costs no guess at
                // where a run ends. (17 bytes left keep the pair's second byte in the text.)
                while (i + 17 <= stop) {
                    const unsigned run = AsciiScan::copyBlock(data + i, o, true);
                    o += run;
                    i += run;
                    if (run == 16) continue;
                    const unsigned char b = data[i];
                    const unsigned u = table.pair[(b << 8) | data[i + 1]];
                    if (u) {
                        o = putUtf8(o, u);
                        i += 2;
                        continue;
                    }
                    // A byte of its own, as in the character loop below (spelt out here: with
                    // one helper for both, the compiler made this loop a fifth longer). b is not
                    // ASCII here, so only the single-byte table can give it a character.
                    if (b != 0) {
                        const unsigned v = table.single[b];
                        if (v) o = putUtf8(o, v);
                    }
                    ++i;
                }
                if (i >= stop) break;
            }
            // One character at a time up to the next ASCII byte the run copy can take.
            do {
                const unsigned char b = data[i];
                if (i + 1 < size) {
                    const unsigned u = table.pair[(b << 8) | data[i + 1]];
                    if (u) {
                        o = putUtf8(o, u);
                        i += 2;
                        continue;
                    }
                }
                if (b != 0) { // U+0000 does not go into 8-bit text
                    const unsigned u = table.asciiPassThrough && b <= 0x7F ? b : table.single[b];
                    if (u) o = putUtf8(o, u);
                }
                ++i;
            } while (i < stop && !(runs && data[i] < 0x80 && data[i] != 0 && i + 16 <= stop));
        }
        sink.advanceTo(o);
    }
    return true;
}

bool FastConvert::multiByteToUtf16(const FlatForward& table, const unsigned char* data,
                                   unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    Sink sink(out);
    bool ok = true;
    unsigned i = 0;
    while (i < size) {
        const unsigned stop = size - i > kStretch ? i + kStretch : size;
        if (!sink.reserve((static_cast<uint64_t>(stop - i) + 1) * 2, (size - stop) * 2ull))
            return ok;
        unsigned char* o = sink.cursor();
        while (i < stop) {
            const unsigned char b = data[i];
            if (table.asciiRuns && b < 0x80 && b != 0) {
                const unsigned run = AsciiScan::asciiNonZeroPrefix(data + i, stop - i);
                AsciiScan::widen(data + i, run, o);
                o += 2 * run;
                i += run;
                continue;
            }
            if (i + 1 < size) {
                const unsigned u = table.pair[(b << 8) | data[i + 1]];
                if (u) {
                    o[0] = static_cast<unsigned char>(u & 0xFF);
                    o[1] = static_cast<unsigned char>(u >> 8);
                    o += 2;
                    i += 2;
                    continue;
                }
            }
            const unsigned u = b == 0                                ? 0
                               : table.asciiPassThrough && b <= 0x7F ? b
                                                                     : table.single[b];
            if (b == 0 || u) {
                o[0] = static_cast<unsigned char>(u & 0xFF);
                o[1] = static_cast<unsigned char>(u >> 8);
                o += 2;
            } else {
                ok = false; // a byte that starts no character: dropped
            }
            ++i;
        }
        sink.advanceTo(o);
    }
    return ok;
}

bool FastConvert::utf8ToCodePage(const FlatReverse& table, const unsigned char* data, unsigned size,
                                 DataBuffer& out) {
    if (!data || size == 0) return true;
    Sink sink(out);
    const unsigned start = sink.size();
    bool ok = true;
    unsigned i = 0;
    while (i < size) {
        const unsigned stop = size - i > kStretch ? i + kStretch : size;
        // A character may run two bytes past the stretch; each gives at most 2 bytes, and the
        // entry store writes 2 bytes even for a 1-byte value.
        const uint64_t need = (static_cast<uint64_t>(stop - i) + 3) * 2;
        if (!sink.reserve(need, estimateRest(sink.size() - start, i, size - stop))) return ok;
        unsigned char* o = sink.cursor();
        while (i < stop) {
            if (data[i] < 0x80 && table.asciiIdentity && i + 16 <= stop) {
                const unsigned run = AsciiScan::copyBlock(data + i, o, false);
                o += run;
                i += run;
                continue;
            }
            if (data[i] < 0x80 && table.asciiSingle) {
                // Every ASCII character is one byte of the code page (EBCDIC among others).
                const unsigned run = AsciiScan::asciiPrefix(data + i, stop - i);
                for (unsigned k = 0; k < run; ++k)
                    o[k] = table.asciiByte[data[i + k]];
                o += run;
                i += run;
                continue;
            }
            unsigned unit = 0;
            const unsigned used = decodeUtf8(data, i, size, &unit);
            if (!used) {
                ++i; // invalid UTF-8: dropped without changing the result
                continue;
            }
            i += used;
            const uint32_t e = table.entry[unit];
            if (e >> 16)
                o = putEntry(o, e);
            else
                ok = false; // no such character in the code page: dropped
        }
        sink.advanceTo(o);
    }
    return ok;
}

bool FastConvert::utf16ToCodePage(const FlatReverse& table, const unsigned char* data,
                                  unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    if (size == 1) return false;
    const unsigned units = size / 2;
    Sink sink(out);
    // Each unit gives at most 2 bytes, written as one 2-byte store.
    if (!sink.reserve(static_cast<uint64_t>(units) * 2 + 2, 0)) return true;
    unsigned char* o = sink.cursor();
    bool ok = true;
    unsigned k = 0;
    while (k < units) {
        if (table.asciiIdentity) {
            const unsigned run = AsciiScan::asciiUnitPrefix(data + 2 * k, units - k);
            if (run) {
                AsciiScan::narrow(data + 2 * k, run, o);
                o += run;
                k += run;
                continue;
            }
        }
        const uint32_t e = table.entry[data[2 * k] | (data[2 * k + 1] << 8)];
        if (e >> 16)
            o = putEntry(o, e);
        else
            ok = false;
        ++k;
    }
    sink.advanceTo(o);
    return ok;
}
