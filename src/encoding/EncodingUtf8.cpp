#include "encoding/EncodingUtf8.h"

namespace {
inline bool isContinuation(unsigned char b) {
    return b >= 0x80 && b <= 0xBF;
}
} // namespace

const EncodingUtf8& EncodingUtf8::instance() {
    // Built on first use (thread-safe since C++11) and destroyed at process exit.
    static const EncodingUtf8 coder;
    return coder;
}

int EncodingUtf8::decodeChar(ConvertState&, const unsigned char* bytes, int available,
                             unsigned short* unit) const {
    if (!bytes || available < 1) return kTruncated;
    unsigned char b0 = bytes[0];
    if (b0 < 0x80) {
        *unit = b0;
        return 1;
    }
    if (b0 < 0xC2) return kInvalid; // a stray continuation, or an overlong C0/C1 lead
    if (b0 < 0xE0) {
        if (available < 2) return kTruncated;
        if (!isContinuation(bytes[1])) return kInvalid;
        *unit = static_cast<unsigned short>(((b0 & 0x1F) << 6) | (bytes[1] & 0x3F));
        return 2;
    }
    if (b0 < 0xF0) {
        if (available < 3) return kTruncated;
        unsigned char b1 = bytes[1], b2 = bytes[2];
        if (!isContinuation(b1) || !isContinuation(b2)) return kInvalid;
        if (b0 == 0xE0 && b1 < 0xA0) return kInvalid; // overlong
        *unit = static_cast<unsigned short>(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
        return 3;
    }
    return kInvalid; // four-byte and longer forms are not supported
}

int EncodingUtf8::encodeChar(ConvertState&, unsigned short unit, DataBuffer& out) const {
    unsigned char bytes[3];
    int n;
    if (unit < 0x80) {
        bytes[0] = static_cast<unsigned char>(unit);
        n = 1;
    } else if (unit < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (unit >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        n = 2;
    } else {
        bytes[0] = static_cast<unsigned char>(0xE0 | (unit >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        n = 3;
    }
    out.append(bytes, static_cast<unsigned>(n));
    return n;
}
