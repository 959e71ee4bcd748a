#include "encoding/Korean.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

Bytes toEucKr(const Bytes& in) {
    return enctest::apply(in, [](const unsigned char* p, unsigned n, DataBuffer& out) {
        Korean().iso2022krToEucKr(p, n, out);
        return true;
    });
}

Bytes toIso2022kr(const Bytes& in) {
    return enctest::apply(in, [](const unsigned char* p, unsigned n, DataBuffer& out) {
        Korean().eucKrToIso2022kr(p, n, out);
        return true;
    });
}

TEST(EncKorean, BothDirections) {
    const enctest::Io toEuc[] = {
        {"0E 30 21 48 7E", "B0 A1 C8 FE"},       // the designator is not required
        {"0E 30 21 30", "B0 A1"},                // a pair cut off by the end is dropped
        {"0E 30 21 1B 24 29 43 41", "B0 A1 41"}, // the designator shifts back
        {"1B 24 29", "24 29"},                   // too short for the designator
        {"0F 41 0E 0E 30 21", "41 B0 A1"},
        {"0E 41 0A", "C1 8A"}, // while shifted, bytes go in pairs
    };
    for (const auto& c : toEuc)
        EXPECT_EQ(show(toEucKr(hex(c.in))), enctest::showHex(c.out)) << c.in;
    const enctest::Io toIso[] = {
        {"41", "1B 24 29 43 41"},
        {"B0 A1 41 B0 A1", "1B 24 29 43 0E 30 21 0F 41 0E 30 21"}, // no SI at the end
        {"B0 A1 B0", "1B 24 29 43 0E 30 21"}, // a lead byte without its trail byte
    };
    for (const auto& c : toIso)
        EXPECT_EQ(show(toIso2022kr(hex(c.in))), enctest::showHex(c.out)) << c.in;
}

TEST(EncKorean, HangulSyllablesAgreeWithIconv) {
    // Each record: EUC-KR text (all 2350 KS X 1001 Hangul syllables, then mixed lines) and
    // iconv's ISO-2022-KR of it. iconv closes a shifted ending with SI; this encoder does not.
    std::vector<enctest::Record> records = enctest::readVectors("iso2022kr_vectors.txt");
    ASSERT_GT(records.size(), 80u) << enctest::dataPath("iso2022kr_vectors.txt");
    for (const enctest::Record& r : records) {
        ASSERT_EQ(r.fields.size(), 2u) << "line " << r.line;
        const Bytes& euc = r.fields[0];
        Bytes iso = r.fields[1];
        EXPECT_EQ(show(toEucKr(iso)), show(euc)) << "line " << r.line;
        bool ok = false;
        EXPECT_EQ(show(enctest::convert(50225, 949, iso, &ok)), show(euc)) << "line " << r.line;
        if (!iso.empty() && iso.back() == 0x0F) iso.pop_back();
        EXPECT_EQ(show(toIso2022kr(euc)), show(iso)) << "line " << r.line;
        EXPECT_EQ(show(enctest::convert(949, 50225, euc, &ok)), show(iso)) << "line " << r.line;
        EXPECT_TRUE(ok);
    }
}

} // namespace
