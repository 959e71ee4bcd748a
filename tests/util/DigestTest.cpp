// MD5, CRC-32 and the operating-system version test.
#include "text/StringBuffer.h"
#include "util/Md5.h"
#include "util/WindowsVersion.h"
#include "util/ZipCRC.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef QX_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using Str = std::string;

Str hex(const unsigned char* p) {
    char buf[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(buf + 2 * i, 3, "%02x", p[i]);
    return buf;
}

// The RFC 1321 test suite, then runs of 'a' around the padding boundaries (56 bytes modulo 64)
// and the block size, with digests from an independent MD5 implementation.
TEST(Md5Test, KnownDigests) {
    const std::pair<Str, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {Str("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
        {Str(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {Str(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {Str(57, 'a'), "652b906d60af96844ebd21b674f35e93"},
        {Str(63, 'a'), "b06521f39153d618550606be297466d5"},
        {Str(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {Str(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {Str(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {Str(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
        {Str(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
        {Str(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const auto& [input, digest] : cases) {
        StringBuffer sb;
        sb.appendN(input.data(), static_cast<int>(input.size()));
        unsigned char out[16];
        Md5().digestString(sb, out);
        EXPECT_EQ(hex(out), digest) << input.size() << " bytes: " << input.substr(0, 64);
    }
    Md5 md5; // a reused object starts afresh
    unsigned char d1[16], d2[16];
    md5.digestBytes("abc", 3, d1);
    md5.digestBytes("abc", 3, d2);
    EXPECT_EQ(hex(d2), hex(d1));
}

// A slow, obvious CRC-32: bit by bit with the reflected polynomial, no table.
uint32_t bitwiseCrc32(const unsigned char* p, std::size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

TEST(ZipCRCTest, CheckValuesAndRandomBuffersAgainstReferences) {
    ZipCRC crc;
    EXPECT_EQ(crc.crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc.crc32("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(crc.crc32("", 0), 0u);
    EXPECT_EQ(crc.crc32(nullptr, 0), 0u);
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> buf(1 + rng() % 3000);
        for (auto& b : buf)
            b = static_cast<unsigned char>(rng());
        const uint32_t got = crc.crc32(buf.data(), buf.size());
        ASSERT_EQ(got, bitwiseCrc32(buf.data(), buf.size())) << "length " << buf.size();
#ifdef QX_HAVE_ZLIB
        ASSERT_EQ(got,
                  static_cast<uint32_t>(::crc32(0L, buf.data(), static_cast<uInt>(buf.size()))));
#endif
    }
}

// The Linux stand-in reports 10 and Wine a modern Windows; neither is 4.x.
TEST(WindowsVersionTest, NoTestMachineIsA4xSystem) {
    EXPECT_GE(WindowsVersion().getMajorVersion(), 5);
    EXPECT_FALSE(WindowsVersion().isMajorVersion4());
}

} // namespace
