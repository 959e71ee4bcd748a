// Every conversion route against its cases: the hand-picked ones of tests/encoding/data/cases.txt
// and the reference vectors that tools/gen_encoding_vectors.py writes from iconv and Python's
// codecs; and the charset name tables against tests/encoding/data/charset_table.tsv.
#include "encoding/Charset.h"
#include "encoding/EncodingConvert.h"
#include "encoding/EncodingUtf8.h"
#include "encoding/Japanese.h"
#include "encoding/Korean.h"
#include "encoding/Utf7.h"
#include "encoding/UtfConvert.h"
#include "encoding/tables/ContentCoding.h"
#include "encoding/tables/TableStore.h"
#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <set>

using namespace enctest;

namespace {

const int kNone = -99; // the result of a route that returns none
using Arg = const std::string&;

int from(Arg a) {
    return std::stoi(a);
}
int to(Arg a) {
    return std::stoi(a.substr(a.find(':') + 1));
}
int onBuffer(bool (*f)(const DataBuffer&, DataBuffer&), const Bytes& in, DataBuffer& out) {
    DataBuffer src;
    fill(src, in);
    return f(src, out);
}
// A map of a few keys of every size, built over a first set of buckets that is then replaced.
HashConvert& smallMap() {
    static HashConvert m;
    static const bool made = [] {
        const Bytes big(256, 'k');
        EXPECT_TRUE(m.initBuckets(7));
        m.insert(big.data(), 1, big.data(), 1); // gone with the buckets made again
        EXPECT_TRUE(m.initBuckets(31));
        m.insert(big.data(), 256, big.data(), 1); // keys and values hold up to 255 bytes
        m.insert(big.data(), 1, big.data(), 256);
        EXPECT_EQ(m.countEntries(), 0u);
        for (const char* kv : {"8140=0030", "A1=61FF", "8FA1A1=024E", "90308130=8000", "5C=A500",
                               "0030=8140", "E900=E9"}) {
            const std::string t = kv;
            Bytes k = hex(t.substr(0, t.find('='))), v = hex(t.substr(t.find('=') + 1));
            m.insert(k.data(), static_cast<int>(k.size()), v.data(), static_cast<int>(v.size()));
        }
        return true;
    }();
    (void)made;
    return m;
}

// Appends to out what the route of a cases.txt line makes of its argument and input; returns its
// result.
int route(Arg r, Arg a, const Bytes& in, DataBuffer& out) {
    const EncodingUtf8& utf8 = EncodingUtf8::instance();
    const std::string name(in.begin(), in.end());
    const unsigned char* p = in.empty() ? nullptr : in.data();
    const unsigned n = static_cast<unsigned>(in.size());
    if (r == "convert") return EncodingConvert().convert(from(a), to(a), p, n, out);
    if (r == "toU") return EncodingConvert().toUtf16(from(a), p, n, out);
    if (r == "fromU") return EncodingConvert().fromUtf16(from(a), p, n, out);
    if (r == "ansi") { // convertFromAnsi to UTF-8 with that ANSI code page
        AnsiCodePageOverride ansi(from(a));
        return EncodingConvert().convertFromAnsi(65001, p, n, out);
    }
    if (r == "u8to16") return EncodingConvert::utf8ToUtf16(utf8, p, n, out);
    if (r == "u16to8") return EncodingConvert::utf16ToUtf8(utf8, p, n, out);
    if (r == "u8to8") return EncodingConvert::utf8ToUtf8(utf8, utf8, p, n, out);
    if (r == "utf32to8") return onBuffer(utf32leToUtf8, in, out);
    if (r == "u7dec") { // an open run is finished without touching the caller's buffer
        DataBuffer src;
        fill(src, in);
        const bool ok = utf7ToUtf16(src, out);
        EXPECT_EQ(show(bytesOf(src)), show(in));
        return ok;
    }
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
        AnsiCodePageOverride ansi(r == "sbansi" ? from(a) : 0);
        StringBuffer sb;
        sb.appendN(p, static_cast<int>(n));
        r == "sb" ? sb.convertEncoding(from(a), to(a)) : sb.convertAnsiToUtf8();
        EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
        return out.append(sb.getString(), static_cast<unsigned>(sb.getSize())), kNone;
    }
    if (r == "utf8to32") { // utf8ToUtf32be must give the same values swapped
        DataBuffer big;
        const int le = onBuffer(utf8ToUtf32le, in, out), be = onBuffer(utf8ToUtf32be, in, big);
        const Bytes got = bytesOf(out), swapped = bytesOf(big);
        EXPECT_EQ(swapped.size(), got.size());
        for (size_t i = 0; i < got.size() && i < swapped.size(); ++i)
            EXPECT_EQ(swapped[i], got[i / 4 * 4 + 3 - i % 4]) << "big-endian byte " << i;
        return le == be ? le : -1;
    }
    if (r == "decode8") {
        ConvertState state;
        unsigned short unit = 0;
        const int used = utf8.decodeChar(state, p, static_cast<int>(n), &unit);
        if (used > 0)
            fill(out, {static_cast<unsigned char>(unit >> 8), static_cast<unsigned char>(unit)});
        return used;
    }
    if (r == "name" || r == "bycp") { // over 1252, with that ANSI code page; over UTF-8
        AnsiCodePageOverride over(r == "name" && a != "-" ? from(a) : 0);
        Charset cs;
        r == "name" ? cs.setByCodePage(1252) : cs.setByName("utf-8");
        r == "name" ? cs.setByName(name.c_str()) : cs.setByCodePage(from(a));
        out.append(cs.getName(), static_cast<unsigned>(std::string(cs.getName()).size()));
        return cs.getCodePage();
    }
    if (r == "lookup") {
        AnsiCodePageOverride over(from(a));
        EXPECT_EQ(isKnownCharsetName(name.c_str()), charsetNameToCodePage(name.c_str()) != 0);
        return charsetNameToCodePage(name.c_str());
    }
    if (r == "mapTo" || r == "mapFrom") {
        HashConvert& map = smallMap();
        map.asciiPassThrough = a == "ascii";
        return r == "mapTo" ? EncodingConvert::multiByteToUtf16(map, p, n, out)
                            : EncodingConvert::utf16ToCodePage(&map, p, n, out);
    }
    if (r == "b64") {
        int size = -1;
        unsigned char* got = ContentCoding().decodeBase64(reinterpret_cast<const char*>(p),
                                                          a == "-" ? int(n) : from(a), &size);
        if (got) out.append(got, static_cast<unsigned>(size));
        EXPECT_TRUE(got || size == 0) << size;
        qxFree(got);
        return got != nullptr;
    }
    if (r == "qp") { // appends to what the buffer holds
        ContentCoding coder;
        coder.maxLineLength = from(a);
        StringBuffer sb("pre");
        coder.encodeQuotedPrintable(p, static_cast<int>(n), sb);
        EXPECT_EQ(std::string(sb.getString(), 3), "pre");
        return out.append(sb.getString() + 3, static_cast<unsigned>(sb.getSize() - 3)), kNone;
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
    Bytes b = bytesOf(out);
    if (appends) {
        ASSERT_TRUE(b.size() >= 2 && b[0] == '<' && b[1] == '>') << r << " " << a;
        b.erase(b.begin(), b.begin() + 2);
    }
    EXPECT_EQ(show(b), show(want)) << r << " " << a << " of " << show(in);
    if (result != "*") {
        EXPECT_EQ(got, std::stoi(result)) << r << " " << a << " of " << show(in);
    }
}

TEST(EncCases, EveryRouteAsListed) {
    for (int cp : {1252, 28591, 20127, 932, 949, 10004, 1256, 28596, 437})
        ASSERT_TRUE(TableStore::hasTable(cp)) << "no table data for code page " << cp;
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
std::vector<std::pair<std::string, std::vector<Bytes>>>
vectors(const char* name, size_t atLeast, const std::map<std::string, size_t>& fields) {
    std::vector<std::pair<std::string, std::vector<Bytes>>> records;
    for (const auto& row : testfs::caseRows(std::string("encoding/data/") + name)) {
        std::istringstream words(row[0]);
        records.emplace_back();
        words >> records.back().first;
        for (std::string w; words >> w;)
            records.back().second.push_back(hex(w));
        const size_t want =
            fields.count(records.back().first) ? fields.at(records.back().first) : 99;
        EXPECT_EQ(records.back().second.size(), want) << name << ": " << row[0].substr(0, 40);
        if (records.back().second.size() != want) records.pop_back();
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
    std::set<unsigned> characters;
    size_t kana = 0;
    for (const auto& [tag, f] : vectors("iso2022jp_vectors.txt", 150, {{"J", 2}, {"K", 2}})) {
        const Bytes &sjis = f[0], &iso = f[1];
        expectRoute("sjis2jis", "-", sjis, iso, "*");
        kana += tag == "K";
        if (tag != "J") continue;
        expectRoute("jis2sjis", "-", iso, sjis, "*");
        expectRoute("convert", "932:50220", sjis, iso, "1");
        expectRoute("convert", "50220:932", iso, sjis, "1");
        for (size_t i = 0; i + 1 < sjis.size(); ++i)
            if (sjis[i] >= 0x80) characters.insert(sjis[i] << 8 | sjis[i + 1]), ++i;
    }
    EXPECT_EQ(characters.size(), 6879u) << "JIS X 0208 has 6879 characters";
    EXPECT_GE(kana, 80u);
}

// EUC-KR text (all 2350 KS X 1001 Hangul syllables, then mixed lines) and iconv's ISO-2022-KR of
// it. iconv closes a shifted ending with SI; this encoder does not.
TEST(UtfCrossCheck, HangulSyllablesAgreeWithIconv) {
    for (const auto& [tag, f] : vectors("iso2022kr_vectors.txt", 80, {{"R", 2}})) {
        const Bytes& euc = f[0];
        Bytes iso = f[1];
        expectRoute("kr2euc", "-", iso, euc, "*");
        expectRoute("convert", "50225:949", iso, euc, "1");
        if (!iso.empty() && iso.back() == 0x0F) iso.pop_back();
        expectRoute("euc2kr", "-", euc, iso, "*");
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
            std::string loud = " \t" + n + "\r\n"; // capitals, '_' for '-', blanks around
            for (char& c : loud)
                c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(charsetNameToCodePage(n.c_str()), cp) << n;
            EXPECT_EQ(charsetNameToCodePage(loud.c_str()), cp) << loud;
        }
        const std::string name = r[1] == "-" ? "" : r[1];
        if (!name.empty()) canonical[cp] = name;
        StringBuffer out("leftover");
        EXPECT_EQ(codePageToCharsetName(cp, out), !name.empty()) << cp;
        EXPECT_EQ(std::string(out.getString()), name) << cp;
        const CodePageConversion kind = codePageConversionKind(cp);
        EXPECT_EQ(r[2], kind == CodePageConversion::kTable     ? "table"
                        : kind == CodePageConversion::kBuiltIn ? "built-in"
                                                               : "none")
            << cp;
        EXPECT_EQ(kind == CodePageConversion::kTable,
                  TableStore::listedKindOf(cp) != TableStore::kNone)
            << cp;
    }
    ASSERT_EQ(charsetNameCount(), 413);
    ASSERT_EQ(names.size(), 413u);
    std::string previous;
    for (int i = 0; i < charsetNameCount(); ++i) { // the listing: ascending, as in the data
        int cp = -1;
        const char* name = charsetNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(cp, names.count(name) ? names[name] : -2) << name;
        EXPECT_LT(previous, std::string(name));
        previous = name;
    }
    EXPECT_EQ(charsetNameAt(charsetNameCount(), nullptr), nullptr);
    ASSERT_EQ(canonicalNameCount(), 140);
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        const char* name = canonicalNameAt(i, &cp);
        EXPECT_EQ(canonical[cp], name ? name : "(null)") << cp;
    }
    EXPECT_EQ(allCodePages().size(), 103u);
}

// A null name changes nothing; "OEM" names the system's OEM code page; no table slot for code
// pages without tables, nor for the other kind of table.
TEST(CharsetNameTable, NullOemAndMissingTables) {
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_EQ(cs.getCodePage(), 65001);
    EXPECT_EQ(charsetNameToCodePage(nullptr), 0);
    EXPECT_FALSE(isKnownCharsetName(nullptr));
    StringBuffer oemName;
    const bool named = codePageToCharsetName(platform::oemCodePage(), oemName);
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), named ? platform::oemCodePage() : 0);
    EXPECT_STREQ(cs.getName(), oemName.getString());
    for (int cp : {1, 12000, 65002, -5})
        EXPECT_EQ(codePageConversionKind(cp), CodePageConversion::kNone) << cp;
    EXPECT_TRUE(!TableStore::reverse(20932) && !TableStore::forwardSingleByte(20932) &&
                !TableStore::forwardDoubleByte(1252) && !TableStore::forwardSingleByte(932));
}

} // namespace
