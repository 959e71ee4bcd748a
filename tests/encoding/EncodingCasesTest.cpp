// Every conversion route against its cases: the hand-picked ones of tests/encoding/data/cases.txt
// and the reference vectors that tools/gen_encoding_vectors.py writes from iconv and Python's
// codecs; and the charset name tables against tests/encoding/data/charset_table.tsv.
#include "encoding/Charset.h"
#include "encoding/EncodingUtf8.h"
#include "encoding/Japanese.h"
#include "encoding/Korean.h"
#include "encoding/Utf7.h"
#include "encoding/UtfConvert.h"
#include "encoding/tables/ContentCoding.h"
#include "encoding/tables/TableStore.h"
#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace enctest;

namespace {

const int kNone = -99; // the result of a route that returns none
using Arg = const std::string&;

int onBuffer(bool (*f)(const DataBuffer&, DataBuffer&), const Bytes& in, DataBuffer& out) {
    DataBuffer src;
    fill(src, in);
    return f(src, out);
}
// A map of keys of every size, built over a first set of buckets that is then replaced.
HashConvert& smallMap() {
    static HashConvert m;
    static const bool made = [] {
        EXPECT_TRUE(m.initBuckets(7));
        m.insert(hex("41").data(), 1, hex("41").data(), 1); // gone with the buckets made again
        EXPECT_TRUE(m.initBuckets(31));
        std::istringstream kv(
            "8140 0030 A1 61FF 8FA1A1 024E 90308130 8000 5C A500 0030 8140 E900 E9");
        for (std::string k, v; kv >> k >> v;)
            m.insert(hex(k).data(), int(hex(k).size()), hex(v).data(), int(hex(v).size()));
        return m.countEntries() == 7;
    }();
    EXPECT_TRUE(made);
    return m;
}

// What the route of a cases.txt line makes of its argument and input, appended to out; its result.
int route(Arg r, Arg a, const Bytes& in, DataBuffer& out) {
    const EncodingUtf8& utf8 = EncodingUtf8::instance();
    const std::string name(in.begin(), in.end());
    const unsigned char* p = in.empty() ? nullptr : in.data();
    const unsigned n = static_cast<unsigned>(in.size());
    const int to = std::atoi(a.c_str() + a.find(':') + 1); // of "FROM:TO"; std::stoi gives FROM
    const bool ansiArg = r == "ansi" || r == "sbansi" || r == "lookup" || (r == "name" && a != "-");
    platform::setAnsiCodePageOverride(ansiArg ? std::stoi(a) : 0); // reset by expectRoute
    if (r == "convert") return EncodingConvert().convert(std::stoi(a), to, p, n, out);
    if (r == "toU") return EncodingConvert().toUtf16(std::stoi(a), p, n, out);
    if (r == "fromU") return EncodingConvert().fromUtf16(std::stoi(a), p, n, out);
    if (r == "ansi") return EncodingConvert().convertFromAnsi(65001, p, n, out);
    if (r == "u8to16") return EncodingConvert::utf8ToUtf16(utf8, p, n, out);
    if (r == "u16to8") return EncodingConvert::utf16ToUtf8(utf8, p, n, out);
    if (r == "u8to8") return EncodingConvert::utf8ToUtf8(utf8, utf8, p, n, out);
    if (r == "utf32to8") return onBuffer(utf32leToUtf8, in, out);
    if (r == "u7dec") return onBuffer(utf7ToUtf16, in, out);
    if (r == "u7enc") return onBuffer(utf16ToUtf7, in, out), kNone;
    if (r == "legal") return isLegalUtf8(p, static_cast<int>(n));
    if (r == "jis2sjis") return Japanese().iso2022jpToShiftJis(p, n, out), kNone;
    if (r == "sjis2jis") return Japanese().shiftJisToIso2022jp(p, n, out), kNone;
    if (r == "kr2euc") return Korean().iso2022krToEucKr(p, n, out), kNone;
    if (r == "euc2kr") return Korean().eucKrToIso2022kr(p, n, out), kNone;
    if (r == "macarabic" || r == "fold") {
        fill(out, in);
        if (r == "fold") return EncodingConvert::foldArabicIndicDigits(out.getData(), n), kNone;
        return EncodingConvert::rewriteMacArabic(out.getData(), out.getSize()), kNone;
    }
    if (r == "sb" || r == "sbansi") { // the text must stay terminated
        StringBuffer sb;
        sb.appendN(p, static_cast<int>(n));
        r == "sb" ? sb.convertEncoding(std::stoi(a), to) : sb.convertAnsiToUtf8();
        EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
        return out.append(sb.getString(), static_cast<unsigned>(sb.getSize())), kNone;
    }
    if (r == "utf8to32") return onBuffer(utf8ToUtf32le, in, out);
    if (r == "name" || r == "bycp") { // over 1252; over UTF-8
        Charset cs;
        r == "name" ? cs.setByCodePage(1252) : cs.setByName("utf-8");
        r == "name" ? cs.setByName(name.c_str()) : cs.setByCodePage(std::stoi(a));
        out.append(cs.getName(), static_cast<unsigned>(std::string(cs.getName()).size()));
        return cs.getCodePage();
    }
    if (r == "lookup") return charsetNameToCodePage(name.c_str());
    if (r == "mapTo" || r == "mapFrom") {
        HashConvert& map = smallMap();
        map.asciiPassThrough = a == "ascii";
        return r == "mapTo" ? EncodingConvert::multiByteToUtf16(map, p, n, out)
                            : EncodingConvert::utf16ToCodePage(&map, p, n, out);
    }
    if (r == "b64") {
        int size = -1;
        unsigned char* got = ContentCoding().decodeBase64(reinterpret_cast<const char*>(p),
                                                          a == "-" ? int(n) : std::stoi(a), &size);
        if (got) out.append(got, static_cast<unsigned>(size));
        qxFree(got);
        return got != nullptr;
    }
    if (r == "qp") {
        ContentCoding coder;
        coder.maxLineLength = std::stoi(a);
        StringBuffer sb;
        coder.encodeQuotedPrintable(p, static_cast<int>(n), sb);
        return out.append(sb.getString(), static_cast<unsigned>(sb.getSize())), kNone;
    }
    if (r == "nomap") return EncodingConvert::utf16ToCodePage(nullptr, p, n, out);
    ADD_FAILURE() << "no route " << r;
    return kNone;
}

// Runs a route and checks its output and its result ("*": none); conversions must append behind
// what the output already holds.
void expectRoute(Arg r, Arg a, const Bytes& in, const Bytes& want, Arg result) {
    DataBuffer out;
    const bool appends = r == "convert";
    if (appends) out.append("<>", 2);
    const int got = route(r, a, in, out);
    platform::setAnsiCodePageOverride(0);
    Bytes expected = want;
    if (appends) expected.insert(expected.begin(), {'<', '>'});
    EXPECT_EQ(show(bytesOf(out)), show(expected)) << r << " " << a << " of " << show(in);
    if (result != "*") EXPECT_EQ(got, std::stoi(result)) << r << " " << a << " of " << show(in);
}

TEST(EncCases, EveryRouteAsListed) {
    const auto rows = testfs::caseRows("encoding/data/cases.txt");
    ASSERT_GT(rows.size(), 250u) << rows[0][0];
    for (const auto& r : rows) {
        ASSERT_TRUE(r.size() == 5 || (r.size() == 6 && r[5][0] == '#')) << r[0];
        SCOPED_TRACE(r.size() == 6 ? r[5] : "");
        expectRoute(r[0], r[1], bytes(r[2]), bytes(r[3]), r[4]);
    }
}

// The records of a file of tools/gen_encoding_vectors.py (a tag, then hex fields split by
// blanks), each with the number of fields its tag calls for.
using Record = std::pair<std::string, std::vector<Bytes>>;
std::vector<Record> vectors(const char* name, size_t atLeast,
                            std::map<std::string, size_t> fields) {
    std::vector<Record> records;
    for (const auto& row : testfs::caseRows(std::string("encoding/data/") + name)) {
        std::istringstream words(row[0]);
        Record& rec = records.emplace_back();
        words >> rec.first;
        for (std::string w; words >> w;)
            rec.second.push_back(hex(w));
        const bool fits = !rec.second.empty() && rec.second.size() == fields[rec.first];
        EXPECT_TRUE(fits) << name << ": " << row[0].substr(0, 40);
        if (!fits) records.pop_back();
    }
    EXPECT_GT(records.size(), atLeast) << name;
    return records;
}

// B records: random BMP text in UTF-8, UTF-16LE, UTF-16BE, UTF-32LE and UTF-32BE, from iconv.
// N records: text beyond U+FFFF in UTF-8, UTF-32LE and UTF-32BE (which the 16-bit coder of the
// engine cannot take back; cases.txt has that).
TEST(UtfCrossCheck, AgreesWithIconv) {
    const std::string forms[5] = {"65001", "1200", "1201", "65005", "65006"};
    for (const auto& [tag, f] : vectors("utf_vectors.txt", 150, {{"B", 5}, {"N", 3}})) {
        for (size_t from = 0; tag == "B" && from < 5; ++from)
            for (size_t to = 0; to < 5; ++to)
                expectRoute("convert", forms[from] + ":" + forms[to], f[from], f[to], "1");
        if (tag == "B") continue;
        expectRoute("convert", "65001:65005", f[0], f[1], "1");
        expectRoute("convert", "65001:65006", f[0], f[2], "1");
        expectRoute("utf32to8", "-", f[1], f[0], "1");
    }
}

// A random BMP text in UTF-16LE, the form this encoder must write (checked by the generator to
// decode with Python's codec), and Python's own encoding of the text.
TEST(UtfCrossCheck, Utf7AgreesWithPythonsCodec) {
    for (const auto& [tag, f] : vectors("utf7_vectors.txt", 300, {{"U", 3}})) {
        expectRoute("u7enc", "-", f[0], f[1], "*");
        expectRoute("u7dec", "-", f[1], f[0], "1");
        expectRoute("u7dec", "-", f[2], f[0], "1");
    }
}

// J records: Shift_JIS text and iconv's ISO-2022-JP of it, together every JIS X 0208 character.
// K records: half-width katakana and the ISO-2022-JP of their full-width (NFKC) forms.
// The engine reaches ISO-2022-JP by way of Shift_JIS.
TEST(UtfCrossCheck, EveryJisX0208CharacterAgreesWithIconv) {
    for (const auto& [tag, f] : vectors("iso2022jp_vectors.txt", 150, {{"J", 2}, {"K", 2}})) {
        expectRoute("convert", "932:50220", f[0], f[1], "1");
        if (tag == "J") expectRoute("convert", "50220:932", f[1], f[0], "1");
    }
}

// EUC-KR text (all 2350 KS X 1001 Hangul syllables, then mixed lines) and iconv's ISO-2022-KR of
// it. iconv closes a shifted ending with SI; this encoder does not.
TEST(UtfCrossCheck, HangulSyllablesAgreeWithIconv) {
    for (const auto& [tag, f] : vectors("iso2022kr_vectors.txt", 80, {{"R", 2}})) {
        const Bytes& euc = f[0];
        Bytes iso = f[1];
        expectRoute("convert", "50225:949", iso, euc, "1");
        if (!iso.empty() && iso.back() == 0x0F) iso.pop_back();
        expectRoute("convert", "949:50225", euc, iso, "1");
    }
}

TEST(CharsetNameTable, EveryNameCanonicalNameAndConversionKind) {
    std::map<std::string, int> names;
    std::map<int, std::string> canonical;
    const auto rows = testfs::caseRows("encoding/data/charset_table.tsv");
    ASSERT_EQ(rows.size(), 150u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 4u) << r[0];
        const int cp = std::stoi(r[0]);
        std::istringstream list(r[3] == "-" ? "" : r[3]); // names may hold a blank
        for (std::string n; std::getline(list, n, ',');) {
            ASSERT_TRUE(names.emplace(n, cp).second) << "listed twice: " << n;
            EXPECT_EQ(charsetNameToCodePage(n.c_str()), cp) << n;
        }
        const std::string name = r[1] == "-" ? "" : r[1];
        if (!name.empty()) canonical[cp] = name;
        StringBuffer out("leftover");
        EXPECT_EQ(codePageToCharsetName(cp, out), !name.empty()) << cp;
        EXPECT_EQ(std::string(out.getString()), name) << cp;
        const int kind = static_cast<int>(codePageConversionKind(cp)); // none, table, built-in
        EXPECT_EQ(r[2], std::vector<std::string>({"none", "table", "built-in"}).at(kind)) << cp;
        EXPECT_EQ(kind == 1, TableStore::listedKindOf(cp) != TableStore::kNone) << cp;
    }
    ASSERT_EQ(charsetNameCount(), 413);
    ASSERT_EQ(names.size(), 413u);
    for (int i = 0; i < charsetNameCount(); ++i) {
        int cp = -1;
        const char* name = charsetNameAt(i, &cp);
        EXPECT_TRUE(name && names.count(name) && names[name] == cp) << i;
    }
    EXPECT_EQ(charsetNameAt(charsetNameCount(), nullptr), nullptr);
    ASSERT_EQ(canonicalNameCount(), 140);
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        const char* name = canonicalNameAt(i, &cp);
        EXPECT_EQ(canonical[cp], name ? name : "(null)") << cp;
    }
}

// A null name changes nothing; "OEM" names the system's OEM code page; code pages that are not
// listed have no conversion.
TEST(CharsetNameTable, NullOemAndUnlisted) {
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_TRUE(cs.getCodePage() == 65001 && !charsetNameToCodePage(nullptr) &&
                !isKnownCharsetName(nullptr));
    StringBuffer oem;
    const bool named = codePageToCharsetName(platform::oemCodePage(), oem);
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), named ? platform::oemCodePage() : 0);
    EXPECT_STREQ(cs.getName(), oem.getString());
    for (int cp : {1, 12000, 65002, -5})
        EXPECT_EQ(codePageConversionKind(cp), CodePageConversion::kNone) << cp;
}

} // namespace
