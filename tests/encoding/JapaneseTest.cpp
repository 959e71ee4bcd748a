#include "encoding/Japanese.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <set>

using enctest::Bytes;
using enctest::hex;
using enctest::show;
using enctest::showHex;

namespace {

Bytes toShiftJis(const Bytes& in) {
    return enctest::apply(in, [](const unsigned char* p, unsigned n, DataBuffer& out) {
        Japanese().iso2022jpToShiftJis(p, n, out);
        return true;
    });
}

Bytes toIso2022jp(const Bytes& in) {
    return enctest::apply(in, [](const unsigned char* p, unsigned n, DataBuffer& out) {
        Japanese().shiftJisToIso2022jp(p, n, out);
        return true;
    });
}

TEST(EncJapanese, Iso2022jpToShiftJis) {
    const enctest::Io cases[] = {
        {"1B 24 42 24 22 1B 28 42", "82 A0"},
        {"1B 24 40 24 22", "82 A0"},                   // ESC $ @ is JIS X 0208 too
        {"1B 24 42 24 22 0A 24 22", "82 A0 0A 24 22"}, // LF ends the double-byte stretch
        {"1B 28 49 31 5F 1B 28 42 31", "B1 DF 31"},    // half-width katakana
        {"1B 28 49 31 0A 31", "B1 0A B1"},             // LF does not end katakana mode
        {"1B 24 42 24 22 1B 28 4A 5C", "82 A0 5C"},    // JIS-Roman is read as ASCII
        {"1B 24 43 41", "41"},                         // other escapes are swallowed
        {"1B 41 42", "42"},
        {"1B 24", "-"},
        {"1B 24 42 24 22 24", "82 A0"}, // half a pair at the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(show(toShiftJis(hex(c.in))), showHex(c.out)) << c.in;
}

TEST(EncJapanese, ShiftJisToIso2022jp) {
    const enctest::Io cases[] = {
        {"82 A0 82 A2", "1B 24 42 24 22 24 24 1B 28 42"},
        {"82 A0 41 82 A0", "1B 24 42 24 22 1B 28 42 41 1B 24 42 24 22 1B 28 42"},
        {"82 A0 0D 0A", "1B 24 42 24 22 1B 28 42 0D 0A"},
        {"82 A0 82", "1B 24 42 24 22 1B 28 42"}, // a lead byte without its trail byte
        {"81 30", "81 30"},                      // not a trail byte: both bytes as they are
        // Half-width katakana are widened, with the sound marks combined where they can be.
        {"B6 DE", "1B 24 42 25 2C 1B 28 42"},       // ka + voiced mark = ga
        {"B3 DE", "1B 24 42 25 74 1B 28 42"},       // u + voiced mark = vu
        {"CA DF", "1B 24 42 25 51 1B 28 42"},       // ha + semi-voiced mark = pa
        {"B1 DE", "1B 24 42 25 22 21 2B 1B 28 42"}, // a takes no mark: two characters
        {"B6 DF", "1B 24 42 25 2B 21 2C 1B 28 42"}, // ka takes no semi-voiced mark
        {"B6 DE DE", "1B 24 42 25 2C 21 2B 1B 28 42"},
        {"B6 82 A0", "1B 24 42 25 2B 24 22 1B 28 42"}, // one stretch for both kinds
    };
    for (const auto& c : cases)
        EXPECT_EQ(show(toIso2022jp(hex(c.in))), showHex(c.out)) << c.in;
}

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
        const Bytes &sjis = r.fields[0], &iso = r.fields[1];
        EXPECT_EQ(show(toIso2022jp(sjis)), show(iso)) << "line " << r.line;
        kana += r.tag == "K";
        if (r.tag != "J") continue;
        EXPECT_EQ(show(toShiftJis(iso)), show(sjis)) << "line " << r.line;
        bool ok = false; // the engine reaches ISO-2022-JP by way of Shift_JIS
        EXPECT_EQ(show(enctest::convert(932, 50220, sjis, &ok)), show(iso)) << r.line;
        EXPECT_TRUE(ok);
        EXPECT_EQ(show(enctest::convert(50220, 932, iso, &ok)), show(sjis)) << r.line;
        for (size_t i = 0; i + 1 < sjis.size(); ++i)
            if (sjis[i] >= 0x80) {
                characters.insert(sjis[i] << 8 | sjis[i + 1]);
                ++i;
            }
    }
    EXPECT_EQ(characters.size(), 6879u) << "JIS X 0208 has 6879 characters";
    EXPECT_GE(kana, 80u);
}

} // namespace
