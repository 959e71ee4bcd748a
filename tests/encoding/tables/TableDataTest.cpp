// Every built-in table against the expected mappings under tests/encoding/tables/data (which
// tools/gen_codepages writes from the source mappings, not from the tables); and the table texts
// of tests/encoding/data/table_texts.txt, whole, damaged and cut short, with their bzip2 streams.
#include "encoding/tables/QuenlixBzip2.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"

#include "encoding/EncodingTestUtil.h"

#include <gtest/gtest.h>

namespace {

using namespace enctest;

class TableData : public ::testing::TestWithParam<int> {};

// Every byte (single-byte code pages), every single byte from 0x80 and pair with a lead byte from
// 0x80 (double-byte ones), and every UTF-16 unit.
TEST_P(TableData, EveryMappingBothWays) {
    const int cp = GetParam();
    Expected e = loadExpected(cp);
    ASSERT_EQ(e.header["cp"], std::to_string(cp)) << "missing or unreadable expected mapping";
    const bool doubleByte = e.header["kind"] == "double", ascii = e.header["ascii"] == "1";
    ASSERT_EQ(TableStore::kindOf(cp),
              doubleByte ? TableStore::kDoubleByte : TableStore::kSingleByte);
    const HashConvert* rev = TableStore::reverse(cp);
    const HashConvert* fwdMap = TableStore::forwardDoubleByte(cp);
    const UnicodeLookup* fwdLookup = TableStore::forwardSingleByte(cp);
    ASSERT_TRUE(rev && (doubleByte ? fwdMap != nullptr : fwdLookup != nullptr));
    EXPECT_EQ(rev->asciiPassThrough, ascii);
    EXPECT_EQ(TableStore::passesAscii(cp), ascii && !doubleByte); // the list, read without a table
    EXPECT_TRUE(fwdMap ? fwdMap->asciiPassThrough == ascii : fwdLookup->table[0] == 0);
    int bad = 0; // the first few mismatches are reported
    auto check = [&](const char* what, unsigned key, long got, long want) {
        if (got != want && ++bad <= 8)
            ADD_FAILURE() << "code page " << cp << ": " << what << std::hex << key << " gives "
                          << got << " not " << want;
    };
    for (unsigned code = 1; code < 0x10000; ++code) {
        const auto it = e.forward.find(code);
        long want = it == e.forward.end() ? -1 : static_cast<long>(it->second);
        if (!doubleByte && code < 0x100) {
            want = ascii && code < 0x80 ? code : want < 0 ? 0 : want;
            check("byte ", code, fwdLookup->table[code], want);
        } else if (doubleByte && (code >= 0x8000 || (code >= 0x80 && code < 0x100))) {
            // Pairs are looked up first, so a pair key shadows its lead byte.
            const Bytes key =
                code < 0x100 ? Bytes{uint8_t(code)} : Bytes{uint8_t(code >> 8), uint8_t(code)};
            check("code ", code, valueOf(*fwdMap, key, true), want);
        }
    }
    for (unsigned u = ascii ? 0x80 : 1; u < 0x10000; ++u) { // ASCII passes before any lookup
        const auto it = e.reverse.find(u);
        check("U+", u, valueOf(*rev, le(u)),
              it == e.reverse.end() ? -1 : static_cast<long>(it->second));
    }
    EXPECT_EQ(bad, 0) << "code page " << cp << " mismatches";
}

INSTANTIATE_TEST_SUITE_P(Table, TableData, ::testing::ValuesIn(allCodePages()),
                         [](const auto& info) { return "cp" + std::to_string(info.param); });

TEST(TableTexts, DamagedTextsKeepWhatCouldBeReadAndStreamsUnpack) {
    const auto rows = testfs::caseRows("encoding/data/table_texts.txt");
    ASSERT_GT(rows.size(), 60u) << rows[0][0];
    for (const auto& r : rows) {
        SCOPED_TRACE(r[0] + " " + r[1].substr(0, 60) + " " + r.back());
        ASSERT_GE(r.size(), 4u);
        if (r[0] == "load") { // text, reverse, entries, ASCII pass-through afterwards (set before)
            HashConvert map;
            ASSERT_TRUE(map.initBuckets(31));
            map.asciiPassThrough = true;
            TableStore::loadTable(testfs::unescape(r[1]).c_str(), map, r[2] == "1");
            EXPECT_EQ(map.countEntries(), std::stoul(r[3]));
            EXPECT_EQ(map.asciiPassThrough, r[4] == "1");
            continue;
        }
        ASSERT_EQ(r[0], "unpack"); // input, result, output
        DataBuffer src, out;
        fill(src, hex(r[1]));
        out.append("stale", 5);
        EXPECT_EQ(QuenlixBzip2().decompressTable(src, out), r[2] == "1");
        EXPECT_EQ(show(bytesOf(out)), show(hex(r[3])));
    }
}

} // namespace
