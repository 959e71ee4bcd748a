// Object base, arrays, list and hash map.
#include "platform/Memory.h"
#include "text/ExtIntArray.h"
#include "text/ExtPtrArray.h"
#include "text/HashMap.h"
#include "text/QX_List.h"
#include "text/QuenlixInt.h"
#include "text/StringBuffer.h"
#include "util/Md5.h"
#include "util/ZipCRC.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts its own destructions, so that tests see which container deleted what.
struct Tracked : QuenlixObject {
    explicit Tracked(int* deaths) : deaths(deaths) {}
    ~Tracked() override { ++*deaths; }
    int* deaths;
};

TEST(QuenlixObjectSerial, ConsecutiveObjectsDifferByOne) {
    QuenlixInt a(1);
    QuenlixInt b(2);
    EXPECT_EQ(b.serial() - a.serial(), 1);
}

TEST(ExtPtrArrayTest, GrowsFromFiveSlotsByDoubling) {
    ExtPtrArray arr;
    EXPECT_EQ(arr.getCapacity(), 0);
    EXPECT_EQ(arr.elementAt(0), nullptr);
    EXPECT_EQ(arr.lastElement(), nullptr);
    QuenlixInt values[41];
    const struct {
        int appended;
        int capacity;
        int step;
    } cases[] = {{1, 5, 5}, {5, 5, 5}, {6, 10, 10}, {11, 20, 20}, {21, 40, 40}, {41, 80, 80}};
    int n = 0;
    for (const auto& c : cases) {
        while (n < c.appended)
            ASSERT_TRUE(arr.appendPtr(&values[n++]));
        EXPECT_EQ(arr.getCapacity(), c.capacity) << c.appended << " appended";
        EXPECT_EQ(arr.getGrowthStep(), c.step) << c.appended << " appended";
    }
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(arr.elementAt(i), &values[i]);
    arr.removeAllNoDelete();
}

TEST(ExtPtrArrayTest, RemoveAtAndPop) {
    QuenlixInt v[4];
    ExtPtrArray arr;
    for (auto& x : v)
        arr.appendPtr(&x);
    EXPECT_EQ(arr.removeAt(-1), nullptr);
    EXPECT_EQ(arr.removeAt(4), nullptr);
    EXPECT_EQ(arr.getSize(), 4);
    EXPECT_EQ(arr.removeAt(3), &v[3]);
    EXPECT_EQ(arr.removeAt(0), &v[0]);
    ASSERT_EQ(arr.getSize(), 2);
    EXPECT_EQ(arr.elementAt(0), &v[1]);
    EXPECT_EQ(arr.elementAt(1), &v[2]);
    EXPECT_EQ(arr.pop(), &v[2]);
    EXPECT_EQ(arr.pop(), &v[1]);
    EXPECT_EQ(arr.pop(), nullptr);
}

TEST(ExtPtrArrayTest, OwnershipStaysWithTheCaller) {
    int deaths = 0;
    Tracked* a = qxNew<Tracked>(&deaths);
    Tracked* b = qxNew<Tracked>(&deaths);
    {
        ExtPtrArray arr;
        arr.appendPtr(a);
        arr.appendPtr(b);
        arr.removeAllNoDelete();
        EXPECT_EQ(arr.getSize(), 0);
    }
    EXPECT_EQ(deaths, 0);
    ExtPtrArray arr;
    arr.appendPtr(a);
    arr.appendPtr(nullptr);
    arr.appendPtr(b);
    arr.removeAllObjects();
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(arr.getSize(), 0);
}

TEST(ExtIntArrayTest, SetAtPadsWithZerosAndGrowthRunsFrom80) {
    ExtIntArray arr;
    arr.setAt(5, 7);
    ASSERT_EQ(arr.getSize(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(arr.elementAt(i), 0);
    EXPECT_EQ(arr.elementAt(5), 7);
    EXPECT_EQ(arr.elementAt(6), 0);
    EXPECT_EQ(arr.elementAt(-1), 0);
    arr.setAt(-1, 9);
    EXPECT_EQ(arr.getSize(), 6);

    ExtIntArray grow;
    const int capacities[] = {80, 280, 560, 1120, 2240};
    int n = 0;
    for (int cap : capacities) {
        while (n < cap)
            grow.append(n++);
        EXPECT_EQ(grow.getCapacity(), cap);
    }
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(grow.elementAt(i), i);
}

TEST(QX_ListTest, LinksStayConsistentWhateverIsRemoved) {
    int v[5];
    // Each case removes one value from a list of five and expects the rest in order.
    for (int victim = 0; victim < 5; ++victim) {
        QX_List list;
        for (int& x : v)
            list.append(&x);
        list.appendItem(nullptr);
        ASSERT_EQ(list.getCount(), 5);
        list.removeValue(&v[victim]);
        std::vector<void*> forward, backward;
        for (QX_ListItem* it = list.getFirst(); it; it = it->getNext())
            forward.push_back(it->getValue());
        for (QX_ListItem* it = list.getLast(); it; it = it->getPrev())
            backward.insert(backward.begin(), it->getValue());
        std::vector<void*> expected;
        for (int i = 0; i < 5; ++i)
            if (i != victim) expected.push_back(&v[i]);
        EXPECT_EQ(forward, expected) << "removed " << victim;
        EXPECT_EQ(backward, expected) << "removed " << victim;
        EXPECT_EQ(list.getCount(), 4);
    }
}

TEST(QX_ListTest, RemoveValueTakesTheLastItemHoldingThePointer) {
    int a = 0, b = 0;
    QX_List list;
    list.append(&a);
    list.append(&b);
    list.append(&a);
    list.removeValue(&a);
    ASSERT_EQ(list.getCount(), 2);
    EXPECT_EQ(list.getFirst()->getValue(), &a);
    EXPECT_EQ(list.getLast()->getValue(), &b);
    EXPECT_TRUE(list.getFirst()->isSameValue(QX_ListItem(&a)));
    list.removeValue(&b);
    list.removeValue(&b); // absent: nothing
    list.removeAll();
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getFirst(), nullptr);
    EXPECT_EQ(list.getLast(), nullptr);
}

StringBuffer key(const char* s) {
    return StringBuffer(s);
}

TEST(HashMapTest, BucketCount) {
    EXPECT_EQ(HashMap(0).getBucketCount(), 100u);
    EXPECT_EQ(HashMap(400).getBucketCount(), 400u);
    EXPECT_EQ(HashMap().getBucketCount(), 100u);
}

TEST(HashMapTest, InsertReplaceLookupDelete) {
    int deaths = 0;
    HashMap map(400);
    Tracked* first = qxNew<Tracked>(&deaths);
    Tracked* second = qxNew<Tracked>(&deaths);
    EXPECT_TRUE(map.hashInsert(key("Age"), first));
    EXPECT_TRUE(map.hashInsert(key("Age"), first)); // same pointer: nothing deleted
    EXPECT_EQ(deaths, 0);
    EXPECT_TRUE(map.hashInsert(key("Age"), second));
    EXPECT_EQ(deaths, 1); // the first value went
    EXPECT_EQ(map.getCount(), 1);
    EXPECT_EQ(map.hashLookup(key("Age")), second);

    const char* absent[] = {"age", "AGE", "Age ", " Age", "", "Ag"};
    for (const char* k : absent)
        EXPECT_EQ(map.hashLookup(key(k)), nullptr) << "'" << k << "'";
    // With one bucket every key shares a chain, so only the byte comparison tells them apart.
    HashMap one(1);
    one.hashInsert(key("Age"), qxNew<QuenlixInt>(1));
    for (const char* k : absent)
        EXPECT_EQ(one.hashLookup(key(k)), nullptr) << "'" << k << "'";

    map.hashDelete(key("nothing"));
    EXPECT_EQ(deaths, 1);
    map.hashDelete(key("Age"));
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(map.hashLookup(key("Age")), nullptr);
    EXPECT_EQ(map.getCount(), 0);
}

TEST(HashMapTest, ClearAndDestructionDeleteEveryValue) {
    int deaths = 0;
    {
        HashMap map(7);
        for (int i = 0; i < 50; ++i)
            map.hashInsert(key(("k" + std::to_string(i)).c_str()), qxNew<Tracked>(&deaths));
        map.hashClear();
        EXPECT_EQ(deaths, 50);
        EXPECT_EQ(map.getCount(), 0);
        EXPECT_EQ(map.getBucketCount(), 7u);
        for (int i = 0; i < 30; ++i)
            map.hashInsert(key(("k" + std::to_string(i)).c_str()), qxNew<Tracked>(&deaths));
        EXPECT_EQ(map.getCount(), 30);
    }
    EXPECT_EQ(deaths, 80);
}

// The bucket of a key is the CRC-32 of its MD5 digest modulo the bucket count, whatever the map
// has held before; with few buckets every chain holds many keys and must still tell them apart.
TEST(HashMapTest, BucketDependsOnlyOnTheKeyAndChainsHoldManyKeys) {
    HashMap a(3), b(3);
    for (int i = 0; i < 500; ++i)
        b.hashInsert(key(std::to_string(i).c_str()), qxNew<QuenlixInt>(i));
    for (int i = 0; i < 500; ++i)
        b.hashDelete(key(std::to_string(i * 7).c_str()));
    const char* keys[] = {"Name", "Age", "", "a,b", "\xC3\xA9t\xC3\xA9"};
    for (const char* k : keys) {
        unsigned char digest[16];
        Md5().digestString(key(k), digest);
        const unsigned expected = ZipCRC().crc32(digest, 16) % 3;
        EXPECT_EQ(a.bucketOf(key(k)), expected) << k;
        EXPECT_EQ(b.bucketOf(key(k)), expected) << k;
    }
    int found = 0;
    for (int i = 0; i < 500; ++i) {
        const QuenlixInt* v =
            static_cast<const QuenlixInt*>(b.hashLookup(key(std::to_string(i).c_str())));
        if (i % 7 == 0 && i / 7 < 500) {
            EXPECT_EQ(v, nullptr) << i;
        } else {
            ASSERT_NE(v, nullptr) << i;
            EXPECT_EQ(v->value, i);
            ++found;
        }
    }
    EXPECT_EQ(b.getCount(), found);
    EXPECT_EQ(b.bucketSize(0) + b.bucketSize(1) + b.bucketSize(2), found);
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

namespace {

// Whichever allocation of an insert fails, the map stays as it was and the value stays the
// caller's (the ASan build catches a double delete or a leak).
TEST(HashMapFaults, FailedInsertLeavesTheValueWithTheCaller) {
    for (long failing = 0; failing < 6; ++failing) {
        int deaths = 0;
        HashMap map(5);
        Tracked* value = qxNew<Tracked>(&deaths);
        const StringBuffer column("column");
        FaultInjection::failAllocationAfter = failing;
        const bool owned = map.hashInsert(column, value);
        FaultInjection::reset();
        EXPECT_EQ(map.getCount(), owned ? 1 : 0) << failing;
        EXPECT_EQ(map.hashLookup(key("column")), owned ? value : nullptr) << failing;
        if (!owned) qxDelete(value);
        EXPECT_EQ(deaths, owned ? 0 : 1) << failing;
    }
}

} // namespace
#endif
