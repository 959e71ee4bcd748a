// The table store when memory runs out while a table is built. The cases need slots that no
// earlier test of the process has filled, so ctest runs this suite in a process of its own
// (qx_table_store_faults); in a process whose slots are warm a case skips.
#ifdef QX_FAULT_INJECTION
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/FaultInjection.h"
#include "platform/Memory.h"

#include "encoding/EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace enctest;

enum Slot { kForwardSingle, kForwardDouble, kReverse };

// The slot's table, filling the slot when it is empty.
const void* fillSlot(int cp, Slot slot) {
    return slot == kForwardSingle ? static_cast<const void*>(TableStore::forwardSingleByte(cp))
           : slot == kReverse     ? TableStore::reverse(cp)
                                  : TableStore::forwardDoubleByte(cp);
}

// Whether a slot's table is whole: the same as one built apart from the store (an allocation
// that failed while a map was filled would leave it short of entries).
bool whole(int cp, Slot slot, const void* got) {
    if (!got) return false;
    if (slot == kForwardSingle) {
        UnicodeLookup* ref = TableStore::buildForwardSingleByte(cp);
        const bool same =
            ref && std::memcmp(ref->table, static_cast<const UnicodeLookup*>(got)->table,
                               sizeof ref->table) == 0;
        qxDelete(ref);
        return same;
    }
    HashConvert* ref = TableStore::buildMap(cp, slot == kReverse);
    const HashConvert& map = *static_cast<const HashConvert*>(got);
    const bool same = ref && ref->countEntries() == map.countEntries() &&
                      ref->asciiPassThrough == map.asciiPassThrough;
    qxDelete(ref);
    return same;
}

// Whichever allocation of a slot's first fill fails, the slot gives no table, never a partial
// one, and the next use builds it again. Single-byte tables take about 260 allocations and are
// swept whole; double-byte ones take about one per bucket (some thousands), so failure points
// spread over the build, the last ones near its end.
TEST(TableStoreFaults, FailedBuildGivesNoTableAndIsRetried) {
    const struct {
        int cp;
        Slot slot;
        std::vector<long> failing; // empty: every allocation in turn
    } cases[] = {
        {10082, kForwardSingle, {}},
        {20880, kReverse, {}},
        {1361, kForwardDouble, {0, 1, 2, 3, 4, 4500, 9040}},
        {51949, kReverse, {0, 3, 3000, 6020}},
        {10001, kForwardDouble, {0, 2, 5000, 9300}}, // built from the patched reverse map
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cp);
        if (TableStore::buildCount(c.cp, c.slot == kReverse) != 0)
            GTEST_SKIP() << "slots already filled in this process; run qx_table_store_faults";
        int failedBuilds = 0;
        const long last = c.failing.empty() ? 1000 : static_cast<long>(c.failing.size());
        for (long i = 0; i < last; ++i) {
            const long n = c.failing.empty() ? i : c.failing[static_cast<size_t>(i)];
            FaultInjection::failAllocationAfter = n;
            const void* got = fillSlot(c.cp, c.slot);
            const bool hit = FaultInjection::failAllocationAfter.load() < 0;
            FaultInjection::reset();
            if (!hit) {
                ASSERT_TRUE(c.failing.empty()) << "allocation " << n << " lies beyond the build";
                EXPECT_TRUE(whole(c.cp, c.slot, got));
                break;
            }
            ASSERT_EQ(got, nullptr) << "allocation " << n; // never a partial table
            ++failedBuilds;
        }
        EXPECT_TRUE(failedBuilds > 0 && failedBuilds < 1000);
        EXPECT_TRUE(whole(c.cp, c.slot, fillSlot(c.cp, c.slot)));
        EXPECT_EQ(TableStore::buildCount(c.cp, c.slot == kReverse), failedBuilds + 1);
    }
}

// A conversion that meets a cold code page without memory for its table behaves as for a code
// page without a table (false, nothing appended); once memory is back the table is built.
TEST(TableStoreFaults, ConversionWithoutMemoryForTheTable) {
    const struct {
        int from, to, tableCp;
        const char *in, *out;
    } cases[] = {
        {10079, 1200, 10079, "61A0", "6100DD00"}, // Mac Icelandic A0 is U+00DD
        {1200, 10081, 10081, "6100E900", "618E"}, // U+00E9 in Mac Turkish is 8E
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tableCp);
        const bool reverse = c.to == c.tableCp;
        if (TableStore::buildCount(c.tableCp, reverse) != 0)
            GTEST_SKIP() << "slots already filled in this process; run qx_table_store_faults";
        for (bool failing : {true, false}) {
            DataBuffer out;
            ASSERT_TRUE(out.ensureBuffer(64)); // the conversion itself needs nothing more
            const Bytes in = hex(c.in);
            FaultInjection::failAllocationAfter = failing ? 0 : -1;
            const bool ok = EncodingConvert().convert(c.from, c.to, in.data(),
                                                      static_cast<unsigned>(in.size()), out);
            FaultInjection::reset();
            EXPECT_EQ(show(bytesOf(out)) + (ok ? " true" : " false"),
                      show(failing ? Bytes() : hex(c.out)) + (failing ? " false" : " true"));
        }
        EXPECT_EQ(TableStore::buildCount(c.tableCp, reverse), 2);
    }
}

} // namespace
#endif
