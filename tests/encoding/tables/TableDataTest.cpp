// Every built-in table against the expected mappings under tests/encoding/tables/data, which
// tools/gen_codepages writes from the source mappings (platform dumps and iconv), not from the
// tables themselves; and table texts made for the test, whole, damaged and cut short, with the
// tagged bzip2 streams they may hold (tests/encoding/data/table_texts.txt).
#include "encoding/tables/QuenlixBzip2.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"

#include "encoding/EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace enctest;

// Runs first in this file, while the tables of these code pages are still cold.
TEST(TableThreads, EightThreadsFillOneColdCodePageOnce) {
    int cp = 0;
    for (int c : {21025, 20880, 1149, 10082, 51949, 1361, 20905, 875})
        if (!cp && TableStore::hasTable(c) && TableStore::buildCount(c, false) == 0) cp = c;
    if (cp == 0) GTEST_SKIP() << "every candidate code page was already used in this process";
    std::atomic<int> ready{0};
    std::vector<Bytes> results(8);
    std::vector<const void*> tables(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (ready.fetch_add(1); ready.load() < 8;)
                std::this_thread::yield();
            results[t] = convert(cp, 1200, hex("C1C2C3 8182 40 F0F1"));
            tables[t] = TableStore::kindOf(cp) == TableStore::kSingleByte
                            ? static_cast<const void*>(TableStore::forwardSingleByte(cp))
                            : static_cast<const void*>(TableStore::forwardDoubleByte(cp));
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(TableStore::buildCount(cp, false), 1) << "code page " << cp;
    EXPECT_TRUE(tables[0] && !results[0].empty());
    for (int t = 1; t < 8; ++t)
        EXPECT_TRUE(results[t] == results[0] && tables[t] == tables[0]) << "thread " << t;
}

class TableData : public ::testing::TestWithParam<int> {};

// Every byte (single-byte code pages), every single byte from 0x80 and pair with a lead byte from
// 0x80 (double-byte ones), and every UTF-16 unit; each table decoded once per direction.
TEST_P(TableData, EveryMappingBothWays) {
    const int cp = GetParam();
    const Expected e = loadExpected(cp);
    ASSERT_EQ(e.error, "");
    ASSERT_EQ(TableStore::kindOf(cp),
              e.doubleByte ? TableStore::kDoubleByte : TableStore::kSingleByte);
    const HashConvert* rev = TableStore::reverse(cp);
    const HashConvert* fwdMap = TableStore::forwardDoubleByte(cp);
    const UnicodeLookup* fwdLookup = TableStore::forwardSingleByte(cp);
    ASSERT_TRUE(rev && (e.doubleByte ? fwdMap != nullptr : fwdLookup != nullptr));
    EXPECT_EQ(rev->asciiPassThrough, e.ascii);
    EXPECT_TRUE(fwdMap ? fwdMap->asciiPassThrough == e.ascii : fwdLookup->table[0] == 0);
    int bad = 0; // the first few mismatches are reported
    auto check = [&](const char* what, unsigned key, long got, long want) {
        if (got != want && ++bad <= 8)
            ADD_FAILURE() << "code page " << cp << ": " << what << std::hex << key << " gives "
                          << got << " not " << want;
    };
    for (unsigned code = 1; code < 0x10000; ++code) {
        const auto it = e.forward.find(code);
        long want = it == e.forward.end() ? -1 : static_cast<long>(it->second);
        if (!e.doubleByte && code < 0x100) {
            want = e.ascii && code < 0x80 ? code : want < 0 ? 0 : want;
            check("byte ", code, fwdLookup->table[code], want);
        } else if (e.doubleByte && (code >= 0x8000 || (code >= 0x80 && code < 0x100))) {
            // Pairs are looked up first, so a pair key shadows its lead byte.
            check("code ", code, unitOf(*fwdMap, codeBytes(code)), want);
        }
    }
    for (unsigned u = e.ascii ? 0x80 : 1; u < 0x10000; ++u) { // ASCII passes before any lookup
        const auto it = e.reverse.find(u);
        check("U+", u, valueOf(*rev, le(u)),
              it == e.reverse.end() ? -1 : static_cast<long>(it->second));
    }
    EXPECT_EQ(bad, 0) << "code page " << cp << " mismatches";
    EXPECT_EQ(TableStore::buildCount(cp, false), 1);
    EXPECT_EQ(TableStore::buildCount(cp, true), 1);
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
