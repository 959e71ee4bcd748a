#include "encoding/tables/TableStore.h"

#include "encoding/EncodingTestUtil.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/UnicodeLookup.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace enctest;

// A byte delta that wraps past 0xFF, a unit delta that wraps below zero, and double-byte codes
// that go down as well as up.
const Entries kSingles = {{0x41, 0x0391}, {0xF0, 0x20AC}, {0x05, 0x0005}};
const Entries kDoubles = {{0x8140, 0x3000}, {0x889F, 0x4E9C}, {0x8141, 0x3001}};

Bytes sampleData() {
    return fullTable(true, kSingles, kDoubles);
}

Bytes truncated(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

// Removes U+00A5, then maps U+00A0 to A0 and U+2116 to 86 9B.
Bytes patchData() {
    return {'a', 'd', 0xA5, 0x00, 0, 0, 0xA0, 0xA0, 0x00, 0, 0x86, 0x9B, 0x16, 0x21, 0, 0};
}

std::string storedText(const Bytes& data) {
    return "x" + base64(data);
}
std::string compressedText(const Bytes& data) {
    return "c" + base64(taggedBzip2(data));
}

std::string withLineBreaks(std::string s) {
    for (size_t pos = 40; pos < s.size(); pos += 42)
        s.insert(pos, "\r\n");
    return s;
}

TEST(TableStoreLoad, EveryTextFormGivesEveryEntryBothWays) {
    const std::string texts[] = {storedText(sampleData()), compressedText(sampleData()),
                                 "q" + compressedText(sampleData()).substr(1),
                                 withLineBreaks(compressedText(sampleData()))};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 12));
        HashConvert fwd, rev;
        ASSERT_TRUE(fwd.initBuckets(31) && rev.initBuckets(29));
        TableStore::loadTable(text.c_str(), fwd, false);
        TableStore::loadTable(text.c_str(), rev, true);
        EXPECT_TRUE(fwd.asciiPassThrough && rev.asciiPassThrough);
        EXPECT_EQ(fwd.countEntries() + rev.countEntries(), 12u);
        for (const Entries* list : {&kSingles, &kDoubles}) {
            for (const auto& [code, unit] : *list) {
                EXPECT_EQ(unitOf(fwd, codeBytes(code)), static_cast<long>(unit)) << code;
                EXPECT_EQ(valueOf(rev, le(unit)), static_cast<long>(code)) << unit;
            }
        }
        EXPECT_EQ(unitOf(fwd, {0x40, 0x81}), -1);
        EXPECT_EQ(valueOf(rev, le(0x41)), -1);
    }
}

TEST(TableStoreLoad, DamagedTextsKeepWhatCouldBeRead) {
    const std::tuple<std::string, bool, unsigned, bool> cases[] = {
        // text, reverse, entries, ASCII pass-through afterwards (set before)
        {"", false, 0, true},
        {"x", false, 0, true},
        {"x!!!!", false, 0, true},
        // 2 header bytes, 3 single-byte entries (9), terminator, then 1.5 double-byte entries.
        {storedText(truncated(sampleData(), 18)), false, 4, true},
        {storedText(truncated(sampleData(), 7)), false, 1, true},
        {"c" + base64(truncated(taggedBzip2(sampleData()), 20)), false, 0, true},
        {"c" + base64(sampleData()), false, 0, true},               // no tag
        {storedText(Bytes{'x', 'z', 1, 1, 0, 0}), false, 0, false}, // unknown kind letter
        {storedText(fullTable(false, {}, {})), false, 0, false},
        {storedText(patchData()), false, 0, true}, // a patch is ignored for forward tables
        {storedText(patchData()), true, 2, true},
    };
    for (const auto& [text, reverse, entries, passThrough] : cases) {
        SCOPED_TRACE(text);
        HashConvert map;
        ASSERT_TRUE(map.initBuckets(31));
        map.asciiPassThrough = true;
        TableStore::loadTable(text.c_str(), map, reverse);
        EXPECT_EQ(map.countEntries(), entries);
        EXPECT_EQ(map.asciiPassThrough, passThrough);
    }
}

TEST(TableStoreLoad, PatchRemovesAndReplacesReverseEntries) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(31));
    const Bytes base =
        fullTable(true, {{0x20, 0x00A0}, {0x5C, 0x00A5}}, {{0x8140, 0x3000}, {0x8150, 0x2116}});
    TableStore::loadTable(storedText(base).c_str(), map, true);
    ASSERT_EQ(valueOf(map, le(0x00A5)), 0x5C);
    TableStore::loadTable(storedText(patchData()).c_str(), map, true);
    EXPECT_EQ(valueOf(map, le(0x00A5)), -1);     // removed
    EXPECT_EQ(valueOf(map, le(0x00A0)), 0xA0);   // replaced, old 0x20 gone
    EXPECT_EQ(valueOf(map, le(0x2116)), 0x869B); // replaced
    EXPECT_EQ(valueOf(map, le(0x3000)), 0x8140); // untouched
    EXPECT_EQ(map.countEntries(), 3u);
}

} // namespace
