#include "encoding/UtfConvert.h"

#include <cstdint>

namespace {

// Trailing bytes announced by a first byte; 0x80 to 0xBF give 0 and are then refused by
// isLegalUtf8, and 0xF8 and above announce five- and six-byte forms that are never legal.
int trailingBytesFor(unsigned char b0) {
    if (b0 < 0xC0) return 0;
    if (b0 < 0xE0) return 1;
    if (b0 < 0xF0) return 2;
    if (b0 < 0xF8) return 3;
    if (b0 < 0xFC) return 4;
    return 5;
}

// Input handled per reservation of output room.
const unsigned kStretch = 4096;

// Room for `extra` more bytes in out, made at once; false without memory (out then dropped its
// contents). A total past what a buffer holds is left to the stretches' own reservations.
bool reserveTotal(DataBuffer& out, uint64_t extra) {
    const uint64_t want = static_cast<uint64_t>(out.getSize()) + extra;
    return want > 0xFFFFFFF0u || want <= out.getCapacity() ||
           out.ensureBuffer(static_cast<unsigned>(want));
}

// The 32-bit little-endian value at q.
uint32_t valueAt(const unsigned char* q) {
    return static_cast<uint32_t>(q[0]) | (static_cast<uint32_t>(q[1]) << 8) |
           (static_cast<uint32_t>(q[2]) << 16) | (static_cast<uint32_t>(q[3]) << 24);
}

// What summing a sequence's bytes in 6-bit steps adds on top of the value: the marker bits of
// the first byte and of every continuation byte.
const uint32_t kOffsetsFromUtf8[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                      0x03C82080u, 0xFA082080u, 0x82082080u};

bool utf8ToUtf32(const DataBuffer& in, DataBuffer& out, bool bigEndian) {
    const unsigned char* p = in.getData();
    unsigned size = in.getSize();
    if (!p || size == 0) return true;
    // Room for the whole text at once: a character for every byte that is not a continuation
    // byte (fewer when the text turns out not to be UTF-8).
    uint64_t leads = 0;
    for (unsigned k = 0; k < size; ++k)
        leads += (p[k] & 0xC0) != 0x80;
    if (!reserveTotal(out, 4 * leads)) return true; // without memory the output is dropped
    unsigned i = 0;
    // A stretch at a time is written straight into room made for it: its characters start in
    // its bytes, so there are at most as many as bytes.
    while (i < size) {
        const unsigned stop = size - i > kStretch ? i + kStretch : size;
        if (!out.makeRoom(4 * (stop - i))) return true; // without memory the output is dropped
        unsigned char* const start = out.getData() + out.getSize();
        unsigned char* o = start;
        bool ok = true;
        while (i < stop) {
            int extra = trailingBytesFor(p[i]);
            if (static_cast<unsigned>(extra) >= size - i || // cut off
                !isLegalUtf8(p + i, extra + 1)) {
                ok = false;
                break;
            }
            uint32_t ch = 0;
            for (int k = 0; k <= extra; ++k) {
                ch += p[i + k];
                if (k < extra) ch <<= 6;
            }
            ch -= kOffsetsFromUtf8[extra];
            i += static_cast<unsigned>(extra) + 1;
            for (int k = 0; k < 4; ++k)
                o[bigEndian ? 3 - k : k] = static_cast<unsigned char>(ch >> (8 * k));
            o += 4;
        }
        out.setDataSize(out.getSize() + static_cast<unsigned>(o - start));
        if (!ok) return false;
    }
    return true;
}

} // namespace

bool utf32leToUtf8(const DataBuffer& in, DataBuffer& out) {
    const unsigned char* p = in.getData();
    unsigned size = in.getSize();
    if (!p || size == 0) return true;
    if (size < 4) return false;
    const unsigned units = size / 4;
    // Room for the whole text at once: each unit's length in UTF-8, summed.
    uint64_t bytes = 0;
    for (unsigned k = 0; k < units; ++k) {
        const uint32_t v = valueAt(p + 4 * k);
        bytes += v < 0x80u ? 1 : v < 0x800u ? 2 : v < 0x10000u || v >= 0x200000u ? 3 : 4;
    }
    if (!reserveTotal(out, bytes)) return true; // without memory the output is dropped
    unsigned u = 0;
    // A stretch of units at a time is written straight into room made for it (four bytes a
    // unit at most).
    while (u < units) {
        const unsigned stop = units - u > kStretch ? u + kStretch : units;
        if (!out.makeRoom(4 * (stop - u))) return true; // without memory the output is dropped
        unsigned char* const start = out.getData() + out.getSize();
        unsigned char* o = start;
        for (; u < stop; ++u) {
            uint32_t v = valueAt(p + 4 * u);
            if (v >= 0x200000u) v = 0xFFFD; // no UTF-8 form of four bytes or less
            if (v < 0x80u) {
                *o++ = static_cast<unsigned char>(v);
            } else if (v < 0x800u) {
                *o++ = static_cast<unsigned char>(0xC0 | (v >> 6));
                *o++ = static_cast<unsigned char>(0x80 | (v & 0x3F));
            } else if (v < 0x10000u) {
                *o++ = static_cast<unsigned char>(0xE0 | (v >> 12));
                *o++ = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | (v & 0x3F));
            } else {
                *o++ = static_cast<unsigned char>(0xF0 | (v >> 18));
                *o++ = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | (v & 0x3F));
            }
        }
        out.setDataSize(out.getSize() + static_cast<unsigned>(o - start));
    }
    return true;
}

bool utf8ToUtf32le(const DataBuffer& in, DataBuffer& out) {
    return utf8ToUtf32(in, out, false);
}

bool utf8ToUtf32be(const DataBuffer& in, DataBuffer& out) {
    return utf8ToUtf32(in, out, true);
}

bool isLegalUtf8(const unsigned char* p, int length) {
    if (!p || length < 1 || length > 4) return false;
    unsigned char b0 = p[0];
    if ((b0 >= 0x80 && b0 <= 0xC1) || b0 >= 0xF5) return false;
    for (int k = 1; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return false;
    if (length >= 2) {
        unsigned char b1 = p[1];
        if (b0 == 0xE0 && b1 < 0xA0) return false; // overlong three-byte form
        if (b0 == 0xF0 && b1 < 0x90) return false; // overlong four-byte form
        if (b0 == 0xF4 && b1 > 0x8F) return false; // beyond U+10FFFF
    }
    return true;
}
