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

// What summing a sequence's bytes in 6-bit steps adds on top of the value: the marker bits of
// the first byte and of every continuation byte.
const uint32_t kOffsetsFromUtf8[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                      0x03C82080u, 0xFA082080u, 0x82082080u};

bool utf8ToUtf32(const DataBuffer& in, DataBuffer& out, bool bigEndian) {
    const unsigned char* p = in.getData();
    unsigned size = in.getSize();
    if (!p || size == 0) return true;
    unsigned i = 0;
    while (i < size) {
        int extra = trailingBytesFor(p[i]);
        if (static_cast<unsigned>(extra) >= size - i) return false; // cut off
        if (!isLegalUtf8(p + i, extra + 1)) return false;
        uint32_t ch = 0;
        for (int k = 0; k <= extra; ++k) {
            ch += p[i + k];
            if (k < extra) ch <<= 6;
        }
        ch -= kOffsetsFromUtf8[extra];
        i += static_cast<unsigned>(extra) + 1;
        unsigned char bytes[4];
        for (int k = 0; k < 4; ++k) {
            unsigned char b = static_cast<unsigned char>(ch >> (8 * k));
            bytes[bigEndian ? 3 - k : k] = b;
        }
        if (!out.makeRoom(4)) return true; // without memory the output is dropped
        out.append(bytes, 4);
    }
    return true;
}

} // namespace

bool utf32leToUtf8(const DataBuffer& in, DataBuffer& out) {
    const unsigned char* p = in.getData();
    unsigned size = in.getSize();
    if (!p || size == 0) return true;
    if (size < 4) return false;
    for (unsigned i = 0; i + 4 <= size; i += 4) {
        uint32_t v = static_cast<uint32_t>(p[i]) | (static_cast<uint32_t>(p[i + 1]) << 8) |
                     (static_cast<uint32_t>(p[i + 2]) << 16) |
                     (static_cast<uint32_t>(p[i + 3]) << 24);
        unsigned char bytes[4];
        unsigned n;
        if (v >= 0x200000u) v = 0xFFFD; // no UTF-8 form of four bytes or less
        if (v < 0x80u) {
            bytes[0] = static_cast<unsigned char>(v);
            n = 1;
        } else if (v < 0x800u) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (v >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (v & 0x3F));
            n = 2;
        } else if (v < 0x10000u) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (v >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (v & 0x3F));
            n = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
            n = 4;
        }
        if (!out.makeRoom(4)) return true; // without memory the output is dropped
        out.append(bytes, n);
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
