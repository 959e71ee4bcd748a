// Object base, arrays, list and hash map.
#include "platform/Memory.h"
#include "text/ExtIntArray.h"
#include "text/ExtPtrArray.h"
#include "text/HashMap.h"
#include "text/QX_List.h"
#include "text/QuenlixInt.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace {

using Str = std::string;

// Counts its own destructions, so that tests see which container deleted what.
struct Tracked : QuenlixObject {
    Tracked(int* deaths, int value = 0) : deaths(deaths), value(value) {}
    ~Tracked() override { ++*deaths; }
    int* deaths;
    int value;
};

StringBuffer key(const Str& s) {
    return StringBuffer(s.c_str());
}

TEST(ArraysTest, RemovalOwnershipAndPadding) {
    int deaths = 0;
    Tracked* v[4];
    ExtPtrArray arr, held; // an array never owns its elements
    for (Tracked*& p : v) {
        arr.appendPtr(p = qxNew<Tracked>(&deaths));
        held.appendPtr(p);
    }
    held.removeAllNoDelete();
    EXPECT_TRUE(!arr.removeAt(-1) && !arr.removeAt(4) && deaths == 0);
    EXPECT_TRUE(arr.removeAt(3) == v[3] && arr.removeAt(0) == v[0] && arr.elementAt(0) == v[1]);
    EXPECT_EQ(arr.pop(), v[2]);
    arr.appendPtr(nullptr);
    arr.appendPtr(v[0]);
    arr.removeAllObjects(); // deletes v[1] and v[0], skips the null slot
    EXPECT_TRUE(deaths == 2 && arr.getSize() == 0 && !arr.pop());
    qxDelete(v[2]);
    qxDelete(v[3]);
    ExtIntArray ints; // setAt pads with zeros; every value survives the growth steps
    ints.setAt(5, 7);
    ints.setAt(-1, 9);
    ASSERT_EQ(ints.getSize(), 6);
    for (int i = -1; i < 3000; ++i)
        if (i > 5) ints.append(i);
    for (int i = -1; i < 3000; ++i)
        ASSERT_EQ(ints.elementAt(i), i == 5 ? 7 : i > 5 ? i : 0) << i;
}

TEST(QX_ListTest, LinksStayConsistentWhateverIsRemoved) {
    int v[5];
    // The values from the first item on, then from the last item back, as indexes into v.
    auto walk = [&](const QX_List& list) {
        Str s;
        for (QX_ListItem* it = list.getFirst(); it; it = it->getNext())
            s += static_cast<char>('0' + (static_cast<int*>(it->getValue()) - v));
        s += '|';
        for (QX_ListItem* it = list.getLast(); it; it = it->getPrev())
            s += static_cast<char>('0' + (static_cast<int*>(it->getValue()) - v));
        return s + std::to_string(list.getCount());
    };
    for (int victim = 0; victim < 5; ++victim) {
        QX_List list;
        for (int i = 0; i < 4; ++i)
            list.append(&v[i]);
        list.appendItem(nullptr);
        list.removeValue(&v[victim]); // 4: absent, nothing happens
        Str rest = "0123";
        rest.erase(victim, 1);
        EXPECT_EQ(walk(list),
                  rest + "|" + Str(rest.rbegin(), rest.rend()) + std::to_string(rest.size()));
    }
    QX_List list; // removeValue searches from the last item
    for (int i : {0, 1, 0})
        list.append(&v[i]);
    list.removeValue(&v[0]);
    EXPECT_EQ(walk(list), "01|102");
    EXPECT_TRUE(list.getFirst()->isSameValue(QX_ListItem(&v[0])));
    list.removeAll();
    EXPECT_EQ(walk(list), "|0");
}

// Replacing a value deletes the old one unless it is the same pointer; keys compare byte for byte.
TEST(HashMapTest, ReplaceAndExactKeys) {
    int deaths = 0;
    HashMap map(1); // one chain: only the byte comparison tells keys apart
    Tracked* first = qxNew<Tracked>(&deaths);
    EXPECT_TRUE(map.hashInsert(key("Age"), first) && map.hashInsert(key("Age"), first));
    EXPECT_EQ(deaths, 0);
    EXPECT_TRUE(map.hashInsert(key("Age"), qxNew<Tracked>(&deaths)));
    EXPECT_TRUE(deaths == 1 && map.getCount() == 1 && map.bucketSize(0) == 1);
    for (const char* k : {"age", "AGE", "Age ", " Age", "", "Ag"})
        EXPECT_EQ(map.hashLookup(key(k)), nullptr) << k;
    map.hashClear();
    EXPECT_TRUE(deaths == 2 && !map.hashLookup(key("Age")) && map.bucketSize(1) == 0);
}

// Past eight entries a bucket the map also keeps a table from a key's hash to its entry; every
// answer must still be the one the chains give. Random inserts, replacements, deletes and lookups
// against std::map, with bucket counts that do and do not reach the table; a key holding a NUL
// byte turns the table off, after which the map goes on as before.
TEST(HashMapTest, LargeMapsAgreeWithAPlainMap) {
    for (unsigned buckets : {1u, 3u, 64u, 4000u}) {
        SCOPED_TRACE(buckets);
        int deaths = 0, made = 0;
        {
            HashMap map(buckets);
            std::map<Str, int> model;
            std::mt19937 rng(buckets);
            auto check = [&](const Str& k) {
                auto* t = static_cast<const Tracked*>(map.hashLookup(key(k)));
                auto it = model.find(k);
                EXPECT_EQ(t ? t->value : -1, it == model.end() ? -1 : it->second) << k;
            };
            for (int step = 0; step < 30000; ++step) {
                const Str k = "k" + std::to_string(rng() % 4000);
                switch (rng() % 4) {
                case 0:
                case 1:
                    if (map.hashInsert(key(k), qxNew<Tracked>(&deaths, step))) model[k] = step;
                    ++made;
                    break;
                case 2:
                    map.hashDelete(key(k));
                    model.erase(k);
                    break;
                default:
                    check(k);
                }
                if (step == 20000) { // x NUL y: found by its whole bytes only
                    StringBuffer nul("x");
                    nul.appendChar(0);
                    nul.append("y");
                    ASSERT_TRUE(map.hashInsert(nul, qxNew<Tracked>(&deaths, -7)));
                    ++made;
                    EXPECT_NE(map.hashLookup(nul), nullptr);
                    map.hashDelete(nul);
                }
            }
            int inBuckets = 0;
            for (unsigned b = 0; b <= buckets; ++b)
                inBuckets += map.bucketSize(b);
            EXPECT_TRUE(inBuckets == map.getCount() && map.getCount() == int(model.size()));
            EXPECT_GT(map.bucketSize(map.bucketOf(key(model.begin()->first))), 0);
            for (int i = 0; i < 4000; ++i)
                check("k" + std::to_string(i));
        }
        EXPECT_EQ(deaths, made);
    }
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
        EXPECT_EQ(map.hashLookup(column), owned ? value : nullptr) << failing;
        if (!owned) qxDelete(value);
        EXPECT_EQ(deaths, owned ? 0 : 1) << failing;
    }
}

} // namespace
#endif
