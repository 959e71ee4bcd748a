#include "encoding/UtfConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::onBuffers;
using enctest::show;

namespace {

TEST(UtfConvert, Utf32leToUtf8) {
    const enctest::Io cases[] = {
        {"41 00 00", "-", false},       // shorter than one value
        {"41 00 00 00 42", "41", true}, // a trailing partial value is ignored
        {"E9 00 00 00 AC 20 00 00", "C3 A9 E2 82 AC", true},
        {"00 F6 01 00", "F0 9F 98 80", true},
        {"00 00 11 00", "F4 90 80 80", true}, // above U+10FFFF still has a form
        {"00 00 20 00", "EF BF BD", true},    // 0x200000: U+FFFD
        {"FF FE 00 00", "EF BB BF", true},    // no mark is recognised here
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(show(onBuffers(utf32leToUtf8, hex(c.in), &ok)), enctest::showHex(c.out)) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
}

TEST(UtfConvert, Utf8ToUtf32BothByteOrders) {
    const enctest::Io cases[] = {
        {"C3 A9 E2 82 AC", "E9 00 00 00 AC 20 00 00", true},
        {"F0 9F 98 80", "00 F6 01 00", true},
        {"ED A0 80", "00 D8 00 00", true}, // encoded surrogates are let through
        {"E2 82", "-", false},             // cut off: nothing written
        {"41 C3 A9 42 E2 82", "41 00 00 00 E9 00 00 00 42 00 00 00", false},
        {"41 80 42", "41 00 00 00", false}, // a stray continuation stops it
        {"C0 80", "-", false},
        {"F4 90 80 80", "-", false}, // beyond U+10FFFF
        {"F8 88 80 80 80", "-", false},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        Bytes le = hex(c.out), be(le.size());
        for (size_t i = 0; i < le.size(); ++i)
            be[i] = le[i / 4 * 4 + 3 - i % 4];
        EXPECT_EQ(show(onBuffers(utf8ToUtf32le, hex(c.in), &ok)), show(le)) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
        EXPECT_EQ(show(onBuffers(utf8ToUtf32be, hex(c.in), &ok)), show(be)) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
}

TEST(UtfConvert, EveryScalarValueRoundTrips) {
    bool ok = false;
    for (uint32_t v = 0; v <= 0x10FFFF; v += (v < 0x30000 ? 1 : 97)) {
        Bytes in = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                    static_cast<unsigned char>(v >> 16), 0};
        ASSERT_EQ(onBuffers(utf8ToUtf32le, onBuffers(utf32leToUtf8, in, &ok), &ok), in)
            << std::hex << v;
        ASSERT_TRUE(ok) << std::hex << v;
    }
}

TEST(UtfConvert, IsLegalUtf8) {
    const struct {
        const char* bytes;
        bool legal;
    } cases[] = {
        {"7F", true},           {"80", false},          {"C0 80", false},
        {"C2 80", true},        {"C2 C0", false},       {"E0 A0 80", true},
        {"E0 9F BF", false},    {"ED A0 80", true},     {"EF BF C0", false},
        {"F0 90 80 80", true},  {"F0 8F BF BF", false}, {"F4 8F BF BF", true},
        {"F4 90 80 80", false}, {"F5 80 80 80", false}, {"F8 88 80 80 80", false},
    };
    for (const auto& c : cases) {
        Bytes b = hex(c.bytes);
        EXPECT_EQ(isLegalUtf8(b.data(), static_cast<int>(b.size())), c.legal) << c.bytes;
    }
    EXPECT_FALSE(isLegalUtf8(nullptr, 1));
}

} // namespace
