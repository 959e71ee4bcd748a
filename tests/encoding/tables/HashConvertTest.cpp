#include "encoding/tables/HashConvert.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Str = std::string; // byte strings, so that test cases read as literals

const unsigned char* u(const Str& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The value found for key, or "<none>".
Str find(const HashConvert& map, const Str& key) {
    unsigned char value[255];
    int len = -1;
    map.lookup(u(key), static_cast<int>(key.size()), value, &len);
    if (len == 0) return "<none>";
    return Str(reinterpret_cast<char*>(value), static_cast<size_t>(len));
}

void put(HashConvert& map, const Str& key, const Str& value) {
    map.insert(u(key), static_cast<int>(key.size()), u(value), static_cast<int>(value.size()));
}

struct Op {
    char kind; // 'i' insert, 'r' remove
    Str key;
    Str value;
};

struct LookupCase {
    const char* name;
    unsigned buckets;
    std::vector<Op> ops;
    std::vector<std::pair<Str, Str>> expect; // key, value or "<none>"
    unsigned entries;
};

class HashConvertLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(HashConvertLookup, FindsWhatWasInserted) {
    const LookupCase& c = GetParam();
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(c.buckets));
    for (const Op& op : c.ops) {
        if (op.kind == 'i')
            put(map, op.key, op.value);
        else
            map.remove(u(op.key), static_cast<int>(op.key.size()));
    }
    for (auto& e : c.expect)
        EXPECT_EQ(find(map, e.first), e.second) << "key " << e.first;
    EXPECT_EQ(map.countEntries(), c.entries);
}

// Keys 'A' (65) and 'A'+7 ('H') share bucket 2 of 7; "A" and "A\0" hash alike but differ.
const LookupCase kLookupCases[] = {
    {"EmptyMap", 7, {}, {{"A", "<none>"}}, 0},
    {"OneEntry", 7, {{'i', "A", "x"}}, {{"A", "x"}, {"B", "<none>"}}, 1},
    {"FirstOfTwoWins", 7, {{'i', "A", "x"}, {'i', "A", "y"}}, {{"A", "x"}}, 2},
    {"RemoveDropsEveryCopy",
     7,
     {{'i', "A", "x"}, {'i', "A", "y"}, {'r', "A", ""}},
     {{"A", "<none>"}},
     0},
    {"RemoveKeepsBucketNeighbours",
     7,
     {{'i', "A", "x"}, {'i', "H", "h"}, {'i', "A", "y"}, {'r', "A", ""}},
     {{"A", "<none>"}, {"H", "h"}},
     1},
    {"ReinsertAfterRemove", 7, {{'i', "A", "x"}, {'r', "A", ""}, {'i', "A", "z"}}, {{"A", "z"}}, 1},
    {"RemoveAbsentKeyChangesNothing", 7, {{'i', "A", "x"}, {'r', "H", ""}}, {{"A", "x"}}, 1},
    {"KeyLengthMatters",
     7,
     {{'i', Str("A\0", 2), "two"}, {'i', "A", "one"}},
     {{"A", "one"}, {Str("A\0", 2), "two"}, {Str("A\0\0", 3), "<none>"}},
     2},
    {"PrefixIsNotAMatch", 7, {{'i', "AB", "v"}}, {{"A", "<none>"}, {"ABC", "<none>"}}, 1},
    {"LongKeysHashOnFirstFour",
     3,
     {{'i', "ABCDE", "1"}, {'i', "ABCDF", "2"}},
     {{"ABCDE", "1"}, {"ABCDF", "2"}},
     2},
    {"ValuesOfDifferentLengths",
     1,
     {{'i', "\x01", "\xA0"}, {'i', "\x02", "\x81\x40"}, {'i', "\x03", "abc"}},
     {{"\x01", "\xA0"}, {"\x02", "\x81\x40"}, {"\x03", "abc"}},
     3},
    {"HighBytesInKey",
     269,
     {{'i', "\xFF\xFF", "a"}, {'i', "\xAC\x20", "b"}},
     {{"\xFF\xFF", "a"}, {"\xAC\x20", "b"}, {"\x20\xAC", "<none>"}},
     2},
};

INSTANTIATE_TEST_SUITE_P(HashConvert, HashConvertLookup, ::testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HashConvertEdge, NoBucketsMeansNothingStored) {
    HashConvert map;
    put(map, "A", "x"); // ignored: initBuckets was never called
    EXPECT_EQ(find(map, "A"), "<none>");
    EXPECT_EQ(map.countEntries(), 0u);
}

TEST(HashConvertEdge, InitBucketsEmptiesTheMap) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(11));
    put(map, "A", "x");
    ASSERT_TRUE(map.initBuckets(13));
    EXPECT_EQ(map.getBucketCount(), 13u);
    EXPECT_EQ(find(map, "A"), "<none>");
    EXPECT_EQ(map.countEntries(), 0u);
}

TEST(HashConvertEdge, RejectsEmptyAndOversizedKeysAndValues) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(5));
    Str big(256, 'k');
    map.insert(u("A"), 0, u("x"), 1);
    map.insert(u(big), 256, u("x"), 1);
    map.insert(u("A"), 1, u("x"), 0);
    map.insert(u("A"), 1, u(big), 256);
    EXPECT_EQ(map.countEntries(), 0u);
    Str longest(255, 'v');
    put(map, Str(255, 'k'), longest);
    EXPECT_EQ(find(map, Str(255, 'k')), longest);
}

TEST(HashConvertReverse, SwapsKeysAndValuesBucketByBucket) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(3));
    // Bucket of a 1-byte key is its value mod 3: 'C'(67)->1, 'A'(65)->2, 'D'(68)->2.
    put(map, "A", "v1");
    put(map, "C", "v2");
    put(map, "D", "v1"); // same value as "A": reverse keeps both, A first (same bucket, earlier)
    HashConvert rev;
    ASSERT_TRUE(rev.initBuckets(5));
    map.buildReverse(rev);
    EXPECT_EQ(rev.countEntries(), 3u);
    EXPECT_EQ(find(rev, "v2"), "C");
    EXPECT_EQ(find(rev, "v1"), "A");
    rev.remove(u("v1"), 2);
    EXPECT_EQ(find(rev, "v1"), "<none>");
}

TEST(HashConvertReverse, OrderFollowsBucketsNotInsertion) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(3));
    put(map, "A", "same"); // bucket 2
    put(map, "C", "same"); // bucket 1: visited first, so it is the first entry of the reverse
    HashConvert rev;
    ASSERT_TRUE(rev.initBuckets(7));
    map.buildReverse(rev);
    EXPECT_EQ(find(rev, "same"), "C");
}

// Random operations checked against a plain list of (key, value) pairs searched front to back.
TEST(HashConvertModel, AgreesWithLinearListUnderRandomOperations) {
    std::mt19937 rng(12345);
    for (unsigned buckets : {1u, 7u, 269u, 4919u}) {
        HashConvert map;
        ASSERT_TRUE(map.initBuckets(buckets));
        std::vector<std::pair<Str, Str>> model;
        auto randomKey = [&] {
            Str k(1 + rng() % 3, '\0');
            for (char& ch : k)
                ch = static_cast<char>(rng() % 6); // few keys: many repeats
            return k;
        };
        for (int step = 0; step < 3000; ++step) {
            Str key = randomKey();
            if (rng() % 4 == 0) {
                map.remove(u(key), static_cast<int>(key.size()));
                std::vector<std::pair<Str, Str>> kept;
                for (auto& e : model)
                    if (e.first != key) kept.push_back(e);
                model.swap(kept);
            } else {
                Str value = std::to_string(step);
                put(map, key, value);
                model.emplace_back(key, value);
            }
        }
        ASSERT_EQ(map.countEntries(), model.size()) << "buckets " << buckets;
        for (int probe = 0; probe < 500; ++probe) {
            Str key = randomKey();
            Str want = "<none>";
            for (auto& e : model)
                if (e.first == key) {
                    want = e.second;
                    break;
                }
            ASSERT_EQ(find(map, key), want) << "buckets " << buckets;
        }
    }
}

} // namespace
