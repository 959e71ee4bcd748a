// Our coders against the reference vectors that tools/gen_encoding_vectors.py writes from iconv
// and Python's codecs.
#include "encoding/Japanese.h"
#include "encoding/Korean.h"
#include "encoding/Utf7.h"
#include "encoding/UtfConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <set>

using namespace enctest;

namespace {

std::vector<Record> vectors(const char* name, size_t atLeast, size_t fields) {
    std::vector<Record> records;
    for (const Record& r : readVectors(name)) {
        EXPECT_TRUE(r.fields.size() == fields || r.words[0] == "N") << name << ":" << r.line;
        records.push_back(r);
    }
    EXPECT_GT(records.size(), atLeast) << dataPath(name);
    return records;
}

template <class F> Bytes run(const Bytes& in, F f) {
    DataBuffer out;
    f(in.empty() ? nullptr : in.data(), static_cast<unsigned>(in.size()), out);
    return bytesOf(out);
}

// B records: random BMP text in UTF-8, UTF-16LE, UTF-16BE, UTF-32LE and UTF-32BE, from iconv.
// N records: text beyond U+FFFF in UTF-8, UTF-32LE and UTF-32BE.
TEST(UtfCrossCheck, AgreesWithIconv) {
    const int forms[5] = {65001, 1200, 1201, 65005, 65006};
    bool ok = false;
    for (const Record& r : vectors("utf_vectors.txt", 150, 5)) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        for (size_t from = 0; r.words[0] == "B" && from < 5; ++from)
            for (size_t to = 0; to < 5; ++to) {
                EXPECT_EQ(show(convert(forms[from], forms[to], r.fields[from], &ok)),
                          show(r.fields[to]))
                    << forms[from] << " -> " << forms[to];
                EXPECT_TRUE(ok) << forms[from] << " -> " << forms[to];
            }
        if (r.words[0] == "B") continue;
        const Bytes& utf8 = r.fields[0];
        EXPECT_EQ(show(convert(65001, 65005, utf8)), show(r.fields[1]));
        EXPECT_EQ(show(convert(65001, 65006, utf8)), show(r.fields[2]));
        EXPECT_EQ(show(onBuffers(utf32leToUtf8, r.fields[1], &ok)), show(utf8));
        Bytes
            bmpOnly; // through the engine the characters beyond U+FFFF are dropped on the way back
        for (size_t i = 0; i < utf8.size(); i += utf8[i] >= 0xF0 ? 4 : 1)
            if (utf8[i] < 0xF0) bmpOnly.push_back(utf8[i]);
        EXPECT_EQ(show(convert(65005, 65001, r.fields[1])), show(bmpOnly));
    }
}

// A random BMP text in UTF-16LE, the form this encoder must write (checked by the generator to
// decode with Python's codec), and Python's own encoding of the text.
TEST(UtfCrossCheck, Utf7AgreesWithPythonsCodec) {
    for (const Record& r : vectors("utf7_vectors.txt", 300, 3)) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        EXPECT_EQ(show(onBuffers(utf16ToUtf7, r.fields[0])), show(r.fields[1]));
        for (int form : {1, 2}) {
            bool ok = false;
            EXPECT_EQ(show(onBuffers(utf7ToUtf16, r.fields[form], &ok)), show(r.fields[0])) << form;
            EXPECT_TRUE(ok) << form;
        }
    }
}

// J records: Shift_JIS text and iconv's ISO-2022-JP of it, together every JIS X 0208 character.
// K records: half-width katakana and the ISO-2022-JP of their full-width (NFKC) forms.
// The engine reaches ISO-2022-JP by way of Shift_JIS.
TEST(UtfCrossCheck, EveryJisX0208CharacterAgreesWithIconv) {
    std::set<unsigned> characters;
    size_t kana = 0;
    bool ok = false;
    for (const Record& r : vectors("iso2022jp_vectors.txt", 150, 2)) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        const Bytes &sjis = r.fields[0], &iso = r.fields[1];
        EXPECT_EQ(show(run(sjis, [](auto p, unsigned n,
                                    DataBuffer& o) { Japanese().shiftJisToIso2022jp(p, n, o); })),
                  show(iso));
        kana += r.words[0] == "K";
        if (r.words[0] != "J") continue;
        EXPECT_EQ(show(run(iso, [](auto p, unsigned n,
                                   DataBuffer& o) { Japanese().iso2022jpToShiftJis(p, n, o); })),
                  show(sjis));
        EXPECT_EQ(show(convert(932, 50220, sjis, &ok)), show(iso));
        EXPECT_TRUE(ok);
        EXPECT_EQ(show(convert(50220, 932, iso, &ok)), show(sjis));
        for (size_t i = 0; i + 1 < sjis.size(); ++i)
            if (sjis[i] >= 0x80) characters.insert(sjis[i] << 8 | sjis[i + 1]), ++i;
    }
    EXPECT_EQ(characters.size(), 6879u) << "JIS X 0208 has 6879 characters";
    EXPECT_GE(kana, 80u);
}

// EUC-KR text (all 2350 KS X 1001 Hangul syllables, then mixed lines) and iconv's ISO-2022-KR of
// it. iconv closes a shifted ending with SI; this encoder does not.
TEST(UtfCrossCheck, HangulSyllablesAgreeWithIconv) {
    bool ok = false;
    for (const Record& r : vectors("iso2022kr_vectors.txt", 80, 2)) {
        SCOPED_TRACE("line " + std::to_string(r.line));
        const Bytes& euc = r.fields[0];
        Bytes iso = r.fields[1];
        auto toEuc = [](auto p, unsigned n, DataBuffer& o) { Korean().iso2022krToEucKr(p, n, o); };
        auto toIso = [](auto p, unsigned n, DataBuffer& o) { Korean().eucKrToIso2022kr(p, n, o); };
        EXPECT_EQ(show(run(iso, toEuc)), show(euc));
        EXPECT_EQ(show(convert(50225, 949, iso, &ok)), show(euc));
        if (!iso.empty() && iso.back() == 0x0F) iso.pop_back();
        EXPECT_EQ(show(run(euc, toIso)), show(iso));
        EXPECT_EQ(show(convert(949, 50225, euc, &ok)), show(iso));
        EXPECT_TRUE(ok);
    }
}

} // namespace
