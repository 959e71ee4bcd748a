// The hand-picked cases of every conversion route (tests/encoding/data/cases.txt), and the
// properties that hold over whole ranges of input.
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

#include <functional>

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
// A StringBuffer holding the input, after f; the text must stay terminated.
int stringBuffer(const Bytes& in, DataBuffer& out, const std::function<void(StringBuffer&)>& f) {
    StringBuffer sb;
    sb.appendN(in.empty() ? nullptr : in.data(), static_cast<int>(in.size()));
    f(sb);
    EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
    out.append(sb.getString(), static_cast<unsigned>(sb.getSize()));
    return kNone;
}
// A charset's name after f, with the ANSI code page arg ("-": the system's); its code page.
int charset(Arg arg, DataBuffer& out, const std::function<void(Charset&)>& f) {
    AnsiCodePageOverride over(arg == "-" ? 0 : std::stoi(arg));
    Charset cs;
    f(cs);
    out.append(cs.getName(), static_cast<unsigned>(std::string(cs.getName()).size()));
    return cs.getCodePage();
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
    if (r == "sb")
        return stringBuffer(in, out, [&](StringBuffer& sb) { sb.convertEncoding(from(a), to(a)); });
    if (r == "sbansi") {
        AnsiCodePageOverride ansi(from(a));
        return stringBuffer(in, out, [](StringBuffer& sb) { sb.convertAnsiToUtf8(); });
    }
    if (r == "utf8to32") { // utf8ToUtf32be must give the same values swapped
        bool le = false, be = false;
        const Bytes got = onBuffers(utf8ToUtf32le, in, &le),
                    big = onBuffers(utf8ToUtf32be, in, &be);
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(big[i], got[i / 4 * 4 + 3 - i % 4]) << "big-endian byte " << i;
        fill(out, got);
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
    if (r == "name")
        return charset(a, out, [&](Charset& cs) {
            cs.setByCodePage(1252); // something to replace
            cs.setByName(name.c_str());
        });
    if (r == "bycp")
        return charset("-", out, [&](Charset& cs) {
            cs.setByName("utf-8");
            cs.setByCodePage(from(a));
        });
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

TEST(EncCases, EveryRouteAsListed) {
    for (int cp : {1252, 28591, 20127, 932, 949, 10004, 1256, 28596, 437})
        ASSERT_TRUE(TableStore::hasTable(cp)) << "no table data for code page " << cp;
    const std::vector<Record> records = readVectors("cases.txt");
    ASSERT_GT(records.size(), 250u) << dataPath("cases.txt");
    for (const Record& r : records) {
        SCOPED_TRACE("cases.txt line " + std::to_string(r.line));
        ASSERT_EQ(r.words.size(), 5u);
        DataBuffer out;
        const bool appends = r.words[0] == "convert"; // conversions append to what out holds
        if (appends) out.append("<>", 2);
        const int result = route(r.words[0], r.words[1], r.fields[1], out);
        Bytes got = bytesOf(out);
        if (appends) {
            ASSERT_TRUE(got.size() >= 2 && got[0] == '<' && got[1] == '>');
            got.erase(got.begin(), got.begin() + 2);
        }
        EXPECT_EQ(show(got), show(r.fields[2]));
        if (r.words[4] != "*") EXPECT_EQ(result, std::stoi(r.words[4]));
    }
}

TEST(EncCases, Utf7LeavesTheCallersBufferAlone) {
    // An open UTF-7 run is finished without touching the caller's buffer.
    DataBuffer in, out;
    fill(in, {'x', '+', 'A', 'O', 'k'});
    utf7ToUtf16(in, out);
    EXPECT_EQ(show(bytesOf(in)), show({'x', '+', 'A', 'O', 'k'}));
}

} // namespace
