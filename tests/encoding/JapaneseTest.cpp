#include "encoding/Japanese.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <set>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

Bytes toShiftJis(const Bytes& in) {
    DataBuffer out;
    Japanese().iso2022jpToShiftJis(in.empty() ? nullptr : in.data(),
                                   static_cast<unsigned>(in.size()), out);
    return enctest::bytesOf(out);
}

Bytes toIso2022jp(const Bytes& in) {
    DataBuffer out;
    Japanese().shiftJisToIso2022jp(in.empty() ? nullptr : in.data(),
                                   static_cast<unsigned>(in.size()), out);
    return enctest::bytesOf(out);
}

struct Case {
    const char* in;
    const char* out;
};

const Case kToShiftJisCases[] = {
    {"-", "-"},
    {"41 42", "41 42"},
    {"1B 24 42 24 22 1B 28 42", "82 A0"},
    {"1B 24 40 24 22", "82 A0"}, // ESC $ @ is JIS X 0208 too
    {"1B 24 42 21 21 30 21 4F 53 50 21 7E 7E", "81 40 88 9F 98 72 98 9F EF FC"},
    {"1B 24 42 24 22 0A 24 22", "82 A0 0A 24 22"}, // LF ends the double-byte stretch
    {"1B 24 42 24 22 0D 41", "82 A0 0D 41"},
    {"1B 28 49 31 5F 1B 28 42 31", "B1 DF 31"}, // half-width katakana
    {"1B 28 49 31 0A 31", "B1 0A B1"},          // LF does not end katakana mode
    {"1B 28 49 31 1B 24 42 24 22", "B1 82 A0"},
    {"1B 24 42 24 22 1B 28 4A 5C", "82 A0 5C"}, // JIS-Roman is read as ASCII
    {"1B 24 43 41", "41"},                      // other escapes are swallowed
    {"1B 28 43 41", "41"},
    {"1B 41 42", "42"},
    {"1B", "-"},
    {"1B 24", "-"},
    {"1B 28", "-"},
    {"1B 24 42 24", "-"}, // half a pair at the end
    {"1B 24 42 24 22 24", "82 A0"},
};

TEST(EncJapanese, Iso2022jpToShiftJis) {
    for (const Case& c : kToShiftJisCases)
        EXPECT_EQ(show(toShiftJis(hex(c.in))), show(hex(c.out))) << c.in;
}

const Case kToIsoCases[] = {
    {"-", "-"},
    {"41", "41"},
    {"82 A0", "1B 24 42 24 22 1B 28 42"},
    {"82 A0 82 A2", "1B 24 42 24 22 24 24 1B 28 42"},
    {"82 A0 41 82 A0", "1B 24 42 24 22 1B 28 42 41 1B 24 42 24 22 1B 28 42"},
    {"82 A0 0D 0A", "1B 24 42 24 22 1B 28 42 0D 0A"},
    {"0D 0A", "0D 0A"},
    {"81 40 88 9F 98 72 98 9F EF FC", "1B 24 42 21 21 30 21 4F 53 50 21 7E 7E 1B 28 42"},
    {"82", "-"}, // a lead byte without its trail byte
    {"82 A0 82", "1B 24 42 24 22 1B 28 42"},
    {"81 30", "81 30"}, // not a trail byte: both bytes as they are
    {"82 A0 81 FD", "1B 24 42 24 22 81 FD 1B 28 42"},
    // Half-width katakana are widened, with the sound marks combined where they can be.
    {"B1", "1B 24 42 25 22 1B 28 42"},
    {"B6 DE", "1B 24 42 25 2C 1B 28 42"},       // ka + voiced mark = ga
    {"B3 DE", "1B 24 42 25 74 1B 28 42"},       // u + voiced mark = vu
    {"CA DF", "1B 24 42 25 51 1B 28 42"},       // ha + semi-voiced mark = pa
    {"CA DE", "1B 24 42 25 50 1B 28 42"},       // ha + voiced mark = ba
    {"B1 DE", "1B 24 42 25 22 21 2B 1B 28 42"}, // a takes no mark: two characters
    {"B6 DF", "1B 24 42 25 2B 21 2C 1B 28 42"}, // ka takes no semi-voiced mark
    {"B6 DE DE", "1B 24 42 25 2C 21 2B 1B 28 42"},
    {"DE", "1B 24 42 21 2B 1B 28 42"},
    {"A1 41", "1B 24 42 21 23 1B 28 42 41"},
    {"B6 82 A0", "1B 24 42 25 2B 24 22 1B 28 42"}, // one stretch for both kinds
};

TEST(EncJapanese, ShiftJisToIso2022jp) {
    for (const Case& c : kToIsoCases)
        EXPECT_EQ(show(toIso2022jp(hex(c.in))), show(hex(c.out))) << c.in;
}

TEST(EncJapanese, HalfwidthKanaToJisReportsWhatItUsed) {
    // clang-format off
    const struct {
        const char* in;
        int used;
    } cases[] = {
        {"41", 0},
        {"A0", 0},
        {"E0", 0},
        {"A1", 1},
        {"DF", 1},
        {"B6 41", 1},
        {"B6 DE", 2},
        {"B6 DF", 1},
        {"CE DF", 2},
        {"CF DF", 1},
        {"B1 DE", 1},
    };
    // clang-format on
    for (const auto& c : cases) {
        Bytes b = hex(c.in);
        unsigned char jis[2] = {0, 0};
        EXPECT_EQ(Japanese::halfwidthKanaToJis(b.data(), static_cast<unsigned>(b.size()), jis),
                  c.used)
            << c.in;
    }
    unsigned char jis[2];
    EXPECT_EQ(Japanese::halfwidthKanaToJis(nullptr, 0, jis), 0);
}

// ---- against iconv ---------------------------------------------------------------------------

TEST(EncJapanese, EveryJisX0208CharacterAgreesWithIconv) {
    // J records: Shift_JIS text and iconv's ISO-2022-JP of it; together they hold every JIS
    // X 0208 character. K records: half-width katakana and the ISO-2022-JP of their full-width
    // (NFKC) forms.
    std::vector<enctest::Record> records = enctest::readVectors("iso2022jp_vectors.txt");
    ASSERT_GT(records.size(), 150u) << enctest::dataPath("iso2022jp_vectors.txt");
    std::set<unsigned> characters;
    size_t kana = 0;
    for (const enctest::Record& r : records) {
        ASSERT_EQ(r.fields.size(), 2u) << "line " << r.line;
        const Bytes& sjis = r.fields[0];
        const Bytes& iso = r.fields[1];
        EXPECT_EQ(show(toIso2022jp(sjis)), show(iso)) << "line " << r.line;
        if (r.tag == "J") {
            EXPECT_EQ(show(toShiftJis(iso)), show(sjis)) << "line " << r.line;
            // And through the engine, which reaches ISO-2022-JP by way of Shift_JIS.
            bool ok = false;
            EXPECT_EQ(show(enctest::convert(932, 50220, sjis, &ok)), show(iso)) << r.line;
            EXPECT_TRUE(ok);
            EXPECT_EQ(show(enctest::convert(50220, 932, iso, &ok)), show(sjis)) << r.line;
            for (size_t i = 0; i < sjis.size(); ++i)
                if (sjis[i] >= 0x80 && i + 1 < sjis.size()) {
                    characters.insert(sjis[i] << 8 | sjis[i + 1]);
                    ++i;
                }
        } else {
            ASSERT_EQ(r.tag, "K") << "line " << r.line;
            ++kana;
        }
    }
    EXPECT_EQ(characters.size(), 6879u) << "JIS X 0208 has 6879 characters";
    EXPECT_GE(kana, 80u);
}

} // namespace
