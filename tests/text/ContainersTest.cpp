// The list and the hash map.
#include "platform/Memory.h"
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

// removeValue drops the last item that holds the value (nothing when none does) and leaves the
// links whole both ways. (The bucket chains of HashMap below put append and removal through
// many more orders.)
TEST(QX_ListTest, RemoveValueSearchesFromTheLastItem) {
    int v[4];
    QX_List list;
    // The values from the first item on, then from the last item back, as indexes into v.
    auto walk = [&] {
        Str s;
        for (QX_ListItem* it = list.getFirst(); it; it = it->getNext())
            s += static_cast<char>('0' + (static_cast<int*>(it->getValue()) - v));
        for (QX_ListItem* it = list.getLast(); it; it = it->getPrev())
            s += static_cast<char>('0' + (static_cast<int*>(it->getValue()) - v));
        return s + "|" + std::to_string(list.getCount());
    };
    for (int i : {0, 1, 0, 2})
        list.append(&v[i]);
    list.appendItem(nullptr);
    for (int i : {3, 2, 0}) // absent, the last item, the later of two inside the list
        list.removeValue(&v[i]);
    EXPECT_EQ(walk(), "0110|2");
    list.removeValue(&v[0]); // the first item
    EXPECT_TRUE(walk() == "11|1" && list.getFirst()->isSameValue(QX_ListItem(&v[1])));
    list.removeAll();
    EXPECT_EQ(walk(), "|0");
}

// Past eight entries a bucket the map also keeps a table from a key's hash to its entry; every
// answer must still be the one the chains give. Random inserts, replacements (the old value is
// deleted, unless it is the same pointer), deletes and lookups against std::map, on keys that
// differ in case or by a prefix only, with bucket counts that do and do not reach the table (one
// bucket: only the byte comparison tells keys apart); a key holding a NUL byte turns the table
// off, after which the map goes on as before, and a cleared map starts again.
TEST(HashMapTest, LargeMapsAgreeWithAPlainMap) {
    for (unsigned buckets : {1u, 3u, 64u, 4000u}) {
        SCOPED_TRACE(buckets);
        int deaths = 0, made = 0;
        HashMap map(buckets);
        std::map<Str, int> model;
        std::mt19937 rng(buckets);
        auto check = [&](const Str& k) {
            auto* t = static_cast<const Tracked*>(map.hashLookup(key(k)));
            auto it = model.find(k);
            EXPECT_EQ(t ? t->value : -1, it == model.end() ? -1 : it->second) << k;
        };
        for (int step = 0; step < 30000; ++step) {
            const Str k = (rng() % 2 ? "k" : "K") + std::to_string(rng() % 2000);
            const unsigned op = rng() % 5; // insert twice as often as anything else
            if (op < 2) {
                if (map.hashInsert(key(k), qxNew<Tracked>(&deaths, step))) model[k] = step;
                ++made;
            } else if (op == 2) {
                map.hashDelete(key(k));
                model.erase(k);
            } else if (QuenlixObject* held = op == 3 ? map.hashLookup(key(k)) : nullptr) {
                EXPECT_TRUE(map.hashInsert(key(k), held));
            } else if (op == 4) {
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
        for (int i = 0; i < 2000; ++i) {
            check("k" + std::to_string(i));
            check("K" + std::to_string(i));
        }
        map.hashClear();
        EXPECT_TRUE(deaths == made && map.getCount() == 0 && !map.hashLookup(key("k1")));
        EXPECT_TRUE(map.hashInsert(key("k1"), qxNew<Tracked>(&deaths)) &&
                    map.hashLookup(key("k1")));
    }
}

} // namespace
