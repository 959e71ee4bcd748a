// The fast conversion routes (FastConvert over FlatTables) against the plain routes of
// EncodingConvert step by step through UTF-16, over every table code page and every UTF-16 unit.
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

#include <cstring>

#include <functional>
#include <random>
#include <sstream>

using namespace enctest;

namespace {

using Route = std::function<bool(const unsigned char*, unsigned, DataBuffer&)>;

// The output and result of a route run on in behind a prefix, which every route must keep.
std::string run(const Route& route, const Bytes& in) {
    DataBuffer out;
    out.append("<>", 2);
    const bool ok = route(in.empty() ? nullptr : in.data(), static_cast<unsigned>(in.size()), out);
    return show(bytesOf(out)) + (ok ? " true" : " false");
}

void expectSame(const Route& fast, const Route& plain, const Bytes& in, const std::string& what) {
    EXPECT_EQ(run(fast, in), run(plain, in)) << what << " input " << show(in).substr(0, 600);
}

using namespace std::placeholders;
const EncodingUtf8& utf8Coder = EncodingUtf8::instance();
const Route plainUtf8ToUtf16 =
    std::bind(EncodingConvert::utf8ToUtf16, std::cref(utf8Coder), _1, _2, _3);
const Route plainUtf16ToUtf8 =
    std::bind(EncodingConvert::utf16ToUtf8, std::cref(utf8Coder), _1, _2, _3);

// UTF-16 to a code page as fromUtf16 does it without flat tables.
Route plainFromUtf16(int cp, const HashConvert& table) {
    return [cp, &table](const unsigned char* p, unsigned n, DataBuffer& out) {
        if (n == 0) return true;
        Bytes units(p, p + n);
        if (cp == 28596 || cp == 1256) EncodingConvert::foldArabicIndicDigits(units.data(), n);
        return EncodingConvert::utf16ToCodePage(&table, units.data(), n, out);
    };
}
// UTF-8 to a code page in two steps.
Route plainUtf8To(int cp, const HashConvert& table) {
    return [=, &table](const unsigned char* p, unsigned n, DataBuffer& out) {
        DataBuffer utf16;
        plainUtf8ToUtf16(p, n, utf16);
        return plainFromUtf16(cp, table)(utf16.getData(), utf16.getSize(), out);
    };
}
// A table code page to UTF-16 (or to UTF-8 through a UTF-16 scratch buffer, whose result counts).
Route plainFrom(int cp, bool toUtf8) {
    return [=](const unsigned char* p, unsigned n, DataBuffer& out) {
        DataBuffer utf16;
        DataBuffer& first = toUtf8 ? utf16 : out;
        const bool ok = TableStore::kindOf(cp) == TableStore::kSingleByte
                            ? EncodingConvert::singleByteToUtf16(*TableStore::forwardSingleByte(cp),
                                                                 p, n, first)
                            : EncodingConvert::multiByteToUtf16(*TableStore::forwardDoubleByte(cp),
                                                                p, n, first);
        return toUtf8 ? plainUtf16ToUtf8(utf16.getData(), utf16.getSize(), out) : ok;
    };
}

// Random text of pieces: ASCII runs long enough for the block paths, NULs, stray values, and by
// kind 8: UTF-8 of units up to maxUnit, four-byte forms, cut-off sequences; 16: UTF-16 units and at
// times an odd trailing byte; 0: code-page bytes with lead-byte pairs.
Bytes randomText(std::mt19937& rng, int kind, unsigned maxUnit = 0xFFFF) {
    Bytes b;
    auto put = [&](unsigned v) {
        const Bytes u = kind == 16 ? le(v) : Bytes{static_cast<unsigned char>(v)};
        b.insert(b.end(), u.begin(), u.end());
    };
    for (int i = static_cast<int>(rng() % 150); i > 0; --i) {
        const unsigned pick = rng() % 8, u = rng() % (maxUnit + 1);
        if (pick == 0) {
            for (int k = static_cast<int>(rng() % 40); k > 0; --k)
                put('a' + rng() % 26);
        } else if (pick == 1 || pick == 2) {
            put(pick == 1 ? rng() % (kind == 16 ? 0x800 : 0x100) : 0);
        } else if (kind == 16) {
            put(u);
        } else if (kind == 0) {
            put(0x81 + rng() % 0x7E);
            put(0x40 + rng() % 0xBF);
        } else if (pick == 3 || pick == 4) { // a four-byte form, or a three-byte one cut short
            const Bytes s = pick == 3 ? Bytes{0xF0, 0x9F, 0x98, 0x80} : Bytes{0xE3, 0x81, 0x81};
            b.insert(b.end(), s.begin(), s.end() - (pick == 3 ? 0 : 1 + rng() % 2));
        } else {
            DataBuffer out;
            ConvertState state;
            utf8Coder.encodeChar(state, static_cast<unsigned short>(u), out);
            b.insert(b.end(), out.getData(), out.getData() + out.getSize());
        }
    }
    if (kind == 16 && rng() % 4 == 0) b.push_back(0x41);
    return b;
}

TEST(FastConvertDiff, Utf8AndUtf16AgreeWithCoderLoops) {
    std::mt19937 rng(23);
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        expectSame(FastConvert::utf8ToUtf16, plainUtf8ToUtf16, randomText(rng, 8), "UTF-8");
        expectSame(FastConvert::utf16ToUtf8, plainUtf16ToUtf8, randomText(rng, 16), "UTF-16");
    }
}

// Every key of a flat forward table against a lookup in the map it was made from: the pair of
// each two bytes, and the single byte where the decoder looks one up.
void expectFlatKeysAsLookedUp(const FlatForward& flat, const HashConvert& map,
                              const std::string& what) {
    auto lookedUp = [&](const unsigned char* key, int length) -> unsigned {
        unsigned char value[256];
        int n = 0;
        map.lookup(key, length, value, &n);
        return n == 2 ? value[0] | (value[1] << 8) : 0;
    };
    int wrong = 0;
    for (unsigned code = 0; code < 65536 && wrong < 5; ++code) {
        const unsigned char key[2] = {static_cast<unsigned char>(code >> 8),
                                      static_cast<unsigned char>(code)};
        const unsigned expected = lookedUp(key, 2);
        if (flat.pair[code] != expected) {
            ADD_FAILURE() << what << ": pair " << std::hex << code << " gives " << flat.pair[code]
                          << ", a lookup " << expected;
            ++wrong;
        }
        if (code < 256 && code != 0 && !(flat.asciiPassThrough && code <= 0x7F))
            EXPECT_EQ(flat.single[code], lookedUp(key + 1, 1)) << what << ": byte " << code;
    }
}

// Runs of bytes that each give one ASCII byte (narrow), 1 to 200 long so that 64-byte blocks
// fill or stop at every position, between single bytes that give something else or nothing.
Bytes narrowRuns(std::mt19937& rng, const Bytes& narrow, const Bytes& other) {
    Bytes b;
    for (int i = static_cast<int>(rng() % 8); i >= 0; --i) {
        for (int k = 1 + static_cast<int>(rng() % 200); k > 0; --k)
            b.push_back(narrow[rng() % narrow.size()]);
        if (!other.empty()) b.push_back(other[rng() % other.size()]);
    }
    return b;
}

// Every table code page: every byte value in a block long enough for the fast route, then random
// code-page text (for a single-byte table also runs of bytes that give one byte each), to UTF-8
// and UTF-16; all 65536 units in one input, then random UTF-8, back.
TEST(FastConvertDiff, EveryTableCodePageAgreesWithPlainRoutes) {
    Bytes every, allUnits;
    for (int k = 0; k < 512; ++k)
        every.push_back(static_cast<unsigned char>(k * 97 % 256));
    for (unsigned u = 0; u < 65536; ++u)
        allUnits.insert(allUnits.end(),
                        {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8)});
    std::mt19937 rng(29);
    int flattened = 0, builtFromStore = 0;
    for (int cp : allCodePages()) {
        const std::string what = "code page " + std::to_string(cp);
        // The shipped double-byte tables hold 1- and 2-byte keys only, so all of them flatten.
        FlatForward* flat = TableStore::kindOf(cp) == TableStore::kDoubleByte
                                ? FlatTables::buildForward(*TableStore::forwardDoubleByte(cp))
                                : nullptr;
        ASSERT_TRUE(flat || TableStore::kindOf(cp) == TableStore::kSingleByte) << what;
        if (flat) expectFlatKeysAsLookedUp(*flat, *TableStore::forwardDoubleByte(cp), what);
        // Built from the store's entries without the map, it must be the same table.
        if (FlatForward* direct = flat ? FlatTables::buildForwardFromStore(cp) : nullptr) {
            EXPECT_EQ(std::memcmp(direct->pair, flat->pair, sizeof flat->pair), 0) << what;
            EXPECT_EQ(std::memcmp(direct->single, flat->single, sizeof flat->single), 0) << what;
            EXPECT_EQ(
                std::memcmp(direct->leadHasPairs, flat->leadHasPairs, sizeof flat->leadHasPairs), 0)
                << what;
            EXPECT_EQ(direct->asciiPassThrough, flat->asciiPassThrough) << what;
            EXPECT_EQ(direct->asciiRuns, flat->asciiRuns) << what;
            qxFree(direct);
            ++builtFromStore;
        }
        // For a single-byte table: which bytes give one ASCII byte by the plain route.
        Bytes narrow, other;
        for (unsigned v = 0; !flat && v < 256; ++v) {
            DataBuffer out;
            const unsigned char byte = static_cast<unsigned char>(v);
            plainFrom(cp, true)(&byte, 1, out);
            (out.getSize() == 1 && out.getData()[0] < 0x80 ? narrow : other).push_back(byte);
        }
        for (int round = 0; round < 60 && !HasFailure(); ++round) {
            const Bytes in = round == 0          ? every
                             : flat || round % 2 ? randomText(rng, 0)
                             : narrow.empty()    ? Bytes()
                                                 : narrowRuns(rng, narrow, other);
            if (!flat) {
                const UnicodeLookup& lookup = *TableStore::forwardSingleByte(cp);
                expectSame(std::bind(FastConvert::singleByteToUtf8, std::cref(lookup), _1, _2, _3),
                           plainFrom(cp, true), in, what);
                continue;
            }
            expectSame(std::bind(FastConvert::multiByteToUtf8, std::cref(*flat), _1, _2, _3),
                       plainFrom(cp, true), in, what);
            expectSame(std::bind(FastConvert::multiByteToUtf16, std::cref(*flat), _1, _2, _3),
                       plainFrom(cp, false), in, what + " (UTF-16)");
        }
        qxFree(flat);
        const HashConvert* table = TableStore::reverse(cp);
        ASSERT_NE(table, nullptr) << what;
        FlatReverse* back = FlatTables::buildReverse(cp, *table);
        if (!back) continue; // values that do not fit the flat form keep the hash route
        if (FlatReverse* direct = FlatTables::buildReverseFromStore(cp)) {
            EXPECT_EQ(std::memcmp(direct->entry, back->entry, sizeof back->entry), 0) << what;
            EXPECT_EQ(std::memcmp(direct->asciiByte, back->asciiByte, sizeof back->asciiByte), 0)
                << what;
            EXPECT_EQ(direct->asciiIdentity, back->asciiIdentity) << what;
            EXPECT_EQ(direct->asciiSingle, back->asciiSingle) << what;
            qxFree(direct);
            ++builtFromStore;
        }
        expectSame(std::bind(FastConvert::utf16ToCodePage, std::cref(*back), _1, _2, _3),
                   plainFromUtf16(cp, *table), allUnits, what + ", every unit");
        for (int round = 0; round < 40 && !HasFailure(); ++round)
            expectSame(std::bind(FastConvert::utf8ToCodePage, std::cref(*back), _1, _2, _3),
                       plainUtf8To(cp, *table), randomText(rng, 8), what);
        qxFree(back);
        ++flattened;
    }
    EXPECT_GT(flattened, 90);
    // Every table but the patched ones, forward for the double-byte ones, reverse for all.
    EXPECT_GE(builtFromStore, 90);
}

// Large conversions build and use the process-wide flat tables; convert() must still agree.
TEST(FastConvertDiff, LargeConversionsThroughConvertAgreeWithPlainRoutes) {
    std::mt19937 rng(37);
    for (int cp : {932, 936, 1252, 37, 28596}) {
        Bytes utf8;
        while (utf8.size() < 3 * FlatTables::kBuildThreshold) {
            const Bytes piece = randomText(rng, 8, 0x9FFF);
            utf8.insert(utf8.end(), piece.begin(), piece.end());
        }
        const auto convertFrom = [](int from, int to) -> Route {
            return std::bind(&EncodingConvert::convert, EncodingConvert(), from, to, _1, _2, _3);
        };
        const std::string what = "code page " + std::to_string(cp);
        expectSame(convertFrom(65001, cp), plainUtf8To(cp, *TableStore::reverse(cp)), utf8, what);
        expectSame(convertFrom(cp, 65001), plainFrom(cp, true), convert(65001, cp, utf8), what);
    }
}

} // namespace

namespace {

// Maps the flat form cannot hold are left to the hash route, and entries no lookup would reach
// (a later entry for a key, a unit that passes through or is folded first) do not count.
TEST(FastConvertDiff, MapsThatDoNotFitTheFlatFormAreNotFlattened) {
    const struct {
        bool reverse, passThrough;
        int cp;
        const char* entries; // key value pairs, hex
        bool fits;
    } cases[] = {
        {false, false, 932, "8140 0030 A1 61FF", true},
        {false, false, 932, "8140 0030 8140 00", true},      // the first entry of 8140 counts
        {false, false, 932, "8140 0030 8FA1A1 024E", false}, // a three-byte key
        {false, false, 932, "8140 00", false},               // a one-byte value
        {false, false, 932, "8140 0000", false},             // unit 0
        {false, true, 932, "41 00 8140 0030", true},         // 41 passes through: never looked up
        {false, false, 932, "41 00", false},
        {true, false, 1252, "4100 41 AC20 80", true},
        {true, false, 1252, "AC20 808182", false},        // a three-byte value
        {true, true, 1252, "4100 414243 AC20 80", true},  // U+0041 passes through
        {true, false, 1256, "6106 414243 3100 31", true}, // U+0661 is folded onto "1" first
        {true, false, 1256, "3100 414243", false},
        {true, false, 1252, "3DD800DE 414243 4100 41", true}, // four-byte keys are never looked up
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries);
        HashConvert map;
        ASSERT_TRUE(map.initBuckets(7));
        map.asciiPassThrough = c.passThrough;
        std::istringstream kv(c.entries);
        for (std::string k, v; kv >> k >> v;)
            map.insert(hex(k).data(), int(hex(k).size()), hex(v).data(), int(hex(v).size()));
        void* flat = c.reverse ? static_cast<void*>(FlatTables::buildReverse(c.cp, map))
                               : static_cast<void*>(FlatTables::buildForward(map));
        EXPECT_EQ(flat != nullptr, c.fits);
        if (flat && c.reverse && c.cp == 1256)
            EXPECT_EQ(static_cast<FlatReverse*>(flat)->entry[0x0661], (1u << 16) | 0x31);
        if (flat && !c.reverse) EXPECT_EQ(static_cast<FlatForward*>(flat)->pair[0x8140], 0x3000);
        qxFree(flat);
    }
}

} // namespace
