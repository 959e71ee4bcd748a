// Whole-range checks of every built-in table against the expected mappings under
// tests/encoding/tables/data, which tools/gen_codepages writes from the source mappings (platform
// dumps and iconv) with the telling rows applied, not from the tables themselves.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/TableTestUtil.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tabletest::Bytes;
using tabletest::Expected;

std::string hexCode(unsigned code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, code < 0x100 ? "%02X" : "%04X", code);
    return buf;
}

// Collects mismatches and reports the first few with the total, so that one broken table does
// not flood the output.
class Mismatches {
public:
    void add(const std::string& what) {
        if (count_++ < 8) text_ << "\n  " << what;
    }
    bool empty() const { return count_ == 0; }
    std::string str() const { return std::to_string(count_) + " mismatches:" + text_.str(); }

private:
    int count_ = 0;
    std::ostringstream text_;
};

long lookupValue(const HashConvert& map, const unsigned char* key, int keyLen, int* lenOut) {
    unsigned char v[255];
    int len = 0;
    map.lookup(key, keyLen, v, &len);
    *lenOut = len;
    if (len == 1) return v[0];
    if (len == 2) return v[0] << 8 | v[1];
    return -1;
}

// ---- threads and decode counts (first, while the tables are still cold) --------------------

// Code pages that no other test in this file converts before the thread test runs.
const int kColdCandidates[] = {21025, 20880, 1149, 10082, 51949, 1361, 20905, 875};

TEST(TableThreads, EightThreadsFillOneColdCodePageOnce) {
    int cp = 0;
    for (int c : kColdCandidates) {
        if (TableStore::kindOf(c) != TableStore::kNone && TableStore::buildCount(c, false) == 0 &&
            TableStore::buildCount(c, true) == 0) {
            cp = c;
            break;
        }
    }
    if (cp == 0) GTEST_SKIP() << "every candidate code page was already used in this process";

    const unsigned char input[] = {0xC1, 0xC2, 0xC3, 0x81, 0x82, 0x40, 0xF0, 0xF1};
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::vector<unsigned char>> results(8);
    std::vector<const void*> tables(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::yield();
            EncodingConvert ec;
            DataBuffer out;
            ec.convert(cp, 1200, input, sizeof input, out);
            results[t].assign(out.getData(), out.getData() + out.getSize());
            tables[t] = TableStore::kindOf(cp) == TableStore::kSingleByte
                            ? static_cast<const void*>(TableStore::forwardSingleByte(cp))
                            : static_cast<const void*>(TableStore::forwardDoubleByte(cp));
        });
    }
    while (ready.load() < 8)
        std::this_thread::yield();
    go = true;
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(TableStore::buildCount(cp, false), 1) << "code page " << cp;
    for (int t = 1; t < 8; ++t) {
        EXPECT_EQ(results[t], results[0]) << "thread " << t;
        EXPECT_EQ(tables[t], tables[0]) << "thread " << t;
    }
    EXPECT_NE(tables[0], nullptr);
    EXPECT_FALSE(results[0].empty());
}

TEST(TableDecodeOnce, ConvertingTwiceDecodesOnce) {
    if (TableStore::kindOf(1252) == TableStore::kNone) GTEST_SKIP() << "no data for 1252";
    const unsigned char text[] = {'c', 'a', 'f', 0xE9, 0x80};
    for (int round = 0; round < 2; ++round) {
        EncodingConvert ec;
        DataBuffer out;
        EXPECT_TRUE(ec.convert(1252, 1200, text, sizeof text, out));
        DataBuffer back;
        EXPECT_TRUE(ec.convert(1200, 1252, out.getData(), out.getSize(), back));
    }
    EXPECT_EQ(TableStore::buildCount(1252, false), 1);
    EXPECT_EQ(TableStore::buildCount(1252, true), 1);
}

TEST(TableDecodeOnce, PatchedTableBuildsEachDirectionOnce) {
    if (TableStore::kindOf(10001) == TableStore::kNone) GTEST_SKIP() << "no data for 10001";
    // The forward map of 10001 is made from its reverse map, which is built first.
    ASSERT_NE(TableStore::forwardDoubleByte(10001), nullptr);
    EXPECT_EQ(TableStore::buildCount(10001, true), 1);
    ASSERT_NE(TableStore::reverse(10001), nullptr);
    ASSERT_NE(TableStore::forwardDoubleByte(10001), nullptr);
    EXPECT_EQ(TableStore::buildCount(10001, false), 1);
    EXPECT_EQ(TableStore::buildCount(10001, true), 1);
}

// ---- every code page against its expected mapping ------------------------------------------

class TableData : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        expected_ = tabletest::loadExpected(GetParam());
        ASSERT_EQ(expected_.error, "");
        ASSERT_NE(TableStore::kindOf(GetParam()), TableStore::kNone) << "no table data";
        ASSERT_EQ(TableStore::kindOf(GetParam()),
                  expected_.doubleByte ? TableStore::kDoubleByte : TableStore::kSingleByte);
    }
    Expected expected_;
};

TEST_P(TableData, EveryByteOrPairToUtf16) {
    const int cp = GetParam();
    auto fwd = expected_.forward();
    Mismatches bad;
    if (!expected_.doubleByte) {
        const UnicodeLookup* lookup = TableStore::forwardSingleByte(cp);
        ASSERT_NE(lookup, nullptr);
        EXPECT_EQ(lookup->table[0], 0);
        for (unsigned b = 1; b < 256; ++b) {
            unsigned want = expected_.ascii && b < 0x80 ? b : (fwd.count(b) ? fwd[b] : 0);
            if (lookup->table[b] != want)
                bad.add(hexCode(b) + " gives " + hexCode(lookup->table[b]) + ", expected " +
                        hexCode(want));
        }
    } else {
        const HashConvert* map = TableStore::forwardDoubleByte(cp);
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->asciiPassThrough, expected_.ascii);
        // Single bytes from 0x80, then every pair with a lead byte from 0x80 (the converter reads
        // pairs first, so a pair key shadows its lead byte).
        for (unsigned code = 0x80; code < 0x10000; ++code) {
            if (code >= 0x100 && code < 0x8000) continue;
            unsigned char key[2] = {static_cast<unsigned char>(code >> 8),
                                    static_cast<unsigned char>(code)};
            int keyLen = code < 0x100 ? 1 : 2;
            int len = 0;
            long got = lookupValue(*map, code < 0x100 ? key + 1 : key, keyLen, &len);
            long want = fwd.count(code) ? static_cast<long>(fwd[code]) : -1;
            if (got >= 0) got = (got & 0xFF) << 8 | got >> 8; // values are UTF-16LE
            if (got != want || (want >= 0 && len != 2))
                bad.add(hexCode(code) + " gives " + std::to_string(got) + ", expected " +
                        std::to_string(want));
        }
    }
    EXPECT_TRUE(bad.empty()) << "code page " << cp << ": " << bad.str();
}

TEST_P(TableData, EveryUnitToCodePage) {
    const int cp = GetParam();
    auto rev = expected_.reverse();
    const HashConvert* map = TableStore::reverse(cp);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->asciiPassThrough, expected_.ascii);
    Mismatches bad;
    for (unsigned u = 1; u < 0x10000; ++u) {
        if (expected_.ascii && u < 0x80) continue; // passed through before any lookup
        unsigned char key[2] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8)};
        int len = 0;
        long got = lookupValue(*map, key, 2, &len);
        long want = rev.count(u) ? static_cast<long>(rev[u]) : -1;
        int wantLen = want < 0 ? 0 : (want < 0x100 ? 1 : 2);
        if (got != want || len != wantLen)
            bad.add("U+" + hexCode(u) + " gives " + std::to_string(got) + ", expected " +
                    std::to_string(want));
    }
    EXPECT_TRUE(bad.empty()) << "code page " << cp << ": " << bad.str();
}

// The same mapping through the conversion routes: all mapped codes in one block and back.
TEST_P(TableData, RoundTripThroughConverter) {
    const int cp = GetParam();
    Bytes codes, units, revUnits, revCodes;
    auto putCode = [](Bytes& b, unsigned code) {
        if (code >= 0x100) b.push_back(static_cast<unsigned char>(code >> 8));
        b.push_back(static_cast<unsigned char>(code));
    };
    auto putUnit = [](Bytes& b, unsigned u) {
        b.push_back(static_cast<unsigned char>(u));
        b.push_back(static_cast<unsigned char>(u >> 8));
    };
    // Pairs go in one block; single bytes one at a time, since a single byte followed by another
    // could read as a pair.
    Bytes singles;
    std::vector<unsigned> singleUnits;
    for (const auto& [code, unit] : expected_.forward()) {
        if (expected_.ascii && code < 0x80) continue;
        if (code < 0x100) {
            singles.push_back(static_cast<unsigned char>(code));
            singleUnits.push_back(unit);
            continue;
        }
        putCode(codes, code);
        putUnit(units, unit);
    }
    for (const auto& [unit, code] : expected_.reverse()) {
        if (expected_.ascii && unit < 0x80) continue;
        putUnit(revUnits, unit);
        putCode(revCodes, code);
    }
    EncodingConvert ec;
    for (size_t i = 0; i < singles.size(); ++i) {
        DataBuffer one;
        EXPECT_TRUE(ec.toUtf16(cp, &singles[i], 1, one)) << hexCode(singles[i]);
        Bytes want;
        putUnit(want, singleUnits[i]);
        EXPECT_EQ(Bytes(one.getData(), one.getData() + one.getSize()), want) << hexCode(singles[i]);
    }
    DataBuffer out;
    if (!codes.empty()) {
        EXPECT_TRUE(ec.toUtf16(cp, codes.data(), static_cast<unsigned>(codes.size()), out));
        EXPECT_EQ(Bytes(out.getData(), out.getData() + out.getSize()), units);
    }
    DataBuffer back;
    if (!revUnits.empty()) {
        EXPECT_TRUE(
            ec.fromUtf16(cp, revUnits.data(), static_cast<unsigned>(revUnits.size()), back));
        EXPECT_EQ(Bytes(back.getData(), back.getData() + back.getSize()), revCodes);
    }
    EXPECT_EQ(TableStore::buildCount(cp, false), 1);
    EXPECT_EQ(TableStore::buildCount(cp, true), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, TableData, ::testing::ValuesIn(tabletest::allCodePages()),
                         [](const auto& info) { return "cp" + std::to_string(info.param); });

// ---- sizes of the double-byte tables -------------------------------------------------------

struct CountCase {
    int codePage;
    unsigned singles;
    unsigned doubles;
    unsigned forwardBuckets;
    unsigned reverseBuckets;
    const char* knownGap; // non-null: the current data does not reach these counts
};

class TableCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(TableCounts, EntriesAndBuckets) {
    const CountCase& c = GetParam();
    const HashConvert* fwd = TableStore::forwardDoubleByte(c.codePage);
    const HashConvert* rev = TableStore::reverse(c.codePage);
    ASSERT_NE(fwd, nullptr);
    ASSERT_NE(rev, nullptr);
    EXPECT_EQ(fwd->getBucketCount(), c.forwardBuckets);
    EXPECT_EQ(rev->getBucketCount(), c.reverseBuckets);
    if (c.knownGap) GTEST_SKIP() << c.knownGap;
    EXPECT_EQ(fwd->countEntriesWithKeyLength(1), c.singles);
    EXPECT_EQ(fwd->countEntriesWithKeyLength(2), c.doubles);
    EXPECT_EQ(rev->countEntries(), c.singles + c.doubles);
}

const CountCase kCountCases[] = {
    {932, 70, 9206, 4919, 7669, nullptr},
    {936, 3, 23940, 7649, 7649, nullptr},
    {51936, 3, 23940, 7649, 7649, nullptr},
    {949, 3, 17236, 7669, 7669, nullptr},
    {950, 3, 19710, 7649, 7649, nullptr},
    {51949, 3, 8414, 7669, 7669, nullptr},
    {1361, 16, 17252, 7669, 7669, nullptr},
    {51932, 7, 9269, 4919, 4919,
     "51932 is built from the two-byte part of EUC-JP-MS, which gives fewer entries"},
};

INSTANTIATE_TEST_SUITE_P(Table, TableCounts, ::testing::ValuesIn(kCountCases),
                         [](const auto& info) {
                             return "cp" + std::to_string(info.param.codePage);
                         });

TEST(TableCounts, MacJapaneseMirrorsItsReverseTable) {
    const HashConvert* fwd = TableStore::forwardDoubleByte(10001);
    const HashConvert* rev = TableStore::reverse(10001);
    ASSERT_NE(fwd, nullptr);
    ASSERT_NE(rev, nullptr);
    EXPECT_EQ(fwd->getBucketCount(), 4919u);
    EXPECT_EQ(rev->getBucketCount(), 4919u);
    EXPECT_EQ(fwd->countEntries(), rev->countEntries());
    EXPECT_TRUE(fwd->asciiPassThrough);
}

// ---- fresh builds match the slots ------------------------------------------------------------

TEST(TableBuild, FreshBuildsEqualTheStoredTables) {
    for (int cp : {1252, 37, 932, 10001}) {
        SCOPED_TRACE(cp);
        if (TableStore::kindOf(cp) == TableStore::kSingleByte) {
            UnicodeLookup* fresh = TableStore::buildForwardSingleByte(cp);
            ASSERT_NE(fresh, nullptr);
            const UnicodeLookup* stored = TableStore::forwardSingleByte(cp);
            ASSERT_NE(stored, nullptr);
            for (int b = 0; b < 256; ++b)
                EXPECT_EQ(fresh->table[b], stored->table[b]) << b;
            qxDelete(fresh);
            EXPECT_EQ(TableStore::buildMap(cp, false), nullptr);
        } else {
            HashConvert* fresh = TableStore::buildMap(cp, false);
            ASSERT_NE(fresh, nullptr);
            EXPECT_EQ(fresh->countEntries(), TableStore::forwardDoubleByte(cp)->countEntries());
            qxDelete(fresh);
        }
        HashConvert* rev = TableStore::buildMap(cp, true);
        ASSERT_NE(rev, nullptr);
        EXPECT_EQ(rev->countEntries(), TableStore::reverse(cp)->countEntries());
        qxDelete(rev);
    }
}

} // namespace
