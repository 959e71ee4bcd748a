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
    static const char* const pieces[] = {
        "EFBBBF", "FEFF", "FFFE", "1B2442", "1B2842",   "1B2849", "1B242943", "0E",
        "0F",     "1B",   "2B",   "2D",     "2B414F6B", "C3",     "E282",     "F09F",
        "80",     "BF",   "00",   "0D0A",   "82A0",     "B6DE",   "B0A1",     "00002000"};
    Bytes b;
    size_t length = rng() % 64;
    bool structured = rng() % 2 == 0;
    while (b.size() < length) {
        if (structured && rng() % 3 != 0) {
            const Bytes p = enctest::hex(pieces[rng() % (sizeof pieces / sizeof pieces[0])]);
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
                ASSERT_LE(enctest::convert(from, to, in).size(), 16 * in.size() + 16)
                    << from << " -> " << to << ": " << enctest::show(in);
            }
}

TEST(EncFuzz, Utf7DecoderOnRandomText) {
    // Whatever the UTF-7 decoder makes of random input re-encodes and decodes to the same units.
    std::mt19937 rng(7u);
    for (int round = 0; round < 2000; ++round) {
        Bytes in = randomInput(rng);
        Bytes units = enctest::onBuffers(utf7ToUtf16, in);
        if (units.size() >= 2 && units[0] == 0xFF && units[1] == 0xFE) continue; // a mark
        bool ok = false;
        ASSERT_EQ(enctest::onBuffers(utf7ToUtf16, enctest::onBuffers(utf16ToUtf7, units), &ok),
                  units)
            << enctest::show(in);
        ASSERT_TRUE(ok) << enctest::show(in);
    }
}

} // namespace
