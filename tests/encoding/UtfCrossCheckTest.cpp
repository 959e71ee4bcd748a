#include "encoding/UtfConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::show;

namespace {

TEST(UtfCrossCheck, AgreesWithIconv) {
    // B records: random BMP text in UTF-8, UTF-16LE, UTF-16BE, UTF-32LE and UTF-32BE, all from
    // iconv. N records: text beyond U+FFFF in UTF-8, UTF-32LE and UTF-32BE.
    std::vector<enctest::Record> records = enctest::readVectors("utf_vectors.txt");
    ASSERT_GT(records.size(), 150u) << enctest::dataPath("utf_vectors.txt");
    const int forms[5] = {65001, 1200, 1201, 65005, 65006};
    int bmp = 0, beyond = 0;
    for (const enctest::Record& r : records) {
        bool ok = false;
        if (r.tag == "B") {
            ASSERT_EQ(r.fields.size(), 5u) << "line " << r.line;
            ++bmp;
            for (int from = 0; from < 5; ++from)
                for (int to = 0; to < 5; ++to) {
                    Bytes got = enctest::convert(forms[from], forms[to], r.fields[from], &ok);
                    EXPECT_EQ(show(got), show(r.fields[to]))
                        << forms[from] << " -> " << forms[to] << ", line " << r.line;
                    EXPECT_TRUE(ok) << forms[from] << " -> " << forms[to] << ", line " << r.line;
                }
            continue;
        }
        ASSERT_EQ(r.fields.size(), 3u) << "line " << r.line;
        ++beyond;
        const Bytes& utf8 = r.fields[0];
        EXPECT_EQ(show(enctest::convert(65001, 65005, utf8)), show(r.fields[1])) << r.line;
        EXPECT_EQ(show(enctest::convert(65001, 65006, utf8)), show(r.fields[2])) << r.line;
        EXPECT_EQ(show(enctest::onBuffers(utf32leToUtf8, r.fields[1], &ok)), show(utf8)) << r.line;
        // Through the engine the characters beyond U+FFFF are dropped on the way back.
        Bytes bmpOnly;
        for (size_t i = 0; i < utf8.size(); i += utf8[i] >= 0xF0 ? 4 : 1)
            if (utf8[i] < 0xF0) bmpOnly.push_back(utf8[i]);
        EXPECT_EQ(show(enctest::convert(65005, 65001, r.fields[1])), show(bmpOnly)) << r.line;
    }
    EXPECT_GT(bmp, 100);
    EXPECT_GT(beyond, 20);
}

} // namespace
