// The fast conversion routes (FastConvert over FlatTables) against the plain routes of
// EncodingConvert run step by step through a UTF-16 scratch buffer. The flat tables are built
// directly here, so every code page with a table is compared, not only those that a test happens
// to convert enough text through; for the reverse direction every UTF-16 unit is tried.
#include "encoding/EncodingConvert.h"
#include "encoding/EncodingUtf8.h"
#include "encoding/FastConvert.h"
#include "encoding/FlatTables.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Memory.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using enctest::Bytes;
using enctest::show;

namespace {

// Every code page with a table, except those that TableThreads keeps cold for its first use.
std::vector<int> codePages() {
    std::vector<int> pages;
    for (int cp : enctest::allCodePages())
        if (std::set<int>{875, 1149, 1361, 10082, 20880, 20905, 21025}.count(cp) == 0)
            pages.push_back(cp);
    return pages;
}

struct Result {
    Bytes bytes;
    bool ok;
};

const unsigned char* ptr(const Bytes& b) {
    return b.empty() ? nullptr : b.data();
}
unsigned len(const Bytes& b) {
    return static_cast<unsigned>(b.size());
}

// ---- the plain routes, step by step ----

Result plainUtf8ToUtf16(const Bytes& in) {
    DataBuffer out;
    bool ok = EncodingConvert::utf8ToUtf16(EncodingUtf8::instance(), ptr(in), len(in), out);
    return {enctest::bytesOf(out), ok};
}

Result plainUtf16ToUtf8(const Bytes& in) {
    DataBuffer out;
    bool ok = EncodingConvert::utf16ToUtf8(EncodingUtf8::instance(), ptr(in), len(in), out);
    return {enctest::bytesOf(out), ok};
}

// UTF-16 to a code page as fromUtf16 does it without flat tables.
Result plainFromUtf16(int cp, const HashConvert& table, const Bytes& in) {
    if (in.empty()) return {{}, true};
    Bytes units = in;
    if (cp == 28596 || cp == 1256) EncodingConvert::foldArabicIndicDigits(units.data(), len(units));
    DataBuffer out;
    bool ok = EncodingConvert::utf16ToCodePage(&table, units.data(), len(units), out);
    return {enctest::bytesOf(out), ok};
}

// A table code page to UTF-8: toUtf16 into scratch, then utf16ToUtf8 (whose result counts).
Result plainToUtf8(int cp, const Bytes& in) {
    DataBuffer utf16;
    if (TableStore::kindOf(cp) == TableStore::kSingleByte)
        EncodingConvert::singleByteToUtf16(*TableStore::forwardSingleByte(cp), ptr(in), len(in),
                                           utf16);
    else
        EncodingConvert::multiByteToUtf16(*TableStore::forwardDoubleByte(cp), ptr(in), len(in),
                                          utf16);
    DataBuffer out;
    bool ok = EncodingConvert::utf16ToUtf8(EncodingUtf8::instance(), utf16.getData(),
                                           utf16.getSize(), out);
    return {enctest::bytesOf(out), ok};
}

template <class F> Result fast(F route) {
    DataBuffer out;
    bool ok = route(out);
    return {enctest::bytesOf(out), ok};
}

void expectSame(const Result& got, const Result& want, const std::string& what) {
    EXPECT_EQ(show(got.bytes), show(want.bytes)) << what;
    EXPECT_EQ(got.ok, want.ok) << what;
}

// ---- inputs ----

// UTF-8 made of valid sequences of every length the coder knows, four-byte forms it refuses,
// stray and cut-off bytes, NULs and ASCII runs long enough for the block paths.
Bytes randomUtf8(std::mt19937& rng, unsigned maxUnit = 0xFFFF) {
    Bytes b;
    const int pieces = static_cast<int>(rng() % 120);
    for (int i = 0; i < pieces; ++i) {
        switch (rng() % 8) {
        case 0:
            for (int k = static_cast<int>(rng() % 40); k > 0; --k)
                b.push_back(static_cast<unsigned char>('a' + rng() % 26));
            break;
        case 1:
            b.push_back(static_cast<unsigned char>(rng())); // anything, often invalid
            break;
        case 2:
            b.push_back(0);
            break;
        case 3: { // a four-byte form
            const unsigned char f[] = {0xF0, 0x9F, 0x98, 0x80};
            b.insert(b.end(), f, f + 4);
            break;
        }
        case 4: { // a sequence cut short
            const unsigned char f[] = {0xE3, 0x81};
            b.insert(b.end(), f, f + 1 + rng() % 2);
            break;
        }
        default: {
            unsigned u = rng() % (maxUnit + 1);
            DataBuffer out;
            ConvertState state;
            EncodingUtf8::instance().encodeChar(state, static_cast<unsigned short>(u), out);
            b.insert(b.end(), out.getData(), out.getData() + out.getSize());
        }
        }
    }
    return b;
}

Bytes randomUtf16(std::mt19937& rng) {
    Bytes b;
    const int units = static_cast<int>(rng() % 200);
    for (int i = 0; i < units; ++i) {
        unsigned u = rng() % 4 == 0   ? rng() % 0x80
                     : rng() % 3 == 0 ? rng() % 0x800
                                      : rng() & 0xFFFF;
        if (rng() % 16 == 0) u = 0;
        b.push_back(static_cast<unsigned char>(u & 0xFF));
        b.push_back(static_cast<unsigned char>(u >> 8));
    }
    if (rng() % 4 == 0) b.push_back(0x41); // an odd trailing byte
    return b;
}

// Code-page bytes: ASCII runs, pairs with a high lead byte, lone high bytes, NULs.
Bytes randomCodePageBytes(std::mt19937& rng) {
    Bytes b;
    const int pieces = static_cast<int>(rng() % 150);
    for (int i = 0; i < pieces; ++i) {
        switch (rng() % 5) {
        case 0:
            for (int k = static_cast<int>(rng() % 30); k > 0; --k)
                b.push_back(static_cast<unsigned char>(0x20 + rng() % 0x5F));
            break;
        case 1:
            b.push_back(static_cast<unsigned char>(0x81 + rng() % 0x7E));
            b.push_back(static_cast<unsigned char>(0x40 + rng() % 0xBF));
            break;
        case 2:
            b.push_back(0);
            break;
        default:
            b.push_back(static_cast<unsigned char>(rng()));
        }
    }
    return b;
}

// ---- UTF-8 and UTF-16 ----

TEST(FastConvertDiff, Utf8AndUtf16AgreeWithCoderLoops) {
    std::mt19937 rng(23);
    for (int round = 0; round < 3000; ++round) {
        const Bytes utf8 = randomUtf8(rng);
        expectSame(
            fast([&](DataBuffer& o) { return FastConvert::utf8ToUtf16(ptr(utf8), len(utf8), o); }),
            plainUtf8ToUtf16(utf8), "UTF-8 " + show(utf8));
        const Bytes utf16 = randomUtf16(rng);
        expectSame(fast([&](DataBuffer& o) {
                       return FastConvert::utf16ToUtf8(ptr(utf16), len(utf16), o);
                   }),
                   plainUtf16ToUtf8(utf16), "UTF-16 " + show(utf16));
        if (HasFailure()) return;
    }
}

TEST(FastConvertDiff, AppendsBehindWhatTheOutputHolds) {
    const std::string utf8 = "plain text, then \xC3\xA9\xE3\x81\x82";
    DataBuffer out;
    out.append("AB", 2);
    FastConvert::utf8ToUtf16(reinterpret_cast<const unsigned char*>(utf8.data()),
                             len(Bytes(utf8.begin(), utf8.end())), out);
    Bytes want = {'A', 'B'};
    const Result tail = plainUtf8ToUtf16(Bytes(utf8.begin(), utf8.end()));
    want.insert(want.end(), tail.bytes.begin(), tail.bytes.end());
    EXPECT_EQ(show(enctest::bytesOf(out)), show(want));
}

// ---- table code pages ----

TEST(FastConvertDiff, TableCodePagesToUtf8AgreeWithTwoStepRoute) {
    std::mt19937 rng(29);
    int compared = 0, doubleByteTables = 0, doubleByteFlattened = 0;
    for (int cp : codePages()) {
        const TableStore::Kind kind = TableStore::kindOf(cp);
        if (kind == TableStore::kNone) continue;
        FlatForward* flat = nullptr;
        if (kind == TableStore::kDoubleByte) {
            ++doubleByteTables;
            flat = FlatTables::buildForward(*TableStore::forwardDoubleByte(cp));
            if (!flat) continue; // does not fit the flat form: the hash route stays in use
            ++doubleByteFlattened;
        }
        // Every byte value at least once (in a block long enough for the fast route), then
        // random text.
        Bytes every;
        for (int k = 0; k < 512; ++k)
            every.push_back(static_cast<unsigned char>(k * 97 % 256));
        for (int round = 0; round < 60; ++round) {
            const Bytes in = round == 0 ? every : randomCodePageBytes(rng);
            const std::string what = "code page " + std::to_string(cp) + " input " + show(in);
            if (kind == TableStore::kSingleByte) {
                const UnicodeLookup& lookup = *TableStore::forwardSingleByte(cp);
                expectSame(fast([&](DataBuffer& o) {
                               return FastConvert::singleByteToUtf8(lookup, ptr(in), len(in), o);
                           }),
                           plainToUtf8(cp, in), what);
            } else {
                expectSame(fast([&](DataBuffer& o) {
                               return FastConvert::multiByteToUtf8(*flat, ptr(in), len(in), o);
                           }),
                           plainToUtf8(cp, in), what);
                DataBuffer plain;
                bool plainOk = EncodingConvert::multiByteToUtf16(*TableStore::forwardDoubleByte(cp),
                                                                 ptr(in), len(in), plain);
                expectSame(fast([&](DataBuffer& o) {
                               return FastConvert::multiByteToUtf16(*flat, ptr(in), len(in), o);
                           }),
                           {enctest::bytesOf(plain), plainOk}, what + " (UTF-16)");
            }
            if (HasFailure()) break;
        }
        qxFree(flat);
        ++compared;
        if (HasFailure()) return;
    }
    EXPECT_GT(compared, 0) << "no code page has table data in this build";
    // The shipped double-byte tables hold 1- and 2-byte keys only, so all of them flatten.
    EXPECT_EQ(doubleByteFlattened, doubleByteTables);
}

TEST(FastConvertDiff, EveryUnitToEveryCodePageAgreesWithHashRoute) {
    // All 65536 units in one input, then random UTF-8 through the one-pass route.
    Bytes allUnits;
    for (unsigned u = 0; u < 65536; ++u) {
        allUnits.push_back(static_cast<unsigned char>(u & 0xFF));
        allUnits.push_back(static_cast<unsigned char>(u >> 8));
    }
    std::mt19937 rng(31);
    int compared = 0;
    for (int cp : codePages()) {
        if (TableStore::kindOf(cp) == TableStore::kNone) continue;
        const HashConvert* table = TableStore::reverse(cp);
        ASSERT_NE(table, nullptr) << cp;
        FlatReverse* flat = FlatTables::buildReverse(cp, *table);
        if (!flat) continue;
        const std::string name = "code page " + std::to_string(cp);
        expectSame(fast([&](DataBuffer& o) {
                       return FastConvert::utf16ToCodePage(*flat, allUnits.data(), len(allUnits),
                                                           o);
                   }),
                   plainFromUtf16(cp, *table, allUnits), name + ", every unit");
        for (int round = 0; round < 40 && !HasFailure(); ++round) {
            const Bytes utf8 = randomUtf8(rng);
            const Result utf16 = plainUtf8ToUtf16(utf8);
            expectSame(fast([&](DataBuffer& o) {
                           return FastConvert::utf8ToCodePage(*flat, ptr(utf8), len(utf8), o);
                       }),
                       plainFromUtf16(cp, *table, utf16.bytes), name + " UTF-8 " + show(utf8));
        }
        qxFree(flat);
        ++compared;
        if (HasFailure()) return;
    }
    EXPECT_GT(compared, 0) << "no code page has table data in this build";
}

// Large conversions build and use the process-wide flat tables; what comes out of convert()
// must not differ from the plain routes.
TEST(FastConvertDiff, LargeConversionsThroughConvertAgreeWithPlainRoutes) {
    std::mt19937 rng(37);
    const int pages[] = {932, 936, 1252, 37, 28596};
    for (int cp : pages) {
        if (TableStore::kindOf(cp) == TableStore::kNone) continue;
        Bytes utf8;
        while (utf8.size() < 3 * FlatTables::kBuildThreshold) {
            const Bytes piece = randomUtf8(rng, 0x9FFF);
            utf8.insert(utf8.end(), piece.begin(), piece.end());
        }
        const std::string name = "code page " + std::to_string(cp);
        bool ok = false;
        const Bytes native = enctest::convert(65001, cp, utf8, &ok);
        const Result want =
            plainFromUtf16(cp, *TableStore::reverse(cp), plainUtf8ToUtf16(utf8).bytes);
        EXPECT_EQ(native == want.bytes, true) << name << ": UTF-8 to the code page differs";
        EXPECT_EQ(ok, want.ok) << name;

        const Bytes back = enctest::convert(cp, 65001, native, &ok);
        const Result backWant = plainToUtf8(cp, native);
        EXPECT_EQ(back == backWant.bytes, true) << name << ": the code page to UTF-8 differs";
        EXPECT_EQ(ok, backWant.ok) << name;
    }
}

} // namespace
