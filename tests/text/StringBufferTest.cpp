#include "text/StringBuffer.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string text(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

TEST(StringBufferGrowth, DefaultBufferIsEmptyWithRoomFor202Bytes) {
    StringBuffer sb;
    EXPECT_EQ(sb.getCapacity(), 202);
    ASSERT_NE(sb.getString(), nullptr);
    EXPECT_STREQ(sb.getString(), "");
}

TEST(StringBufferGrowth, FillingByteByByteGrowsByAboutHalf) {
    const int expected[] = {202, 404, 606, 909, 1363, 2044};
    StringBuffer sb;
    std::size_t seen = 0;
    for (int i = 0; i < 2000; ++i) {
        if (seen < sizeof expected / sizeof expected[0] && sb.getCapacity() != expected[seen])
            ++seen;
        ASSERT_LT(seen, sizeof expected / sizeof expected[0]);
        ASSERT_EQ(sb.getCapacity(), expected[seen]) << "after " << i << " bytes";
        sb.appendChar('x');
    }
    EXPECT_EQ(sb.getSize(), 2000);
}

TEST(StringBufferGrowth, StepIsCappedAt500000OncePast1000000Bytes) {
    StringBuffer sb;
    std::string chunk(4096, 'q');
    while (sb.getSize() <= 1000000)
        sb.append(chunk.c_str());
    EXPECT_EQ(sb.getGrowthStep(), 500000);
    for (int i = 0; i < 200; ++i)
        sb.append(chunk.c_str());
    EXPECT_EQ(sb.getGrowthStep(), 500000);
}

TEST(StringBufferGrowth, TakeDataAdoptsTheBlockWithStep1024) {
    DataBuffer db;
    db.append("hello", 6); // with its NUL
    const unsigned char* block = db.getData();
    StringBuffer sb("old");
    sb.takeData(db);
    EXPECT_EQ(text(sb), "hello");
    EXPECT_EQ(sb.getGrowthStep(), 1024);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(sb.getString()), block);
    EXPECT_EQ(db.getData(), nullptr);
    sb.append(" world");
    EXPECT_EQ(text(sb), "hello world");

    // Borrowed memory is copied, never adopted (the buffer would free it later).
    static const unsigned char borrowed[] = {'h', 'i', 0};
    DataBuffer view;
    view.borrowData(borrowed, sizeof borrowed);
    StringBuffer copy;
    copy.takeData(view);
    EXPECT_EQ(text(copy), "hi");
    EXPECT_NE(reinterpret_cast<const unsigned char*>(copy.getString()), borrowed);
}

TEST(StringBufferEditing, Trim) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {" \t\r\n ", ""}, {"  a b  ", "a b"}, {"", ""}, {"x", "x"}, {"\nx y\t", "x y"},
    };
    for (const auto& c : cases) {
        StringBuffer sb(c.in);
        sb.trim();
        EXPECT_EQ(text(sb), c.out) << "trim of '" << c.in << "'";
    }
}

TEST(StringBufferEditing, ReplaceAll) {
    const struct {
        const char* in;
        const char* find;
        const char* repl;
        int count;
        const char* out;
    } cases[] = {
        {"aaaa", "aa", "a", 2, "aa"},      // occurrences never overlap
        {"aaa", "a", "aa", 3, "aaaaaa"},   // replaced text is not rescanned
        {"abc", "x", "y", 0, "abc"},       // absent
        {"abc", "", "y", 0, "abc"},        // empty find
        {"a-b-c", "-", nullptr, 2, "abc"}, // null replacement removes
        {"xyxyx", "xyx", "Z", 1, "Zyx"},   // first match wins
        {"ab", "abc", "Z", 0, "ab"},       // find longer than the text
        {"a\r\nb\r\n", "\r\n", "\n", 2, "a\nb\n"},
    };
    for (const auto& c : cases) {
        StringBuffer sb(c.in);
        EXPECT_EQ(sb.replaceAll(c.find, c.repl), c.count) << c.in << " / " << c.find;
        EXPECT_EQ(text(sb), c.out) << c.in << " / " << c.find;
    }
}

TEST(StringBufferEditing, LineEndsAndXml) {
    StringBuffer crlf("a\r\nb\rc\n");
    crlf.toCrlf();
    EXPECT_EQ(text(crlf), "a\r\nbc\r\n");
    StringBuffer lf("a\r\nb\rc\r\n");
    lf.toLf();
    EXPECT_EQ(text(lf), "a\nb\rc\n");
    StringBuffer xml("<a href=\"x\">&</a> 'q'");
    xml.encodeXmlSpecial();
    EXPECT_EQ(text(xml), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt; 'q'");
}

TEST(StringBufferCompare, EqualsIgnoreCase) {
    const struct {
        const char* text;
        const char* arg;
        bool equal;
    } cases[] = {
        {"ansi", "ANSI", true},   {"", nullptr, true},  {"x", nullptr, false},
        {"abc", "abd", false},    {"abc", "ab", false}, {"\xC9", "\xE9", false},
        {"Utf-8", "uTF-8", true}, {"a[", "A{", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringBuffer(c.text).equalsIgnoreCase(c.arg), c.equal)
            << c.text << " vs " << (c.arg ? c.arg : "(null)");
}

TEST(StringBufferCompare, CharQueriesStopOrCountAsDocumented) {
    StringBuffer sb;
    sb.appendN("a\xA7"
               "b\0\xA7",
               5);
    EXPECT_TRUE(sb.containsChar('\xA7'));
    EXPECT_FALSE(StringBuffer("abc").containsChar('\xA7'));
    EXPECT_EQ(sb.countChar('\xA7'), 2); // counts over the whole length, past the NUL
    EXPECT_EQ(sb.charAt(1), '\xA7');
    EXPECT_EQ(sb.charAt(-1), 0);
    EXPECT_EQ(sb.charAt(5), 0);
    EXPECT_FALSE(sb.is7bit(0));
    EXPECT_TRUE(sb.is7bit(1));
    EXPECT_TRUE(StringBuffer("").is7bit(0));
}

TEST(StringBufferBuilding, PrependAndSetStringAcceptTheirOwnText) {
    StringBuffer sb("world");
    sb.prepend(sb.getString() + 3); // "ld"
    EXPECT_EQ(text(sb), "ldworld");
    sb.setString(sb.getString() + 2);
    EXPECT_EQ(text(sb), "world");
    sb.appendN(sb.getString(), sb.getSize());
    EXPECT_EQ(text(sb), "worldworld");
    sb.prepend(nullptr);
    sb.prepend("");
    sb.appendN(nullptr, 4);
    sb.appendCharN('x', 0);
    EXPECT_EQ(text(sb), "worldworld");
}

TEST(StringBufferNumbers, AppendInt64) {
    const struct {
        int64_t v;
        const char* out;
    } cases[] = {
        {0, "0"},
        {-1, "-1"},
        {1234567890123LL, "1234567890123"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (const auto& c : cases) {
        StringBuffer sb("n=");
        StringBuffer::appendInt64(c.v, sb);
        EXPECT_EQ(text(sb), std::string("n=") + c.out);
    }
    EXPECT_STREQ(StringBuffer::intToString(-42), "-42");
}

} // namespace
