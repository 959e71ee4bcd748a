// The code-page map against a plain multimap: random inserts (keys and values of 1 to 6 bytes,
// repeated keys among them) and removes over a few buckets, so that chains grow long and shrink
// again across their block sizes. A lookup must find the first value inserted under its key,
// and a walk over the entries must meet each key's entries in that order and no removed key.
#include "encoding/tables/HashConvert.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Text = std::string;

const unsigned char* bytes(const Text& t) {
    return reinterpret_cast<const unsigned char*>(t.data());
}

TEST(HashConvertModel, AgreesWithAMultimapThroughInsertsAndRemoves) {
    const struct {
        unsigned buckets;
        int keys; // distinct keys drawn from
        int operations;
        int removeEvery; // one operation in this many is a remove
    } cases[] = {{1, 40, 400, 7}, {3, 200, 3000, 5}, {17, 2000, 20000, 11}, {257, 500, 5000, 0}};
    std::mt19937 rng(41);
    for (const auto& c : cases) {
        HashConvert map;
        ASSERT_TRUE(map.initBuckets(c.buckets));
        std::map<Text, std::vector<Text>> model;
        auto randomText = [&](int seed) {
            std::mt19937 local(static_cast<unsigned>(seed));
            Text t(1 + local() % 6, '\0');
            for (char& ch : t)
                ch = static_cast<char>(local() % 4 == 0 ? 0 : local() % 256);
            return t;
        };
        for (int op = 0; op < c.operations; ++op) {
            const Text key = randomText(static_cast<int>(rng() % c.keys));
            if (c.removeEvery && op % c.removeEvery == 0) {
                map.remove(bytes(key), static_cast<int>(key.size()));
                model.erase(key);
                continue;
            }
            const Text value = randomText(static_cast<int>(rng()));
            map.insert(bytes(key), static_cast<int>(key.size()), bytes(value),
                       static_cast<int>(value.size()));
            model[key].push_back(value);
        }
        unsigned entries = 0;
        for (const auto& kv : model) {
            entries += static_cast<unsigned>(kv.second.size());
            unsigned char found[256];
            int length = -1;
            map.lookup(bytes(kv.first), static_cast<int>(kv.first.size()), found, &length);
            EXPECT_EQ(Text(reinterpret_cast<char*>(found), static_cast<size_t>(length)),
                      kv.second.front())
                << c.buckets << " buckets";
        }
        EXPECT_EQ(map.countEntries(), entries) << c.buckets << " buckets";
        std::map<Text, std::vector<Text>> walked;
        map.forEachEntry([&](const unsigned char* k, int kLen, const unsigned char* v, int vLen) {
            walked[Text(reinterpret_cast<const char*>(k), static_cast<size_t>(kLen))].push_back(
                Text(reinterpret_cast<const char*>(v), static_cast<size_t>(vLen)));
        });
        EXPECT_TRUE(walked == model) << c.buckets << " buckets";
    }
}

} // namespace
