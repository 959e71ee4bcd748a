#include "text/StringBuffer.h"

#include "encoding/tables/TableStore.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;

namespace {

std::string run(const char* in, int from, int to, int ansi = 0) {
    StringBuffer sb;
    Bytes b = hex(in);
    sb.appendN(b.data(), static_cast<int>(b.size()));
    if (ansi) {
        enctest::AnsiCodePageOverride over(ansi);
        sb.convertAnsiToUtf8();
    } else {
        sb.convertEncoding(from, to);
    }
    EXPECT_EQ(sb.getString()[sb.getSize()], '\0');
    return show(Bytes(sb.getString(), sb.getString() + sb.getSize()));
}

TEST(EncStringBuffer, ConvertEncodingAndAnsiToUtf8) {
    ASSERT_TRUE(TableStore::hasTable(437) && TableStore::hasTable(1252));
    const struct {
        const char* in;
        int from, to, ansi;
        const char* out;
    } cases[] = {
        {"C3 A9", 65001, 0, 0, "C3 A9"}, // either code page 0: unchanged
        {"C3 A9", 0, 1200, 0, "C3 A9"},
        {"41", 65001, 1200, 0, "41 00"}, // the text may hold NUL bytes afterwards
        {"41 00 42 00", 1200, 65001, 0, "41 42"},
        {"82 A0", 932, 50220, 0, "1B 24 42 24 22 1B 28 42"},
        {"41", 65001, 57002, 0, "-"},         // no conversion: the text becomes empty
        {"41 42", 437, 1252, 0, "41 42"},     // seven-bit text needs no converter
        {"82 41", 437, 65001, 0, "C3 A9 41"}, // eight-bit text goes through the table
        {"E9", 1252, 437, 0, "82"},
        {"C3 A9", 0, 0, 65001, "C3 A9"},
        {"41 00 E9 00", 0, 0, 1200, "41 C3 A9"},
        {"2B 41 4F 6B 2D", 0, 0, 65000, "C3 A9"},
        {"41", 0, 0, 57002, "-"},
        {"80 41 E9", 0, 0, 1252, "E2 82 AC 41 C3 A9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.in, c.from, c.to, c.ansi), enctest::showHex(c.out))
            << c.from << " -> " << c.to << " ansi " << c.ansi << ": " << c.in;
}

TEST(EncStringBuffer, AnsiToUtf8AdoptsAnOrdinaryBlock) {
    enctest::AnsiCodePageOverride ansi(1200);
    StringBuffer sb;
    sb.appendN(hex("41 00 E9 00").data(), 4);
    sb.convertAnsiToUtf8();
    EXPECT_EQ(sb.getGrowthStep(), 1024) << "adopted, not copied";
    sb.append("x");
    EXPECT_STREQ(sb.getString(), "A\xC3\xA9x");
}

} // namespace
