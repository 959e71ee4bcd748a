#include "encoding/Utf7.h"

#include <cstdint>

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kDirectChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:? \t\r\n";

// The character classes shared by both directions, built once per process on first use. A
// function-local static makes the first use safe when two threads race to it.
struct Utf7Classes {
    signed char base64Value[256]; // -1 for bytes outside the base64 alphabet
    bool direct[128];

    Utf7Classes() {
        for (int i = 0; i < 256; ++i)
            base64Value[i] = -1;
        for (int i = 0; i < 64; ++i)
            base64Value[static_cast<unsigned char>(kBase64Alphabet[i])] =
                static_cast<signed char>(i);
        for (int i = 0; i < 128; ++i)
            direct[i] = false;
        for (const char* p = kDirectChars; *p; ++p)
            direct[static_cast<unsigned char>(*p)] = true;
    }
};

const Utf7Classes& classes() {
    static const Utf7Classes tables;
    return tables;
}

void appendUnit(DataBuffer& out, uint16_t unit) {
    unsigned char bytes[2] = {static_cast<unsigned char>(unit & 0xFF),
                              static_cast<unsigned char>(unit >> 8)};
    if (out.makeRoom(2)) out.append(bytes, 2);
}

} // namespace

bool utf16ToUtf7(const DataBuffer& in, DataBuffer& out) {
    const unsigned char* p = in.getData();
    unsigned units = in.getSize() / 2;
    if (!p || units == 0) return true;
    const Utf7Classes& cls = classes();

    bool inRun = false;
    uint32_t bits = 0; // pending bits, the oldest highest
    int bitCount = 0;
    // Pads the pending bits to a whole base64 character and closes the run with '-'.
    auto closeRun = [&]() {
        if (bitCount > 0) {
            out.appendByte(
                static_cast<unsigned char>(kBase64Alphabet[(bits << (6 - bitCount)) & 0x3F]));
        }
        out.appendByte('-');
        bits = 0;
        bitCount = 0;
        inRun = false;
    };

    unsigned i = 0;
    if ((p[0] | (p[1] << 8)) == 0xFEFF) i = 1; // a byte-order mark is not text
    for (; i < units; ++i) {
        uint16_t u = static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        // A unit gives at most five bytes ('-', a direct byte, or '+', three characters).
        if (!out.makeRoom(8)) return true; // without memory the output is dropped
        if (u > 0x7F || !cls.direct[u]) {
            if (!inRun) {
                out.appendByte('+');
                if (u == '+') {
                    out.appendByte('-');
                    continue;
                }
                inRun = true;
            }
            bits = (bits << 16) | u;
            bitCount += 16;
            while (bitCount >= 6) {
                bitCount -= 6;
                out.appendByte(
                    static_cast<unsigned char>(kBase64Alphabet[(bits >> bitCount) & 0x3F]));
            }
            bits &= (1u << bitCount) - 1;
        } else {
            if (inRun) closeRun();
            out.appendByte(static_cast<unsigned char>(u));
        }
    }
    if (inRun) closeRun();
    return true;
}

bool utf7ToUtf16(const DataBuffer& in, DataBuffer& out) {
    const unsigned char* p = in.getData();
    unsigned size = in.getSize();
    if (!p || size == 0) return true;
    const Utf7Classes& cls = classes();

    bool ok = true;
    bool inRun = false;
    bool runStart = false; // no character of the run read yet
    bool runWrote = false; // the run has produced a unit
    uint32_t bits = 0;
    int bitCount = 0;
    // Ends the current run; the byte that ended it (if any) is dealt with by the caller.
    auto endRun = [&]() {
        if (bitCount > 0 && (bits & ((1u << bitCount) - 1)) != 0) ok = false;
        inRun = false;
        bits = 0;
        bitCount = 0;
    };

    unsigned i = 0;
    while (i < size) {
        unsigned char b = p[i];
        if (!inRun) {
            ++i;
            if (b == '+') {
                inRun = true;
                runStart = true;
                runWrote = false;
                continue;
            }
            if (b == 0) continue;
            if (b >= 0x80) ok = false;
            appendUnit(out, b);
            continue;
        }
        int v = cls.base64Value[b];
        if (v >= 0) {
            ++i;
            runStart = false;
            bits = (bits << 6) | static_cast<uint32_t>(v);
            bitCount += 6;
            if (bitCount >= 16) {
                bitCount -= 16;
                appendUnit(out, static_cast<uint16_t>(bits >> bitCount));
                runWrote = true;
            }
            bits &= (1u << bitCount) - 1;
            continue;
        }
        // The run ends at b ('+' cannot end one: it is a base64 character).
        if (b == '-') {
            ++i;
            if (runStart)
                appendUnit(out, '+'); // "+-" stands for "+"
            else if (!runWrote)
                ok = false;
        } else if (!runWrote) {
            ok = false; // b is read again outside the run
        }
        endRun();
    }
    if (inRun) {
        if (!runWrote) ok = false;
        endRun();
    }
    return ok;
}
