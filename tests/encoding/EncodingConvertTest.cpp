#include "encoding/EncodingConvert.h"

#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using enctest::Bytes;
using enctest::hex;
using enctest::show;
using enctest::showHex;

namespace {

struct ConvertCase {
    int from, to;
    const char* in; // hex, "-" for empty
    const char* out;
    bool ok;
};

template <size_t N> void runConvertCases(const ConvertCase (&cases)[N]) {
    for (const ConvertCase& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(show(enctest::convert(c.from, c.to, hex(c.in), &ok)), showHex(c.out))
            << c.from << " -> " << c.to << ": " << c.in;
        EXPECT_EQ(ok, c.ok) << c.from << " -> " << c.to << ": " << c.in;
    }
}

// Routes that need no code-page table.
const ConvertCase kBuiltInCases[] = {
    {1252, 1252, "EF BB BF 41", "EF BB BF 41", true}, // same code page: unchanged, mark included
    {65001, 0, "C3 A9", "C3 A9", true},
    {65001, 1200, "EF BB BF 41", "41 00", true}, // marks are removed from UTF-8 and UTF-16
    {65001, 1200, "EF BB", "-", true},
    {1200, 65001, "FE FF 00 41", "41", true}, // the mark overrides 1200
    {1201, 65001, "FF FE 41 00", "41", true}, // and 1201
    {1201, 65001, "00 41 00 E9", "41 C3 A9", true},
    {1201, 1200, "00", "-", true},
    {1200, 1201, "41 00 42 00", "00 41 00 42", true},
    {1200, 1201, "FE FF 00 41", "00 41", true},
    {65005, 65001, "FF FE 00 00 41 00 00 00", "EF BB BF 41", true}, // no UTF-32 marks
    {1200, 65001, "41 00 00 00 42 00", "41 42", true},              // U+0000 is left out
    {1200, 65001, "41 00 42", "41", false},                         // an odd byte fails
    {1200, 65001, "3D D8", "ED A0 BD", true},
    {65001, 1200, "F0 9F 98 80", "-", true}, // invalid UTF-8 is dropped without failing
    {65001, 1200, "C0 80 41", "41 00", true},
    {65001, 65005, "F0 9F 98 80", "00 F6 01 00", true},
    {65001, 65006, "41", "00 00 00 41", true},
    {65001, 65005, "E2 82", "-", false},
    {65005, 65001, "41 00 00 00 00 F6 01 00", "41", true}, // back through the 16-bit coder
    {65005, 65001, "00 00 20 00", "EF BF BD", true},
    {65006, 65005, "00 00 20 AC", "AC 20 00 00", true},
    {1200, 65005, "41", "-", false}, // a failed first step keeps nothing
    {65001, 65000, "41 2B 42", "41 2B 2D 42", true},
    {1200, 65000, "FF FE E9 00 61 00", "2B 41 4F 6B 2D 61", true},
    {65000, 65001, "2B 41 4F 6B 2D 61", "C3 A9 61", true},
    {65000, 65001, "2B", "-", true}, // the decoder's flag is not the result
    {932, 50220, "82 A0", "1B 24 42 24 22 1B 28 42", true},
    {50220, 932, "1B 24 42 24 22 1B 28 42", "82 A0", true},
    {932, 50220, "B6 DE", "1B 24 42 25 2C 1B 28 42", true},
    {50220, 50222, "1B 24 42 24 22", "1B 24 42 24 22 1B 28 42", true},
    {949, 50225, "B0 A1", "1B 24 29 43 0E 30 21", true},
    {50225, 949, "1B 24 29 43 0E 30 21 0F 41", "B0 A1 41", true},
    {52936, 1200, "41", "-", false}, // code pages that cannot be converted
    {65001, 57002, "41", "-", false},
    {52936, 65001, "41", "-", true}, // the empty second step is the result
    {1200, 57002, "-", "-", true},
    {52936, 65000, "41", "-", false},
};

// Routes through the shipped tables.
const ConvertCase kTableCases[] = {
    {65001, 1252, "EF BB BF 41", "41", true},
    {1252, 65001, "80 41", "E2 82 AC 41", true},
    {28591, 20127, "41 E9 42", "41 42", false},
    {1200, 50225, "00 AC", "1B 24 29 43 0E 30 21", true},
    {932, 1200, "82 A0 41", "42 30 41 00", true},
    {1200, 50220, "42 30", "1B 24 42 24 22 1B 28 42", true},
    {50225, 1200, "1B 24 29 43 0E 30 21", "00 AC", true},
    {1252, 65000, "E9 61", "2B 41 4F 6B 2D 61", true},
    {1252, 1201, "E9", "00 E9", true},
    {1252, 28591, "E9", "E9", true},
    {20127, 1200, "E9 41", "41 00", false}, // a two-step route returns its second step
    {20127, 65001, "E9 41", "41", true},
    {20127, 1201, "E9 41", "00 41", false},
    {20127, 65000, "E9 41", "-", false},
    {10004, 1200, "B1 B2", "32 00 31 00", true}, // Mac Arabic digits put in logical order
    {1200, 1256, "60 06 69 06", "30 39", true},  // Arabic-Indic digits written as ASCII
    {1200, 28596, "F0 06 F9 06", "30 39", true},
};

TEST(EncConvert, Routes) {
    runConvertCases(kBuiltInCases);
    for (int cp : {1252, 28591, 20127, 932, 949, 10004, 1256, 28596})
        ASSERT_TRUE(TableStore::hasTable(cp)) << "no table data for code page " << cp;
    runConvertCases(kTableCases);
}

TEST(EncConvert, AppendsAndReadsTheSystemCodePage) {
    EncodingConvert ec;
    DataBuffer out;
    out.append("ab", 2);
    Bytes in = hex("C3 A9");
    EXPECT_TRUE(ec.convert(65001, 1200, in.data(), 2, out));
    EXPECT_TRUE(ec.convert(65001, 65001, in.data(), 2, out));
    EXPECT_EQ(show(enctest::bytesOf(out)), showHex("61 62 E9 00 C3 A9"));
    enctest::AnsiCodePageOverride ansi(1201);
    out.clear();
    EXPECT_TRUE(ec.convertFromAnsi(65001, hex("00 E9").data(), 2, out));
    EXPECT_EQ(show(enctest::bytesOf(out)), showHex("C3 A9"));
}

TEST(EncConvert, CodePagesWithoutTables) {
    EncodingConvert ec;
    Bytes a = hex("41 00");
    for (int cp : {0, 709, 52936, 57002, 1200, 65001}) {
        DataBuffer out;
        EXPECT_FALSE(ec.toUtf16(cp, a.data(), 1, out)) << cp;
        EXPECT_FALSE(ec.fromUtf16(cp, a.data(), 2, out)) << cp;
        EXPECT_EQ(out.getSize(), 0u) << cp;
        EXPECT_TRUE(ec.toUtf16(cp, nullptr, 0, out)) << cp; // empty input asks for no table
    }
}

// The table routes, on tables made here.
void put(HashConvert& map, const char* key, const char* value) {
    Bytes k = hex(key), v = hex(value);
    map.insert(k.data(), static_cast<int>(k.size()), v.data(), static_cast<int>(v.size()));
}

struct MapCase {
    bool ascii;
    enctest::Io io;
};

TEST(EncTableRoutes, MultiByteToUtf16) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    put(map, "81 40", "00 30");
    put(map, "A1", "61 FF");
    put(map, "8F A1 A1", "02 4E");
    put(map, "90 30 81 30", "80 00");
    put(map, "5C", "A5 00");
    const MapCase cases[] = {
        {true, {"81", "-", false}},        // a lead byte at the end
        {true, {"81 41", "41 00", false}}, // bad pair: the lead goes, the trail stays
        {true, {"5C", "5C 00", true}},     // pass-through wins for 0x01 to 0x7F
        {false, {"5C", "A5 00", true}},
        {false, {"41", "-", false}},
        {true, {"A1 81 40 8F A1 A1", "61 FF 00 30 02 4E", true}},
        {true, {"8F A1", "61 FF", false}},
        {true, {"90 30 81 30 41", "80 00 41 00", true}},
    };
    for (const auto& c : cases) {
        map.asciiPassThrough = c.ascii;
        enctest::expectIo(c.io, [&](auto p, unsigned n, DataBuffer& out) {
            return EncodingConvert::multiByteToUtf16(map, p, n, out);
        });
    }
}

TEST(EncTableRoutes, Utf16ToCodePage) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    put(map, "00 30", "81 40");
    put(map, "E9 00", "E9");
    const MapCase cases[] = {
        {true, {"41", "-", false}}, // a single byte is not a unit
        {true, {"41 00 E9 00 00 30", "41 E9 81 40", true}},
        {true, {"E9 00 41", "E9", true}}, // an odd trailing byte is ignored
        {false, {"00 00", "00", true}},
        {false, {"41 00", "-", false}},
        {true, {"AC 20 41 00", "41", false}},
        {true, {"FD EF 02 00 41 00", "02 41", false}}, // U+EFFD announces no raw bytes
    };
    for (const auto& c : cases) {
        map.asciiPassThrough = c.ascii;
        enctest::expectIo(c.io, [&](auto p, unsigned n, DataBuffer& out) {
            return EncodingConvert::utf16ToCodePage(&map, p, n, out);
        });
    }
    DataBuffer none;
    EXPECT_FALSE(EncodingConvert::utf16ToCodePage(nullptr, hex("41 00").data(), 2, none));
}

TEST(EncRewrites, MacArabicRightToLeftRunsAndFolding) {
    const enctest::Io cases[] = {
        {"B1 B2", "32 31"},
        {"B1", "31"},
        {"41 B1 B2 B3 42", "41 33 32 31 42"},
        {"B1 20 B2", "31 20 32"}, // a blank ends the run
        {"B1 C0 B2", "32 C0 31"}, // C0 is right-to-left but keeps its value
        {"C8 C9", "C8 C9"},
        {"81", "A0"},
        {"A0 A1 AF", "2F 21 20"},
        {"BA BC BD BE", "3E 3D 3C 3A"},
        {"DB DC DD DE DF FB FC FD", "7D 7C 7B 5F 5E 5D 5C 5B"},
        {"12 B1 B2 0D", "12 32 31 0D"}, // control bytes are never right-to-left
    };
    for (const auto& c : cases) {
        Bytes b = hex(c.in);
        EncodingConvert::rewriteMacArabic(b.data(), static_cast<unsigned>(b.size()));
        EXPECT_EQ(show(b), showHex(c.out)) << c.in;
    }
    for (unsigned u = 0x05F0; u <= 0x0710; ++u) { // only the twenty Arabic digits change
        unsigned char b[2] = {static_cast<unsigned char>(u & 0xFF),
                              static_cast<unsigned char>(u >> 8)};
        EncodingConvert::foldArabicIndicDigits(b, 2);
        unsigned expected = u >= 0x0660 && u <= 0x0669   ? '0' + (u - 0x0660)
                            : u >= 0x06F0 && u <= 0x06F9 ? '0' + (u - 0x06F0)
                                                         : u;
        EXPECT_EQ(b[0] | (b[1] << 8), static_cast<int>(expected)) << std::hex << u;
    }
}

TEST(EncConcurrency, FirstUsesFromManyThreadsAgree) {
    // The UTF-7 classes, the UTF-8 coder and the table slots are built on first use; threads
    // racing to that first use must all see finished objects.
    const ConvertCase work[] = {
        {1200, 65000, "E9 00 2B 00 41 00", "2B 41 4F 6B 41 4B 77 2D 41", true},
        {65000, 65001, "2B 41 4F 6B 2D 61", "C3 A9 61", true},
        {1252, 65001, "80 E9", "E2 82 AC C3 A9", true},
        {65001, 1251, "D0 96", "C6", true},
        {932, 1200, "82 A0", "42 30", true},
        {1200, 50225, "00 AC", "1B 24 29 43 0E 30 21", true},
    };
    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (auto& mine : results)
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round)
                for (const ConvertCase& c : work)
                    mine.push_back(show(enctest::convert(c.from, c.to, hex(c.in))));
        });
    for (std::thread& th : threads)
        th.join();
    for (const auto& mine : results)
        for (size_t i = 0; i < mine.size(); ++i)
            EXPECT_EQ(mine[i], showHex(work[i % 6].out)) << work[i % 6].from;
}

} // namespace
