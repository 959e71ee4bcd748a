// The table store when memory runs out while a table is built. The cases need slots that no
// earlier test of the same process has filled, so ctest runs this suite in a process of its own
// (the qx_table_store_faults entry) and leaves it out of the main run; run inside a process whose
// slots are already warm, a case skips instead of testing nothing.
#ifdef QX_FAULT_INJECTION
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/FaultInjection.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Every 1- and 2-byte key gives the same value in both maps.
bool sameMap(const HashConvert& a, const HashConvert& b) {
    if (a.countEntries() != b.countEntries() || a.asciiPassThrough != b.asciiPassThrough)
        return false;
    unsigned char va[255], vb[255];
    for (unsigned k = 0; k < 65536 + 256; ++k) {
        const unsigned char key[2] = {static_cast<unsigned char>(k & 0xFF),
                                      static_cast<unsigned char>(k >> 8)};
        const int len = k < 65536 ? 2 : 1;
        int la = 0, lb = 0;
        a.lookup(key, len, va, &la);
        b.lookup(key, len, vb, &lb);
        if (la != lb || std::memcmp(va, vb, static_cast<size_t>(la)) != 0) return false;
    }
    return true;
}

enum Slot { kForwardSingle, kForwardDouble, kReverse };

// The slot's table, filling the slot when it is empty.
const void* fill(int cp, Slot slot) {
    if (slot == kForwardSingle) return TableStore::forwardSingleByte(cp);
    if (slot == kReverse) return TableStore::reverse(cp);
    return TableStore::forwardDoubleByte(cp);
}

// A slot's table compared with one built apart from the store: "null", "whole" or "partial".
std::string stateOf(int cp, Slot slot, const void* got) {
    if (!got) return "null";
    bool same = false;
    if (slot == kForwardSingle) {
        UnicodeLookup* ref = TableStore::buildForwardSingleByte(cp);
        same = ref && std::memcmp(ref->table, static_cast<const UnicodeLookup*>(got)->table,
                                  sizeof ref->table) == 0;
        qxDelete(ref);
    } else {
        HashConvert* ref = TableStore::buildMap(cp, slot == kReverse);
        same = ref && sameMap(*ref, *static_cast<const HashConvert*>(got));
        qxDelete(ref);
    }
    return same ? "whole" : "partial";
}

// Whichever allocation of a slot's first fill fails, the slot gives no table, never a partial
// one, and the next use builds it again. Single-byte tables are built with about 260 allocations
// and are swept completely (bounded at 1000); the double-byte ones take one per entry (up to
// 17000), so a few failure points spread over the build are tried.
TEST(TableStoreFaults, FailedBuildGivesNoTableAndIsRetried) {
    struct Case {
        int cp;
        Slot slot;
        std::vector<long> failing; // empty: every allocation in turn
    };
    const Case cases[] = {
        {10082, kForwardSingle, {}},
        {20880, kReverse, {}},
        {1361, kForwardDouble, {0, 1, 2, 3, 4, 9000, 17200}},
        {51949, kReverse, {0, 3, 4000, 8400}},
        // Its forward map mirrors the patched reverse map, which it builds first.
        {10001, kForwardDouble, {0, 2, 5000, 9300, 9400}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        const bool reverse = c.slot == kReverse;
        if (TableStore::buildCount(c.cp, reverse) != 0)
            GTEST_SKIP() << "slots already filled in this process; run qx_table_store_faults";
        int failedBuilds = 0;
        const long last = c.failing.empty() ? 1000 : static_cast<long>(c.failing.size());
        for (long i = 0; i < last; ++i) {
            const long n = c.failing.empty() ? i : c.failing[static_cast<size_t>(i)];
            FaultInjection::failAllocationAfter = n;
            const void* got = fill(c.cp, c.slot);
            const bool hit = FaultInjection::failAllocationAfter.load() < 0;
            FaultInjection::reset();
            const std::string state = stateOf(c.cp, c.slot, got);
            if (!hit) {
                ASSERT_TRUE(c.failing.empty()) << "allocation " << n << " lies beyond the build";
                EXPECT_EQ(state, "whole");
                break;
            }
            ASSERT_EQ(state, "null") << "allocation " << n;
            ++failedBuilds;
        }
        if (c.failing.empty()) {
            EXPECT_LT(failedBuilds, last) << "the sweep did not reach a build without failures";
        }
        EXPECT_GT(failedBuilds, 0);
        EXPECT_EQ(stateOf(c.cp, c.slot, fill(c.cp, c.slot)), "whole");
        EXPECT_EQ(TableStore::buildCount(c.cp, reverse), failedBuilds + 1);
    }
}

// A conversion that meets a cold code page without memory for its table behaves as for a code
// page without a table (false, nothing appended); once memory is back the table is built.
TEST(TableStoreFaults, ConversionWithoutMemoryForTheTable) {
    struct Case {
        int from, to, tableCp;
        bool reverse;
        std::vector<unsigned char> in, out;
    };
    const Case cases[] = {
        // Mac Icelandic 0xA0 is U+00DD.
        {10079, 1200, 10079, false, {'a', 0xA0}, {'a', 0, 0xDD, 0}},
        // U+00E9 in Mac Turkish is 0x8E.
        {1200, 10081, 10081, true, {'a', 0, 0xE9, 0}, {'a', 0x8E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tableCp);
        if (TableStore::buildCount(c.tableCp, c.reverse) != 0)
            GTEST_SKIP() << "slots already filled in this process; run qx_table_store_faults";
        for (bool failing : {true, false}) {
            DataBuffer out;
            ASSERT_TRUE(out.ensureBuffer(64)); // the conversion itself needs nothing more
            FaultInjection::failAllocationAfter = failing ? 0 : -1;
            const bool ok = EncodingConvert().convert(c.from, c.to, c.in.data(),
                                                      static_cast<unsigned>(c.in.size()), out);
            FaultInjection::reset();
            const std::vector<unsigned char> got(out.getData(), out.getData() + out.getSize());
            EXPECT_EQ(ok, !failing);
            EXPECT_EQ(got, failing ? std::vector<unsigned char>() : c.out);
        }
        EXPECT_EQ(TableStore::buildCount(c.tableCp, c.reverse), 2);
    }
}

} // namespace
#endif
