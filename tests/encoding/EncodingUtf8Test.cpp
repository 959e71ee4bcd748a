#include "encoding/EncodingUtf8.h"
#include "encoding/EncodingConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

TEST(Utf8Coder, DecodesOneCharacter) {
    const struct {
        const char* bytes;
        int result; // bytes used, or -1 invalid, -2 cut off
        unsigned unit;
    } cases[] = {
        {"41", 1, 0x41},         {"7F 80", 1, 0x7F},      {"80", -1, 0},
        {"C0 80", -1, 0},        {"C1 BF", -1, 0},        {"C2 80", 2, 0x80},
        {"DF BF", 2, 0x7FF},     {"C2", -2, 0},           {"C2 41", -1, 0},
        {"E0 A0 80", 3, 0x800},  {"E0 9F BF", -1, 0},     {"E0 A0", -2, 0},
        {"E2 41", -2, 0},        {"E2 82 41", -1, 0},     {"E2 82 AC", 3, 0x20AC},
        {"ED A0 80", 3, 0xD800}, {"EF BF BF", 3, 0xFFFF}, {"F0 9F 98 80", -1, 0},
        {"FE", -1, 0},
    };
    const EncodingUtf8& coder = EncodingUtf8::instance();
    for (const auto& c : cases) {
        Bytes in = hex(c.bytes);
        ConvertState state;
        unsigned short unit = 0xABCD;
        EXPECT_EQ(coder.decodeChar(state, in.data(), static_cast<int>(in.size()), &unit), c.result)
            << c.bytes;
        if (c.result > 0) {
            EXPECT_EQ(unit, c.unit) << c.bytes;
        }
    }
}

TEST(Utf8Coder, EncodesEveryUnitInItsShortestForm) {
    const EncodingUtf8& coder = EncodingUtf8::instance();
    ConvertState state;
    DataBuffer out;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        out.clear();
        int n = coder.encodeChar(state, static_cast<unsigned short>(u), out);
        ASSERT_EQ(n, u < 0x80 ? 1 : u < 0x800 ? 2 : 3) << std::hex << u;
        ASSERT_EQ(out.getSize(), static_cast<unsigned>(n));
        unsigned short back = 0;
        ASSERT_EQ(coder.decodeChar(state, out.getData(), n, &back), n) << std::hex << u;
        ASSERT_EQ(back, u);
    }
}

TEST(Utf8Loops, DropInvalidInputAsTheyGo) {
    enum Loop { kToUtf16, kFromUtf16, kUtf8ToUtf8 };
    const struct {
        Loop loop;
        enctest::Io io;
    } cases[] = {
        // UTF-8 to UTF-16: bad input is dropped byte by byte and never turns the result false.
        {kToUtf16, {"41 C3 A9", "41 00 E9 00", true}},
        {kToUtf16, {"F0 9F 98 80", "-", true}}, // four-byte forms are not supported
        {kToUtf16, {"C0 80", "-", true}},
        {kToUtf16, {"41 E2 82", "41 00", true}},
        {kToUtf16, {"E2 82 41", "41 00", true}}, // resynchronises on the next byte
        {kToUtf16, {"EF BB BF 41", "FF FE 41 00", true}},
        // UTF-16 to UTF-8: U+0000 disappears; an odd size drops the last byte and fails.
        {kFromUtf16, {"41 00 00 00 42 00", "41 42", true}},
        {kFromUtf16, {"3D D8 00 DE", "ED A0 BD ED B8 80", true}},
        {kFromUtf16, {"41", "-", false}},
        {kFromUtf16, {"41 00 42", "41", false}},
        {kUtf8ToUtf8, {"41 00 F0 9F 98 80 C3 A9", "41 00 C3 A9", true}},
        {kUtf8ToUtf8, {"80 E2 82 AC C0", "E2 82 AC", true}},
    };
    const EncodingUtf8& utf8 = EncodingUtf8::instance();
    for (const auto& c : cases)
        enctest::expectIo(c.io, [&](auto p, unsigned n, DataBuffer& out) {
            return c.loop == kToUtf16     ? EncodingConvert::utf8ToUtf16(utf8, p, n, out)
                   : c.loop == kFromUtf16 ? EncodingConvert::utf16ToUtf8(utf8, p, n, out)
                                          : EncodingConvert::utf8ToUtf8(utf8, utf8, p, n, out);
        });
}

} // namespace
