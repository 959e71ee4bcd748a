#include "encoding/EncodingConvert.h"

#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

struct ConvertCase {
    int from;
    int to;
    const char* in; // hex, or "-" for empty
    const char* out;
    bool ok;
};

void runConvertCases(const ConvertCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const ConvertCase& c = cases[i];
        bool ok = !c.ok;
        Bytes out = enctest::convert(c.from, c.to, hex(c.in), &ok);
        EXPECT_EQ(show(out), show(hex(c.out))) << c.from << " -> " << c.to << ": " << c.in;
        EXPECT_EQ(ok, c.ok) << c.from << " -> " << c.to << ": " << c.in;
    }
}

// ---- routes that need no code-page table -----------------------------------------------------

const ConvertCase kBuiltInCases[] = {
    // Same code page, or no target code page: the bytes as they are, a mark included.
    {1252, 1252, "EF BB BF 41", "EF BB BF 41", true},
    {65001, 65001, "EF BB BF 41", "EF BB BF 41", true},
    {1200, 1200, "FE FF 00 41", "FE FF 00 41", true},
    {65001, 0, "C3 A9", "C3 A9", true},
    {52936, 0, "41", "41", true},
    // Byte-order marks are removed from UTF-8 and UTF-16 input; the UTF-16 mark decides the order.
    {65001, 1200, "EF BB BF 41", "41 00", true},
    {65001, 1200, "EF BB BF", "-", true},
    {65001, 1200, "EF BB", "-", true}, // a cut-off mark is invalid UTF-8
    {1200, 65001, "FE FF 00 41", "41", true},
    {1200, 65001, "FF FE 41 00", "41", true},
    {1201, 65001, "FF FE 41 00", "41", true},
    {1201, 65001, "00 41 00 E9", "41 C3 A9", true},
    {1201, 1200, "FE FF 00 41", "41 00", true},
    {1201, 1200, "00", "-", true}, // less than one unit
    {1200, 1201, "41 00 42 00", "00 41 00 42", true},
    {1200, 1201, "FE FF 00 41", "00 41", true}, // marked big-endian stays big-endian
    {1200, 1201, "41", "-", true},
    {65005, 65001, "FF FE 00 00 41 00 00 00", "EF BB BF 41", true}, // no UTF-32 marks
    // UTF-16 to UTF-8: U+0000 is left out, an odd byte fails.
    {1200, 65001, "41 00 00 00 42 00", "41 42", true},
    {1200, 65001, "41 00 42", "41", false},
    {1200, 65001, "3D D8", "ED A0 BD", true},
    // UTF-8 to UTF-16: invalid bytes are dropped without failing.
    {65001, 1200, "F0 9F 98 80", "-", true},
    {65001, 1200, "C0 80 41", "41 00", true},
    {65001, 1201, "C3 A9", "00 E9", true},
    // UTF-32: four-byte UTF-8 reaches UTF-32 whole, but the way back goes through the 16-bit coder.
    {65001, 65005, "F0 9F 98 80", "00 F6 01 00", true},
    {65001, 65006, "41", "00 00 00 41", true},
    {65001, 65005, "E2 82", "-", false},
    {65005, 65001, "41 00 00 00 00 F6 01 00", "41", true},
    {65005, 65001, "00 00 20 00", "EF BF BD", true},
    {65005, 1200, "E9 00 00 00", "E9 00", true},
    {65005, 1200, "41 00 00", "-", true},
    {65006, 65001, "00 00 00 41 00 00 00 E9", "41 C3 A9", true},
    {65006, 1200, "00 00 41", "-", true},
    {65006, 65005, "00 00 20 AC", "AC 20 00 00", true},
    {65005, 65006, "AC 20 00 00", "00 00 20 AC", true},
    {1200, 65005, "41", "-", false}, // a failed first step keeps nothing
    {1200, 65005, "41 00 3D D8 00 DE", "41 00 00 00 3D D8 00 00 00 DE 00 00", true},
    // UTF-7.
    {65001, 65000, "41 2B 42", "41 2B 2D 42", true},
    {1200, 65000, "FF FE E9 00 61 00", "2B 41 4F 6B 2D 61", true},
    {1200, 65000, "41", "-", true},
    {65000, 65001, "2B 41 4F 6B 2D 61", "C3 A9 61", true},
    {65000, 65001, "2B", "-", true}, // the decoder's flag is not the result
    {65000, 1200, "2B 2D", "2B 00", true},
    {65000, 1201, "E9", "00 E9", true},
    // ISO-2022-JP to and from Shift_JIS needs no table when Shift_JIS is the other side.
    {932, 50220, "82 A0", "1B 24 42 24 22 1B 28 42", true},
    {50220, 932, "1B 24 42 24 22 1B 28 42", "82 A0", true},
    {932, 50220, "B6 DE", "1B 24 42 25 2C 1B 28 42", true},
    {932, 50221, "82 A0 41", "1B 24 42 24 22 1B 28 42 41", true},
    {50222, 932, "1B 24 40 24 22", "82 A0", true},
    {50220, 50222, "1B 24 42 24 22", "1B 24 42 24 22 1B 28 42", true}, // re-encoded
    {50220, 1200, "-", "-", true},
    {50220, 1200, "1B 24 42", "-", true}, // nothing left after the escape
    // ISO-2022-KR to and from EUC-KR likewise.
    {949, 50225, "B0 A1", "1B 24 29 43 0E 30 21", true},
    {50225, 949, "1B 24 29 43 0E 30 21 0F 41", "B0 A1 41", true},
    {50225, 65001, "1B 24 29 43", "-", true},
    // Code pages that cannot be converted at all.
    {52936, 1200, "41", "-", false},
    {65001, 57002, "41", "-", false},
    {52936, 65001, "41", "-", true}, // the second step is empty and fine
    {1200, 57002, "-", "-", true},
    {52936, 1201, "41", "-", false},
    {52936, 65000, "41", "-", false},
};

TEST(EncConvertBuiltIn, Routes) {
    runConvertCases(kBuiltInCases, sizeof kBuiltInCases / sizeof kBuiltInCases[0]);
}

TEST(EncConvertBuiltIn, AppendsAndNeverClears) {
    EncodingConvert ec;
    DataBuffer out;
    out.append("ab", 2);
    Bytes in = hex("C3 A9");
    EXPECT_TRUE(ec.convert(65001, 1200, in.data(), 2, out));
    EXPECT_TRUE(ec.convert(65001, 65001, in.data(), 2, out));
    EXPECT_EQ(show(enctest::bytesOf(out)), show(hex("61 62 E9 00 C3 A9")));
}

TEST(EncConvertBuiltIn, ConvertFromAnsiReadsTheSystemCodePage) {
    enctest::AnsiCodePageOverride ansi(65001);
    EncodingConvert ec;
    Bytes in = hex("C3 A9");
    DataBuffer out;
    EXPECT_TRUE(ec.convertFromAnsi(1200, in.data(), 2, out));
    EXPECT_EQ(show(enctest::bytesOf(out)), show(hex("E9 00")));
    ansi.set(1201);
    out.clear();
    Bytes be = hex("00 E9");
    EXPECT_TRUE(ec.convertFromAnsi(65001, be.data(), 2, out));
    EXPECT_EQ(show(enctest::bytesOf(out)), show(hex("C3 A9")));
}

// ---- routes through the shipped tables -------------------------------------------------------

// These need the built-in table data of their code pages.
const ConvertCase kTableCases[] = {
    {65001, 1252, "EF BB BF 41", "41", true},
    {1252, 65001, "80 41", "E2 82 AC 41", true},
    {1252, 1200, "E9", "E9 00", true},
    {28591, 20127, "E9", "-", false},
    {28591, 20127, "41 E9 42", "41 42", false},
    {1200, 50225, "00 AC", "1B 24 29 43 0E 30 21", true},
    {932, 1200, "82 A0 41", "42 30 41 00", true},
    {1200, 932, "42 30", "82 A0", true},
    {1200, 50220, "42 30", "1B 24 42 24 22 1B 28 42", true},
    {50220, 65001, "1B 24 42 24 22 1B 28 42", "E3 81 82", true},
    {50225, 1200, "1B 24 29 43 0E 30 21", "00 AC", true},
    {1252, 65000, "E9 61", "2B 41 4F 6B 2D 61", true},
    {1252, 1201, "E9", "00 E9", true},
    {1252, 65006, "E9", "00 00 00 E9", true},
    {1252, 28591, "E9", "E9", true}, // table to table through UTF-16
    // A two-step route returns its second step: a byte dropped by the first does not count.
    {20127, 1200, "E9 41", "41 00", false},
    {20127, 65001, "E9 41", "41", true},
    {20127, 28591, "E9 41", "41", true},
    {20127, 65005, "E9 41", "41 00 00 00", true},
    {20127, 1201, "E9 41", "00 41", false}, // kept, and the first step's result
    {20127, 65000, "E9 41", "-", false},    // UTF-7 keeps nothing after a failure
    {20127, 50220, "E9 41", "41", true},
    // Mac Arabic: right-to-left digits are put in logical order before the table step.
    {10004, 1200, "B1 B2", "32 00 31 00", true},
    // The Arabic code pages write Arabic-Indic digits as ASCII digits.
    {1200, 1256, "60 06 69 06", "30 39", true},
    {1200, 28596, "F0 06 F9 06", "30 39", true},
    {65001, 1256, "D9 A1", "31", true},
};

TEST(EncConvertTables, Routes) {
    for (int cp : {1252, 28591, 20127, 932, 949, 10004, 1256, 28596})
        ASSERT_TRUE(TableStore::hasTable(cp)) << "no table data for code page " << cp;
    runConvertCases(kTableCases, sizeof kTableCases / sizeof kTableCases[0]);
}

// ---- table dispatch --------------------------------------------------------------------------

TEST(EncTableDispatch, CodePagesWithoutTables) {
    EncodingConvert ec;
    Bytes a = hex("41");
    for (int cp : {0, 709, 52936, 54936, 57002, 20932, 1200, 65001}) {
        DataBuffer out;
        EXPECT_FALSE(ec.toUtf16(cp, a.data(), 1, out)) << cp;
        EXPECT_FALSE(ec.fromUtf16(cp, hex("41 00").data(), 2, out)) << cp;
        EXPECT_EQ(out.getSize(), 0u) << cp;
        // Empty input succeeds before any table is asked for.
        EXPECT_TRUE(ec.toUtf16(cp, nullptr, 0, out)) << cp;
        EXPECT_TRUE(ec.fromUtf16(cp, a.data(), 0, out)) << cp;
        EncodingConvert::ensureForwardTable(cp);
        EncodingConvert::ensureReverseTable(cp);
    }
}

// ---- the table routes, on tables made here ---------------------------------------------------

Bytes singleToUtf16(const UnicodeLookup& lookup, const char* in, bool* ok) {
    Bytes b = hex(in);
    DataBuffer out;
    *ok = EncodingConvert::singleByteToUtf16(lookup, b.empty() ? nullptr : b.data(),
                                             static_cast<unsigned>(b.size()), out);
    return enctest::bytesOf(out);
}

TEST(EncTableRoutes, SingleByteToUtf16) {
    UnicodeLookup lookup;
    lookup.table[0x41] = 0x0041;
    lookup.table[0x80] = 0x20AC;
    lookup.table[0xFF] = 0xFFFF;
    const struct {
        const char* in;
        const char* out;
        bool ok;
    } cases[] = {
        {"-", "-", true},
        {"41 80", "41 00 AC 20", true},
        {"00", "00 00", true}, // byte 0 needs no entry
        {"FF", "FF FF", true},
        {"42", "-", false},
        {"41 42 41", "41 00 41 00", false},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(show(singleToUtf16(lookup, c.in, &ok)), show(hex(c.out))) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
}

void put(HashConvert& map, const char* key, const char* value) {
    Bytes k = hex(key), v = hex(value);
    map.insert(k.data(), static_cast<int>(k.size()), v.data(), static_cast<int>(v.size()));
}

Bytes multiToUtf16(const HashConvert& map, const char* in, bool* ok) {
    Bytes b = hex(in);
    DataBuffer out;
    *ok = EncodingConvert::multiByteToUtf16(map, b.empty() ? nullptr : b.data(),
                                            static_cast<unsigned>(b.size()), out);
    return enctest::bytesOf(out);
}

TEST(EncTableRoutes, MultiByteToUtf16) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    put(map, "81 40", "00 30");       // two-byte key
    put(map, "A1", "61 FF");          // one-byte key (half-width katakana)
    put(map, "8F A1 A1", "02 4E");    // three-byte key
    put(map, "90 30 81 30", "80 00"); // four-byte key
    put(map, "5C", "A5 00");          // overrides ASCII only without pass-through
    const struct {
        bool ascii;
        const char* in;
        const char* out;
        bool ok;
    } cases[] = {
        {true, "-", "-", true},
        {true, "81 40", "00 30", true},
        {true, "81", "-", false},        // a lead byte at the end
        {true, "81 41", "41 00", false}, // bad pair: the lead goes, the trail stays
        {true, "00 41", "00 00 41 00", true},
        {true, "5C", "5C 00", true}, // pass-through wins for 0x01 to 0x7F
        {false, "5C", "A5 00", true},
        {false, "41", "-", false}, // no pass-through and no entry
        {false, "00", "00 00", true},
        {true, "A1 81 40 A1", "61 FF 00 30 61 FF", true},
        {true, "8F A1 A1", "02 4E", true},
        {true, "8F A1", "61 FF", false}, // too short for the three-byte key
        {true, "90 30 81 30 41", "80 00 41 00", true},
        {true, "90 30 81", "30 00", false}, // 90 and the final 81 start nothing
    };
    for (const auto& c : cases) {
        map.asciiPassThrough = c.ascii;
        bool ok = !c.ok;
        EXPECT_EQ(show(multiToUtf16(map, c.in, &ok)), show(hex(c.out))) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
}

Bytes toCodePage(const HashConvert* map, const char* in, bool* ok) {
    Bytes b = hex(in);
    DataBuffer out;
    *ok = EncodingConvert::utf16ToCodePage(map, b.empty() ? nullptr : b.data(),
                                           static_cast<unsigned>(b.size()), out);
    return enctest::bytesOf(out);
}

TEST(EncTableRoutes, Utf16ToCodePage) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    put(map, "00 30", "81 40");
    put(map, "E9 00", "E9");
    put(map, "A5 00", "5C");
    const struct {
        bool ascii;
        const char* in;
        const char* out;
        bool ok;
    } cases[] = {
        {true, "-", "-", true},
        {true, "41", "-", false}, // a single byte is not a unit
        {true, "41 00 E9 00 00 30", "41 E9 81 40", true},
        {true, "E9 00 41", "E9", true}, // an odd trailing byte is ignored
        {true, "00 00", "00", true},
        {false, "00 00", "00", true},       // U+0000 needs no entry either way
        {false, "41 00", "-", false},       // no pass-through and no entry
        {true, "AC 20 41 00", "41", false}, // unmappable units are dropped
        {true, "A5 00", "5C", true},
        // U+EFFD is a unit like any other: it does not announce raw bytes to copy.
        {true, "FD EF 02 00 41 00", "02 41", false},
    };
    for (const auto& c : cases) {
        map.asciiPassThrough = c.ascii;
        bool ok = !c.ok;
        EXPECT_EQ(show(toCodePage(&map, c.in, &ok)), show(hex(c.out))) << c.in;
        EXPECT_EQ(ok, c.ok) << c.in;
    }
    put(map, "FD EF", "83 4B");
    map.asciiPassThrough = true;
    bool ok = false;
    EXPECT_EQ(show(toCodePage(&map, "FD EF 02 00 41 00", &ok)), show(hex("83 4B 02 41")));
    EXPECT_TRUE(ok);
    DataBuffer none;
    EXPECT_FALSE(EncodingConvert::utf16ToCodePage(nullptr, hex("41 00").data(), 2, none));
    EXPECT_FALSE(EncodingConvert::utf16ToCodePage(nullptr, nullptr, 0, none)); // before the size
}

// ---- rewrites --------------------------------------------------------------------------------

TEST(EncMacArabic, RightToLeftRunsAndFolding) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"B1 B2", "32 31"}, // two right-to-left digits
        {"B1", "31"},       // a run of one is not reversed
        {"41 B1 B2 B3 42", "41 33 32 31 42"},
        {"B1 20 B2", "31 20 32"}, // a blank ends the run
        {"B1 C0 B2", "32 C0 31"}, // C0 is right-to-left but keeps its value
        {"C8 C9", "C8 C9"},       // letters are not in the list
        {"A5 AC", "A5 AC"},       // neither right-to-left nor folded
        {"81", "A0"},
        {"A0 A1 AF", "2F 21 20"},
        {"BA BC BD BE", "3E 3D 3C 3A"},
        {"BB", "BB"},
        {"DB DC DD DE DF", "5F 5E 5D 5C 5B"},
        {"FB FC FD", "7D 7C 7B"},
        {"8C 93 98 9B", "9B 98 93 8C"}, // right-to-left, not folded
        {"12 B1 B2 0D", "12 32 31 0D"}, // control bytes are never right-to-left
        {"B0 B9 41 B5", "39 30 41 35"},
        {"-", "-"},
    };
    for (const auto& c : cases) {
        Bytes b = hex(c.in);
        EncodingConvert::rewriteMacArabic(b.empty() ? nullptr : b.data(),
                                          static_cast<unsigned>(b.size()));
        EXPECT_EQ(show(b), show(hex(c.out))) << c.in;
    }
}

TEST(EncArabicDigits, FoldsBothDigitSets) {
    // Every unit from U+0600 to U+06FF, and a few around: only the twenty digits change.
    for (unsigned u = 0x05F0; u <= 0x0710; ++u) {
        unsigned char b[2] = {static_cast<unsigned char>(u & 0xFF),
                              static_cast<unsigned char>(u >> 8)};
        EncodingConvert::foldArabicIndicDigits(b, 2);
        unsigned got = b[0] | (b[1] << 8);
        unsigned expected = u;
        if (u >= 0x0660 && u <= 0x0669) expected = '0' + (u - 0x0660);
        if (u >= 0x06F0 && u <= 0x06F9) expected = '0' + (u - 0x06F0);
        EXPECT_EQ(got, expected) << std::hex << u;
    }
}

// ---- several threads at once ------------------------------------------------------------------

TEST(EncConcurrency, FirstUsesFromManyThreadsAgree) {
    // The UTF-7 classes, the UTF-8 coder and the table slots are built on first use; threads that
    // race to that first use must all see finished objects. Run alone (and under the thread
    // sanitizer) this exercises the first use itself.
    const ConvertCase work[] = {
        {1200, 65000, "E9 00 2B 00 41 00", "2B 41 4F 6B 41 4B 77 2D 41", true},
        {65000, 65001, "2B 41 4F 6B 2D 61", "C3 A9 61", true},
        {1252, 65001, "80 E9", "E2 82 AC C3 A9", true},
        {65001, 1251, "D0 96", "C6", true},
        {932, 1200, "82 A0", "42 30", true},
        {1200, 50225, "00 AC", "1B 24 29 43 0E 30 21", true},
    };
    const int kThreads = 4;
    std::vector<std::vector<Bytes>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (const ConvertCase& c : work)
                    results[t].push_back(enctest::convert(c.from, c.to, hex(c.in)));
        });
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(results[t].size(), 20 * (sizeof work / sizeof work[0]));
        for (size_t i = 0; i < results[t].size(); ++i) {
            const ConvertCase& c = work[i % (sizeof work / sizeof work[0])];
            EXPECT_EQ(show(results[t][i]), show(hex(c.out))) << c.from << " -> " << c.to;
        }
    }
}

} // namespace
