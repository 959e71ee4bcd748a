// Table texts as the store reads them (base64 of table data, stored or in a tagged bzip2 stream),
// made here, whole and damaged. The shipped tables are checked in TableDataTest.
#include "encoding/tables/QuenlixBzip2.h"
#include "encoding/tables/TableStore.h"

#include "encoding/EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

using namespace enctest;

// ASCII pass-through; bytes 41, F0, 05 (the byte delta wraps past FF, the unit delta below zero),
// then pairs 8140, 889F, 8141 (codes going down as well as up); each to a unit.
const Bytes kSample = hex("61 75 419103 AF1B1D 1559DF 00 40810030 5F079C1E A2F865E1 0000");
const Entries kEntries = {{0x41, 0x0391},   {0xF0, 0x20AC},   {0x05, 0x0005},
                          {0x8140, 0x3000}, {0x889F, 0x4E9C}, {0x8141, 0x3001}};
// A patch: removes U+00A5, then maps U+00A0 to A0 and U+2116 to 86 9B.
const Bytes kPatch = hex("61 64 A500 0000 A0A000 00 869B1621 0000");

std::string stored(const Bytes& data) {
    return "x" + base64(data);
}

TEST(TableTexts, StoredAndPackedFormsGiveEveryEntryBothWays) {
    std::string packed = "c" + base64(taggedBzip2(kSample));
    for (size_t pos = 40; pos < packed.size(); pos += 42) // the decoder skips line breaks
        packed.insert(pos, "\r\n");
    for (const std::string& text : {stored(kSample), packed}) {
        HashConvert fwd, rev;
        ASSERT_TRUE(fwd.initBuckets(31) && rev.initBuckets(29));
        TableStore::loadTable(text.c_str(), fwd, false);
        TableStore::loadTable(text.c_str(), rev, true);
        EXPECT_TRUE(fwd.asciiPassThrough && rev.asciiPassThrough);
        EXPECT_EQ(fwd.countEntries() + rev.countEntries(), 12u);
        for (const auto& [code, unit] : kEntries) {
            EXPECT_EQ(unitOf(fwd, codeBytes(code)), static_cast<long>(unit)) << code;
            EXPECT_EQ(valueOf(rev, le(unit)), static_cast<long>(code)) << unit;
        }
    }
}

// Damaged texts keep what could be read, and no entry is read past the end of the data.
TEST(TableTexts, DamagedTextsKeepWhatCouldBeRead) {
    const Bytes packed = taggedBzip2(kSample);
    const std::tuple<std::string, bool, unsigned, bool> cases[] = {
        // text, reverse, entries, ASCII pass-through afterwards (set before)
        {"", false, 0, true},
        {"x!!!!", false, 0, true},
        {"c" + base64(Bytes(packed.begin(), packed.begin() + 20)), false, 0, true},
        {"c" + base64(kSample), false, 0, true},            // no tag
        {stored(hex("78 7A 01 0100 00")), false, 0, false}, // unknown kind letter
        {stored(hex("78 75 00 0000")), false, 0, false},    // empty table
        {stored(kPatch), false, 0, true},                   // no patch for forward tables
        {stored(kPatch), true, 2, true},
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
    // Each cut holds the entries that end within it: for the sample those ending at bytes 5, 8,
    // 11, 16, 20 and 24, for the patch (on an empty map) its two replacements.
    const std::pair<const Bytes*, std::vector<size_t>> cuts[] = {{&kSample, {5, 8, 11, 16, 20, 24}},
                                                                 {&kPatch, {9, 14}}};
    for (const auto& [data, ends] : cuts) {
        for (size_t n = 1; n <= data->size(); ++n) {
            HashConvert map;
            ASSERT_TRUE(map.initBuckets(31));
            TableStore::loadTable(stored(Bytes(data->begin(), data->begin() + n)).c_str(), map,
                                  true);
            EXPECT_EQ(map.countEntries(),
                      std::count_if(ends.begin(), ends.end(), [n](size_t e) { return e <= n; }))
                << n;
        }
    }
}

TEST(TableTexts, DecompressTable) {
    Bytes text;
    for (int i = 0; i < 5000; ++i)
        text.push_back(static_cast<unsigned char>((i * 7) % 251));
    const Bytes packed = taggedBzip2(text), header = hex("E1A794B3 0A000000");
    auto changed = [&](size_t from, size_t to, unsigned char v) {
        Bytes b = packed;
        std::fill(b.begin() + from, b.begin() + to, v);
        return b;
    };
    const std::tuple<const char*, Bytes, bool, Bytes> cases[] = {
        {"empty input", {}, true, {}},
        {"round trip", packed, true, text},
        {"empty stream", taggedBzip2({}), true, {}},
        {"stated size larger than the data", taggedBzip2(text, 9000), true, text},
        {"stated size within the slack", taggedBzip2(text, 4985), true, text},
        {"stated size too small", taggedBzip2(text, 100), false, {}},
        {"shorter than the header", Bytes(header.begin(), header.end() - 1), false, {}},
        {"header only", header, false, {}},
        {"wrong tag", changed(0, 1, 0xE2), false, {}},
        {"damaged stream magic", changed(8, 9, 'X'), false, {}},
        {"truncated stream", Bytes(packed.begin(), packed.end() - 10), false, {}},
        {"huge stated size", changed(4, 8, 0xFF), false, {}},
    };
    for (const auto& [what, in, ok, output] : cases) {
        DataBuffer src, out;
        fill(src, in);
        out.append("stale", 5); // every outcome replaces what was there
        EXPECT_EQ(QuenlixBzip2().decompressTable(src, out), ok) << what;
        EXPECT_TRUE(bytesOf(out) == output) << what;
    }
}

} // namespace
