// Table texts as the store reads them (base64 of table data, stored or in a tagged bzip2 stream),
// whole, damaged and cut short, and the tagged streams themselves, from
// tests/encoding/data/table_texts.txt. The shipped tables are checked in TableDataTest.
#include "encoding/tables/QuenlixBzip2.h"
#include "encoding/tables/TableStore.h"

#include "encoding/EncodingTestUtil.h"

#include <gtest/gtest.h>

namespace {

using namespace enctest;

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
