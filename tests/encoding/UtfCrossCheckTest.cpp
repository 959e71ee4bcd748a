#include "encoding/UtfConvert.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::show;

namespace {

// UTF-8 without its four-byte sequences: what the 16-bit coder lets through.
Bytes withoutFourByteSequences(const Bytes& utf8) {
    Bytes out;
    for (size_t i = 0; i < utf8.size();) {
        if (utf8[i] >= 0xF0) {
            i += 4;
            continue;
        }
        out.push_back(utf8[i++]);
    }
    return out;
}

TEST(UtfCrossCheck, AgreesWithIconv) {
    // B records: random BMP text in UTF-8, UTF-16LE, UTF-16BE, UTF-32LE and UTF-32BE, all from
    // iconv. N records: text beyond U+FFFF in UTF-8, UTF-32LE and UTF-32BE.
    std::vector<enctest::Record> records = enctest::readVectors("utf_vectors.txt");
    ASSERT_GT(records.size(), 150u) << enctest::dataPath("utf_vectors.txt");
    const int forms[5] = {65001, 1200, 1201, 65005, 65006};
    int bmp = 0, beyond = 0;
    for (const enctest::Record& r : records) {
        if (r.tag == "B") {
            ASSERT_EQ(r.fields.size(), 5u) << "line " << r.line;
            ++bmp;
            // Every form to every other.
            for (int from = 0; from < 5; ++from)
                for (int to = 0; to < 5; ++to) {
                    bool ok = false;
                    Bytes got = enctest::convert(forms[from], forms[to], r.fields[from], &ok);
                    EXPECT_EQ(show(got), show(r.fields[to]))
                        << forms[from] << " -> " << forms[to] << ", line " << r.line;
                    EXPECT_TRUE(ok) << forms[from] << " -> " << forms[to] << ", line " << r.line;
                }
        } else {
            ASSERT_EQ(r.tag, "N") << "line " << r.line;
            ASSERT_EQ(r.fields.size(), 3u) << "line " << r.line;
            ++beyond;
            const Bytes& utf8 = r.fields[0];
            bool ok = false;
            EXPECT_EQ(show(enctest::convert(65001, 65005, utf8, &ok)), show(r.fields[1])) << r.line;
            EXPECT_EQ(show(enctest::convert(65001, 65006, utf8, &ok)), show(r.fields[2])) << r.line;
            DataBuffer in, out;
            enctest::fill(in, r.fields[1]);
            EXPECT_TRUE(utf32leToUtf8(in, out));
            EXPECT_EQ(show(enctest::bytesOf(out)), show(utf8)) << "line " << r.line;
            // Through the engine the characters beyond U+FFFF are dropped on the way back.
            EXPECT_EQ(show(enctest::convert(65005, 65001, r.fields[1], &ok)),
                      show(withoutFourByteSequences(utf8)))
                << "line " << r.line;
        }
    }
    EXPECT_GT(bmp, 100);
    EXPECT_GT(beyond, 20);
}

} // namespace
