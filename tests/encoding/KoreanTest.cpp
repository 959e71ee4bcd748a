#include "encoding/Korean.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

Bytes toEucKr(const Bytes& in) {
    DataBuffer out;
    Korean().iso2022krToEucKr(in.empty() ? nullptr : in.data(), static_cast<unsigned>(in.size()),
                              out);
    return enctest::bytesOf(out);
}

Bytes toIso2022kr(const Bytes& in) {
    DataBuffer out;
    Korean().eucKrToIso2022kr(in.empty() ? nullptr : in.data(), static_cast<unsigned>(in.size()),
                              out);
    return enctest::bytesOf(out);
}

struct Case {
    const char* in;
    const char* out;
};

const Case kToEucCases[] = {
    {"-", "-"},
    {"41 0D 0A", "41 0D 0A"},
    {"1B 24 29 43 0E 30 21 0F 41", "B0 A1 41"},
    {"0E 30 21 48 7E", "B0 A1 C8 FE"},       // the designator is not required
    {"0E 30 21 30", "B0 A1"},                // a pair cut off by the end is dropped
    {"0E 30 21 1B 24 29 43 41", "B0 A1 41"}, // the designator shifts back
    {"1B 41 42", "41 42"},                   // a lone ESC is dropped
    {"1B 24 29", "24 29"},                   // too short for the designator
    {"1B 24 29 44 41", "24 29 44 41"},
    {"0F 41 0E 0E 30 21", "41 B0 A1"}, // SO and SI are never written
    {"0E 41 0A", "C1 8A"},             // while shifted, bytes go in pairs
};

TEST(EncKorean, Iso2022krToEucKr) {
    for (const Case& c : kToEucCases)
        EXPECT_EQ(show(toEucKr(hex(c.in))), show(hex(c.out))) << c.in;
}

const Case kToIsoCases[] = {
    {"-", "-"},
    {"41", "1B 24 29 43 41"},
    {"B0 A1", "1B 24 29 43 0E 30 21"}, // no SI at the end
    {"B0 A1 41 B0 A1", "1B 24 29 43 0E 30 21 0F 41 0E 30 21"},
    {"41 B0 A1 C8 FE 42", "1B 24 29 43 41 0E 30 21 48 7E 0F 42"},
    {"B0", "1B 24 29 43"}, // a lead byte without its trail byte
    {"B0 A1 B0", "1B 24 29 43 0E 30 21"},
};

TEST(EncKorean, EucKrToIso2022kr) {
    for (const Case& c : kToIsoCases)
        EXPECT_EQ(show(toIso2022kr(hex(c.in))), show(hex(c.out))) << c.in;
}

TEST(EncKorean, HangulSyllablesAgreeWithIconv) {
    // Each record: EUC-KR text (all 2350 KS X 1001 Hangul syllables, then mixed lines) and
    // iconv's ISO-2022-KR of it. iconv closes a shifted ending with SI; this encoder does not.
    std::vector<enctest::Record> records = enctest::readVectors("iso2022kr_vectors.txt");
    ASSERT_GT(records.size(), 80u) << enctest::dataPath("iso2022kr_vectors.txt");
    for (const enctest::Record& r : records) {
        ASSERT_EQ(r.tag, "R");
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
