#include "encoding/EncodingUtf8.h"
#include "encoding/EncodingConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

// ---- decoding one character ------------------------------------------------------------------

struct DecodeCase {
    const char* bytes;
    int result; // bytes used, or -1 invalid, -2 cut off
    unsigned unit;
};

// clang-format off
const DecodeCase kDecodeCases[] = {
    {"41", 1, 0x41},
    {"00", 1, 0x0000},
    {"7F 80", 1, 0x7F},
    {"80", -1, 0},
    {"BF", -1, 0},
    {"C0 80", -1, 0}, // overlong NUL
    {"C1 BF", -1, 0},
    {"C2 80", 2, 0x80},
    {"DF BF", 2, 0x7FF},
    {"C3 A9 41", 2, 0xE9},
    {"C2", -2, 0},
    {"C2 41", -1, 0},
    {"C2 C2", -1, 0},
    {"E0 A0 80", 3, 0x800},
    {"E0 9F BF", -1, 0}, // overlong
    {"E0 A0", -2, 0},
    {"E0", -2, 0},
    {"E2 41", -2, 0}, // too short wins
    {"E2 41 82", -1, 0},
    {"E2 82 41", -1, 0},
    {"E2 82 AC", 3, 0x20AC},
    {"ED A0 80", 3, 0xD800},
    {"ED BF BF", 3, 0xDFFF},
    {"EF BF BF", 3, 0xFFFF},
    {"EF BB BF", 3, 0xFEFF},
    {"F0 9F 98 80", -1, 0},
    {"F4 8F BF BF", -1, 0},
    {"F8 88 80 80 80", -1, 0},
    {"FE", -1, 0},
    {"FF", -1, 0},
};
// clang-format on

TEST(Utf8Coder, DecodesOneCharacter) {
    const EncodingUtf8& coder = EncodingUtf8::instance();
    for (const DecodeCase& c : kDecodeCases) {
        Bytes in = hex(c.bytes);
        ConvertState state;
        unsigned short unit = 0xABCD;
        int r = coder.decodeChar(state, in.data(), static_cast<int>(in.size()), &unit);
        EXPECT_EQ(r, c.result) << c.bytes;
        if (c.result > 0) {
            EXPECT_EQ(unit, c.unit) << c.bytes;
        }
        EXPECT_EQ(state.value, 0) << "the UTF-8 coder keeps no state";
    }
}

TEST(Utf8Coder, EncodesEveryUnitInItsShortestForm) {
    // Every 16-bit unit encodes on its own and decodes back; the length follows the unit's range.
    const EncodingUtf8& coder = EncodingUtf8::instance();
    ConvertState state;
    DataBuffer out;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        out.clear();
        int n = coder.encodeChar(state, static_cast<unsigned short>(u), out);
        int expected = u < 0x80 ? 1 : (u < 0x800 ? 2 : 3);
        ASSERT_EQ(n, expected) << std::hex << u;
        ASSERT_EQ(out.getSize(), static_cast<unsigned>(n));
        unsigned short back = 0;
        ASSERT_EQ(coder.decodeChar(state, out.getData(), n, &back), n) << std::hex << u;
        ASSERT_EQ(back, u);
    }
}

TEST(Utf8Coder, OneSharedInstanceThatRecoversWholeSequences) {
    EXPECT_EQ(&EncodingUtf8::instance(), &EncodingUtf8::instance());
    EXPECT_TRUE(EncodingUtf8::instance().isMultiByteRecoverable());
    // The base coder does nothing.
    EncodingBase base;
    ConvertState state;
    DataBuffer out;
    unsigned char b = 'A';
    unsigned short unit = 0;
    EXPECT_EQ(base.decodeChar(state, &b, 1, &unit), 0);
    EXPECT_EQ(base.encodeChar(state, 'A', out), 0);
    EXPECT_EQ(out.getSize(), 0u);
    EXPECT_FALSE(base.isMultiByteRecoverable());
}

// ---- the loops around the coder --------------------------------------------------------------

enum Loop { kToUtf16, kFromUtf16, kUtf8ToUtf8 };

struct LoopCase {
    Loop loop;
    const char* in;
    const char* out;
    bool ok;
};

const LoopCase kLoopCases[] = {
    // UTF-8 to UTF-16: bad input is dropped byte by byte and never turns the result false.
    {kToUtf16, "-", "-", true},
    {kToUtf16, "41 C3 A9", "41 00 E9 00", true},
    {kToUtf16, "F0 9F 98 80", "-", true},  // four-byte forms are not supported
    {kToUtf16, "C0 80", "-", true},        // overlong NUL: both bytes dropped
    {kToUtf16, "41 E2 82", "41 00", true}, // cut off at the end
    {kToUtf16, "E2 82 41", "41 00", true}, // resynchronises on the next byte
    {kToUtf16, "C2 C3 A9", "E9 00", true},
    {kToUtf16, "EF BB BF 41", "FF FE 41 00", true}, // the loop itself keeps a mark
    {kToUtf16, "00 41", "00 00 41 00", true},
    {kToUtf16, "ED A0 BD", "3D D8", true}, // an encoded surrogate is accepted
    // UTF-16 to UTF-8: U+0000 disappears; an odd size drops the last byte and fails.
    {kFromUtf16, "-", "-", true},
    {kFromUtf16, "41 00 00 00 42 00", "41 42", true},
    {kFromUtf16, "3D D8", "ED A0 BD", true},                // a lone surrogate in three bytes
    {kFromUtf16, "3D D8 00 DE", "ED A0 BD ED B8 80", true}, // a pair as two sequences
    {kFromUtf16, "41", "-", false},
    {kFromUtf16, "41 00 42", "41", false},
    {kFromUtf16, "FF FE 41 00", "EF BB BF 41", true},
    // UTF-8 through the coder both ways: U+0000 stays, what the decoder refuses goes.
    {kUtf8ToUtf8, "41 00 F0 9F 98 80 C3 A9", "41 00 C3 A9", true},
    {kUtf8ToUtf8, "80 E2 82 AC C0", "E2 82 AC", true},
    {kUtf8ToUtf8, "-", "-", true},
};

TEST(Utf8Loops, DropInvalidInputAsTheyGo) {
    const EncodingUtf8& utf8 = EncodingUtf8::instance();
    for (const LoopCase& c : kLoopCases) {
        Bytes in = hex(c.in);
        const unsigned char* p = in.empty() ? nullptr : in.data();
        unsigned n = static_cast<unsigned>(in.size());
        DataBuffer out;
        bool ok = false;
        switch (c.loop) {
        case kToUtf16:
            ok = EncodingConvert::utf8ToUtf16(utf8, p, n, out);
            break;
        case kFromUtf16:
            ok = EncodingConvert::utf16ToUtf8(utf8, p, n, out);
            break;
        case kUtf8ToUtf8:
            ok = EncodingConvert::utf8ToUtf8(utf8, utf8, p, n, out);
            break;
        }
        EXPECT_EQ(show(enctest::bytesOf(out)), show(hex(c.out))) << c.loop << ": " << c.in;
        EXPECT_EQ(ok, c.ok) << c.loop << ": " << c.in;
    }
}

} // namespace
