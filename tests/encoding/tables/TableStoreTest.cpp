#include "encoding/tables/TableStore.h"

#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableTestUtil.h"
#include "encoding/tables/UnicodeLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using tabletest::Bytes;

// Value of a key as a number (bytes in map order: UTF-16 little-endian, codes lead first), or -1.
long valueOf(const HashConvert& map, const Bytes& key) {
    unsigned char v[255];
    int len = 0;
    map.lookup(key.data(), static_cast<int>(key.size()), v, &len);
    if (len == 0) return -1;
    if (len == 1) return v[0];
    return v[0] << 8 | v[1];
}

Bytes le(unsigned unit) {
    return {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)};
}

long unitOf(const HashConvert& map, const Bytes& key) {
    long v = valueOf(map, key);
    return v < 0 ? v : ((v & 0xFF) << 8 | v >> 8); // values are little-endian units
}

// ---- loading table texts --------------------------------------------------------------------

Bytes sampleData() {
    // A byte delta that wraps past 0xFF, a unit delta that wraps below zero, and double-byte
    // codes that go down as well as up.
    return tabletest::fullTable(true, {{0x41, 0x0391}, {0xF0, 0x20AC}, {0x05, 0x0005}},
                                {{0x8140, 0x3000}, {0x889F, 0x4E9C}, {0x8141, 0x3001}});
}

struct LoadCase {
    const char* name;
    std::string text;
};

class TableLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(TableLoad, ForwardMapHoldsEveryEntry) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    TableStore::loadTable(GetParam().text.c_str(), map, false);
    EXPECT_TRUE(map.asciiPassThrough);
    EXPECT_EQ(map.countEntries(), 6u);
    EXPECT_EQ(unitOf(map, {0x41}), 0x0391);
    EXPECT_EQ(unitOf(map, {0xF0}), 0x20AC);
    EXPECT_EQ(unitOf(map, {0x05}), 0x0005);
    EXPECT_EQ(unitOf(map, {0x81, 0x40}), 0x3000);
    EXPECT_EQ(unitOf(map, {0x88, 0x9F}), 0x4E9C);
    EXPECT_EQ(unitOf(map, {0x81, 0x41}), 0x3001);
    EXPECT_EQ(unitOf(map, {0x40, 0x81}), -1);
}

TEST_P(TableLoad, ReverseMapHoldsEveryEntry) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(29));
    TableStore::loadTable(GetParam().text.c_str(), map, true);
    EXPECT_EQ(map.countEntries(), 6u);
    EXPECT_EQ(valueOf(map, le(0x0391)), 0x41);
    EXPECT_EQ(valueOf(map, le(0x20AC)), 0xF0);
    EXPECT_EQ(valueOf(map, le(0x3000)), 0x8140);
    EXPECT_EQ(valueOf(map, le(0x4E9C)), 0x889F);
    EXPECT_EQ(valueOf(map, le(0x0041)), -1);
}

std::string withLineBreaks(std::string s) {
    for (size_t pos = 40; pos < s.size(); pos += 42)
        s.insert(pos, "\r\n");
    return s;
}

const LoadCase kLoadCases[] = {
    {"Stored", tabletest::storedText(sampleData())},
    {"Compressed", tabletest::compressedText(sampleData())},
    {"CompressedAnyFirstCharacter", "q" + tabletest::compressedText(sampleData()).substr(1)},
    {"CompressedWithLineBreaks", withLineBreaks(tabletest::compressedText(sampleData()))},
};

INSTANTIATE_TEST_SUITE_P(Table, TableLoad, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct DamageCase {
    const char* name;
    std::string text;
    bool reverse;
    unsigned entries;
};

class TableLoadDamaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(TableLoadDamaged, KeepsWhatCouldBeRead) {
    const DamageCase& c = GetParam();
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    TableStore::loadTable(c.text.c_str(), map, c.reverse);
    EXPECT_EQ(map.countEntries(), c.entries);
}

Bytes truncated(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

Bytes patchData() {
    Bytes p{'a', 'd'};
    tabletest::putLe16(p, 0x00A5); // remove
    tabletest::putLe16(p, 0);
    p.insert(p.end(), {0xA0, 0xA0, 0x00}); // U+00A0 -> A0
    p.push_back(0);
    p.insert(p.end(), {0x86, 0x9B, 0x16, 0x21}); // U+2116 -> 86 9B
    p.insert(p.end(), {0, 0});
    return p;
}

const DamageCase kDamageCases[] = {
    {"Null", "", false, 0},
    {"OnlyMarker", "x", false, 0},
    {"NotBase64", "x!!!!", false, 0},
    // 2 header bytes, 3 single-byte entries (9), terminator, then 1.5 double-byte entries.
    {"StoredCutInsideDoubleSection", tabletest::storedText(truncated(sampleData(), 18)), false, 4},
    {"StoredCutInsideSingleSection", tabletest::storedText(truncated(sampleData(), 7)), false, 1},
    {"CompressedTruncated",
     "c" + tabletest::base64(truncated(tabletest::taggedBzip2(sampleData()), 20)), false, 0},
    {"CompressedWithoutTag", "c" + tabletest::base64(sampleData()), false, 0},
    {"UnknownKindLetter", tabletest::storedText(Bytes{'a', 'z', 1, 1, 0, 0}), false, 0},
    {"PatchIgnoredForForward", tabletest::storedText(patchData()), false, 0},
    {"PatchOnEmptyReverse", tabletest::storedText(patchData()), true, 2},
};

INSTANTIATE_TEST_SUITE_P(Table, TableLoadDamaged, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TableLoadFlag, MarkerByteSetsOrClearsPassThrough) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(7));
    map.asciiPassThrough = true;
    TableStore::loadTable(tabletest::storedText(tabletest::fullTable(false, {}, {})).c_str(), map,
                          false);
    EXPECT_FALSE(map.asciiPassThrough);
    TableStore::loadTable(tabletest::storedText(tabletest::fullTable(true, {}, {})).c_str(), map,
                          false);
    EXPECT_TRUE(map.asciiPassThrough);
}

TEST(TableLoadPatch, RemovesAndReplacesReverseEntries) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    Bytes base = tabletest::fullTable(true, {{0x20, 0x00A0}, {0x5C, 0x00A5}},
                                      {{0x8140, 0x3000}, {0x8150, 0x2116}});
    TableStore::loadTable(tabletest::storedText(base).c_str(), map, true);
    ASSERT_EQ(valueOf(map, le(0x00A5)), 0x5C);
    ASSERT_EQ(valueOf(map, le(0x00A0)), 0x20);
    TableStore::loadTable(tabletest::storedText(patchData()).c_str(), map, true);
    EXPECT_EQ(valueOf(map, le(0x00A5)), -1);     // removed
    EXPECT_EQ(valueOf(map, le(0x00A0)), 0xA0);   // replaced, old 0x20 gone
    EXPECT_EQ(valueOf(map, le(0x2116)), 0x869B); // replaced
    EXPECT_EQ(valueOf(map, le(0x3000)), 0x8140); // untouched
    EXPECT_EQ(map.countEntries(), 3u);
}

// ---- the list of code pages -----------------------------------------------------------------

TEST(TableStoreList, KnowsThe103CodePages) {
    const int singleAscii[] = {437,   708,   720,   737,   775,   850,   852,   855,   857,   858,
                               860,   861,   862,   863,   864,   865,   866,   869,   874,   1250,
                               1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  10000, 10004,
                               10005, 10006, 10007, 10010, 10017, 10029, 10079, 10081, 10082, 20127,
                               20261, 20269, 20866, 21866, 28591, 28592, 28593, 28594, 28595, 28596,
                               28597, 28598, 28599, 28603, 28605, 38598};
    const int singleOther[] = {37,    500,   870,   875,   1026,  1047,  1140,  1141,  1142,  1143,
                               1144,  1145,  1146,  1147,  1148,  1149,  10021, 20105, 20106, 20107,
                               20108, 20273, 20277, 20278, 20280, 20284, 20285, 20290, 20297, 20420,
                               20423, 20424, 20838, 20871, 20880, 20905, 20924, 21025};
    const int doubleByte[] = {932, 936, 949, 950, 1361, 10001, 51932, 51936, 51949};
    EXPECT_EQ(sizeof singleAscii / sizeof(int) + sizeof singleOther / sizeof(int) +
                  sizeof doubleByte / sizeof(int),
              103u);
    for (int cp : singleAscii)
        EXPECT_EQ(TableStore::listedKindOf(cp), TableStore::kSingleByte) << cp;
    for (int cp : singleOther)
        EXPECT_EQ(TableStore::listedKindOf(cp), TableStore::kSingleByte) << cp;
    for (int cp : doubleByte)
        EXPECT_EQ(TableStore::listedKindOf(cp), TableStore::kDoubleByte) << cp;
}

TEST(TableStoreList, OtherCodePagesHaveNoTable) {
    for (int cp : {0,     -1,    1200,  1201,  65000, 65001, 65005, 65006, 709,   10002, 10003,
                   10008, 20000, 20932, 20936, 20949, 50220, 50225, 52936, 54936, 57002}) {
        EXPECT_EQ(TableStore::listedKindOf(cp), TableStore::kNone) << cp;
        EXPECT_EQ(TableStore::kindOf(cp), TableStore::kNone) << cp;
        EXPECT_EQ(TableStore::reverse(cp), nullptr) << cp;
        EXPECT_EQ(TableStore::forwardSingleByte(cp), nullptr) << cp;
        EXPECT_EQ(TableStore::forwardDoubleByte(cp), nullptr) << cp;
    }
}

TEST(TableStoreList, WrongKindAsksGiveNull) {
    if (TableStore::kindOf(1252) == TableStore::kNone ||
        TableStore::kindOf(932) == TableStore::kNone)
        GTEST_SKIP() << "this build carries no data for 1252 or 932";
    EXPECT_EQ(TableStore::forwardDoubleByte(1252), nullptr);
    EXPECT_EQ(TableStore::forwardSingleByte(932), nullptr);
}

} // namespace
