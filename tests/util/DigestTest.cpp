// MD5 and CRC-32, which together hash the keys of the text maps.
#include "text/StringBuffer.h"
#include "util/Md5.h"
#include "util/ZipCRC.h"

#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#ifdef QX_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

std::string hex(const unsigned char* p) {
    char buf[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(buf + 2 * i, 3, "%02x", p[i]);
    return buf;
}

// The digests of util/data/md5_digests.txt, which come from an independent MD5 implementation.
TEST(Md5Test, KnownDigests) {
    const auto rows = testfs::caseRows("util/data/md5_digests.txt");
    ASSERT_EQ(rows.size(), 18u) << rows[0][0];
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 3u) << r[0];
        std::string input;
        for (int i = std::stoi(r[1]); i > 0; --i)
            input += testfs::unescape(r[0]);
        StringBuffer sb;
        sb.appendN(input.data(), static_cast<int>(input.size()));
        unsigned char out[16];
        Md5().digestString(sb, out);
        EXPECT_EQ(hex(out), r[2]) << r[1] << " times " << r[0];
    }
}

// The published check values everywhere; random buffers against zlib where the system has it.
TEST(ZipCRCTest, CheckValuesAndRandomBuffersAgainstZlib) {
    ZipCRC crc;
    EXPECT_EQ(crc.crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc.crc32("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(crc.crc32("", 0), 0u);
    EXPECT_EQ(crc.crc32(nullptr, 0), 0u);
#ifdef QX_HAVE_ZLIB
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> buf(1 + rng() % 3000);
        for (auto& b : buf)
            b = static_cast<unsigned char>(rng());
        ASSERT_EQ(crc.crc32(buf.data(), buf.size()),
                  static_cast<uint32_t>(::crc32(0L, buf.data(), static_cast<uInt>(buf.size()))))
            << "length " << buf.size();
    }
#endif
}

} // namespace
