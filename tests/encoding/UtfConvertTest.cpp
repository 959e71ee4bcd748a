#include "encoding/UtfConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

// ---- UTF-32LE to UTF-8 -----------------------------------------------------------------------

struct Utf32Case {
    const char* in;
    const char* out;
    bool ok;
};

const Utf32Case kUtf32ToUtf8Cases[] = {
    {"-", "-", true},
    {"41 00 00 00", "41", true},
    {"41 00 00", "-", false},       // shorter than one value
    {"41 00 00 00 42", "41", true}, // a trailing partial value is ignored
    {"E9 00 00 00 AC 20 00 00", "C3 A9 E2 82 AC", true},
    {"00 F6 01 00", "F0 9F 98 80", true}, // beyond U+FFFF: four bytes
    {"00 D8 00 00", "ED A0 80", true},    // a surrogate value is not checked
    {"FF FF 10 00", "F4 8F BF BF", true},
    {"00 00 11 00", "F4 90 80 80", true}, // above U+10FFFF still has a form
    {"FF FF 1F 00", "F7 BF BF BF", true},
    {"00 00 20 00", "EF BF BD", true}, // 0x200000: U+FFFD
    {"FF FF FF FF 41 00 00 00", "EF BF BD 41", true},
    {"00 00 00 00", "00", true},
    {"FF FE 00 00", "EF BB BF", true}, // no mark is recognised here
};

TEST(Utf32Convert, Utf32leToUtf8) {
    for (const Utf32Case& c : kUtf32ToUtf8Cases) {
        DataBuffer in, out;
        enctest::fill(in, hex(c.in));
        bool ok = utf32leToUtf8(in, out);
        EXPECT_EQ(show(enctest::bytesOf(out)), show(hex(c.out))) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
}

// ---- UTF-8 to UTF-32 -------------------------------------------------------------------------

struct ToUtf32Case {
    const char* in;
    const char* le;
    bool ok;
};

const ToUtf32Case kUtf8ToUtf32Cases[] = {
    {"-", "-", true},
    {"41", "41 00 00 00", true},
    {"C3 A9 E2 82 AC", "E9 00 00 00 AC 20 00 00", true},
    {"F0 9F 98 80", "00 F6 01 00", true},
    {"F4 8F BF BF", "FF FF 10 00", true},
    {"ED A0 80", "00 D8 00 00", true},                // encoded surrogates are let through
    {"EF BB BF 41", "FF FE 00 00 41 00 00 00", true}, // a mark is just U+FEFF
    {"E2 82", "-", false},                            // cut off: nothing written
    {"41 C3 A9 42 E2 82", "41 00 00 00 E9 00 00 00 42 00 00 00", false}, // keeps what it wrote
    {"41 80 42", "41 00 00 00", false}, // a stray continuation stops it
    {"C0 80", "-", false},              // overlong
    {"E0 80 80", "-", false},
    {"F0 80 80 80", "-", false},
    {"F4 90 80 80", "-", false}, // beyond U+10FFFF
    {"F5 80 80 80", "-", false},
    {"F8 88 80 80 80", "-", false},    // five-byte form
    {"FC 84 80 80 80 80", "-", false}, // six-byte form
    {"C3 41", "-", false},
};

Bytes swapWords(const Bytes& le) {
    Bytes be(le.size());
    for (size_t i = 0; i + 4 <= le.size(); i += 4)
        for (int k = 0; k < 4; ++k)
            be[i + k] = le[i + 3 - k];
    return be;
}

TEST(Utf32Convert, Utf8ToUtf32BothByteOrders) {
    for (const ToUtf32Case& c : kUtf8ToUtf32Cases) {
        DataBuffer in, le, be;
        enctest::fill(in, hex(c.in));
        EXPECT_EQ(utf8ToUtf32le(in, le), c.ok) << c.in;
        EXPECT_EQ(utf8ToUtf32be(in, be), c.ok) << c.in;
        EXPECT_EQ(show(enctest::bytesOf(le)), show(hex(c.le))) << c.in;
        EXPECT_EQ(show(enctest::bytesOf(be)), show(swapWords(hex(c.le)))) << c.in;
    }
}

TEST(Utf32Convert, EveryScalarValueRoundTrips) {
    // Every Unicode scalar value, and the surrogate range too, survives UTF-32 -> UTF-8 -> UTF-32.
    DataBuffer in, utf8, back;
    for (uint32_t v = 0; v <= 0x10FFFF; v += (v < 0x30000 ? 1 : 97)) {
        in.clear();
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), 0};
        in.append(b, 4);
        utf8.clear();
        back.clear();
        ASSERT_TRUE(utf32leToUtf8(in, utf8));
        ASSERT_TRUE(utf8ToUtf32le(utf8, back)) << std::hex << v;
        ASSERT_EQ(enctest::bytesOf(back), enctest::bytesOf(in)) << std::hex << v;
    }
}

// ---- legality --------------------------------------------------------------------------------

struct LegalCase {
    const char* bytes;
    int length; // -1: the number of bytes given
    bool legal;
};

const LegalCase kLegalCases[] = {
    {"41", -1, true},
    {"7F", -1, true},
    {"80", -1, false},
    {"BF", -1, false},
    {"C0 80", -1, false},
    {"C1 BF", -1, false},
    {"C2 80", -1, true},
    {"C2 7F", -1, false},
    {"C2 C0", -1, false},
    {"DF BF", -1, true},
    {"E0 A0 80", -1, true},
    {"E0 9F BF", -1, false},
    {"E1 80 80", -1, true},
    {"ED 9F BF", -1, true},
    {"ED A0 80", -1, true},
    {"ED BF BF", -1, true},
    {"EF BF BF", -1, true},
    {"EF BF C0", -1, false},
    {"F0 90 80 80", -1, true},
    {"F0 8F BF BF", -1, false},
    {"F1 80 80 80", -1, true},
    {"F4 8F BF BF", -1, true},
    {"F4 90 80 80", -1, false},
    {"F5 80 80 80", -1, false},
    {"F0 90 80 7F", -1, false},
    {"41", 0, false},
    {"F8 88 80 80 80", 5, false},
    {"FC 84 80 80 80 80", 6, false},
};

TEST(UtfLegal, IsLegalUtf8) {
    for (const LegalCase& c : kLegalCases) {
        Bytes b = hex(c.bytes);
        int len = c.length < 0 ? static_cast<int>(b.size()) : c.length;
        EXPECT_EQ(isLegalUtf8(b.data(), len), c.legal) << c.bytes << " length " << len;
    }
    EXPECT_FALSE(isLegalUtf8(nullptr, 1));
}

} // namespace
