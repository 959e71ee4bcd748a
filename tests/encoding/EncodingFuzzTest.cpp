#include "encoding/EncodingConvert.h"
#include "encoding/Utf7.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <random>

using enctest::Bytes;

namespace {

// Random input for a conversion: plain random bytes, or bytes drawn from the pieces the decoders
// react to (marks, escapes, shifts, UTF-7 runs, UTF-8 lead and continuation bytes).
Bytes randomInput(std::mt19937& rng) {
    static const Bytes pieces[] = {
        {0xEF, 0xBB, 0xBF},
        {0xFE, 0xFF},
        {0xFF, 0xFE},
        {0x1B, 0x24, 0x42},
        {0x1B, 0x28, 0x42},
        {0x1B, 0x28, 0x49},
        {0x1B, 0x24, 0x29, 0x43},
        {0x0E},
        {0x0F},
        {0x1B},
        {'+'},
        {'-'},
        {'+', 'A', 'O', 'k'},
        {0xC3},
        {0xE2, 0x82},
        {0xF0, 0x9F},
        {0x80},
        {0xBF},
        {0x00},
        {0x0D, 0x0A},
        {0x82, 0xA0},
        {0xB6, 0xDE},
        {0xB0, 0xA1},
        {0x00, 0x00, 0x20, 0x00},
    };
    Bytes b;
    size_t length = rng() % 64;
    bool structured = rng() % 2 == 0;
    while (b.size() < length) {
        if (structured && rng() % 3 != 0) {
            const Bytes& p = pieces[rng() % (sizeof pieces / sizeof pieces[0])];
            b.insert(b.end(), p.begin(), p.end());
        } else {
            b.push_back(static_cast<unsigned char>(rng()));
        }
    }
    return b;
}

TEST(EncFuzz, RandomBytesThroughEveryBuiltInPair) {
    // Random input through every pair of the forms converted by code: nothing may crash, hang or
    // run away (the sanitizer build checks every access), and the output stays within a bound
    // set by the widest expansion (a byte to a UTF-7 run or an escape-framed character).
    const int forms[] = {1200, 1201, 65000, 65001, 65005, 65006, 50220, 50225};
    std::mt19937 rng(20240601u);
    for (int from : forms)
        for (int to : forms)
            for (int round = 0; round < 150; ++round) {
                Bytes in = randomInput(rng);
                EncodingConvert ec;
                DataBuffer out;
                ec.convert(from, to, in.empty() ? nullptr : in.data(),
                           static_cast<unsigned>(in.size()), out);
                ASSERT_LE(out.getSize(), 16 * in.size() + 16)
                    << from << " -> " << to << ": " << enctest::show(in);
            }
}

TEST(EncFuzz, Utf7DecoderOnRandomText) {
    // Whatever the UTF-7 decoder makes of random input re-encodes and decodes to the same units.
    std::mt19937 rng(7u);
    for (int round = 0; round < 2000; ++round) {
        Bytes in = randomInput(rng);
        DataBuffer src, utf16, utf7, back;
        enctest::fill(src, in);
        utf7ToUtf16(src, utf16);
        Bytes units = enctest::bytesOf(utf16);
        if (units.size() >= 2 && units[0] == 0xFF && units[1] == 0xFE) continue; // a mark
        utf16ToUtf7(utf16, utf7);
        ASSERT_TRUE(utf7ToUtf16(utf7, back)) << enctest::show(in);
        ASSERT_EQ(enctest::bytesOf(back), units) << enctest::show(in);
    }
}

} // namespace
