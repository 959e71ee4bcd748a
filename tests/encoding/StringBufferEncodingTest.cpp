#include "text/StringBuffer.h"

#include "encoding/tables/TableStore.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

Bytes bytesOf(const StringBuffer& sb) {
    return Bytes(sb.getString(), sb.getString() + sb.getSize());
}

void set(StringBuffer& sb, const Bytes& b) {
    sb.clear();
    sb.appendN(b.data(), static_cast<int>(b.size()));
}

struct Case {
    const char* in;
    int from;
    int to;
    const char* out;
};

// clang-format off
const Case kConvertCases[] = {
    {"-", 65001, 1200, "-"},
    {"C3 A9", 65001, 0, "C3 A9"}, // either code page 0: unchanged
    {"C3 A9", 0, 1200, "C3 A9"},
    {"41", 65001, 1200, "41 00"}, // the text may hold NUL bytes afterwards
    {"41 00 42 00", 1200, 65001, "41 42"},
    {"EF BB BF 41", 65001, 65001, "EF BB BF 41"},
    {"41 2B 42", 65001, 65000, "41 2B 2D 42"},
    {"82 A0", 932, 50220, "1B 24 42 24 22 1B 28 42"},
    {"41", 65001, 57002, "-"}, // no conversion: the text becomes empty
    {"41 42", 437, 65001, "41 42"}, // seven-bit text needs no converter
    {"41 42", 437, 1252, "41 42"},
    {"41 42", 437, 28591, "41 42"},
};
// clang-format on

TEST(EncStringBuffer, ConvertEncoding) {
    for (const Case& c : kConvertCases) {
        StringBuffer sb;
        set(sb, hex(c.in));
        sb.convertEncoding(c.from, c.to);
        EXPECT_EQ(show(bytesOf(sb)), show(hex(c.out))) << c.from << " -> " << c.to << ": " << c.in;
        EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
    }
}

TEST(EncStringBuffer, ConvertEncodingThroughTables) {
    ASSERT_TRUE(TableStore::hasTable(437)) << "no table data for code page 437";
    // clang-format off
    const Case cases[] = {
        {"82 41", 437, 65001, "C3 A9 41"}, // eight-bit text goes through the table
        {"82", 437, 1252, "E9"},
        {"E9", 1252, 437, "82"},
    };
    // clang-format on
    for (const Case& c : cases) {
        StringBuffer sb;
        set(sb, hex(c.in));
        sb.convertEncoding(c.from, c.to);
        EXPECT_EQ(show(bytesOf(sb)), show(hex(c.out))) << c.from << " -> " << c.to << ": " << c.in;
    }
}

TEST(EncStringBuffer, ConvertAnsiToUtf8) {
    enctest::AnsiCodePageOverride ansi(65001);
    // clang-format off
    const struct {
        int ansi;
        const char* in;
        const char* out;
    } cases[] = {
        {65001, "C3 A9", "C3 A9"},
        {65001, "-", "-"},
        {1200, "41 00 E9 00", "41 C3 A9"},
        {65000, "2B 41 4F 6B 2D", "C3 A9"},
        {57002, "41", "-"}, // converted
    };
    // clang-format on
    for (const auto& c : cases) {
        ansi.set(c.ansi);
        StringBuffer sb;
        set(sb, hex(c.in));
        sb.convertAnsiToUtf8();
        EXPECT_EQ(show(bytesOf(sb)), show(hex(c.out))) << c.ansi << ": " << c.in;
        EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
        if (sb.getSize() > 0) {
            EXPECT_EQ(sb.getGrowthStep(), 1024) << "adopted, not copied";
        }
        sb.append("x"); // the adopted block is an ordinary one
        EXPECT_EQ(sb.getString()[sb.getSize() - 1], 'x');
    }
}

TEST(EncStringBuffer, ConvertAnsiToUtf8ThroughATable) {
    ASSERT_TRUE(TableStore::hasTable(1252)) << "no table data for code page 1252";
    enctest::AnsiCodePageOverride ansi(1252);
    StringBuffer sb;
    set(sb, hex("80 41 E9"));
    sb.convertAnsiToUtf8();
    EXPECT_EQ(show(bytesOf(sb)), show(hex("E2 82 AC 41 C3 A9")));
}

} // namespace
