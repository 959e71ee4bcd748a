#include "encoding/tables/HashConvert.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace {

using Str = std::string; // byte strings, so that cases read as literals

const unsigned char* u(const Str& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}
// The value found for key, or "<none>".
Str find(const HashConvert& map, const Str& key) {
    unsigned char value[255];
    int len = -1;
    map.lookup(u(key), static_cast<int>(key.size()), value, &len);
    return len == 0 ? "<none>" : Str(reinterpret_cast<char*>(value), static_cast<size_t>(len));
}
void put(HashConvert& map, const Str& key, const Str& value) {
    map.insert(u(key), static_cast<int>(key.size()), u(value), static_cast<int>(value.size()));
}

// A script of inserts ('+'), removals ('-') and lookups ('=', "<none>" for an absent key) on 3
// buckets: "A" (65), "A\0", "D" (68) and keys alike in their first four bytes share bucket 2.
TEST(HashConvert, LookupFindsTheFirstEntryOfTheWholeKey) {
    HashConvert map;
    ASSERT_TRUE(map.initBuckets(3));
    // clang-format off
    const std::tuple<char, Str, Str> steps[] = {
        {'+', "A", "x"}, {'+', "D", "d"}, {'+', "A", "y"}, {'=', "A", "x"}, {'-', "A", ""},
        {'=', "A", "<none>"}, {'=', "D", "d"}, {'+', "A", "z"}, {'=', "A", "z"},
        {'+', Str("A\0", 2), "2"}, {'=', Str("A\0", 2), "2"}, {'=', Str("A\0\0", 3), "<none>"},
        {'=', "AB", "<none>"}, {'+', "ABCDE", "1"}, {'+', "ABCDF", "2"}, {'=', "ABCDE", "1"},
        {'=', "ABCDF", "2"}, {'=', "ABCD", "<none>"}, {'+', "\xFF\xFF", "f"}, {'=', "\xFF\xFF", "f"},
        {'=', "\xFF", "<none>"}, {'+', "\x01", Str(255, 'v')}, {'=', "\x01", Str(255, 'v')},
        {'-', "D", ""}};
    // clang-format on
    for (const auto& [op, key, value] : steps) {
        if (op == '+') put(map, key, value);
        if (op == '-') map.remove(u(key), static_cast<int>(key.size()));
        EXPECT_EQ(op == '=' ? find(map, key) : value, value) << key;
    }
    EXPECT_EQ(map.countEntries(), 6u);
    EXPECT_EQ(map.countEntriesWithKeyLength(2), 2u);
}

TEST(HashConvert, BucketsAndLengthLimits) {
    HashConvert map;
    put(map, "A", "x"); // ignored: no buckets yet
    EXPECT_EQ(find(map, "A"), "<none>");
    ASSERT_TRUE(map.initBuckets(11));
    put(map, "A", "x");
    ASSERT_TRUE(map.initBuckets(5));
    EXPECT_EQ(map.getBucketCount(), 5u);
    EXPECT_EQ(find(map, "A"), "<none>") << "new buckets start empty";
    const Str big(256, 'k'), longest(255, 'v');
    map.insert(u("A"), 0, u("x"), 1);
    map.insert(u(big), 256, u("x"), 1);
    map.insert(u("A"), 1, u("x"), 0);
    map.insert(u("A"), 1, u(big), 256);
    EXPECT_EQ(map.countEntries(), 0u);
    put(map, Str(255, 'k'), longest);
    EXPECT_EQ(find(map, Str(255, 'k')), longest);
}

TEST(HashConvert, ReverseGoesBucketByBucket) {
    HashConvert map, rev;
    ASSERT_TRUE(map.initBuckets(3) && rev.initBuckets(5));
    // Buckets of 3: 'E' (69) 0, 'C' (67) 1, 'A' (65) and 'D' (68) 2. "E" is the first entry for
    // "v1" though inserted last; "A" is the first for "v2" by its place in the chain.
    put(map, "A", "v2");
    put(map, "C", "v1");
    put(map, "D", "v2");
    put(map, "E", "v1");
    map.buildReverse(rev);
    EXPECT_EQ(rev.countEntries(), 4u);
    EXPECT_EQ(find(rev, "v1"), "E");
    EXPECT_EQ(find(rev, "v2"), "A");
    rev.remove(u("v1"), 2);
    EXPECT_EQ(find(rev, "v1"), "<none>");
    EXPECT_EQ(rev.countEntries(), 2u);
}

} // namespace
